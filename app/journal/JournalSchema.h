#pragma once
// The journal's tables and their versions. PRAGMA user_version holds the version of the
// journal's own tables; each later version adds a step that takes the tables from the one
// before, so an older file is brought up to date when it is opened. Other modules of the
// program that keep tables in the same file do not use user_version: each records its own
// version in the table module_version (module TEXT PRIMARY KEY, version INTEGER).

#include <QString>

class QSqlDatabase;

namespace vorsilan::app::journal {

// The version this program writes.
inline constexpr int JournalSchemaVersion = 1;

// Brings the journal's tables of an open connection to JournalSchemaVersion in one
// transaction. Returns an empty text on success, else what failed; a file of a newer
// version is refused and left as it is.
QString MigrateJournalSchema(QSqlDatabase& db);

} // namespace vorsilan::app::journal
