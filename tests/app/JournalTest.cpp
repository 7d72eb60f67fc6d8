// The journal and the report through the window: stores, the 99 visible rows and beyond,
// the 65535 limit, the save dialog's name and filter, ".txt" appended, the overwrite
// question and failures. The window starts without a port here (no analyser on COM7).

#include "tests/app/AppTestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include <memory>

using namespace vorsilan::app;

class JournalTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TForm1> form;
    test::ScriptedPrompts* prompts = nullptr;
    std::unique_ptr<QTemporaryDir> dir;

    // A result as reception leaves it.
    void Arrive(std::uint16_t value, std::uint16_t kind, const QString& number) {
        form->ResultValue = value;
        form->SampleKind = kind;
        form->Edit2->setText(number);
        form->ResultDate = QStringLiteral("08.12.2026");
        form->ResultTime = QStringLiteral("10:15:30");
        form->ResultPending = true;
    }

    // The stored count as the status bar shows it beside the notices: "" when it is not.
    QString ShownCount() const {
        for (const QLabel* label : form->StatusBar->findChildren<QLabel*>()) {
            if (label->isVisibleTo(form.get()) && label->text().startsWith(StoredText)) {
                return label->text();
            }
        }
        return form->StatusBar->currentMessage().startsWith(StoredText)
                   ? form->StatusBar->currentMessage()
                   : QString();
    }

private slots:
    void init() {
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        form = std::make_unique<TForm1>(std::move(scripted));
        prompts->errors.clear(); // the port that cannot open
        dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        form.reset();
        dir.reset();
    }

    void storesOncePerResult() {
        Arrive(556, 1, "12345");
        form->Edit1->setText(QStringLiteral("Иванов"));
        form->Edit3->setText(QStringLiteral("Петрова"));
        form->Button1Click();
        form->Button1Click();
        QCOMPARE(int(form->StoredCount), 1);
        QVERIFY(!form->ResultPending);
        QCOMPARE(ShownCount(), QStringLiteral("Записано результатов: 1"));
        // Pointing at a menu clears the temporary message; the count stays.
        QStatusTipEvent tip{QString()};
        QApplication::sendEvent(form->MainMenu1, &tip);
        QVERIFY(form->StatusBar->currentMessage().isEmpty());
        QCOMPARE(ShownCount(), QStringLiteral("Записано результатов: 1"));
        const QStringList expected = {"1", "Иванов",     "12345",    "5,56",   "",
                                      "",  "08.12.2026", "10:15:30", "Петрова"};
        for (int c = 0; c < 9; ++c) {
            QCOMPARE(form->Grid->Cells(c, 1), expected[c]);
        }
        QVERIFY(form->Grid->Cells(0, 2).isEmpty());
        QCOMPARE(form->Edit1->text(), QStringLiteral("Иванов")); // names carry over
    }

    void valueColumnFollowsTheKind() {
        Arrive(1234, 1, "1");
        form->Button1Click();
        Arrive(1234, 2, "2");
        form->Button1Click();
        Arrive(556, 3, "3");
        form->Button1Click();
        Arrive(556, 7, "4");
        form->Button1Click();
        QCOMPARE(form->Grid->Cells(3, 1), QStringLiteral("12,3")); // serum: 3 digits
        QCOMPARE(form->Grid->Cells(4, 2), QStringLiteral("12,34"));
        QCOMPARE(form->Grid->Cells(5, 3), QStringLiteral("55,6"));
        QCOMPARE(int(form->StoredCount), 4);
        for (int c = 3; c <= 5; ++c) {
            QVERIFY(form->Grid->Cells(c, 4).isEmpty());
        }
        prompts->saveAnswers = {dir->filePath("r")};
        form->N1->trigger();
        const QList<QByteArray> lines = test::ReadAll(dir->filePath("r.txt")).split('\n');
        QCOMPARE(lines.size(), 4 * 6 + 1);
        QCOMPARE(lines[4],
                 QByteArray("\xd1\xfb\xe2\xee\xf0\xee\xf2\xea\xe0 = 12,3 \xec\xec\xee\xeb\xfc \r"));
        QCOMPARE(lines[3 * 6 + 4], QByteArray(" \r"));
    }

    void journalGoesOnBeyondTheGrid() {
        for (int i = 1; i <= 100; ++i) {
            Arrive(500, 2, QString::number(i));
            form->Button1Click();
        }
        QCOMPARE(ShownCount(), QStringLiteral("Записано результатов: 100"));
        QCOMPARE(form->Grid->Cells(0, 99), QStringLiteral("99"));
        QCOMPARE(form->Journal().size(), std::size_t(100));
        QCOMPARE(form->Journal().back().number, QStringLiteral("100"));
        prompts->saveAnswers = {dir->filePath("all")};
        form->N1->trigger();
        QVERIFY(test::ReadAll(dir->filePath("all.txt"))
                    .endsWith("100\r\n\xcf\xe0\xf6\xe8\xe5\xed\xf2: \r\n"
                              "\xcb\xe0\xe1\xee\xf0\xe0\xed\xf2: \r\n"
                              "\xc2\xf0\xe5\xec\xff: 10:15:30\r\n"
                              "\xca\xf0\xee\xe2\xfc = 5 \xec\xec\xee\xeb\xfc \r\n \r\n"));
        QCOMPARE(test::ReadAll(dir->filePath("all.txt")).count("\r\n"), 600);
    }

    void refusesToStoreBeyond65535() {
        form->StoredCount = 65535;
        Arrive(556, 1, "1");
        form->Button1Click();
        QCOMPARE(int(form->StoredCount), 65535);
        QCOMPARE(form->StatusBar->currentMessage(), JournalFullText);
        QVERIFY(!form->ResultPending);
        QVERIFY(form->Journal().empty());
    }

    void reportNamesAndTheOverwriteQuestion() {
        // Cancelled: nothing is written and the name stays.
        form->N1->trigger();
        QCOMPARE(prompts->filters, QStringList{ReportFilter});
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 0);

        // An empty journal gives an empty file; ".txt" is always appended.
        const QString base = dir->filePath("report");
        prompts->saveAnswers = {base};
        form->N1->trigger();
        QCOMPARE(QFileInfo(base + ".txt").size(), 0);
        QCOMPARE(form->SaveDialogFileName, base + ".txt");
        QVERIFY(prompts->questions.isEmpty());

        // Accepting the suggested name writes report.txt.txt, without a question.
        Arrive(556, 1, "1");
        form->Button1Click();
        prompts->saveAnswers = {form->SaveDialogFileName};
        form->N1->trigger();
        QCOMPARE(prompts->startNames.last(), base + ".txt");
        QVERIFY(QFileInfo(base + ".txt.txt").size() > 0);
        QVERIFY(prompts->questions.isEmpty());

        // An existing target: No and Cancel leave it alone, Yes overwrites.
        QFile existing(base + ".txt");
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep");
        existing.close();
        for (OverwriteAnswer answer : {OverwriteAnswer::No, OverwriteAnswer::Cancel}) {
            prompts->overwriteAnswer = answer;
            prompts->saveAnswers = {base};
            form->N1->trigger();
            QCOMPARE(test::ReadAll(base + ".txt"), QByteArray("keep"));
        }
        QCOMPARE(prompts->questions, QStringList({OverwriteQuestion, OverwriteQuestion}));
        prompts->overwriteAnswer = OverwriteAnswer::Yes;
        prompts->saveAnswers = {base};
        form->N1->trigger();
        QVERIFY(test::ReadAll(base + ".txt").startsWith("1\r\n"));
        QVERIFY(prompts->errors.isEmpty());
    }

    void unwritableTargetIsReported() {
        Arrive(556, 1, "1");
        form->Button1Click();
        // A directory where the file should be: the open fails.
        QVERIFY(QDir(dir->path()).mkdir("taken.txt"));
        prompts->overwriteAnswer = OverwriteAnswer::Yes;
        prompts->saveAnswers = {dir->filePath("taken"), dir->filePath("no/such/dir/x")};
        form->N1->trigger();
        form->N1->trigger();
        QCOMPARE(prompts->errors, QStringList({"File access denied", "I/O error 2"}));
        QCOMPARE(int(form->StoredCount), 1);
    }

    void namesOutsideTheCodePageAreMarked() {
        Arrive(556, 1, "1");
        form->Edit1->setText(QStringLiteral("Zoë"));
        form->Button1Click();
        prompts->saveAnswers = {dir->filePath("names")};
        form->N1->trigger();
        QCOMPARE(form->StatusBar->currentMessage(), ReplacedCharactersText);
        QVERIFY(test::ReadAll(dir->filePath("names.txt")).contains(": Zo?\r\n"));
    }
};

APP_TEST_MAIN(JournalTest)
#include "JournalTest.moc"
