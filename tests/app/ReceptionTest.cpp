// Result reception end to end: the analyser simulator on a pseudo-terminal published as
// COM7, the main window's port component, notifications through Qt's event loop.

#include "tests/app/AppTestSupport.h"
#include "tools/simulator/AnalyserSimulator.h"
#include "tools/simulator/FaultyRecords.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <future>
#include <memory>
#include <random>
#include <thread>

using namespace vorsilan::app;
using namespace vorsilan::sim;
using namespace std::chrono_literals;

namespace {

std::vector<std::uint8_t> Bytes(const ResultRecord& record) {
    return {record.begin(), record.end()};
}

} // namespace

class ReceptionTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AnalyserSimulator> sim;
    std::unique_ptr<TForm1> form;
    test::ScriptedPrompts* prompts = nullptr;

    void Start(ReceiveBounds bounds = ReceiveBounds()) {
        sim = std::make_unique<AnalyserSimulator>(test::SimulatorOnCom(7));
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form = std::make_unique<TForm1>(std::move(scripted), bounds);
    }
    // Sends a record and waits until the window shows its analysis number.
    bool Receive(const std::vector<std::uint8_t>& bytes, const QString& number) {
        if (!sim->SendBytes(bytes)) {
            return false;
        }
        return QTest::qWaitFor([&] { return form->Edit2->text() == number; }, test::Within);
    }

private slots:
    void cleanup() {
        form.reset();
        sim.reset();
    }

    void startsWithTheLayoutAndAnOpenPort() {
        Start();
        QCOMPARE(form->windowTitle(),
                 QStringLiteral("Автоматический анализатор глюкозы \"Ворсилан\""));
        QCOMPARE(form->size(), QSize(800, 520));
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(form->Port().Open());
        QCOMPARE(form->Port().ComNumber(), 7);
        QCOMPARE(form->Port().Baud(), 115200);
        QCOMPARE(form->Grid->RowCount(), 100);
        QCOMPARE(form->Grid->ColCount(), 9);
        QCOMPARE(form->Grid->Cells(0, 0), QStringLiteral("N п/п"));
        QCOMPARE(form->Grid->Cells(8, 0), QStringLiteral("Ф.И.О. лаборанта"));
        QCOMPARE(form->Grid->columnWidth(1), 148);
        QVERIFY(!form->N3->isVisible());
        QVERIFY(!form->N2->isVisible());
        QVERIFY(form->N1->isVisible() && form->N4->isVisible());
        QVERIFY(form->findChild<QLineEdit*>("Edit2") == form->Edit2);
        QCOMPARE(form->Edit2->text(), QStringLiteral("0"));
        form->RevealEngineeringMenu();
        QVERIFY(form->N3->isVisible());
    }

    void decodesRecords_data() {
        QTest::addColumn<int>("valueLow");
        QTest::addColumn<int>("valueHigh");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("value");
        QTest::newRow("serum") << 0x56 << 0x05 << 1 << "Сыворотка 5,56" << 556;
        QTest::newRow("blood") << 0x56 << 0x05 << 2 << "Кровь 5,56" << 556;
        QTest::newRow("urine") << 0x56 << 0x05 << 3 << "Моча 55,6" << 556;
        QTest::newRow("zero") << 0x00 << 0x00 << 1 << "Сыворотка 0" << 0;
        QTest::newRow("whole value") << 0x00 << 0x05 << 1 << "Сыворотка 5" << 500;
        QTest::newRow("four digits") << 0x34 << 0x12 << 1 << "Сыворотка 12,34" << 1234;
        QTest::newRow("nibbles above 9") << 0x0F << 0x00 << 1 << "Сыворотка 0,15" << 15;
        QTest::newRow("all nibbles 15") << 0xFF << 0xFF << 3 << "Моча 1667" << 16665;
    }
    void decodesRecords() {
        QFETCH(int, valueLow);
        QFETCH(int, valueHigh);
        QFETCH(int, kind);
        QFETCH(QString, label);
        QFETCH(int, value);
        Start();
        const auto record = EncodeRawResultRecord({.number = 12345,
                                                   .valueLow = std::uint8_t(valueLow),
                                                   .valueHigh = std::uint8_t(valueHigh),
                                                   .kind = std::uint8_t(kind),
                                                   .filler = 0x11});
        QVERIFY(Receive(Bytes(record), "12345"));
        QCOMPARE(form->Label7->text(), label);
        QCOMPARE(int(form->ResultValue), value);
        QCOMPARE(int(form->SampleKind), kind);
        QVERIFY(form->ResultPending);
        QCOMPARE(form->ResultDate,
                 QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
        QVERIFY(form->ResultDate.contains('.'));
        QCOMPARE(form->Label8->text(), form->ResultDate);
        QVERIFY(QTime::fromString(form->ResultTime, "H:mm:ss").isValid() ||
                QTime::fromString(form->ResultTime, "HH:mm:ss").isValid());
        QCOMPARE(form->Label9->text(), form->ResultTime);
        QCOMPARE(form->Port().InBuffUsed(), 0);
        QVERIFY(prompts->errors.isEmpty());
        // Kept among the received records as it came, before anyone stores it.
        const auto kept = form->Store().Received(form->ResultReceivedId.value_or(0));
        QVERIFY2(kept, qPrintable(form->Store().LastError()));
        QVERIFY(kept->arrival.record == record && !kept->inJournal);
        QCOMPARE(kept->arrival.port, QStringLiteral("COM7"));
    }

    void unknownKindKeepsTheResultTextButIsPending() {
        Start();
        QVERIFY(Receive(Bytes(*EncodeResultRecord(1, 556, SampleKind::Serum)), "1"));
        for (std::uint8_t kind : {0, 4}) {
            form->ResultPending = false;
            form->ResultDate.clear();
            const auto record = EncodeRawResultRecord({.number = std::uint16_t(10 + kind),
                                                       .valueLow = 0x99,
                                                       .valueHigh = 0,
                                                       .kind = kind,
                                                       .filler = 0});
            QVERIFY(Receive(Bytes(record), QString::number(10 + kind)));
            QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
            QCOMPARE(int(form->SampleKind), int(kind));
            QVERIFY(form->ResultPending);
            QVERIFY(!form->ResultDate.isEmpty());
        }
    }

    void noiseAheadOfTheHeaderIsSkipped() {
        Start();
        std::mt19937 random(7);
        std::vector<std::uint8_t> bytes = NoiseBytes(5, random);
        const auto record = *EncodeResultRecord(4321, 612, SampleKind::WholeBlood);
        bytes.insert(bytes.end(), record.begin(), record.end());
        QVERIFY(Receive(bytes, "4321"));
        QCOMPARE(form->Label7->text(), QStringLiteral("Кровь 6,12"));
        QVERIFY(form->ResultPending);
    }

    void bytesBehindTheRecordDoNotSpoilTheNext() {
        Start();
        auto bytes = Bytes(*EncodeResultRecord(1, 556, SampleKind::Serum));
        const std::vector<std::uint8_t> trailing = {0x01, 0x02, 0x03, 0x04, 0x05};
        bytes.insert(bytes.end(), trailing.begin(), trailing.end());
        QVERIFY(Receive(bytes, "1"));
        QVERIFY(sim->WaitUntilDrained(std::chrono::milliseconds(test::Within)));
        // The bytes behind it are dropped on the way to the next header.
        QVERIFY(Receive(Bytes(*EncodeResultRecord(2, 333, SampleKind::Urine)), "2"));
        QCOMPARE(form->Label7->text(), QStringLiteral("Моча 33,3"));
        QCOMPARE(form->Port().InBuffUsed(), 0);
        QVERIFY(prompts->errors.isEmpty());
    }

    void receivesRecordsAsTheLineDeliversThem_data() {
        QTest::addColumn<int>("pieces"); // 0: one byte per character time; 1: one write
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("noise");
        const auto row = [](const char* name, int pieces, int gapMs, NoiseClass noise) {
            QTest::newRow(name) << pieces << gapMs << int(noise);
        };
        row("in two pieces 50 ms apart", 2, 50, NoiseClass::None);
        row("in five pieces 50 ms apart", 5, 50, NoiseClass::None);
        row("in five pieces 1 ms apart", 5, 1, NoiseClass::None);
        row("leading noise", 0, 0, NoiseClass::Leading);
        row("trailing noise", 0, 0, NoiseClass::Trailing);
        row("a false header ahead", 0, 0, NoiseClass::FalseHeader);
        row("a false header ahead, in one write", 1, 0, NoiseClass::FalseHeader);
        row("a false header behind", 0, 0, NoiseClass::TrailingFalseHeader);
        row("8192 noise bytes in the same write", 1, 0, NoiseClass::Flood);
    }
    void receivesRecordsAsTheLineDeliversThem() {
        QFETCH(int, pieces);
        QFETCH(int, gapMs);
        QFETCH(int, noise);
        Start();
        if (pieces == 1) {
            sim->SetPacing(0);
        } else if (pieces > 1) {
            sim->SetPieces(std::size_t(pieces), std::chrono::milliseconds(gapMs));
        }
        std::vector<std::uint16_t> shown;
        connect(form.get(), &TForm1::RecordReceived,
                [&](const DecodedRecord& record) { shown.push_back(record.number); });
        // Back to back, each as soon as the line takes it: a record may reach the window
        // while it still waits for the end of the one before (or of a false header).
        const std::vector<std::uint16_t> numbers = {301, 302, 303};
        std::thread sender([&] {
            std::mt19937 random(3);
            for (const std::uint16_t number : numbers) {
                sim->SendRecord(*EncodeResultRecord(number, 480, SampleKind::Serum),
                                NoiseClass(noise), random);
            }
        });
        const bool all =
            QTest::qWaitFor([&] { return shown.size() >= numbers.size(); }, 2 * test::Within);
        sender.join();
        QVERIFY2(all, qPrintable(form->StatusBar->currentMessage()));
        QCOMPARE(shown, numbers);
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 4,8"));
        QVERIFY(prompts->errors.isEmpty());
    }

    void brokenRecordIsDroppedAndTheNextOneReceived_data() {
        QTest::addColumn<int>("length");
        QTest::newRow("header and one byte") << 3;
        QTest::newRow("one byte short") << 25;
    }
    void brokenRecordIsDroppedAndTheNextOneReceived() {
        QFETCH(int, length);
        Start();
        QVERIFY(Receive(Bytes(*EncodeResultRecord(1, 556, SampleKind::Serum)), "1"));
        const QString date = form->ResultDate;
        const QString time = form->ResultTime;
        const auto record = Bytes(*EncodeResultRecord(2, 999, SampleKind::Serum));
        QVERIFY(sim->SendBytes(std::vector<std::uint8_t>(record.begin(), record.begin() + length)));
        QVERIFY(QTest::qWaitFor(
            [&] { return form->StatusBar->currentMessage() == IncompleteRecordText; },
            test::Within));
        // Nothing of the broken record is shown; the previous result can still be stored.
        QCOMPARE(form->Edit2->text(), QStringLiteral("1"));
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
        QCOMPARE(form->ResultDate, date);
        QCOMPARE(form->ResultTime, time);
        QVERIFY(form->ResultPending);
        QCOMPARE(form->Port().InBuffUsed(), 0);
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(Receive(Bytes(*EncodeResultRecord(3, 556, SampleKind::Urine)), "3"));
        form->Button1Click();
        QCOMPARE(form->Journal().back().number, QStringLiteral("3"));
    }

    void busyWindowLosesNoRecord() {
        // The GUI thread is busy for longer than the dispatcher waits for a notification's
        // answer while two records arrive: the first notification is withdrawn, the second
        // is delivered once the window is free and takes both records, oldest first.
        Start(ReceiveBounds());
        sim->SetPacing(115200);
        std::vector<std::uint16_t> shown;
        connect(form.get(), &TForm1::RecordReceived,
                [&](const DecodedRecord& record) { shown.push_back(record.number); });
        std::promise<void> busy;
        std::thread sender([&, started = busy.get_future()] {
            if (started.wait_for(std::chrono::milliseconds(test::Within)) !=
                std::future_status::ready) {
                return;
            }
            sim->SendRecord(*EncodeResultRecord(41, 556, SampleKind::Serum));
            sim->SendRecord(*EncodeResultRecord(42, 333, SampleKind::Urine));
        });
        QTimer::singleShot(0, form.get(), [&] {
            busy.set_value();
            std::this_thread::sleep_for(3500ms); // the window's thread does something long
        });
        const bool both = QTest::qWaitFor([&] { return shown.size() >= 2; }, 3 * test::Within);
        sender.join();
        QVERIFY2(both, qPrintable(form->StatusBar->currentMessage()));
        QCOMPARE(shown, (std::vector<std::uint16_t>{41, 42}));
        QCOMPARE(form->Label7->text(), QStringLiteral("Моча 33,3"));
        QVERIFY(prompts->errors.isEmpty());
    }

    void headerInsideARecordDoesNotSpoilIt() {
        Start();
        const auto record = WithHeaderInside(*EncodeResultRecord(31, 556, SampleKind::Serum));
        QVERIFY(Receive(Bytes(record), "31"));
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
        QVERIFY(form->ResultPending);
        QVERIFY(prompts->errors.isEmpty());
    }

    void portThatCannotOpenLeavesTheWindowUsable() {
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form = std::make_unique<TForm1>(std::move(scripted), test::TestBounds());
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(prompts->errors.front().contains("comport", Qt::CaseInsensitive));
        QVERIFY(!form->Port().Open());
        QCOMPARE(form->Grid->Cells(2, 0), QStringLiteral("Номер"));
        form->Button1Click();
        form->CheckLine();
        QCOMPARE(int(form->StoredCount), 0);
        QCOMPARE(prompts->errors.size(), 1);
    }

    void deviceLossIsShownAndAReopenReceivesAgain() {
        Start();
        QVERIFY(Receive(Bytes(*EncodeResultRecord(1, 556, SampleKind::Serum)), "1"));
        sim->Vanish();
        QVERIFY(QTest::qWaitFor([&] { return form->StatusBar->currentMessage() == LinkLostText; },
                                test::Within));
        sim.reset();
        sim = std::make_unique<AnalyserSimulator>(test::SimulatorOnCom(7));
        form->Port().SetOpen(false);
        form->Port().SetOpen(true);
        QVERIFY(form->Port().Open());
        QVERIFY(Receive(Bytes(*EncodeResultRecord(2, 556, SampleKind::Urine)), "2"));
        QCOMPARE(form->Label7->text(), QStringLiteral("Моча 55,6"));
    }

    void deviceLostDuringADeliveryIsShownAsTheLoss_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("normal reception") << 0;
        QTest::newRow("settings exchange") << 1;
    }
    void deviceLostDuringADeliveryIsShownAsTheLoss() {
        // The handler waits for the rest of what has begun when the device goes away.
        QFETCH(int, mode);
        ReceiveBounds bounds = test::TestBounds();
        bounds.margin = 3s;
        Start(bounds);
        form->ExchangeMode = std::uint16_t(mode);
        QSignalSpy messages(form->StatusBar, &QStatusBar::messageChanged);
        const apd::TApdBaseDispatcher* dispatcher = form->Port().Dispatcher();
        QTimer vanish; // runs inside the handler's wait
        connect(&vanish, &QTimer::timeout, this, [&] {
            if (dispatcher->Notifying) {
                vanish.stop();
                sim->Vanish();
            }
        });
        vanish.start(5);
        QVERIFY(sim->SendTruncated(*EncodeResultRecord(1, 556, SampleKind::Serum), 10));
        QVERIFY(QTest::qWaitFor([&] { return !messages.isEmpty(); }, test::Within));
        QVERIFY(sim->Vanished());
        QCOMPARE(messages.first().at(0).toString(), LinkLostText);
        QVERIFY(QTest::qWaitFor([&] { return !dispatcher->Notifying; }, test::Within));
        QCOMPARE(messages.size(), 1);
        QVERIFY(prompts->errors.isEmpty());
    }

    void ringFullOfNoiseIsEmptied() {
        Start();
        std::mt19937 random(11);
        QVERIFY(sim->SendBytes(NoiseBytes(9000, random)));
        QVERIFY(QTest::qWaitFor([&] { return form->StatusBar->currentMessage() == RingFullText; },
                                test::Within));
        QVERIFY(Receive(Bytes(*EncodeResultRecord(5, 556, SampleKind::Serum)), "5"));
        QVERIFY(form->ResultPending);
    }
};

APP_TEST_MAIN(ReceptionTest)
#include "ReceptionTest.moc"
