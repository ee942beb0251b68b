// Test databases for every test group: a throwaway PostgreSQL server that
// the test binary starts itself, and a fresh database on either back end
// for one test body.
//
// The server: once per test binary (the first PgServer::instance() call),
// from the binaries under /usr/lib/postgresql/<version>/bin (or the
// directory LUNADESK_PG_BIN names), in a new
// temporary directory, listening only on a Unix socket in that directory
// (no TCP port is opened), with a database "lunadesk". As root it runs as
// the unprivileged user "nobody" (initdb refuses root). PGHOST, PGPORT and
// PGUSER are set for the process, so the programs and tools started by a
// test reach it too. It is stopped and its directory removed when the
// binary exits, also when it crashes or is killed (a watchdog process
// notices that).
//
// When the server cannot start, tests on it are skipped with the reason,
// except in CI (environment CI=true), where they fail.
//
// Usage with googletest, one body for both back ends:
//
//   class MyTest : public ::testing::TestWithParam<lunadesk::testing::Db> {
//    protected:
//     void SetUp() override {
//       db_.emplace(GetParam());
//       LUNADESK_NEED_DATABASE(*db_);
//       ... rt::sql::connect() ...
//     }
//     std::optional<lunadesk::testing::ScopedDatabase> db_;
//   };
//   INSTANTIATE_TEST_SUITE_P(Backends, MyTest, lunadesk::testing::all_backends(),
//                            lunadesk::testing::backend_name);
//
// Run such a binary as one test (add_test), not one process per case, so
// that the server starts once.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"

struct pg_conn;
struct sqlite3;

namespace lunadesk::testing {

enum class Db { Sqlite, Postgres };

bool in_ci();

// How the server is set up. Tuned for tests: no waiting for the disk
// (fsync, full_page_writes and synchronous_commit off) and room for a
// hundred programs at once, each with a second session for its browse
// (max_connections 200). At defaults: as a site's server is left,
// durable commits and max_connections 100.
enum class ServerSettings { Tuned, Defaults };

class PgServer {
 public:
  // Starts the server on first use.
  static PgServer& instance();
  // Before the first instance() of the process (a benchmark): the
  // settings the server starts with.
  static void start_with(ServerSettings settings);
  bool running() const { return running_; }
  const std::string& error() const { return error_; }
  const std::string& socket_dir() const { return dir_; }
  int port() const { return port_; }
  // Runs SQL on database "lunadesk" as the superuser; false with *error.
  bool exec(const std::string& sql, std::string* error = nullptr);

  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

 private:
  PgServer();
  void start();
  void start_watchdog();
  static void stop_at_exit();
  static void stop_server(const std::string& bin, const std::string& dir);
  bool running_ = false;
  std::string error_;
  std::string dir_;  // temporary directory: data/, the socket, the log
  std::string bin_;  // server binaries
  int port_ = 0;
  int owner_pid_ = 0;  // only this process stops the server
  int watchdog_fd_ = -1;
};

// A fresh, empty database for one test body, and the environment that
// makes rt::sql::connect() reach it:
//   Sqlite: A4GL_SQLTYPE unset, LUNADESK_DB = a new file in a new
//           temporary directory (created empty, as the schema tool would);
//   Postgres: A4GL_SQLTYPE=pg, a new schema in database "lunadesk" made the
//           first on the search path through PGOPTIONS.
// The destructor removes the file or drops the schema, and restores the
// environment.
class ScopedDatabase {
 public:
  explicit ScopedDatabase(Db which);
  ~ScopedDatabase();
  ScopedDatabase(const ScopedDatabase&) = delete;
  ScopedDatabase& operator=(const ScopedDatabase&) = delete;

  Db which() const { return which_; }
  bool ready() const { return ready_; }
  const std::string& reason() const { return reason_; }
  // Sqlite: the database file; Postgres: the schema name.
  const std::string& where() const { return where_; }
  // The settings that reach this database, as a run would read them from
  // the environment this object sets (for the programs it starts).
  rt::Settings settings() const;
  // A temporary directory that lives as long as this object.
  const std::string& dir() const { return dir_; }
  // Runs `sql` as another tool would (sqlite3, psql): straight through the
  // back end's own library on a connection of its own, untranslated.
  bool run_outside(const std::string& sql, std::string* error) const;

 private:
  Db which_;
  bool ready_ = false;
  std::string reason_, where_, dir_;
  std::string saved_sqltype_, saved_db_, saved_options_;
  bool had_sqltype_ = false, had_db_ = false, had_options_ = false;
};

// A connection of another tool (psql, sqlite3) that stays open between
// statements, so that a test can keep its transaction open while a program
// runs: straight through the back end's own library, untranslated.
class OutsideSession {
 public:
  explicit OutsideSession(const ScopedDatabase& db);
  ~OutsideSession();
  OutsideSession(const OutsideSession&) = delete;
  OutsideSession& operator=(const OutsideSession&) = delete;
  bool run(const std::string& sql, std::string* error = nullptr);

 private:
  pg_conn* pg_ = nullptr;
  sqlite3* lite_ = nullptr;
};

inline auto all_backends() { return ::testing::Values(Db::Sqlite, Db::Postgres); }
std::string backend_name(const ::testing::TestParamInfo<Db>& info);

// Runs `argv` (no shell), waits, and returns its exit status (-1 when it
// could not run); its standard error and output go to the strings given.
int run_command(const std::vector<std::string>& argv, std::string* out, std::string* err);

}  // namespace lunadesk::testing

// In a test body or SetUp: skip (outside CI) or fail (in CI) when the
// database is not there.
#define LUNADESK_NEED_DATABASE(db)        \
  do {                                    \
    if (!(db).ready()) {                  \
      if (::lunadesk::testing::in_ci()) { \
        FAIL() << (db).reason();          \
      } else {                            \
        GTEST_SKIP() << (db).reason();    \
      }                                   \
    }                                     \
  } while (0)
