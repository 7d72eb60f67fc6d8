#pragma once
// The workstation's database file and how a connection to it is opened. The journal owns the
// file, but other modules keep their own tables in it: they find it with DatabasePath() and
// open their own connection with OpenConnection(), so that every connection to the file
// writes the same way (write-ahead log, a full sync on each commit, waiting for a writer of
// another connection instead of failing at once).

#include <QString>

namespace vorsilan::app::journal {

// The variable that names the database file in full, for tests and a shared laboratory disk.
inline constexpr const char* DatabasePathVariable = "VORSILAN_JOURNAL_DB";

// $VORSILAN_JOURNAL_DB when set, else journal.sqlite in the user's application data folder.
QString DatabasePath();

// Opens the Qt SQL connection `connectionName` (QSQLITE) to `path`, making its folder when
// missing, with journal_mode=WAL, synchronous=FULL and foreign keys on. Returns an empty
// text on success, else what failed (the connection is then removed again).
QString OpenConnection(const QString& connectionName, const QString& path);

// Closes and removes a connection opened by OpenConnection.
void CloseConnection(const QString& connectionName);

} // namespace vorsilan::app::journal
