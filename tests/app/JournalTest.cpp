// The journal and the report through the window: stores, the 99 visible rows and beyond,
// the 65535 limit, the save dialog's name and filter, ".txt" appended, the overwrite
// question and failures; the durable journal behind it: committed rows, a failed commit,
// the rows offered back at the next start, the received results stored afterwards. The
// window starts without a port here (no analyser on COM7).

#include "app/ResultText.h"
#include "app/journal/ReceivedResultsDialog.h"
#include "tests/app/AppTestSupport.h"
#include "tools/simulator/ResultRecord.h"

#include <QAction>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>

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
        form->ResultArrival = {{0xAA, 0x55, std::uint8_t(number.toInt())}, ArrivedAt, "COM7"};
        form->ResultPending = true;
    }
    const QDateTime ArrivedAt{QDate(2026, 12, 8), QTime(10, 15, 30)};

    // One value from the journal's database, through the store's connection as another
    // module would read it.
    QVariant Sql(const QString& statement) const {
        QSqlQuery query(QSqlDatabase::database(form->Store().ConnectionName()));
        if (!query.exec(statement) || !query.next()) {
            return "<" + query.lastError().text() + ">";
        }
        return query.value(0);
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

    // A new window on the same journal, as at the next start; `yes` answers the restore
    // question.
    void Restart(bool yes) {
        form.reset();
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        prompts->yesAnswer = yes;
        form = std::make_unique<TForm1>(std::move(scripted));
        prompts->errors.removeAll(QStringLiteral("ie_BadId - Specified comport doesn't exist"));
    }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        qputenv("VORSILAN_JOURNAL_DB", dir->filePath("db/journal.sqlite").toLocal8Bit());
        Restart(false);
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
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
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
        Restart(true); // everything below holds for the rows brought back as well
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

    void rowsAreCommittedWithTheirRecordAndReportState() {
        Arrive(556, 1, "12345");
        form->Edit1->setText(QStringLiteral("Иванов"));
        form->Button1Click();
        QCOMPARE(Sql("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(Sql("PRAGMA synchronous").toInt(), 2); // FULL
        QCOMPARE(Sql("PRAGMA user_version").toInt(), 1);
        QCOMPARE(Sql("SELECT number||'|'||patient||'|'||analysis||'|'||serum||'|'||blood||'|'||"
                     "result_date||'|'||result_time||'|'||hex(record)||'|'||arrived_utc||'|'||"
                     "utc_offset||'|'||port||'|'||state FROM journal")
                     .toString(),
                 QStringLiteral("1|Иванов|12345|5,56||08.12.2026|10:15:30|AA5539%1|%2|%3|COM7|0")
                     .arg(QString(46, '0'), ArrivedAt.toUTC().toString(Qt::ISODateWithMs))
                     .arg(ArrivedAt.offsetFromUtc()));
        prompts->saveAnswers = {dir->filePath("r")};
        form->N1->trigger();
        QCOMPARE(Sql("SELECT state FROM journal").toInt(), 1); // written to a report
    }

    void unreportedRowsAreOfferedBackOnce() {
        for (int i = 1; i <= 3; ++i) {
            Arrive(500 + i, 2, QString::number(i));
            form->Button1Click();
        }
        Restart(true); // as after a crash
        QCOMPARE(prompts->yesNoQuestions,
                 QStringList{"Восстановить 3 результатов, не записанных в отчет?"});
        QCOMPARE(form->Journal().size(), std::size_t(3));
        QCOMPARE(form->Grid->Cells(0, 3), QStringLiteral("3"));
        QCOMPARE(form->Grid->Cells(4, 3), QStringLiteral("5,03"));
        Arrive(504, 2, "4");
        form->Button1Click(); // the counter goes on after them
        QCOMPARE(form->Grid->Cells(0, 4), QStringLiteral("4"));
        QCOMPARE(ShownCount(), QStringLiteral("Записано результатов: 4"));

        Restart(false); // declined: kept, never offered again
        QCOMPARE(prompts->yesNoQuestions, QStringList{RestoreQuestion(4)});
        QVERIFY(form->Journal().empty() && form->Grid->Cells(0, 1).isEmpty());
        QCOMPARE(int(form->StoredCount), 0);
        Arrive(505, 2, "5");
        form->Button1Click();
        prompts->saveAnswers = {dir->filePath("r")};
        form->N1->trigger(); // reported: not offered either
        Restart(true);
        QVERIFY(prompts->yesNoQuestions.isEmpty());
        QVERIFY(prompts->errors.isEmpty());
        QCOMPARE(Sql("SELECT group_concat(number || ':' || state) FROM journal").toString(),
                 QStringLiteral("1:2,2:2,3:2,4:2,1:1"));
    }

    void failedCommitIsToldAndTheRowNotShown() {
        Arrive(556, 1, "1");
        form->Button1Click();
        // The folder removed under the open database: SQLite would commit to the deleted file.
        QVERIFY(QDir(dir->filePath("db")).removeRecursively());
        Arrive(557, 1, "2");
        form->Button1Click();
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(prompts->errors[0].startsWith(StoreFailedText));
        QCOMPARE(int(form->StoredCount), 1);
        QVERIFY(form->Grid->Cells(0, 2).isEmpty());
        QVERIFY(form->ResultPending); // to be stored again
        // The folder back without the file: refused, not a journal silently begun anew.
        QVERIFY(QDir().mkpath(dir->filePath("db")));
        form->Button1Click();
        QCOMPARE(prompts->errors.size(), 2);
        QCOMPARE(form->Journal().size(), std::size_t(1));

        // A journal that cannot be opened at all: told at start and at each store.
        QFile file(dir->filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        qputenv("VORSILAN_JOURNAL_DB", dir->filePath("file/journal.sqlite").toLocal8Bit());
        Restart(false);
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(prompts->errors[0].startsWith(JournalUnavailableText));
        Arrive(558, 1, "3");
        form->Button1Click();
        QCOMPARE(prompts->errors.size(), 2);
        QCOMPARE(int(form->StoredCount), 0);
    }

    void receivedResultsAreStoredAfterTheFact() {
        const QDate today = QDate::currentDate();
        const auto keep = [&](std::uint16_t number, unsigned value, vorsilan::sim::SampleKind kind,
                              const QDateTime& at) {
            QVERIFY(form->Store().AddReceived(
                {*vorsilan::sim::EncodeResultRecord(number, value, kind), at, "COM7"}));
        };
        // Two of today, the first replaced on the screen before anyone stored it.
        keep(11, 556, vorsilan::sim::SampleKind::Serum, QDateTime(today, QTime(9, 0, 5)));
        keep(12, 1234, vorsilan::sim::SampleKind::WholeBlood, QDateTime(today, QTime(9, 1)));
        keep(10, 40, vorsilan::sim::SampleKind::Urine, QDateTime(today.addDays(-1), QTime(17, 0)));
        form->Edit1->setText(QStringLiteral("Сидоров"));
        form->Edit3->setText(QStringLiteral("Петрова"));
        journal::ReceivedResultsDialog dialog(form->Store(),
                                              [&](qint64 id) { return form->StoreReceived(id); });
        QCOMPARE(dialog.Day->date(), today);
        QCOMPARE(dialog.Table->rowCount(), 2);
        QCOMPARE(dialog.Table->item(0, 2)->text(), QStringLiteral("Сыворотка 5,56"));
        QVERIFY(!dialog.StoreButton->isEnabled());
        dialog.Table->selectRow(0);
        dialog.StoreButton->click();
        const QStringList expected = {"1",
                                      "Сидоров",
                                      "11",
                                      "5,56",
                                      "",
                                      "",
                                      ResultDateText(today),
                                      ResultTimeText(QTime(9, 0, 5)),
                                      "Петрова"};
        for (int c = 0; c < 9; ++c) {
            QCOMPARE(form->Grid->Cells(c, 1), expected[c]);
        }
        QCOMPARE(dialog.Table->item(0, 4)->text(), QStringLiteral("да"));
        QVERIFY(!dialog.StoreButton->isEnabled()); // not twice
        dialog.Day->setDate(today.addDays(-1));
        QCOMPARE(dialog.Table->rowCount(), 1);
        QCOMPARE(dialog.Table->item(0, 1)->text(), QStringLiteral("10"));
        QCOMPARE(Sql("SELECT count(*) FROM journal WHERE received_id IS NOT NULL").toInt(), 1);
        QVERIFY(prompts->errors.isEmpty());
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
