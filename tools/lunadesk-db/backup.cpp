// Backup and restore: see backup.h.
#include "backup.h"

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sql/sql.h"

extern char** environ;

namespace lunadesk::db {

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Runs `argv` without a shell; its standard output into *out when given
// (else it goes where ours goes), its standard error where ours goes, or
// nowhere when `quiet` (a probe whose failure we word ourselves).
// Returns the exit status, -1 when it could not be started.
int run(const std::vector<std::string>& argv, std::string* out, bool quiet = false) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipefd[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out) {
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
  }
  if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (out) {
    ::close(pipefd[1]);
    char buf[4096];
    ssize_t n;
    while (rc == 0 && ((n = ::read(pipefd[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))) {
      if (n > 0) out->append(buf, static_cast<size_t>(n));
    }
    ::close(pipefd[0]);
  }
  if (rc != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- SQLite ----

struct Lite {
  sqlite3* db = nullptr;
  ~Lite() { sqlite3_close_v2(db); }
  bool exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
  std::string why() const { return db ? sqlite3_errmsg(db) : "out of memory"; }
};

// The schema version of an open backup: the version, 0 for a lunadesk
// database that records none, -1 for a file that is no lunadesk database.
int backup_version(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  int v = -1;
  if (sqlite3_prepare_v2(db, "SELECT version FROM lunadesk_version", -1, &st, nullptr) == SQLITE_OK) {
    if (sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int(st, 0);
  } else if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = 'iq_salesman_name'", -1, &st, nullptr) ==
                 SQLITE_OK &&
             sqlite3_step(st) == SQLITE_ROW) {
    v = 0;
  }
  sqlite3_finalize(st);
  return v;
}

bool copy_all(sqlite3* to, sqlite3* from, std::string* why) {
  sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
  if (!b) {
    *why = sqlite3_errmsg(to);
    return false;
  }
  int rc;
  while ((rc = sqlite3_backup_step(b, -1)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (rc != SQLITE_OK) sqlite3_sleep(20);
  }
  const int fin = sqlite3_backup_finish(b);
  if (rc != SQLITE_DONE || fin != SQLITE_OK) {
    *why = sqlite3_errmsg(to);
    return false;
  }
  return true;
}

}  // namespace

std::string free_name_beside(const std::string& file, const std::string& tag) {
  std::string name = file + "." + tag;
  for (int n = 1; exists(name); ++n) name = file + "." + tag + "." + std::to_string(n);
  return name;
}

bool sqlite_backup(const std::string& path, std::string* error) { return rt::sql::backup_to(path, error); }

bool sqlite_restore(const std::string& db, const std::string& from, RestoreReport* report, std::string* error) {
  RestoreReport r;
  Lite src;
  if (!exists(from)) {
    *error = "'" + from + "' does not exist; nothing was changed";
    return false;
  }
  if (sqlite3_open_v2(from.c_str(), &src.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      !src.exec("PRAGMA query_only=1")) {
    *error = "'" + from + "' cannot be read: " + src.why() + "; nothing was changed";
    return false;
  }
  sqlite3_stmt* st = nullptr;
  std::string verdict;
  if (sqlite3_prepare_v2(src.db, "PRAGMA quick_check", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    verdict = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  else
    verdict = src.why();
  sqlite3_finalize(st);
  if (verdict != "ok") {
    *error = "'" + from + "' is no intact SQLite database (" + verdict + "); nothing was changed";
    return false;
  }
  r.version = backup_version(src.db);
  if (r.version < 0) {
    *error = "'" + from + "' is no backup of a lunadesk database; nothing was changed";
    return false;
  }
  if (r.version > rt::sql::kSchemaVersion) {
    *error = "'" + from + "' holds schema version " + std::to_string(r.version) +
             ", of a newer release (this one knows " + std::to_string(rt::sql::kSchemaVersion) +
             "); nothing was changed";
    return false;
  }

  // The database itself, held exclusively: a program that has it open
  // holds a shared lock on it as long as it runs, so the lock is refused.
  Lite dest;
  if (sqlite3_open_v2(db.c_str(), &dest.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    *error = "database file '" + db + "' cannot be opened: " + dest.why() + "; nothing was changed";
    return false;
  }
  int keep = 1;
  sqlite3_file_control(dest.db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
  if (!dest.exec("PRAGMA journal_mode=WAL") || !dest.exec("PRAGMA locking_mode=EXCLUSIVE") ||
      !dest.exec("BEGIN EXCLUSIVE")) {
    const bool busy = (sqlite3_extended_errcode(dest.db) & 0xff) == SQLITE_BUSY;
    *error = "database file '" + db + "' " +
             (busy ? std::string("is open in another program (a running program or lunadesk-db); end it first")
                   : "cannot be locked: " + dest.why()) +
             "; nothing was changed";
    return false;
  }
  dest.exec("COMMIT");
  sqlite3_stmt* tables = nullptr;
  bool holds = false;
  if (sqlite3_prepare_v2(dest.db, "SELECT 1 FROM sqlite_master", -1, &tables, nullptr) == SQLITE_OK)
    holds = sqlite3_step(tables) == SQLITE_ROW;
  sqlite3_finalize(tables);
  std::string why;
  if (holds) {
    // What is replaced is kept beside the file.
    r.kept = free_name_beside(db, "before-restore");
    Lite keep_copy;
    if (sqlite3_open_v2(r.kept.c_str(), &keep_copy.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        !copy_all(keep_copy.db, dest.db, &why)) {
      *error =
          "the database could not be kept in '" + r.kept + "' before the restore: " + why + "; nothing was changed";
      ::unlink(r.kept.c_str());
      return false;
    }
  }
  if (!copy_all(dest.db, src.db, &why)) {
    *error = "restoring '" + from + "' into database file '" + db + "': " + why +
             (r.kept.empty() ? std::string() : "; the database as it was is in '" + r.kept + "'");
    return false;
  }
  // In WAL mode as the programs keep it.
  dest.exec("PRAGMA journal_mode=WAL");
  *report = r;
  return true;
}

// ---- PostgreSQL ----

namespace {

bool current_schema(std::string* schema, std::string* error) {
  std::vector<rt::sql::NativeRow> rows;
  if (!rt::sql::native("SELECT current_schema()", &rows, error)) return false;
  if (rows.empty() || rows[0].empty() || !rows[0][0]) {
    *error = "the session has no schema to work in";
    return false;
  }
  *schema = *rows[0][0];
  return true;
}

}  // namespace

bool pg_backup(const std::string& path, std::string* error) {
  if (exists(path)) {
    *error = "'" + path + "' exists already; nothing was written";
    return false;
  }
  std::string schema;
  if (!current_schema(&schema, error)) return false;
  const std::string part = path + ".part";
  ::unlink(part.c_str());
  const int rc =
      run({"pg_dump", "--format=custom", "--no-owner", "--schema=" + schema, "--file=" + part, "lunadesk"}, nullptr);
  if (rc != 0) {
    ::unlink(part.c_str());
    *error = rc < 0 ? "pg_dump cannot be started (is the PostgreSQL client installed?)"
                    : "pg_dump failed (exit status " + std::to_string(rc) + "); nothing was written";
    return false;
  }
  const bool linked = ::link(part.c_str(), path.c_str()) == 0;
  const int err = errno;
  ::unlink(part.c_str());
  if (!linked) {
    *error = "'" + path + "' cannot be made: " + std::strerror(err);
    return false;
  }
  return true;
}

bool pg_restore(const std::string& from, RestoreReport* report, std::string* error) {
  RestoreReport r;
  if (!exists(from)) {
    *error = "'" + from + "' does not exist; nothing was changed";
    return false;
  }
  std::string listing;
  if (run({"pg_restore", "--list", "--file=-", from}, &listing, /*quiet=*/true) != 0) {
    *error = "'" + from + "' is no dump that pg_restore reads; nothing was changed";
    return false;
  }
  if (listing.find("TABLE public iq_salesman_name") == std::string::npos &&
      listing.find(" iq_salesman_name ") == std::string::npos) {
    *error = "'" + from + "' is no backup of a lunadesk database; nothing was changed";
    return false;
  }
  // The version row, as the dump holds it (COPY data: the line after the
  // COPY statement).
  std::string data;
  run({"pg_restore", "--data-only", "--table=lunadesk_version", "--file=-", from}, &data, /*quiet=*/true);
  const auto copy = data.find("COPY ");
  if (copy != std::string::npos) {
    const auto line = data.find('\n', copy);
    if (line != std::string::npos) r.version = std::atoi(data.c_str() + line + 1);
  }
  if (r.version > rt::sql::kSchemaVersion) {
    *error = "'" + from + "' holds schema version " + std::to_string(r.version) +
             ", of a newer release (this one knows " + std::to_string(rt::sql::kSchemaVersion) +
             "); nothing was changed";
    return false;
  }
  std::vector<rt::sql::NativeRow> others;
  if (!rt::sql::native("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
                       "pg_backend_pid() AND backend_type = 'client backend'",
                       &others, error)) {
    return false;
  }
  if (!others.empty()) {
    *error = "database 'lunadesk' is open in " + std::to_string(others.size()) +
             " other session(s) (running programs or lunadesk-db); end them first; nothing was changed";
    return false;
  }
  rt::sql::disconnect();
  const int rc = run({"pg_restore", "--clean", "--if-exists", "--single-transaction", "--exit-on-error", "--no-owner",
                      "--dbname=lunadesk", from},
                     nullptr);
  if (rc != 0) {
    *error = rc < 0 ? "pg_restore cannot be started (is the PostgreSQL client installed?)"
                    : "pg_restore failed (exit status " + std::to_string(rc) +
                          "); it ran as one transaction, so nothing was changed";
    return false;
  }
  *report = r;
  return true;
}

}  // namespace lunadesk::db
