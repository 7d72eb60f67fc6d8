// The report file: the six lines of a row, the bytes against a golden Windows-1251 file,
// characters the code page lacks, and the runtime errors of failing file operations.

#include "app/ReportFile.h"
#include "tests/app/AppTestSupport.h"

#include <QFile>

using namespace vorsilan::app;

namespace {

JournalRow Row(const QString& number, const QString& patient, const QString& technician,
               const QString& time) {
    JournalRow row;
    row.number = number;
    row.patient = patient;
    row.technician = technician;
    row.time = time;
    row.date = QStringLiteral("08.12.2026"); // never written
    return row;
}

} // namespace

class ReportFileTest : public QObject {
    Q_OBJECT
private slots:
    void bytesMatchTheGoldenFile() {
        std::vector<JournalRow> rows;
        rows.push_back(Row("12345", "Иванов И.И.", "Петрова А.С.", "10:15:30"));
        rows.back().serum = "5,56";
        rows.push_back(Row("7", "", "", "10:16:00"));
        rows.push_back(Row("65535", "Сидоров", "Петрова А.С.", "11:00:01"));
        rows.back().urine = "55,6";
        rows.push_back(Row("3", "Кузнецова Ё. №1", "Петрова", "23:59:59"));
        rows.back().blood = "5";
        QTemporaryDir dir;
        const QString path = dir.filePath("report.txt");
        QVERIFY(!WriteReportFile(path, rows));
        QCOMPARE(test::ReadAll(path), test::ReadAll(QStringLiteral(GOLDEN_DIR "/report.txt")));
    }

    void resultPartJoinsEveryFilledColumn() {
        JournalRow row = Row("1", "a", "b", "c");
        row.serum = "1";
        row.urine = "2";
        QCOMPARE(ReportLines(row).at(4), QStringLiteral("Сыворотка = 1 ммольМоча = 2 ммоль "));
    }

    void emptyJournalGivesAnEmptyFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
        old.close();
        WriteReportFile(path, {});
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void charactersOutsideTheCodePageBecomeQuestionMarks() {
        bool replaced = false;
        QCOMPARE(EncodeWindows1251(QStringLiteral("Zoë 中😀 Ян"), &replaced),
                 QByteArray("Zo? ?? \xDF\xED"));
        QVERIFY(replaced);
        replaced = false;
        EncodeWindows1251(QStringLiteral("Петров №5"), &replaced);
        QVERIFY(!replaced);

        QTemporaryDir dir;
        const QString path = dir.filePath("names.txt");
        QVERIFY(WriteReportFile(path, {Row("1", "Zoë", "Ян", "10:00:00")}));
        QVERIFY(test::ReadAll(path).startsWith("1\r\n\xCF\xE0\xF6\xE8\xE5\xED\xF2: Zo?\r\n"));
    }

    void failuresRaiseTheRuntimeTexts() {
        QTemporaryDir dir;
        try {
            WriteReportFile(dir.filePath("missing/dir/report.txt"), {});
            QFAIL("no error raised");
        } catch (const apd::EInOutError& e) {
            QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("I/O error 2"));
        }
        try {
            WriteReportFile(dir.path(), {}); // a directory
            QFAIL("no error raised");
        } catch (const apd::EInOutError& e) {
            QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("File access denied"));
        }
        if (QFileInfo::exists("/dev/full")) {
            try {
                WriteReportFile("/dev/full", {Row("1", "a", "b", "c")});
                QFAIL("no error raised");
            } catch (const apd::EInOutError& e) {
                QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("Disk full"));
            }
        }
    }
};

APP_TEST_MAIN(ReportFileTest)
#include "ReportFileTest.moc"
