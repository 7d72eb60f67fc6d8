#pragma once
// The messages that wait for the LIS, kept in SQLite so that a restart resends them. The
// outbox lives in a database connection it is given (the workstation's database file, which
// other parts of the program share): it creates its own tables, named lis_outbox*, and
// keeps its own schema version in lis_outbox_schema, leaving the file's user_version alone.
//
// A message is waiting until the LIS accepts it (then it is removed) or refuses it (then it
// stays, marked with the LIS's reason, and is not sent again).

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace vorsilan::lis {

struct OutboxMessage {
    qint64 sequence = 0; // the order of queueing
    QString controlId;
    QString analysisNumber;
    QByteArray message;
};

class Outbox {
public:
    // The schema version this program writes.
    static constexpr int SchemaVersion = 1;

    // Creates or upgrades the tables in the open connection `connectionName`. Nothing, with
    // the reason in `error`, when the database cannot be used or was written by a newer
    // program (its version is above SchemaVersion).
    static std::optional<Outbox> Open(const QString& connectionName, QString& error);

    // Queues a message: takes the next control id (the time of queueing and a counter kept
    // in the database, so it is unique across runs) and the message built for it. False,
    // with the reason, when the database refuses the write: nothing is queued then.
    bool Enqueue(const QString& analysisNumber, const QDateTime& now,
                 const std::function<QByteArray(const QString& controlId)>& build, QString& error);

    // The oldest waiting message.
    std::optional<OutboxMessage> Front() const;
    int WaitingCount() const;

    // The LIS accepted the message: it leaves the outbox.
    bool Remove(const QString& controlId);
    // The LIS refused it: it stays with the reason and no longer waits.
    bool MarkRefused(const QString& controlId, const QString& reason);
    int RefusedCount() const;

private:
    explicit Outbox(QString connectionName) : connection_(std::move(connectionName)) {}
    QString connection_;
};

} // namespace vorsilan::lis
