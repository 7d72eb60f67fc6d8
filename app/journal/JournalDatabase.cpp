#include "app/journal/JournalDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

namespace vorsilan::app::journal {

namespace {

// How long a commit waits for another connection's write to the same file to end.
constexpr int BusyTimeoutMs = 5000;

QString Failed(const QString& connectionName, const QString& what) {
    CloseConnection(connectionName);
    return what;
}

} // namespace

QString DatabasePath() {
    QString overridden = qEnvironmentVariable(DatabasePathVariable);
    if (!overridden.isEmpty()) {
        return overridden;
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("journal.sqlite"));
}

QString OpenConnection(const QString& connectionName, const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("нельзя создать папку %1").arg(folder);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!db.open()) {
            return Failed(connectionName, db.lastError().text());
        }
        // The write-ahead log is a property of the file, the sync level of the connection.
        QSqlQuery query(db);
        for (const char* pragma :
             {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
            if (!query.exec(QString::fromLatin1(pragma))) {
                return Failed(connectionName, query.lastError().text());
            }
        }
        if (!query.exec(QStringLiteral("PRAGMA journal_mode")) || !query.next() ||
            query.value(0).toString() != QStringLiteral("wal")) {
            return Failed(connectionName,
                          QStringLiteral("журнал записи (WAL) в этой папке недоступен"));
        }
    }
    return QString();
}

void CloseConnection(const QString& connectionName) {
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

} // namespace vorsilan::app::journal
