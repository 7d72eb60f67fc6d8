#pragma once
// The durable journal: every record received and every stored journal row, in the SQLite
// file of JournalDatabase.h. A row is committed (with a full sync) before the window shows
// it; nothing is ever deleted, rows only change their report state. Used from the thread
// that made the store (Qt SQL connections belong to one thread).
//
// Another module keeps its own tables in the same file: on this thread it may use this
// store's connection, QSqlDatabase::database(ConnectionName()); on any thread it opens its
// own connection to Path() with OpenConnection() (JournalDatabase.h).

#include "app/ReportFile.h"
#include "app/ResultRecordDecoding.h"
#include "app/journal/JournalDatabase.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

class QSqlDatabase;
class QSqlQuery;

namespace vorsilan::app::journal {

// A record as it came off the line.
struct Arrival {
    RecordBytes record{};
    QDateTime at; // local time, with its offset from UTC
    QString port; // "COM7"
};

struct ReceivedResult {
    qint64 id = 0;
    Arrival arrival;
    bool inJournal = false; // some journal row was stored from it
};

struct StoredRow {
    qint64 id = 0;
    int number = 0; // the grid's "N п/п"
    JournalRow row;
};

class JournalStore {
public:
    explicit JournalStore(QString path = DatabasePath());
    ~JournalStore();
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    const QString& Path() const { return path_; }
    const QString& ConnectionName() const { return connectionName_; }
    // Why the last operation failed, in Russian, for the technician.
    const QString& LastError() const { return lastError_; }

    // Opens the file (creating it and its folder the first time) unless it is open. After
    // a failure the file is opened again only where it still is: a file that vanished is
    // reported, not silently begun anew.
    bool Open();

    // Each write commits before it returns; the row's id, or nothing on failure.
    std::optional<qint64> AddReceived(const Arrival& arrival);
    std::optional<qint64> AddRow(int number, const JournalRow& row, const Arrival& arrival,
                                 std::optional<qint64> receivedId);
    // Rows written to a report / declined when offered back. Rows already in another state
    // keep it.
    bool MarkReported(const std::vector<qint64>& ids);
    bool MarkDeclined(const std::vector<qint64>& ids);

    // Rows neither written to a report nor declined, oldest first.
    std::optional<std::vector<StoredRow>> Unreported();
    // The records received on a local day, oldest first, and one of them.
    std::optional<std::vector<ReceivedResult>> ReceivedOn(const QDate& day);
    std::optional<ReceivedResult> Received(qint64 id);

private:
    QSqlDatabase Database() const;
    bool Fail(const QString& error);
    bool Fail(const QSqlQuery& query);
    // Commits the open transaction, then makes sure the file is still where it was opened:
    // SQLite goes on writing to a file that was deleted or moved while open.
    bool Commit();
    // Opens the file when needed and begins a transaction.
    bool Begin();
    // One row inserted and committed; its id.
    std::optional<qint64> Insert(const QString& statement, const QVariantList& values);
    bool SetState(const std::vector<qint64>& ids, int state);
    std::optional<std::vector<ReceivedResult>> SelectReceived(const char* where,
                                                              const QVariant& value);
    // Removes the connection; no query of it may be left. After a failure the connection is
    // only marked closed, since the failing operation still holds its query.
    void Close();

    QString path_;
    QString connectionName_;
    QString lastError_;
    bool open_ = false;
    bool everOpened_ = false;
};

} // namespace vorsilan::app::journal
