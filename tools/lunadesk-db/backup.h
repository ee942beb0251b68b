// Backing up and restoring the database "lunadesk", for the tool.
//
// SQLite: the online backup (a consistent committed state, the write-ahead
// log's included, while programs go on saving) into a new file; a restore
// copies a backup file over the database only while no other program has
// the database open (an exclusive lock is tried, never waited for), and
// first keeps what it replaces beside the file. PostgreSQL: pg_dump and
// pg_restore of the schema the programs use, started without a shell with
// their arguments as a vector.
//
// A file that exists is never written over; a restore file that is no
// database, no backup of "lunadesk" or of a newer schema version is
// refused before anything is changed. Never prints: each function hands
// back what it did, or false with a one-line reason.
#pragma once

#include <string>

namespace lunadesk::db {

// The first free name "<file>.<tag>", "<file>.<tag>.1", ... beside `file`.
std::string free_name_beside(const std::string& file, const std::string& tag);

// SQLite, on the current connection: a backup into the new file `path`.
bool sqlite_backup(const std::string& path, std::string* error);

struct RestoreReport {
  int version = 0;   // the schema version of what was restored (0: none recorded)
  std::string kept;  // where the replaced database was kept ("" when there was none)
};

// SQLite: replaces the file `db` with the backup `from`. Needs no
// connection; takes its own.
bool sqlite_restore(const std::string& db, const std::string& from, RestoreReport* report, std::string* error);

// PostgreSQL, on the current connection's database and schema.
bool pg_backup(const std::string& path, std::string* error);
bool pg_restore(const std::string& from, RestoreReport* report, std::string* error);

}  // namespace lunadesk::db
