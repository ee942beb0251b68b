// A fresh database on one back end, seeded by the test, and a program
// started on it in a pseudo-terminal.
//
// The test process itself connects to the same database (rt::sql) to seed
// rows before the program starts and to read the result afterwards; it
// disconnects while the program runs only where a back end needs it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/terminal.h"
#include "pg_server.h"
#include "sql/sql.h"

namespace lunadesk::testing {

class ProgramTest : public ::testing::TestWithParam<Db> {
 protected:
  // Fresh database with the schema; the test process stays connected.
  // With upgraded() the database is instead the oldest one an earlier
  // release made (tests/db/fixtures), with its rows, brought up to date by
  // the schema tool's upgrade.
  void SetUp() override;
  void TearDown() override;
  virtual bool upgraded() const { return false; }
  // The programs then run as a user who may only read the database: as
  // "nobody" on a file only its owner may write (SQLite), as a role granted
  // SELECT only (PostgreSQL).
  void read_only_user();
  // PostgreSQL: the programs run as `role` (made with `attributes` when
  // the server has no such role yet), granted SELECT only.
  void reading_role(const std::string& role, const std::string& attributes);

  // Starts build/bin/<program> on this database in a 24x80 terminal and
  // waits for `ready` (some text of its first screen). Without a
  // controlling terminal, closing it sends the program no hang-up signal.
  e2e::Terminal& start(const std::string& program, const std::string& ready,
                       std::map<std::string, std::string> extra_env = {}, bool controlling_terminal = true);
  // Another program on the same database, in a terminal of its own,
  // started the same way.
  std::unique_ptr<e2e::Terminal> start_another(const std::string& program, const std::string& ready,
                                               std::map<std::string, std::string> extra_env = {},
                                               bool controlling_terminal = true);
  // The program started as a site's menu script starts it, by a plain
  // /bin/sh (no job control; with `job_control` an interactive one) that
  // runs it, then says "back in the menu <exit status>" and reads a line
  // from the terminal, which it echoes as "read <line>". The terminal's
  // pid() is the shell's; program_pid() the program's while it runs.
  e2e::Terminal& start_from_menu(const std::string& program, const std::string& ready,
                                 std::map<std::string, std::string> extra_env = {}, bool job_control = false);
  static pid_t program_pid(const e2e::Terminal& t);
  // The environment that points a child at this database.
  std::map<std::string, std::string> db_env() const;
  // Opens a unit of work on the test's connection and changes the rows
  // `where` selects in `table` to what they are (`set` names one column):
  // it holds their locks (on the embedded back end, the database's write
  // lock) until release().
  void hold_lock(const std::string& table, const std::string& set, const std::string& where);
  void release();
  // After the key that starts a save while another program holds the lock
  // it needs: the wait shown on the message line, then, when `give_up`,
  // Ctrl-C ending it and the error line saying nothing was `done`.
  static ::testing::AssertionResult lock_waited(e2e::Terminal& t, bool give_up = true,
                                                const std::string& done = "saved");

  // Runs statements of the programs' dialect on the test's connection.
  void exec(const std::string& sql, const rt::sql::Params& params = {});
  // The rows of a query, each row's values as text joined by '|'.
  std::vector<std::string> rows(const std::string& sql, int ncols, const rt::sql::Params& params = {});
  long count(const std::string& table, const std::string& where = "1=1");
  // Runs `sql` as another tool would (sqlite3, psql), untranslated.
  void outside(const std::string& sql) {
    std::string why;
    EXPECT_TRUE(db_->run_outside(sql, &why)) << sql << ": " << why;
  }

  // Milliseconds from the start of the program to its first screen.
  double first_screen_ms_ = 0;
  std::optional<ScopedDatabase> db_;
  std::unique_ptr<e2e::Terminal> term_;
  std::vector<std::string> launcher_;  // put before the program's path
  std::map<std::string, std::string> user_env_;

 private:
  e2e::Options options(const std::string& program, std::map<std::string, std::string> extra_env) const;
  std::unique_ptr<e2e::Terminal> started(const e2e::Options& opt, const std::string& ready);
};

// A menu row shows an option when its name stands there as a word.
bool menu_shows(const std::string& row, const std::string& option);

}  // namespace lunadesk::testing
