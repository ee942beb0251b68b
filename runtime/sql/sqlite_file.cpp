// The SQLite file itself: opening it with the checks that tell a database
// from a directory, an empty or a foreign file, or one this user may only
// read; keeping its write-ahead log beside it; and the online backup.
// Never runs a statement of the dialect.
#include "sql/sqlite_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"

namespace rt::sql::detail {

namespace {

bool is_directory(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

bool exists(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0;
}

bool empty_file(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && sb.st_size == 0;
}

}  // namespace

void keep_wal(sqlite3* db) {
  int keep = 1;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
}

sqlite3* open_sqlite_file(const std::string& path, bool create, bool read_only, int (*setup)(sqlite3*),
                          bool* writable_out, std::string* error) {
  const std::string where = "database file '" + path + "'";
  if (is_directory(path)) {
    *error = where + " is a directory, not a database";
    return nullptr;
  }
  if (!create && !exists(path)) {
    *error = where + " does not exist";
    return nullptr;
  }
  // SQLite would take an empty file for an empty database and write its
  // header into it.
  if (!create && empty_file(path)) {
    *error = where + " is empty, not a database";
    return nullptr;
  }
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    *error = where + " cannot be opened: " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    return nullptr;
  }
  // A file this user may not write opens for reading only.
  const bool writable = sqlite3_db_readonly(db, "main") == 0;
  const bool may_write = !read_only && writable;
  rc = setup(db);
  if (writable) keep_wal(db);
  // Reading the schema tells a database from any other file, and shows a
  // file that cannot be read.
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && read_only) rc = sqlite3_exec(db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && may_write) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    const int ext = sqlite3_extended_errcode(db);
    if ((ext & 0xff) == SQLITE_NOTADB) {
      *error = where + " is not a database";
    } else if (!may_write && (ext & 0xff) == SQLITE_READONLY && !exists(path + "-shm")) {
      *error = where + " cannot be read by this user: it may only be read, and its write-ahead log ('" + path +
               "-wal', '-shm') is missing and cannot be made here; it is there once a user who may write the file "
               "has opened it";
    } else if ((ext & 0xff) == SQLITE_BUSY) {
      *error = where + " stayed locked by another program";
    } else {
      *error = where + " cannot be read: " + sqlite3_errmsg(db);
    }
    sqlite3_close_v2(db);
    return nullptr;
  }
  *writable_out = writable;
  return db;
}

Outcome backup_sqlite_file(sqlite3* db, const std::string& path) {
  if (exists(path)) return {err::kUnknown, "'" + path + "' exists already; nothing was written"};
  const std::string tmp = path + ".part";
  ::unlink(tmp.c_str());
  sqlite3* dest = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::string why;
  if (rc == SQLITE_OK) {
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", db, "main");
    if (!b) {
      rc = sqlite3_errcode(dest);
    } else {
      do {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(20);
      } while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED || rc == SQLITE_OK);
      const int fin = sqlite3_backup_finish(b);
      if (rc == SQLITE_DONE) rc = fin;
    }
  }
  if (rc != SQLITE_OK) why = dest ? sqlite3_errmsg(dest) : sqlite3_errstr(rc);
  if (sqlite3_close(dest) != SQLITE_OK && why.empty()) why = "the copy could not be closed";
  if (why.empty() && ::link(tmp.c_str(), path.c_str()) != 0)
    why = "'" + path + "' cannot be made: " + std::strerror(errno);
  ::unlink(tmp.c_str());
  if (!why.empty()) return {err::kUnknown, why};
  return {};
}

}  // namespace rt::sql::detail
