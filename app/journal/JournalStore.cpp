#include "app/journal/JournalStore.h"

#include "app/journal/JournalSchema.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstring>

namespace vorsilan::app::journal {

namespace {

enum State { NotReported = 0, Reported = 1, Declined = 2 };

// Qt binds a null QString as SQL NULL; the journal's texts are never NULL, at most empty.
QVariant Text(const QString& text) {
    return text.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(text);
}

QString UtcText(const QDateTime& at) {
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray RecordBlob(const RecordBytes& record) {
    return QByteArray(reinterpret_cast<const char*>(record.data()),
                      static_cast<qsizetype>(record.size()));
}

RecordBytes RecordOf(const QByteArray& blob) {
    RecordBytes record{};
    if (blob.size() == static_cast<qsizetype>(record.size())) {
        std::memcpy(record.data(), blob.constData(), record.size());
    }
    return record;
}

QDateTime ArrivalTime(const QString& utc, int offset) {
    return QDateTime::fromString(utc, Qt::ISODateWithMs).toOffsetFromUtc(offset);
}

} // namespace

JournalStore::JournalStore(QString path)
    : path_(std::move(path)),
      connectionName_(
          QStringLiteral("vorsilan-journal-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)) {}

JournalStore::~JournalStore() {
    Close();
}

QSqlDatabase JournalStore::Database() const {
    return QSqlDatabase::database(connectionName_, false);
}

void JournalStore::Close() {
    if (QSqlDatabase::contains(connectionName_)) {
        CloseConnection(connectionName_);
    }
    open_ = false;
}

bool JournalStore::Fail(const QString& error) {
    lastError_ = error;
    return false;
}

bool JournalStore::Fail(const QSqlQuery& query) {
    const QString error = query.lastError().text();
    Database().rollback();
    // The connection may be broken (a vanished disk): the next operation opens it anew.
    open_ = false;
    return Fail(error);
}

bool JournalStore::Open() {
    if (open_) {
        return true;
    }
    Close(); // a connection left by a failure
    if (everOpened_ && !QFileInfo::exists(path_)) {
        return Fail(QStringLiteral("файл базы %1 не найден").arg(path_));
    }
    QString error = OpenConnection(connectionName_, path_);
    if (error.isEmpty()) {
        QSqlDatabase db = Database();
        error = MigrateJournalSchema(db);
        if (!error.isEmpty()) {
            CloseConnection(connectionName_);
        }
    }
    if (!error.isEmpty()) {
        return Fail(QStringLiteral("база %1: %2").arg(path_, error));
    }
    open_ = true;
    everOpened_ = true;
    return true;
}

bool JournalStore::Commit() {
    QSqlDatabase db = Database();
    if (!db.commit()) {
        const QString error = db.lastError().text();
        db.rollback();
        open_ = false;
        return Fail(error);
    }
    if (!QFileInfo::exists(path_)) {
        open_ = false;
        return Fail(QStringLiteral("файл базы %1 удалён или перемещён").arg(path_));
    }
    return true;
}

bool JournalStore::Begin() {
    if (!Open()) {
        return false;
    }
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        open_ = false;
        return Fail(db.lastError().text());
    }
    return true;
}

std::optional<qint64> JournalStore::Insert(const QString& statement, const QVariantList& values) {
    if (!Begin()) {
        return std::nullopt;
    }
    QSqlQuery query(Database());
    query.prepare(statement);
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        Fail(query);
        return std::nullopt;
    }
    const qint64 id = query.lastInsertId().toLongLong();
    query.finish();
    if (!Commit()) {
        return std::nullopt;
    }
    return id;
}

std::optional<qint64> JournalStore::AddReceived(const Arrival& arrival) {
    return Insert(QStringLiteral("INSERT INTO received (record, arrived_utc, utc_offset, "
                                 "local_day, port) VALUES (?, ?, ?, ?, ?)"),
                  {RecordBlob(arrival.record), Text(UtcText(arrival.at)),
                   arrival.at.offsetFromUtc(), Text(arrival.at.date().toString(Qt::ISODate)),
                   Text(arrival.port)});
}

std::optional<qint64> JournalStore::AddRow(int number, const JournalRow& row,
                                           const Arrival& arrival,
                                           std::optional<qint64> receivedId) {
    return Insert(
        QStringLiteral("INSERT INTO journal (number, patient, analysis, serum, blood, urine, "
                       "result_date, result_time, technician, record, arrived_utc, utc_offset, "
                       "port, received_id, stored_utc) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {number, Text(row.patient), Text(row.number), Text(row.serum), Text(row.blood),
         Text(row.urine), Text(row.date), Text(row.time), Text(row.technician),
         RecordBlob(arrival.record), Text(UtcText(arrival.at)), arrival.at.offsetFromUtc(),
         Text(arrival.port),
         receivedId ? QVariant(*receivedId) : QVariant(QMetaType::fromType<qint64>()),
         UtcText(QDateTime::currentDateTimeUtc())});
}

bool JournalStore::SetState(const std::vector<qint64>& ids, int state) {
    if (ids.empty()) {
        return true; // nothing to change: not even an open file is needed
    }
    if (!Begin()) {
        return false;
    }
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("UPDATE journal SET state = ?, state_utc = ? "
                                 "WHERE id = ? AND state = 0"));
    const QString now = UtcText(QDateTime::currentDateTimeUtc());
    for (const qint64 id : ids) {
        query.addBindValue(state);
        query.addBindValue(now);
        query.addBindValue(id);
        if (!query.exec()) {
            return Fail(query);
        }
    }
    query.finish();
    return Commit();
}

bool JournalStore::MarkReported(const std::vector<qint64>& ids) {
    return SetState(ids, Reported);
}

bool JournalStore::MarkDeclined(const std::vector<qint64>& ids) {
    return SetState(ids, Declined);
}

std::optional<std::vector<StoredRow>> JournalStore::Unreported() {
    if (!Open()) {
        return std::nullopt;
    }
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, number, patient, analysis, serum, blood, urine, "
                                   "result_date, result_time, technician FROM journal "
                                   "WHERE state = %1 ORDER BY id")
                        .arg(NotReported))) {
        Fail(query);
        return std::nullopt;
    }
    std::vector<StoredRow> rows;
    while (query.next()) {
        StoredRow stored;
        stored.id = query.value(0).toLongLong();
        stored.number = query.value(1).toInt();
        stored.row.patient = query.value(2).toString();
        stored.row.number = query.value(3).toString();
        stored.row.serum = query.value(4).toString();
        stored.row.blood = query.value(5).toString();
        stored.row.urine = query.value(6).toString();
        stored.row.date = query.value(7).toString();
        stored.row.time = query.value(8).toString();
        stored.row.technician = query.value(9).toString();
        rows.push_back(std::move(stored));
    }
    return rows;
}

std::optional<std::vector<ReceivedResult>> JournalStore::SelectReceived(const char* where,
                                                                        const QVariant& value) {
    if (!Open()) {
        return std::nullopt;
    }
    QSqlQuery query(Database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT r.id, r.record, r.arrived_utc, r.utc_offset, r.port, "
                                 "EXISTS (SELECT 1 FROM journal j WHERE j.received_id = r.id) "
                                 "FROM received r WHERE %1 ORDER BY r.id")
                      .arg(QLatin1String(where)));
    query.addBindValue(value);
    if (!query.exec()) {
        Fail(query);
        return std::nullopt;
    }
    std::vector<ReceivedResult> results;
    while (query.next()) {
        ReceivedResult result;
        result.id = query.value(0).toLongLong();
        result.arrival.record = RecordOf(query.value(1).toByteArray());
        result.arrival.at = ArrivalTime(query.value(2).toString(), query.value(3).toInt());
        result.arrival.port = query.value(4).toString();
        result.inJournal = query.value(5).toBool();
        results.push_back(std::move(result));
    }
    return results;
}

std::optional<std::vector<ReceivedResult>> JournalStore::ReceivedOn(const QDate& day) {
    return SelectReceived("r.local_day = ?", day.toString(Qt::ISODate));
}

std::optional<ReceivedResult> JournalStore::Received(qint64 id) {
    auto found = SelectReceived("r.id = ?", id);
    if (!found) {
        return std::nullopt;
    }
    if (found->empty()) {
        Fail(QStringLiteral("принятый результат %1 не найден").arg(id));
        return std::nullopt;
    }
    return found->front();
}

} // namespace vorsilan::app::journal
