// The port selection dialog: the ports it lists through the port-name rule, what OK and
// Cancel make of a port component's open when no port number is set, and the program's
// window using it.

#include "app/ComSelectForm.h"
#include "app/PortChoiceDialog.h"
#include "comm/device/PortName.h"
#include "comm/device/SerialDevice.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/errors/IntegerConversion.h"
#include "comm/port/ComPort.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ModalDialog.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <map>
#include <memory>

using namespace vorsilan::app;
using namespace vorsilan::sim;

namespace {

QStringList Entries(const TComSelectForm& form) {
    QStringList entries;
    for (int i = 0; i < form.PortsComboBox->count(); ++i) {
        entries << form.PortsComboBox->itemText(i);
    }
    return entries;
}

} // namespace

class PortSelectTest : public QObject {
    Q_OBJECT
private:
    std::map<unsigned, std::unique_ptr<AnalyserSimulator>> sims;
    std::vector<QString> nowhereLinks;

    // The analyser on each of `present`; every other number up to 51 is linked to nowhere,
    // so that no device of the machine itself takes part.
    void Ports(std::initializer_list<unsigned> present) {
        for (unsigned n : present) {
            sims[n] = std::make_unique<AnalyserSimulator>(test::SimulatorOnCom(n));
        }
        for (unsigned n = 1; n <= 51; ++n) {
            if (sims.count(n) == 0) {
                QVERIFY(apd::PublishPortLink(test::PortDirectory().toStdString(), n,
                                             (test::PortDirectory() + "/gone").toStdString()) == 0);
                nowhereLinks.push_back(test::PortDirectory() + QStringLiteral("/COM%1").arg(n));
            }
        }
    }

private slots:
    void cleanup() {
        test::CloseModalDialogs();
        sims.clear();
        for (const QString& link : nowhereLinks) {
            QFile::remove(link);
        }
        nowhereLinks.clear();
    }

    void listsThePortsThatExist() {
        Ports({1, 3, 50, 51});
        TComSelectForm form;
        QCOMPARE(Entries(form), (QStringList{"COM1", "COM3", "COM50"}));
        QCOMPARE(form.PortsComboBox->currentIndex(), 0);
        QCOMPARE(form.SelectedPortNumber(), 1);
        form.PortsComboBox->setCurrentIndex(2);
        QCOMPARE(form.SelectedPortNumber(), 50);

        QCOMPARE(form.windowTitle(), QStringLiteral("Select Port"));
        QCOMPARE(form.size(), QSize(220, 131));
        QVERIFY(!form.PortsComboBox->isEditable());
        QVERIFY(form.OkBtn->isDefault());
        QCOMPARE(form.OkBtn->text(), QStringLiteral("OK"));
        QCOMPARE(form.AbortBtn->text(), QStringLiteral("Cancel"));
        QCOMPARE(form.Label1->text(), QStringLiteral("The configured serial port is not valid."));
        QCOMPARE(form.Label2->text(), QStringLiteral("Please choose another port."));
    }

    void aPortHeldByAnotherProgramIsListed() {
        Ports({4});
        apd::SerialDevice holder;
        QCOMPARE(holder.Open("\\\\.\\COM4"), apd::ecOK);
        TComSelectForm form;
        QCOMPARE(Entries(form), QStringList{"COM4"});
    }

    void okOpensTheChosenPort() {
        Ports({2, 6});
        apd::TApdComPort port;
        port.SetPortSelectionPrompt(ComSelectPrompt());
        QStringList offered;
        const auto outcome = test::OnModal<TComSelectForm>([&](TComSelectForm& form) {
            offered = Entries(form);
            form.PortsComboBox->setCurrentIndex(1);
            form.OkBtn->click();
        });
        port.SetOpen(true);
        QVERIFY(outcome->found);
        QCOMPARE(offered, (QStringList{"COM2", "COM6"}));
        QVERIFY(port.Open());
        QCOMPARE(int(port.ComNumber()), 6);
    }

    void cancelOrCloseRaisesNoPortSelected_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void cancelOrCloseRaisesNoPortSelected() {
        QFETCH(bool, closeBox);
        Ports({3});
        apd::TApdComPort port;
        port.SetPortSelectionPrompt(ComSelectPrompt());
        const auto outcome = test::OnModal<TComSelectForm>([closeBox](TComSelectForm& form) {
            if (closeBox) {
                form.close();
            } else {
                form.AbortBtn->click();
            }
        });
        bool raised = false;
        try {
            port.SetOpen(true);
        } catch (const apd::ENoPortSelected& e) {
            raised = e.ErrorCode() == -2011;
        }
        QVERIFY(outcome->found);
        QVERIFY(raised);
        QVERIFY(!port.Open());
        QCOMPARE(port.PortState(), apd::psClosed);
        QCOMPARE(int(port.ComNumber()), 0);
    }

    void okOnAnEmptyListIsAConversionError() {
        Ports({});
        apd::TApdComPort port;
        port.SetPortSelectionPrompt(ComSelectPrompt());
        int count = -1;
        int index = 0;
        const auto outcome = test::OnModal<TComSelectForm>([&](TComSelectForm& form) {
            count = form.PortsComboBox->count();
            index = form.PortsComboBox->currentIndex();
            form.OkBtn->click();
        });
        QString message;
        try {
            port.SetOpen(true);
        } catch (const apd::EConvertError& e) {
            message = QString::fromStdString(e.what());
        }
        QVERIFY(outcome->found);
        QCOMPARE(count, 0);
        QCOMPARE(index, -1);
        QCOMPARE(message, QStringLiteral("'' is not a valid integer value"));
        QVERIFY(!port.Open());
        QCOMPARE(int(port.ComNumber()), 0);
    }

    void theWindowsPortAsksWhenItHasNoNumber() {
        // The program installs the dialog: a port without a number that the port choice
        // reopens (no button checked) asks for one.
        Ports({7});
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        test::ScriptedPrompts* prompts = scripted.get();
        auto window = std::make_unique<TForm1>(std::move(scripted));
        QVERIFY(window->Port().Open());
        window->Port().SetOpen(false);
        window->Port().SetComNumber(0);
        QStringList offered;
        const auto select = test::OnModal<TComSelectForm>([&](TComSelectForm& form) {
            offered = Entries(form);
            form.OkBtn->click();
        });
        const auto choice =
            test::OnModal<TFSetup2>([&](TFSetup2& dialog) { dialog.Button1->click(); });
        window->N4Click();
        QVERIFY(choice->found);
        QVERIFY(select->found);
        QCOMPARE(offered, QStringList{"COM7"});
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(window->Port().Open());
        QCOMPARE(int(window->Port().ComNumber()), 7);
        QVERIFY(sims[7]->SendRecord(*EncodeResultRecord(77, 556, SampleKind::Serum)));
        QVERIFY(QTest::qWaitFor([&] { return window->Edit2->text() == "77"; }, 8000));
    }
};

APP_TEST_MAIN(PortSelectTest)
#include "PortSelectTest.moc"
