// The SQLite file itself (sqlite_file.cpp): opening it with its checks,
// its write-ahead log, its online backup. Never runs a statement of the
// dialect.
#pragma once

#include <sqlite3.h>

#include <string>

#include "sql/backend.h"

namespace rt::sql::detail {

// Opens the database file at `path` (made when `create`), runs `setup` on
// the handle (the connection's own settings and functions), and reads its
// schema, which tells a database from any other file. A file this user may
// not write, or any file with `read_only`, answers reads only; the
// write-ahead log is used and kept beside the file where it may be written
// (`*writable`). Null with `*error` set to one line naming the file
// otherwise.
sqlite3* open_sqlite_file(const std::string& path, bool create, bool read_only, int (*setup)(sqlite3*), bool* writable,
                          std::string* error);

// The write-ahead log and its index stay beside the file when the last
// connection closes (see open_sqlite in backend.h).
void keep_wal(sqlite3* db);

// The online backup: one step copies every page as one read transaction
// sees them, so the copy holds the last commit, the write-ahead log's
// included, whatever other programs write meanwhile. Written under a
// temporary name beside the target and linked to it only when complete;
// a target that exists is never touched.
Outcome backup_sqlite_file(sqlite3* db, const std::string& path);

}  // namespace rt::sql::detail
