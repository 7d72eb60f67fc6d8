// The outbox in a scratch SQLite file: order and state kept across a reopen, control ids
// unique across runs, the file's other tables and user_version left alone, a newer schema
// and a refused write reported.

#include "app/lis/Outbox.h"
#include "app/lis/DatabaseConnection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vorsilan::lis;

class OutboxTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<DatabaseConnection> db;
    const QDateTime now{QDate(2026, 12, 9), QTime(10, 15, 30)};

    // Opens (again) the scratch file as another run would.
    std::optional<Outbox> Reopen(QString* error = nullptr) {
        db.reset();
        db = std::make_unique<DatabaseConnection>(QStringLiteral("outbox-test"), path);
        QString ignored;
        return Outbox::Open(db->Name(), error ? *error : ignored);
    }
    void Exec(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(db->Name()));
        QVERIFY2(query.exec(sql), qPrintable(sql));
    }
    static QString Queue(Outbox& outbox, const QString& number, const QDateTime& at) {
        QString id;
        QString error;
        const bool ok = outbox.Enqueue(
            number, at, [&](const QString& controlId) { return (id = controlId).toUtf8(); }, error);
        return ok ? id : QStringLiteral("failed: ") + error;
    }

private slots:
    void init() {
        path = dir.filePath(QStringLiteral("%1.sqlite").arg(QTest::currentTestFunction()));
    }
    void cleanup() { db.reset(); }

    void keepsOrderAndStateAcrossAReopen() {
        db = std::make_unique<DatabaseConnection>(QStringLiteral("outbox-test"), path);
        // Another part of the program shares the file.
        Exec(QStringLiteral("PRAGMA user_version = 7"));
        Exec(QStringLiteral("CREATE TABLE journal (n INTEGER)"));
        Exec(QStringLiteral("INSERT INTO journal VALUES (42)"));
        std::optional<Outbox> outbox = Reopen();
        QVERIFY(outbox);
        const QStringList ids = {Queue(*outbox, "1", now), Queue(*outbox, "2", now),
                                 Queue(*outbox, "3", now)};
        outbox = Reopen();
        QVERIFY(outbox);
        QCOMPARE(outbox->WaitingCount(), 3);
        QCOMPARE(outbox->Front()->controlId, ids[0]);
        QCOMPARE(outbox->Front()->message, ids[0].toUtf8());
        QVERIFY(outbox->Remove(ids[0]));
        QVERIFY(!outbox->Remove(ids[0]));
        QVERIFY(outbox->MarkRefused(ids[1], QStringLiteral("AE Пациент не найден")));
        outbox = Reopen();
        QVERIFY(outbox);
        QCOMPARE(outbox->WaitingCount(), 1);
        QCOMPARE(outbox->RefusedCount(), 1);
        QCOMPARE(outbox->Front()->analysisNumber, QStringLiteral("3"));

        QSqlQuery query(QSqlDatabase::database(db->Name()));
        QVERIFY(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
        QCOMPARE(query.value(0).toInt(), 7);
        QVERIFY(query.exec(QStringLiteral("SELECT n FROM journal")) && query.next());
        QCOMPARE(query.value(0).toInt(), 42);
    }

    // The same second in two runs still gives two ids; each fits MSH-10's 20 characters.
    void controlIdsAreUniqueAcrossRuns() {
        std::optional<Outbox> outbox = Reopen();
        QVERIFY(outbox);
        const QString first = Queue(*outbox, "1", now);
        outbox = Reopen();
        QVERIFY(outbox);
        const QString second = Queue(*outbox, "1", now);
        QVERIFY2(first != second, qPrintable(first));
        QCOMPARE(first.size(), 20);
        QVERIFY(first.startsWith(QStringLiteral("20261209101530")));
    }

    void refusesASchemaFromANewerProgram() {
        QVERIFY(Reopen());
        Exec(QStringLiteral("UPDATE lis_outbox_schema SET version = %1")
                 .arg(Outbox::SchemaVersion + 1));
        QString error;
        QVERIFY(!Reopen(&error));
        QVERIFY2(error.contains(QStringLiteral("более новой версией")), qPrintable(error));
    }

    // A write the database refuses is reported and queues nothing.
    void reportsARefusedWrite() {
        std::optional<Outbox> outbox = Reopen();
        QVERIFY(outbox);
        Exec(QStringLiteral("CREATE TRIGGER no_insert BEFORE INSERT ON lis_outbox BEGIN "
                            "SELECT RAISE(ABORT, 'disk full'); END"));
        QVERIFY(Queue(*outbox, "1", now).contains(QStringLiteral("disk full")));
        QCOMPARE(outbox->WaitingCount(), 0);
        Exec(QStringLiteral("DROP TRIGGER no_insert"));
        // The counter's step was rolled back with the row.
        const QString id = Queue(*outbox, "1", now);
        QVERIFY2(id.endsWith(QStringLiteral("000001")), qPrintable(id));
    }
};

QTEST_GUILESS_MAIN(OutboxTest)
#include "OutboxTest.moc"
