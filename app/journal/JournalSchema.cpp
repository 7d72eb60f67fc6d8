#include "app/journal/JournalSchema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <array>
#include <vector>

namespace vorsilan::app::journal {

namespace {

// Version 1: every record received, the journal's rows, and the modules' own versions.
// Times are ISO 8601 in UTC with the local offset beside them in seconds east of UTC;
// received.local_day is the local date of the arrival, for the list of a day.
// journal.state: 0 not yet written to a report, 1 written to a report, 2 declined when it
// was offered back at a start.
const std::vector<const char*> Version1 = {
    R"(CREATE TABLE received (
        id INTEGER PRIMARY KEY,
        record BLOB NOT NULL CHECK (length(record) = 26),
        arrived_utc TEXT NOT NULL,
        utc_offset INTEGER NOT NULL,
        local_day TEXT NOT NULL,
        port TEXT NOT NULL))",
    "CREATE INDEX received_by_day ON received (local_day, id)",
    R"(CREATE TABLE journal (
        id INTEGER PRIMARY KEY,
        number INTEGER NOT NULL,
        patient TEXT NOT NULL,
        analysis TEXT NOT NULL,
        serum TEXT NOT NULL,
        blood TEXT NOT NULL,
        urine TEXT NOT NULL,
        result_date TEXT NOT NULL,
        result_time TEXT NOT NULL,
        technician TEXT NOT NULL,
        record BLOB NOT NULL CHECK (length(record) = 26),
        arrived_utc TEXT NOT NULL,
        utc_offset INTEGER NOT NULL,
        port TEXT NOT NULL,
        received_id INTEGER REFERENCES received (id),
        stored_utc TEXT NOT NULL,
        state INTEGER NOT NULL DEFAULT 0 CHECK (state IN (0, 1, 2)),
        state_utc TEXT))",
    "CREATE INDEX journal_by_state ON journal (state, id)",
    "CREATE INDEX journal_by_received ON journal (received_id)",
    R"(CREATE TABLE module_version (
        module TEXT PRIMARY KEY,
        version INTEGER NOT NULL))",
};

// Step i takes the tables from version i to version i + 1.
const std::array<const std::vector<const char*>*, JournalSchemaVersion> Steps = {&Version1};

QString Failure(QSqlQuery& query) {
    QString error = query.lastError().text();
    query.exec(QStringLiteral("ROLLBACK"));
    return error;
}

} // namespace

QString MigrateJournalSchema(QSqlDatabase& db) {
    QSqlQuery query(db);
    // Immediate: two programs opening a new file at once must not both create the tables.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        return query.lastError().text();
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return Failure(query);
    }
    const int found = query.value(0).toInt();
    if (found > JournalSchemaVersion) {
        query.exec(QStringLiteral("ROLLBACK"));
        return QStringLiteral("база создана более новой версией программы (версия %1, "
                              "эта программа знает версии до %2)")
            .arg(found)
            .arg(JournalSchemaVersion);
    }
    if (found == JournalSchemaVersion) {
        query.exec(QStringLiteral("ROLLBACK"));
        return QString();
    }
    for (int version = found; version < JournalSchemaVersion; ++version) {
        for (const char* statement : *Steps[static_cast<std::size_t>(version)]) {
            if (!query.exec(QString::fromLatin1(statement))) {
                return Failure(query);
            }
        }
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(JournalSchemaVersion))) {
        return Failure(query);
    }
    if (!query.exec(QStringLiteral("COMMIT"))) {
        return Failure(query);
    }
    return QString();
}

} // namespace vorsilan::app::journal
