// The journal survives a crash: the real program as a process (its test control, see
// app/TestControl.h) against the analyser simulator on COM7, killed with SIGKILL right after
// a store, started again and its rows restored; its report is the same, byte for byte, as
// the report of a run that did not crash. Every step waits for a line of the program's
// output.

#include "app/journal/JournalDatabase.h"
#include "tests/app/AppTestSupport.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace vorsilan;

namespace {

// The program on a journal file of its own, every record arriving at the same fixed time so
// that two runs write the same report.
class Program {
public:
    explicit Program(const QString& database, const QStringList& options = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(app::journal::DatabasePathVariable, database);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(WORKSTATION_PATH,
                       QStringList{"--control", "--clock=2026-12-08T10:15:30"} + options);
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(app::test::Within);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    void Send(const QString& command) { process_.write((command + '\n').toUtf8()); }
    // Waits for this line among those not yet waited for; the lines before it are passed.
    bool WaitFor(const QString& line) {
        return QTest::qWaitFor(
            [&] {
                lines_ += QString::fromUtf8(process_.readAllStandardOutput());
                const qsizetype at = ('\n' + lines_).indexOf('\n' + line + '\n');
                if (at < 0) {
                    return false;
                }
                lines_.remove(0, at + line.size() + 1);
                return true;
            },
            app::test::Within);
    }
    bool Quit() {
        Send("quit");
        return process_.waitForFinished(app::test::Within) && process_.exitCode() == 0;
    }
    bool Kill() {
        process_.kill(); // SIGKILL: nothing of the program runs any more
        return process_.waitForFinished(app::test::Within) &&
               process_.exitStatus() == QProcess::CrashExit;
    }
    const QString& Unread() const { return lines_; }

private:
    QProcess process_;
    QString lines_;
};

} // namespace

class CrashRecoveryTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<sim::AnalyserSimulator> analyser;

    // Results `from` to `to` arrive and are stored, each with its own patient.
    bool StoreResults(Program& program, int from, int to) {
        constexpr sim::SampleKind Kinds[] = {sim::SampleKind::Serum, sim::SampleKind::WholeBlood,
                                             sim::SampleKind::Urine};
        for (int i = from; i <= to; ++i) {
            const auto record =
                sim::EncodeResultRecord(std::uint16_t(100 + i), 500u + i, Kinds[i % 3]);
            if (!analyser->SendRecord(*record) ||
                !program.WaitFor(QString("received %1").arg(100 + i))) {
                return false;
            }
            program.Send(QString("patient Пациент №%1").arg(i));
            program.Send("technician Петрова");
            program.Send("store");
            if (!program.WaitFor(QString("stored %1").arg(i))) {
                return false;
            }
        }
        return true;
    }

    static int JournalRows(const QString& database) {
        const QString name = QStringLiteral("crash-test-check");
        int rows = -1;
        if (app::journal::OpenConnection(name, database).isEmpty()) {
            QSqlQuery query(QSqlDatabase::database(name));
            if (query.exec("SELECT count(*) FROM journal WHERE state = 0") && query.next()) {
                rows = query.value(0).toInt();
            }
        }
        app::journal::CloseConnection(name);
        return rows;
    }

private slots:
    void init() {
        analyser = std::make_unique<sim::AnalyserSimulator>(app::test::SimulatorOnCom(7));
    }
    void cleanup() { analyser.reset(); }

    void aCrashRightAfterAStoreLosesNothing() {
        QTemporaryDir dir;
        {
            Program calm(dir.filePath("calm.sqlite"));
            QVERIFY(calm.WaitFor("ready 0"));
            QVERIFY2(StoreResults(calm, 1, 4), qPrintable(calm.Unread()));
            calm.Send("report " + dir.filePath("calm"));
            QVERIFY(calm.WaitFor("ok report"));
            QVERIFY(calm.Quit());
        }
        const QString database = dir.filePath("crash.sqlite");
        {
            Program crashing(database);
            QVERIFY(crashing.WaitFor("ready 0"));
            QVERIFY2(StoreResults(crashing, 1, 3), qPrintable(crashing.Unread()));
            QVERIFY(crashing.Kill());
        }
        QCOMPARE(JournalRows(database), 3);
        {
            Program restarted(database, {"--restore-answer=yes"});
            QVERIFY(
                restarted.WaitFor("question Восстановить 3 результатов, не записанных в отчет?"));
            QVERIFY(restarted.WaitFor("ready 3"));
            QVERIFY2(StoreResults(restarted, 4, 4), qPrintable(restarted.Unread()));
            restarted.Send("report " + dir.filePath("crash"));
            QVERIFY(restarted.WaitFor("ok report"));
            QVERIFY2(!restarted.Unread().contains("error"), qPrintable(restarted.Unread()));
            QVERIFY(restarted.Quit());
        }
        const QByteArray calmReport = app::test::ReadAll(dir.filePath("calm.txt"));
        QCOMPARE(calmReport.count("\r\n"), 4 * 6);
        QCOMPARE(app::test::ReadAll(dir.filePath("crash.txt")), calmReport);
        QCOMPARE(JournalRows(database), 0); // all of them reported
    }
};

APP_TEST_MAIN(CrashRecoveryTest)
#include "CrashRecoveryTest.moc"
