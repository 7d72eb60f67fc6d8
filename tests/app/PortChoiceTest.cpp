// The port choice dialog end to end: the analyser simulator on pseudo-terminals published as
// COM7 and COM3, the main window's port moved between them, results received afterwards.

#include "app/PortChoiceDialog.h"
#include "comm/device/PortName.h"
#include "comm/device/SerialDevice.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ModalDialog.h"
#include "tools/simulator/AnalyserSimulator.h"
#include "vorsilan/ProjectVersion.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>

#include <QFile>

#include <algorithm>
#include <memory>
#include <thread>

using namespace vorsilan::app;
using namespace vorsilan::sim;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<AnalyserSimulator> SimulatorOn(unsigned comNumber) {
    return std::make_unique<AnalyserSimulator>(test::SimulatorOnCom(comNumber));
}

// The data triggers of an open port, as the dispatcher holds them.
struct Triggers {
    std::vector<std::string> patterns;
    std::vector<std::int32_t> handles;
    std::int32_t availLength = -1;
};

Triggers TriggersOf(apd::TApdCustomComPort& port) {
    Triggers result;
    if (!port.Open() || port.Dispatcher() == nullptr) {
        return result;
    }
    apd::TriggerSnapshot snapshot;
    port.Dispatcher()->SaveTriggers(snapshot);
    result.availLength = snapshot.AvailLength;
    if (snapshot.DataTriggers) {
        for (const auto& trigger : *snapshot.DataTriggers) {
            result.patterns.emplace_back(reinterpret_cast<const char*>(trigger.Text.data()),
                                         std::size_t(trigger.Length));
            result.handles.push_back(trigger.Handle);
        }
    }
    apd::TApdBaseDispatcher::FreeSavedTriggers(snapshot);
    return result;
}

const std::string Header("\xAA\x55", 2);

} // namespace

class PortChoiceTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AnalyserSimulator> sim7;
    std::unique_ptr<AnalyserSimulator> sim3;
    std::unique_ptr<TForm1> form;
    test::ScriptedPrompts* prompts = nullptr;
    int handlerCalls = 0;
    std::vector<QString> nowhereLinks;

    void Start() {
        sim7 = SimulatorOn(7);
        sim3 = SimulatorOn(3);
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form = std::make_unique<TForm1>(std::move(scripted), test::TestBounds());
        // Every data notification the window's handler gets is counted on its way there.
        handlerCalls = 0;
        form->Port().SetOnTriggerData([this](apd::TApdCustomComPort& cp, std::uint16_t handle) {
            ++handlerCalls;
            form->CPortTriggerData(cp, handle);
        });
        // Nothing may outlive a failing step in a modal loop.
        QTimer::singleShot(30000, form.get(), [] { test::CloseModalDialogs(); });
    }
    // A port number that names no device on any machine.
    void LinkNowhere(unsigned n) {
        const QString path = test::PortDirectory() + QStringLiteral("/COM%1").arg(n);
        QVERIFY(apd::PublishPortLink(test::PortDirectory().toStdString(), n,
                                     (test::PortDirectory() + "/gone").toStdString()) == 0);
        nowhereLinks.push_back(path);
    }
    bool Receive(AnalyserSimulator& sim, std::uint16_t number) {
        if (!sim.SendRecord(*EncodeResultRecord(number, 556, SampleKind::Serum))) {
            return false;
        }
        return QTest::qWaitFor([&] { return form->Edit2->text() == QString::number(number); },
                               test::Within);
    }
    // Opens the dialog from the menu handler and runs `action` on it while it is shown.
    bool RunDialog(std::function<void(TFSetup2&)> action) {
        const auto outcome = test::OnModal<TFSetup2>(std::move(action));
        form->N4Click();
        return outcome->found;
    }
    static void ChooseAndOk(TFSetup2& dialog, int n) {
        dialog.RadioButton(n)->click();
        dialog.Button1->click();
    }

private slots:
    void cleanup() {
        test::CloseModalDialogs();
        form.reset();
        sim7.reset();
        sim3.reset();
        for (const QString& link : nowhereLinks) {
            QFile::remove(link);
        }
        nowhereLinks.clear();
    }

    void opensWithTheCurrentPortChecked() {
        Start();
        bool checked7 = false;
        int checkedCount = 0;
        QStringList names;
        QStringList captions;
        QSize size;
        QString title;
        QString label;
        QString ok;
        QString cancel;
        QVERIFY(RunDialog([&](TFSetup2& dialog) {
            for (int n = 1; n <= PortChoiceCount; ++n) {
                names << dialog.RadioButton(n)->objectName();
                captions << dialog.RadioButton(n)->text();
                checkedCount += dialog.RadioButton(n)->isChecked() ? 1 : 0;
            }
            checked7 = dialog.RadioButton(7)->isChecked();
            size = dialog.size();
            title = dialog.windowTitle();
            label = dialog.Label1->text();
            ok = dialog.Button1->text();
            cancel = dialog.Button2->text();
            dialog.Button2->click();
        }));
        QVERIFY(checked7);
        QCOMPARE(checkedCount, 1);
        QCOMPARE(names.front(), QStringLiteral("RadioButton1"));
        QCOMPARE(names.back(), QStringLiteral("RadioButton15"));
        QCOMPARE(captions.at(2), QStringLiteral("COM3"));
        QCOMPARE(captions.back(), QStringLiteral("COM15"));
        QCOMPARE(size, QSize(278, 203));
        QCOMPARE(title, QStringLiteral("Настройки"));
        QCOMPARE(label, QStringLiteral("Выберите COM порт:"));
        QCOMPARE(ok, QStringLiteral("&OK"));
        QCOMPARE(cancel, QStringLiteral("&Отмена"));

        // A number outside 1 to 15 checks nothing; OK then reopens the same number.
        auto sim16 = SimulatorOn(16);
        form->Port().SetOpen(false);
        form->Port().SetComNumber(16);
        TFSetup2 direct(form->Port(),
                        [this](std::exception_ptr e) { form->ReportException(std::move(e)); });
        QCOMPARE(direct.CheckedPort(), 0);
        direct.Button1Click();
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(form->Port().Open());
        QCOMPARE(int(form->Port().ComNumber()), 16);
        QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{Header});
        QVERIFY(Receive(*sim16, 16));
        form.reset();
    }

    void movingToCom3GivesOneHandlerCallPerRecord() {
        Start();
        QVERIFY(Receive(*sim7, 1));
        QCOMPARE(handlerCalls, 1);
        QVERIFY(RunDialog([](TFSetup2& dialog) { ChooseAndOk(dialog, 3); }));
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(form->Port().Open());
        QCOMPARE(int(form->Port().ComNumber()), 3);
        QCOMPARE(form->Port().Baud(), 115200);
        const Triggers triggers = TriggersOf(form->Port());
        QCOMPARE(triggers.patterns, std::vector<std::string>{Header});
        // No avail notifications, as after start-up: the window does not handle them.
        QCOMPARE(triggers.availLength, std::int32_t(form->Port().TriggerLength()));
        QCOMPARE(int(form->Port().TriggerLength()), 0);
        QCOMPARE(form->Port().InBuffUsed(), 0);

        QVERIFY(Receive(*sim3, 2));
        QVERIFY(Receive(*sim3, 3));
        QCOMPARE(handlerCalls, 3);
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
        // COM7 is no longer the port.
        QVERIFY(sim7->SendRecord(*EncodeResultRecord(70, 556, SampleKind::Serum)));
        QVERIFY(Receive(*sim3, 4));
        QCOMPARE(handlerCalls, 4);
    }

    void recordWaitingOnTheNewPortBeforeTheReopenIsDiscarded() {
        Start();
        std::vector<std::uint16_t> shown;
        connect(form.get(), &TForm1::RecordReceived,
                [&](const DecodedRecord& record) { shown.push_back(record.number); });
        // The analyser on COM3 sent a result while the window still listened on COM7.
        QVERIFY(sim3->SendRecord(*EncodeResultRecord(99, 556, SampleKind::Serum)));
        QVERIFY(RunDialog([](TFSetup2& dialog) { ChooseAndOk(dialog, 3); }));
        QVERIFY(Receive(*sim3, 2));
        QCOMPARE(shown, std::vector<std::uint16_t>{2});
        QVERIFY(prompts->errors.isEmpty());
    }

    void repeatedOkKeepsOneCallPerRecord() {
        Start();
        for (int round = 0; round < 4; ++round) {
            QVERIFY(RunDialog([](TFSetup2& dialog) { dialog.Button1->click(); }));
            QVERIFY(form->Port().Open());
            QCOMPARE(int(form->Port().ComNumber()), 7);
            QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{Header});
        }
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(Receive(*sim7, 11));
        QVERIFY(Receive(*sim7, 12));
        QCOMPARE(handlerCalls, 2);
    }

    void cancelLeavesThePortAlone() {
        Start();
        const Triggers before = TriggersOf(form->Port());
        const apd::TApdBaseDispatcher* dispatcher = form->Port().Dispatcher();
        form->ExchangeMode = 2;
        QVERIFY(RunDialog([](TFSetup2& dialog) {
            dialog.RadioButton(3)->click();
            dialog.Button2->click();
        }));
        QCOMPARE(int(form->ExchangeMode), 0);
        QVERIFY(form->Port().Open());
        QCOMPARE(int(form->Port().ComNumber()), 7);
        QVERIFY(form->Port().Dispatcher() == dispatcher); // never closed
        const Triggers after = TriggersOf(form->Port());
        QCOMPARE(after.patterns, before.patterns);
        QCOMPARE(after.handles, before.handles);
        QVERIFY(Receive(*sim7, 21));
        QCOMPARE(handlerCalls, 1);
    }

    void aboutItemShowsTheVersionAndReceptionGoesOn() {
        Start();
        QVERIFY(form->AboutItem->isVisible());
        QString title;
        QString text;
        const auto outcome = test::OnModal<QMessageBox>([&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            box.accept();
        });
        form->AboutItem->trigger();
        QVERIFY(outcome->found);
        QCOMPARE(title, QStringLiteral("О программе"));
        QVERIFY2(text.contains(QLatin1String(vorsilan::ProjectVersion)), qPrintable(text));
        QVERIFY(Receive(*sim7, 21));
    }

    void afterAnEngineeringExchangeTheHeaderIsTheOnlyTrigger() {
        Start();
        // How the engineering exchange leaves the port: reopened with the one-byte trigger
        // 0xAA, every other trigger and the avail threshold removed.
        form->Port().RemoveAllTriggers();
        form->Port().SetOpen(false);
        form->Port().AddDataTrigger(std::string("\xAA", 1), false);
        QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{"\xAA"});

        QVERIFY(RunDialog([](TFSetup2& dialog) { dialog.Button1->click(); }));
        QVERIFY(prompts->errors.isEmpty());
        const Triggers triggers = TriggersOf(form->Port());
        QCOMPARE(triggers.patterns, std::vector<std::string>{Header});
        QCOMPARE(triggers.availLength, std::int32_t(form->Port().TriggerLength()));
        QVERIFY(Receive(*sim7, 31));
        QVERIFY(Receive(*sim7, 32));
        QCOMPARE(handlerCalls, 2);
        QVERIFY(form->ResultPending);
    }

    void aPortThatCannotOpenKeepsTheDialogOpen_data() {
        QTest::addColumn<bool>("held");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << false << "ie_BadId - Specified comport doesn't exist";
        QTest::newRow("held by another program") << true << "ie_Open - device already open";
    }
    void aPortThatCannotOpenKeepsTheDialogOpen() {
        QFETCH(bool, held);
        QFETCH(QString, message);
        Start();
        apd::SerialDevice holder;
        int chosen = 5;
        if (held) {
            chosen = 3;
            QCOMPARE(holder.Open("\\\\.\\COM3"), apd::ecOK);
        } else {
            LinkNowhere(5);
        }
        bool stayedOpen = false;
        bool portClosed = false;
        int numberAfterFailure = 0;
        QStringList errorsAfterFailure;
        QVERIFY(RunDialog([&](TFSetup2& dialog) {
            ChooseAndOk(dialog, chosen);
            stayedOpen = dialog.isVisible() && dialog.result() != QDialog::Accepted;
            portClosed = !form->Port().Open();
            numberAfterFailure = form->Port().ComNumber();
            errorsAfterFailure = prompts->errors;
            ChooseAndOk(dialog, 7); // another choice that works
        }));
        QVERIFY(stayedOpen);
        QVERIFY(portClosed);
        QCOMPARE(numberAfterFailure, chosen);
        QCOMPARE(errorsAfterFailure, QStringList{message});
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(form->Port().Open());
        QCOMPARE(int(form->Port().ComNumber()), 7);
        QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{Header});
        QVERIFY(Receive(*sim7, 41));
        QCOMPARE(handlerCalls, 1);
    }

    void cancelAfterAFailureLeavesThePortClosed() {
        Start();
        LinkNowhere(5);
        QVERIFY(RunDialog([](TFSetup2& dialog) {
            ChooseAndOk(dialog, 5);
            dialog.Button2->click();
        }));
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(!form->Port().Open());
        QCOMPARE(int(form->Port().ComNumber()), 5);
        QCOMPARE(form->Port().InBuffUsed(), 0);
        // The next choice that works receives as after start-up.
        QVERIFY(RunDialog([](TFSetup2& dialog) { ChooseAndOk(dialog, 3); }));
        QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{Header});
        QVERIFY(Receive(*sim3, 51));
        QCOMPARE(handlerCalls, 1);
    }

    void eachLossIsShownAlsoAfterAReopen() {
        Start();
        QSignalSpy messages(form->StatusBar, &QStatusBar::messageChanged);
        const auto lossesShown = [&] {
            return std::count_if(messages.begin(), messages.end(), [](const QList<QVariant>& m) {
                return m.at(0).toString() == LinkLostText;
            });
        };
        sim7->Vanish();
        QVERIFY(QTest::qWaitFor([&] { return lossesShown() == 1; }, test::Within));
        // Each round moves the port onto a new analyser's line, which then goes away too.
        for (const unsigned n : {3u, 7u, 3u}) {
            auto& sim = n == 3 ? sim3 : sim7;
            sim = SimulatorOn(n);
            QVERIFY(RunDialog([n](TFSetup2& dialog) { ChooseAndOk(dialog, int(n)); }));
            QVERIFY(form->StatusBar->currentMessage() != LinkLostText);
            QVERIFY(Receive(*sim, std::uint16_t(100 + n)));
            const auto before = lossesShown();
            sim->Vanish();
            QVERIFY(QTest::qWaitFor([&] { return lossesShown() == before + 1; }, test::Within));
            QCOMPARE(form->StatusBar->currentMessage(), LinkLostText);
        }
        QVERIFY(prompts->errors.isEmpty());
    }

    void okWhileANotificationWaitsMovesThePortAll() {
        // The GUI thread is busy while a record's notification waits for it: the close that
        // OK starts is deferred until the dispatcher's threads have ended, and the move must
        // still complete with the header trigger on the new port.
        Start();
        TFSetup2 dialog(form->Port(),
                        [this](std::exception_ptr e) { form->ReportException(std::move(e)); });
        dialog.RadioButton(3)->setChecked(true);
        QVERIFY(sim7->SendRecord(*EncodeResultRecord(60, 556, SampleKind::Serum)));
        apd::TApdBaseDispatcher* dispatcher = form->Port().Dispatcher();
        QVERIFY(dispatcher != nullptr);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!dispatcher->Notifying && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms); // no event loop: the notification must wait
        }
        QVERIFY(dispatcher->Notifying);
        dialog.Button1Click();
        QVERIFY(prompts->errors.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(form->Port().PortState(), apd::psOpen);
        QCOMPARE(int(form->Port().ComNumber()), 3);
        QCOMPARE(TriggersOf(form->Port()).patterns, std::vector<std::string>{Header});
        QVERIFY(Receive(*sim3, 61));
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
    }
};

APP_TEST_MAIN(PortChoiceTest)
#include "PortChoiceTest.moc"
