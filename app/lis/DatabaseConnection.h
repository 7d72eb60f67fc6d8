#pragma once
// A named SQLite connection (Qt SQL's QSQLITE driver) to a database file, open for as long
// as this object lives; the connection is removed when it goes.

#include <QString>

namespace vorsilan::lis {

class DatabaseConnection {
public:
    DatabaseConnection(QString name, const QString& path);
    ~DatabaseConnection();
    DatabaseConnection(const DatabaseConnection&) = delete;
    DatabaseConnection& operator=(const DatabaseConnection&) = delete;

    bool IsOpen() const;
    // Why it did not open.
    const QString& Error() const { return error_; }
    const QString& Name() const { return name_; }

private:
    QString name_;
    QString error_;
};

} // namespace vorsilan::lis
