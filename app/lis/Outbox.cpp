#include "app/lis/Outbox.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>

namespace vorsilan::lis {

namespace {

// Runs one statement; on failure leaves its reason in `error`.
bool Run(QSqlQuery& query, const QString& sql, QString& error) {
    if (!query.exec(sql)) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

bool RunPrepared(QSqlQuery& query, QString& error) {
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

// Runs `body` in one transaction: committed when it succeeds, rolled back when it or the
// commit fails, with the reason in `error`.
bool InTransaction(const QString& connection, QString& error,
                   const std::function<bool(QSqlQuery&)>& body) {
    QSqlDatabase db = QSqlDatabase::database(connection);
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    bool ok = false;
    {
        QSqlQuery query(db);
        ok = body(query);
    }
    if (ok && db.commit()) {
        return true;
    }
    if (ok) {
        error = db.lastError().text();
    }
    db.rollback();
    return false;
}

// The statements that take the tables from version N-1 to N, at index N-1.
const char* const Upgrades[] = {
    "CREATE TABLE lis_outbox ("
    " sequence INTEGER PRIMARY KEY AUTOINCREMENT,"
    " control_id TEXT NOT NULL UNIQUE,"
    " analysis_number TEXT NOT NULL,"
    " message BLOB NOT NULL,"
    " queued_at TEXT NOT NULL,"
    " refused_reason TEXT);"
    "CREATE TABLE lis_outbox_counter (last INTEGER NOT NULL);"
    "INSERT INTO lis_outbox_counter (last) VALUES (0)",
};
static_assert(std::size(Upgrades) == Outbox::SchemaVersion);

// Upgrades the tables in one transaction, so that an interrupted upgrade leaves the old ones.
bool Upgrade(const QString& connection, int from, QString& error) {
    return InTransaction(connection, error, [&](QSqlQuery& query) {
        bool ok = true;
        for (int version = from; ok && version < Outbox::SchemaVersion; ++version) {
            for (const QString& statement :
                 QString::fromLatin1(Upgrades[version]).split(u';', Qt::SkipEmptyParts)) {
                ok = ok && Run(query, statement, error);
            }
        }
        if (!ok || !Run(query, QStringLiteral("DELETE FROM lis_outbox_schema"), error)) {
            return false;
        }
        query.prepare(QStringLiteral("INSERT INTO lis_outbox_schema (version) VALUES (?)"));
        query.addBindValue(Outbox::SchemaVersion);
        return RunPrepared(query, error);
    });
}

} // namespace

std::optional<Outbox> Outbox::Open(const QString& connectionName, QString& error) {
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.isOpen()) {
        error = db.isValid() ? db.lastError().text()
                             : QStringLiteral("нет соединения с базой \"%1\"").arg(connectionName);
        return std::nullopt;
    }
    QSqlQuery query(db);
    if (!Run(query,
             QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS lis_outbox_schema (version INTEGER NOT NULL)"),
             error) ||
        !Run(query, QStringLiteral("SELECT MAX(version) FROM lis_outbox_schema"), error)) {
        return std::nullopt;
    }
    const int version = query.next() ? query.value(0).toInt() : 0;
    query.finish();
    if (version > SchemaVersion) {
        error = QStringLiteral("очередь ЛИС записана более новой версией программы (схема %1)")
                    .arg(version);
        return std::nullopt;
    }
    if (version < SchemaVersion && !Upgrade(connectionName, version, error)) {
        return std::nullopt;
    }
    return Outbox(connectionName);
}

bool Outbox::Enqueue(const QString& analysisNumber, const QDateTime& now,
                     const std::function<QByteArray(const QString&)>& build, QString& error) {
    return InTransaction(connection_, error, [&](QSqlQuery& query) {
        if (!Run(query, QStringLiteral("UPDATE lis_outbox_counter SET last = last + 1"), error) ||
            !Run(query, QStringLiteral("SELECT last FROM lis_outbox_counter"), error) ||
            !query.next()) {
            return false;
        }
        // 14 digits of time and 6 of the counter: 20 characters, the length older
        // receivers allow in MSH-10.
        const QString controlId =
            now.toString(QStringLiteral("yyyyMMddHHmmss")) +
            QStringLiteral("%1").arg(query.value(0).toLongLong() % 1000000, 6, 10, QChar(u'0'));
        query.prepare(QStringLiteral("INSERT INTO lis_outbox (control_id, analysis_number, "
                                     "message, queued_at) VALUES (?, ?, ?, ?)"));
        query.addBindValue(controlId);
        query.addBindValue(analysisNumber);
        query.addBindValue(build(controlId));
        query.addBindValue(now.toString(Qt::ISODate));
        return RunPrepared(query, error);
    });
}

std::optional<OutboxMessage> Outbox::Front() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    if (!query.exec(QStringLiteral("SELECT sequence, control_id, analysis_number, message FROM "
                                   "lis_outbox WHERE refused_reason IS NULL ORDER BY sequence "
                                   "LIMIT 1")) ||
        !query.next()) {
        return std::nullopt;
    }
    return OutboxMessage{query.value(0).toLongLong(), query.value(1).toString(),
                         query.value(2).toString(), query.value(3).toByteArray()};
}

namespace {

int Count(const QString& connection, const QString& sql) {
    QSqlQuery query(QSqlDatabase::database(connection));
    return query.exec(sql) && query.next() ? query.value(0).toInt() : 0;
}

} // namespace

int Outbox::WaitingCount() const {
    return Count(connection_,
                 QStringLiteral("SELECT COUNT(*) FROM lis_outbox WHERE refused_reason IS NULL"));
}

int Outbox::RefusedCount() const {
    return Count(
        connection_,
        QStringLiteral("SELECT COUNT(*) FROM lis_outbox WHERE refused_reason IS NOT NULL"));
}

bool Outbox::Remove(const QString& controlId) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("DELETE FROM lis_outbox WHERE control_id = ?"));
    query.addBindValue(controlId);
    return query.exec() && query.numRowsAffected() == 1;
}

bool Outbox::MarkRefused(const QString& controlId, const QString& reason) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("UPDATE lis_outbox SET refused_reason = ? WHERE control_id = ?"));
    query.addBindValue(reason);
    query.addBindValue(controlId);
    return query.exec() && query.numRowsAffected() == 1;
}

} // namespace vorsilan::lis
