// The engineering settings exchange end to end: the analyser simulator on COM7 answers the
// read and the write; the dialog is driven from the test while the exchange waits on it.

#include "app/SettingsExchange.h"
#include "app/SetupDialog.h"
#include "tests/app/AppTestSupport.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTimer>

#include <functional>
#include <limits>
#include <memory>
#include <thread>

using namespace vorsilan::app;
using namespace vorsilan::sim;
using namespace std::chrono_literals;

namespace {

// A block with every field in range: read and saved unchanged, it comes back as it was.
vorsilan::sim::SettingsBlock SampleBlock() {
    vorsilan::sim::SettingsBlock block{};
    block.fill(0x20);
    const std::uint8_t head[] = {0x5A, 0xC3, 1,  0,    1,    17,   200, 0,   255, 0x10, 0x27, 0x00,
                                 1,    2,    3,  0xFF, 0xFF, 0xFF, 9,   0,   0,   0,    0,    1,
                                 32,   1,    59, 0,    0,    2,    5,   255, 180, 0,    1};
    std::copy(std::begin(head), std::end(head), block.begin());
    const QByteArray text = QStringEncoder("windows-1251").encode(QStringLiteral("Сервис №7"));
    std::copy(text.begin(), text.end(), block.begin() + 35);
    return block;
}

SimulatorOptions OnCom7(const vorsilan::sim::SettingsBlock& block) {
    SimulatorOptions options = test::SimulatorOnCom(7);
    options.block = block;
    return options;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

} // namespace

class SettingsExchangeTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AnalyserSimulator> sim;
    std::unique_ptr<TForm1> form;
    test::ScriptedPrompts* prompts = nullptr;
    int dialogsShown = 0;

    void Start(const vorsilan::sim::SettingsBlock& block = SampleBlock()) {
        StartWith(OnCom7(block));
    }
    void StartWith(const SimulatorOptions& options) {
        sim = std::make_unique<AnalyserSimulator>(options);
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form = std::make_unique<TForm1>(std::move(scripted));
        // The production bound: a loaded machine must not turn a slow answer into a fault.
        QCOMPARE(form->SettingsOptions.bounds.answer, 3000ms);
        dialogsShown = 0;
    }
    // Runs the exchange with `drive` acting on the dialog in place of the engineer.
    void Exchange(const std::function<void(TFSetup&)>& drive) {
        form->SettingsOptions.runDialog = [this, drive](TFSetup& dialog) {
            ++dialogsShown;
            QCOMPARE(form->ExchangeMode, std::uint16_t(1));
            drive(dialog);
        };
        form->N3Click();
    }
    // The exchange with one save; true when the simulator kept the block.
    bool SaveWith(const std::function<void(TFSetup&)> edit) {
        Exchange([&](TFSetup& dialog) {
            edit(dialog);
            dialog.Button1->click();
        });
        const bool kept = sim->WaitForBlockWrites(1, std::chrono::milliseconds(test::Within));
        if (!kept) {
            qWarning() << "errors:" << prompts->errors;
        }
        return kept;
    }
    // A bound short enough for the silent cases.
    void ShortBound() { form->SettingsOptions.bounds.answer = 400ms; }
    // The window is back in normal reception: mode 0, the port open with the one trigger
    // 0xAA, and a record is decoded.
    void VerifyNormalReception(std::uint16_t number) {
        QCOMPARE(form->ExchangeMode, std::uint16_t(0));
        QVERIFY(form->Port().Open());
        apd::TriggerSnapshot triggers;
        form->Port().Dispatcher()->SaveTriggers(triggers);
        QVERIFY(triggers.DataTriggers.has_value());
        QCOMPARE(triggers.DataTriggers->size(), std::size_t(1));
        QCOMPARE(triggers.DataTriggers->front().Length, 1);
        QCOMPARE(int(triggers.DataTriggers->front().Text[0]), 0xAA);
        QVERIFY(sim->SendRecord(*EncodeResultRecord(number, 556, SampleKind::Serum)));
        QVERIFY(QTest::qWaitFor([&] { return form->Edit2->text() == QString::number(number); },
                                test::Within));
        QCOMPARE(form->Label7->text(), QStringLiteral("Сыворотка 5,56"));
    }

private slots:
    void cleanup() {
        form.reset();
        sim.reset();
    }

    void dialogShowsTheBlockRead() {
        Start();
        Exchange([](TFSetup& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Внутренние установки KV-7"));
            d.show(); // the layout gives the dialog its fixed size
            QCOMPARE(d.minimumSize(), d.maximumSize());
            QCOMPARE(d.size(), d.minimumSize());
            QCOMPARE(d.ComboBox1->currentText(), QStringLiteral("WBC"));
            QCOMPARE(d.ComboBox2->currentText(), QStringLiteral("200"));
            QCOMPARE(d.ComboBox3->currentText(), QStringLiteral("10"));
            QCOMPARE(d.Edit6->text(), QStringLiteral("17"));
            QCOMPARE(d.ScrollBar1->value(), 17);
            QCOMPARE(d.ScrollBar2->value(), 200);
            QCOMPARE(d.Edit15->text(), QStringLiteral("255"));
            QCOMPARE(d.Edit8->text(), QStringLiteral("10000"));
            QCOMPARE(d.Edit9->text(), QStringLiteral("197121")); // 1 + 2 * 256 + 3 * 65536
            QCOMPARE(d.Edit10->text(), QStringLiteral("16777215"));
            QCOMPARE(d.Edit1->text(), QStringLiteral("92"));
            QCOMPARE(d.Edit13->text(), QStringLiteral("59"));
            QCOMPARE(d.Edit3->text(), QStringLiteral("15305")); // 5 + 60 * 255
            QCOMPARE(d.Edit4->text(), QStringLiteral("180"));
            QVERIFY(d.CheckBox1->isChecked());
            QCOMPARE(d.Edit5->text().size(), 221);
            QVERIFY(d.Edit5->text().startsWith(QStringLiteral("Сервис №7  ")));
            for (const char* name : {"ComboBox3", "ScrollBar4", "Edit14", "Edit15", "Button1",
                                     "Button2", "Button3", "Button4", "CheckBox1"}) {
                QVERIFY2(d.findChild<QWidget*>(QString::fromLatin1(name)) != nullptr, name);
            }
            QCOMPARE(d.Button1->text(), QStringLiteral("&Сохранить"));
            QCOMPARE(d.Button2->text(), QStringLiteral("&Отмена"));
            QCOMPARE(d.Button3->text(), QStringLiteral("Стандарт"));
            QCOMPARE(d.Button4->text(), QStringLiteral("Сбросить счетчики"));
        });
        QCOMPARE(dialogsShown, 1);
        QVERIFY(prompts->errors.isEmpty());
        QCOMPARE(sim->ReceivedBytes(), (std::vector<std::uint8_t>{0xAA, 0x00}));
        VerifyNormalReception(31);
    }

    void captionsAndFieldsFitWithoutOverlap_data() {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("font at 125 %") << 1.25;
    }
    void captionsAndFieldsFitWithoutOverlap() {
        QFETCH(double, scale);
        const QFont standard = QApplication::font();
        QFont font = standard;
        if (font.pointSizeF() > 0) {
            font.setPointSizeF(font.pointSizeF() * scale);
        } else {
            font.setPixelSize(int(font.pixelSize() * scale + 0.5));
        }
        QApplication::setFont(font);
        Start();
        QStringList faults;
        Exchange([&](TFSetup& d) {
            d.show();
            const auto widgets = d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            QVERIFY(widgets.size() >= 50);
            for (const QWidget* w : widgets) {
                if (!d.rect().contains(w->geometry())) {
                    faults << w->objectName() + " runs past the edge";
                }
                // A caption or a button narrower than its text is cut.
                if (w->width() < w->minimumSizeHint().width() ||
                    w->height() < w->minimumSizeHint().height()) {
                    faults << w->objectName() + " is cut";
                }
                for (const QWidget* other : widgets) {
                    if (w < other && w->geometry().intersects(other->geometry())) {
                        faults << w->objectName() + " overlaps " + other->objectName();
                    }
                }
            }
            d.Button2->click();
        });
        QApplication::setFont(standard);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    void speakerAndOutOfRangeComboBytes() {
        auto block = SampleBlock();
        block[2] = 7;  // no such mode
        block[34] = 5; // any other value than 0 is "on"
        Start(block);
        QVERIFY(SaveWith([](TFSetup& d) {
            QCOMPARE(d.ComboBox1->currentIndex(), -1);
            QVERIFY(d.CheckBox1->isChecked());
            d.ComboBox2->setEditText(QStringLiteral("300")); // typed, none of the items
        }));
        const auto kept = sim->Block();
        QCOMPARE(int(kept[2]), 0xFF);
        QCOMPARE(int(kept[3]), 0xFF);
        QCOMPARE(int(kept[4]), 1);
        QCOMPARE(int(kept[34]), 1);
    }

    void savesEditedFieldsAsTheirBytes() {
        Start();
        QVERIFY(SaveWith([](TFSetup& d) {
            d.ComboBox1->setCurrentIndex(3);
            d.Edit8->setText("10000");
            d.Edit12->setText("16777216"); // beyond 24 bits: the three low bytes
            d.Edit1->setText("92");
            d.Edit13->setText("60");
            d.Edit4->setText("300");
            d.Edit6->setText("300"); // clamped by the scroll bar
            QCOMPARE(d.ScrollBar1->value(), 255);
            QCOMPARE(d.Edit6->text(), QStringLiteral("255"));
            d.ScrollBar2->setValue(3);
            QCOMPARE(d.Edit7->text(), QStringLiteral("3"));
            d.CheckBox1->setChecked(false);
            d.Edit5->setText(QStringLiteral("Ремонт №12 (Ёж)"));
        }));
        const auto kept = sim->Block();
        QCOMPARE(int(kept[2]), 3);
        QCOMPARE((std::vector<int>{kept[5], kept[6]}), (std::vector<int>{255, 3}));
        QCOMPARE((std::vector<int>{kept[9], kept[10], kept[11]}),
                 (std::vector<int>{0x10, 0x27, 0x00}));
        QCOMPARE((std::vector<int>{kept[21], kept[22], kept[23]}), (std::vector<int>{0, 0, 0}));
        QCOMPARE((std::vector<int>{kept[24], kept[25]}), (std::vector<int>{32, 1}));
        QCOMPARE((std::vector<int>{kept[26], kept[27]}), (std::vector<int>{0, 1}));
        QCOMPARE((std::vector<int>{kept[32], kept[33]}), (std::vector<int>{44, 1}));
        QCOMPARE(int(kept[34]), 0);
        const QByteArray text =
            QStringEncoder("windows-1251").encode(QStringLiteral("Ремонт №12 (Ёж)"));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(kept.data()) + 35, text.size()), text);
        for (std::size_t i = 35 + std::size_t(text.size()); i < 256; ++i) {
            QCOMPARE(int(kept[i]), 0x20);
        }
        QVERIFY(prompts->errors.isEmpty());
        VerifyNormalReception(32);
    }

    void standardThenSaveGivesTheFactoryBlock() {
        Start();
        QCOMPARE(StandardInformation.size(), 76);
        QVERIFY(SaveWith([](TFSetup& d) { d.Button3->click(); }));
        vorsilan::sim::SettingsBlock expected{};
        expected.fill(0x20);
        const std::uint8_t head[] = {0x5A, 0xC3, 0,  1, 1,  40, 23, 14, 30,  0, 0, 0,
                                     0,    0,    0,  0, 0,  0,  0,  0,  0,   0, 0, 0,
                                     32,   0,    20, 0, 32, 0,  32, 0,  180, 0, 1};
        std::copy(std::begin(head), std::end(head), expected.begin());
        const QByteArray text = StandardInformation.toLatin1();
        std::copy(text.begin(), text.end(), expected.begin() + 35);
        QCOMPARE(sim->Block(), expected);
        QCOMPARE(sim->ReceivedBytes().size(), std::size_t(2 + 2 + 256));
    }

    void resetCountersZeroesOnlyTheCounters() {
        Start();
        QVERIFY(SaveWith([](TFSetup& d) {
            d.Button4->click();
            for (QLineEdit* e : {d.Edit8, d.Edit9, d.Edit10, d.Edit11, d.Edit12}) {
                QCOMPARE(e->text(), QStringLiteral("0"));
            }
            QCOMPARE(d.Edit1->text(), QStringLiteral("92"));
        }));
        auto expected = SampleBlock();
        std::fill(expected.begin() + 9, expected.begin() + 24, 0);
        QCOMPARE(sim->Block(), expected);
    }

    void readThenSaveWritesBackTheBlockRead() {
        Start();
        QVERIFY(SaveWith([](TFSetup&) {}));
        const auto block = SampleBlock();
        QCOMPARE(sim->Block(), block);
        const auto written = sim->ReceivedBytes();
        QCOMPARE(written, Concat({{0xAA, 0x00, 0xAA, 0x01}, {block.begin(), block.end()}}));
        QCOMPARE(form->ExchangeMode, std::uint16_t(0));
    }

    void informationLineIsFittedToItsField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // empty: refused with the message
        QTest::addColumn<QString>("message");
        const QString full(221, QLatin1Char('x'));
        QTest::newRow("empty") << QString() << QString(221, QLatin1Char(' ')) << QString();
        QTest::newRow("221 characters") << full << full << QString();
        QTest::newRow("spaces beyond 221") << full + "   " << full << QString();
        QTest::newRow("222 characters")
            << full + " y" << QString() << InformationTooLongText.arg(223);
        QTest::newRow("not in Windows-1251")
            << QStringLiteral("Ω") << QString() << InformationNotRepresentableText;
    }
    void informationLineIsFittedToItsField() {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        Start();
        bool stayedOpen = false;
        Exchange([&](TFSetup& d) {
            d.show();
            d.Edit5->setText(text);
            d.Button1->click();
            stayedOpen = d.isVisible();
            d.Button2->click();
        });
        if (stored.isEmpty()) {
            QVERIFY(stayedOpen);
            QCOMPARE(prompts->errors, QStringList{message});
            QCOMPARE(sim->ReceivedBytes(), (std::vector<std::uint8_t>{0xAA, 0x00}));
            QCOMPARE(sim->Block(), SampleBlock());
        } else {
            QVERIFY(!stayedOpen);
            QVERIFY(sim->WaitForBlockWrites(1, std::chrono::milliseconds(test::Within)));
            const auto kept = sim->Block();
            QCOMPARE(QString::fromLatin1(reinterpret_cast<const char*>(kept.data()) + 35, 221),
                     stored);
            QCOMPARE(sim->ReceivedBytes().size(), std::size_t(2 + 2 + 256));
        }
    }

    void typingIntoTheReadLineKeepsTheBlockSize() {
        // After a read the line holds 221 characters; a character typed inside the text
        // pushes one padding space out instead of writing past the block.
        Start();
        QVERIFY(SaveWith([](TFSetup& d) {
            d.Edit5->setCursorPosition(6);
            QTest::keyClicks(d.Edit5, "-2");
        }));
        const QByteArray expected =
            QStringEncoder("windows-1251").encode(QStringLiteral("Сервис-2 №7"));
        const auto kept = sim->Block();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(kept.data()) + 35, expected.size()),
                 expected);
        QCOMPARE(int(kept[255]), 0x20);
        QVERIFY(prompts->errors.isEmpty());
    }

    // The refusal of a text that is no integer, naming the field by its caption.
    static QString NotInteger(const char* caption, const QString& text) {
        return QStringLiteral("Поле \"%1\" должно содержать целое десятичное число: '%2'")
            .arg(QString::fromUtf8(caption), text);
    }

    void badNumbersAreRefusedAndTheDialogStaysOpen_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << "Edit8"
                                 << "12abc" << NotInteger("Счетчик включений", "12abc");
        QTest::newRow("leading space") << "Edit9"
                                       << " 12" << NotInteger("Счетчик RBC", " 12");
        QTest::newRow("hex") << "Edit1"
                             << "0x1F" << NotInteger("Максимальное время измерения RBC", "0x1F");
        QTest::newRow("empty") << "Edit4"
                               << "" << NotInteger("Интервал отключения подсветки", "");
        QTest::newRow("beyond 32 bits") << "Edit12"
                                        << "4294967296" << NotInteger("Счетчик EXT", "4294967296");
        QTest::newRow("negative counter")
            << "Edit10"
            << "-1" << NegativeFieldText.arg(QStringLiteral("Счетчик WBC"), "-1");
        QTest::newRow("negative time")
            << "Edit3"
            << "-60"
            << NegativeFieldText.arg(QStringLiteral("Максимальное время измерения EXT"), "-60");
        QTest::newRow("negative backlight")
            << "Edit4"
            << "-5" << NegativeFieldText.arg(QStringLiteral("Интервал отключения подсветки"), "-5");
    }
    void badNumbersAreRefusedAndTheDialogStaysOpen() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        Start();
        QVERIFY(SaveWith([&](TFSetup& d) {
            d.show();
            auto* edit = d.findChild<QLineEdit*>(field);
            QVERIFY(edit != nullptr);
            const QString before = edit->text();
            edit->setText(text);
            d.Button1->click();
            QVERIFY(d.isVisible());
            QCOMPARE(prompts->errors, QStringList{message});
            QCOMPARE(form->ExchangeMode, std::uint16_t(2));
            QCOMPARE(sim->ReceivedBytes(), (std::vector<std::uint8_t>{0xAA, 0x00}));
            edit->setText(before); // corrected; the save below goes through
        }));
        QCOMPARE(sim->Block(), SampleBlock());
        QCOMPARE(prompts->errors.size(), 1);
    }

    void codeEditWithNoIntegerKeepsTheScrollBar() {
        Start();
        Exchange([&](TFSetup& d) {
            d.Edit6->setText("");
            d.Edit6->setText("1a");
            QCOMPARE(d.ScrollBar1->value(), 17);
            d.Edit7->setText("x");
            QCOMPARE(d.ScrollBar2->value(), 200);
            d.Button2->click();
        });
        QCOMPARE(prompts->errors,
                 (QStringList{NotInteger("Код RBC", ""), NotInteger("Код RBC", "1a"),
                              NotInteger("Код WBC", "x")}));
    }

    void splitsNumbersIntoBytes_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("middle");
        QTest::addColumn<int>("low");
        QTest::newRow("24 bits") << 0x123456 << 0x12 << 0x34 << 0x56;
        QTest::newRow("largest 24-bit") << 16777215 << 255 << 255 << 255;
        QTest::newRow("2^24") << 16777216 << 0 << 0 << 0;
        QTest::newRow("above 24 bits") << 0x7F123456 << 0x12 << 0x34 << 0x56;
        QTest::newRow("minus one") << -1 << 0 << 0 << 255;
        QTest::newRow("minus 65537") << -65537 << 255 << 0 << 255;
        QTest::newRow("smallest") << std::numeric_limits<int>::min() << 0 << 0 << 0;
    }
    void splitsNumbersIntoBytes() {
        QFETCH(int, value);
        QFETCH(int, high);
        QFETCH(int, middle);
        QFETCH(int, low);
        const HCL bytes = TFSetup::GetHCL(value);
        QCOMPARE((std::vector<int>{bytes.high, bytes.middle, bytes.low}),
                 (std::vector<int>{high, middle, low}));
        const SecMin largest = TFSetup::GetSecMin(65535);
        QCOMPARE((std::vector<int>{largest.seconds, largest.minutes}), (std::vector<int>{15, 68}));
    }

    void cancelAndTheCloseBoxSendNothing() {
        Start();
        Exchange([](TFSetup& d) { d.Button2->click(); });
        Exchange([](TFSetup& d) { d.close(); });
        QCOMPARE(dialogsShown, 2);
        QCOMPARE(sim->ReceivedBytes(), (std::vector<std::uint8_t>{0xAA, 0x00, 0xAA, 0x00}));
        QCOMPARE(sim->Counters().blockWrites, std::size_t(0));
        VerifyNormalReception(33);
    }

    void modalDialogRunsUntilCancelled() {
        Start();
        form->SettingsOptions.runDialog = nullptr;
        bool found = false;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<TFSetup*>(QApplication::activeModalWidget())) {
                found = true;
                dialog->Button2->click();
            }
        });
        watcher.start(10);
        QTimer giveUp; // a dialog that never appears must not hang the test
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, this, [] {
            if (auto* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        giveUp.start(test::Within);
        form->N3Click();
        QVERIFY(found);
        VerifyNormalReception(34);
    }

    void bytesWaitingBeforeTheReadAreNotTakenForTheBlock() {
        Start();
        QVERIFY(sim->SendNoise(5));
        QVERIFY(QTest::qWaitFor([&] { return form->Port().InBuffUsed() == 5; }, test::Within));
        QVERIFY(SaveWith([](TFSetup&) {}));
        QCOMPARE(sim->Block(), SampleBlock());
    }

    void silentAnalyserDuringTheRead() {
        Start();
        ShortBound();
        sim->SetSilent(true);
        Exchange([](TFSetup&) {});
        QCOMPARE(dialogsShown, 0);
        QCOMPARE(prompts->errors, QStringList{ReadCommandUnansweredText});
        QVERIFY(sim->WaitForBytesReceived(2, std::chrono::milliseconds(test::Within)));
        sim->SetSilent(false);
        VerifyNormalReception(35);
        QCOMPARE(sim->ReceivedBytes(), (std::vector<std::uint8_t>{0xAA, 0x00}));
    }

    void silentAnalyserDuringTheWrite() {
        Start();
        ShortBound();
        Exchange([&](TFSetup& d) {
            sim->SetSilent(true);
            d.Button1->click();
        });
        QCOMPARE(prompts->errors, QStringList{WriteStoppedText.arg(0)});
        // The engineer learns that the analyser may hold part of the new block.
        QVERIFY(prompts->errors.front().contains(QStringLiteral("может быть записан частично")));
        QVERIFY(prompts->errors.front().contains(
            QStringLiteral("Прочитайте внутренние установки заново")));
        QCOMPARE(sim->Block(), SampleBlock());
        // The analyser answers again: a read shows the old block, and the line carries
        // nothing of the stopped write beyond its first block byte.
        sim->SetSilent(false);
        Exchange([](TFSetup& d) {
            QCOMPARE(d.Edit8->text(), QStringLiteral("10000"));
            d.Button2->click();
        });
        QCOMPARE(sim->ReceivedBytes(),
                 (std::vector<std::uint8_t>{0xAA, 0x00, 0xAA, 0x01, 0x5A, 0xAA, 0x00}));
        VerifyNormalReception(36);
    }

    void lineLostPartWayThroughTheRead() {
        // The analyser answers 30 bytes of its block; then its device goes away, and with it
        // the port that the return to reception reopens.
        SimulatorOptions options = OnCom7(SampleBlock());
        options.readBlockBytes = 30;
        StartWith(options);
        std::thread farEnd([this] {
            const auto within = std::chrono::milliseconds(test::Within);
            if (sim->WaitUntil([](const SimulatorCounters& c) { return c.bytesSent >= 31; },
                               within) &&
                sim->WaitUntilDrained(within)) {
                sim->Vanish();
            }
        });
        form->SettingsOptions.runDialog = [this](TFSetup&) { ++dialogsShown; };
        form->N3->trigger(); // through the menu, whose handler reports the reopen's error
        farEnd.join();
        QVERIFY(sim->Vanished());
        QCOMPARE(dialogsShown, 0);
        QCOMPARE(prompts->errors, (QStringList{ReadStoppedText.arg(30),
                                               "ie_BadId - Specified comport doesn't exist"}));
        QCOMPARE(form->ExchangeMode, std::uint16_t(0));
    }

    void portThatCannotOpenStopsBeforeTheDialog() {
        Start();
        form->Port().SetOpen(false);
        sim->Vanish();
        form->SettingsOptions.runDialog = [this](TFSetup&) { ++dialogsShown; };
        form->N3->trigger(); // through the menu, whose handler reports the error
        QCOMPARE(dialogsShown, 0);
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(!form->Port().Open());
        // No trigger exists, so the mode loses nothing until the port choice resets it.
        QCOMPARE(form->ExchangeMode, std::uint16_t(1));
    }
};

APP_TEST_MAIN(SettingsExchangeTest)
#include "SettingsExchangeTest.moc"
