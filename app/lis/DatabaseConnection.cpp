#include "app/lis/DatabaseConnection.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStandardPaths>

namespace vorsilan::lis {

DatabaseConnection::DatabaseConnection(QString name, const QString& path) : name_(std::move(name)) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path);
    if (!db.open()) {
        error_ = db.lastError().text();
    }
}

DatabaseConnection::~DatabaseConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

bool DatabaseConnection::IsOpen() const {
    return QSqlDatabase::database(name_, false).isOpen();
}

} // namespace vorsilan::lis
