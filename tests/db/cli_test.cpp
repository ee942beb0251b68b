// The tool lunadesk-db as the operator runs it: its reports, its second
// runs that change nothing, and its one-line errors with exit status 1.
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "pg_server.h"
#include "schema.h"
#include "sql/sql.h"

namespace lunadesk::db::test {
namespace {

using lunadesk::testing::all_backends;
using lunadesk::testing::backend_name;
using lunadesk::testing::Db;
using lunadesk::testing::run_command;
using lunadesk::testing::ScopedDatabase;

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun tool(const std::string& command, const std::string& option = "") {
  ToolRun r;
  std::vector<std::string> argv{LUNADESK_DB_TOOL};
  if (!option.empty()) argv.push_back(option);
  argv.push_back(command);
  r.status = run_command(argv, &r.out, &r.err);
  return r;
}

// The tool with these arguments.
ToolRun tool_with(std::vector<std::string> args) {
  ToolRun r;
  args.insert(args.begin(), LUNADESK_DB_TOOL);
  r.status = run_command(args, &r.out, &r.err);
  return r;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool one_line(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

class Tool : public ::testing::TestWithParam<Db> {
 protected:
  void SetUp() override {
    db_.emplace(GetParam());
    LUNADESK_NEED_DATABASE(*db_);
  }
  std::optional<ScopedDatabase> db_;
};

TEST_P(Tool, InitDemoListAndTheirSecondRuns) {
  ToolRun init = tool("init");
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_TRUE(contains(init.out, "Created " + std::to_string(schema_tables().size()) + " tables")) << init.out;
  ToolRun again = tool("init");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(contains(again.out, "nothing changed")) << again.out;

  ToolRun demo = tool("demo");
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_TRUE(contains(demo.out, "Demo data added")) << demo.out;
  ToolRun demo2 = tool("demo");
  EXPECT_EQ(demo2.status, 0) << demo2.err;
  EXPECT_TRUE(contains(demo2.out, "Demo data not added")) << demo2.out;

  ToolRun list = tool("list");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(contains(list.out, "Salesmen: 12")) << list.out;
  EXPECT_TRUE(contains(list.out, "MO    Margaret O'Pry")) << list.out;
  EXPECT_TRUE(contains(list.out, "Tax use groups: 11")) << list.out;
  // Cycle 1's open balance, summed exactly: 612.40 + 0.01 + 2.50.
  EXPECT_TRUE(contains(list.out, "614.91")) << list.out;
}

// A database that holds tables of something else is not made ours by
// accident: init and demo name the tables and change nothing, unless
// --force.
TEST_P(Tool, LeavesADatabaseOfSomethingElseAloneUnlessForced) {
  std::string error;
  ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error, {db_->settings()})) << error;
  rt::sql::execute("CREATE TABLE payroll_2019 (pr_emp INTEGER)");
  rt::sql::disconnect();
  for (const std::string command : {"init", "demo"}) {
    ToolRun r = tool(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_TRUE(contains(r.err, "payroll_2019") && contains(r.err, "--force")) << r.err;
    EXPECT_EQ(r.out, "");
  }
  ToolRun list = tool("list");
  EXPECT_EQ(list.status, 1) << "no schema to list";
  ToolRun forced = tool("init", "--force");
  ASSERT_EQ(forced.status, 0) << forced.err;
  EXPECT_TRUE(contains(forced.out, "Created " + std::to_string(schema_tables().size()) + " tables")) << forced.out;
  EXPECT_EQ(tool("list", "--force").status, 2) << "list changes nothing, so there is nothing to force";
}

// ---- schema versions, upgrade, check, backup and restore ----

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string rtrim_blanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Rows of a statement in the back end's own SQL, on a connection of the
// test's own, each as its values joined by '|' (blanks at the end of a
// value dropped when `trim`).
std::vector<std::string> native_rows(const std::string& sql, bool trim = false) {
  std::string error;
  EXPECT_TRUE(rt::sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())})) << error;
  std::vector<rt::sql::NativeRow> rows;
  EXPECT_TRUE(rt::sql::native(sql, &rows, &error)) << sql << ": " << error;
  rt::sql::disconnect();
  std::vector<std::string> out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += (i ? "|" : "") + (row[i] ? (trim ? rtrim_blanks(*row[i]) : *row[i]) : std::string("NULL"));
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Every row of every table of the schema, as stored.
std::vector<std::string> all_rows(bool trim) {
  std::vector<std::string> out;
  for (const TableDef& t : schema_tables()) {
    if (t.name == rt::sql::kVersionTable) continue;
    for (std::string& r : native_rows("SELECT * FROM " + std::string(t.name), trim))
      out.push_back(std::string(t.name) + ": " + r);
  }
  return out;
}

// What the schema is made of, as the back end's catalogue says.
std::vector<std::string> schema_shape(Db db) {
  if (db == Db::Sqlite)
    return native_rows("SELECT type, name, tbl_name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite%'");
  std::vector<std::string> shape = native_rows(
      "SELECT table_name, row_number() OVER (PARTITION BY table_name ORDER BY ordinal_position), column_name, "
      "data_type, character_maximum_length, numeric_precision, "
      "numeric_scale, is_nullable FROM information_schema.columns WHERE table_schema = current_schema()");
  for (const char* sql :
       {"SELECT conname, contype FROM pg_constraint WHERE connamespace = current_schema()::regnamespace",
        "SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema()"}) {
    for (std::string& r : native_rows(sql)) {
      // The schema's own name, which differs between two test databases.
      const size_t on = r.find(" ON ");
      const size_t dot = on == std::string::npos ? on : r.find('.', on);
      if (dot != std::string::npos) r.erase(on + 4, dot + 1 - (on + 4));
      shape.push_back(r);
    }
  }
  std::sort(shape.begin(), shape.end());
  return shape;
}

int version_now() {
  std::string error;
  EXPECT_TRUE(rt::sql::try_connect("lunadesk", &error, {rt::read_settings(rt::host())})) << error;
  const int v = rt::sql::schema_version(&error);
  rt::sql::disconnect();
  return v;
}

int run_program(const std::string& program, std::string* err) {
  std::string out;
  return run_command({std::string(LUNADESK_BIN_DIR) + "/" + program}, &out, err);
}

struct EarlierSchema {
  const char* fixture;
  const char* damage;  // SQL run after loading it ("" for none)
  long trimmed;        // CHAR values whose blanks the upgrade drops
  const char* added;   // a column the upgrade adds ("" for none)
};

// Each schema an earlier release made, as that release's lunadesk-db made
// it, with rows written by another tool: the programs refuse it in one
// line, the upgrade brings it to exactly the schema init makes today, keeps
// every row (CHAR values lose the trailing blanks today's rules drop, and
// are counted), backs the SQLite file up first, and a second upgrade
// changes nothing. A table that lacks a column a later release added (as a
// database a site kept by other means might) gets it.
TEST_P(Tool, UpgradesEverySchemaOfAnEarlierRelease) {
  const bool lite = GetParam() == Db::Sqlite;
  std::vector<EarlierSchema> cases;
  const char* drop_login = lite
                               ? "DROP INDEX iqsn_u_login; DROP TRIGGER iq_salesman_name_trim_insert; DROP TRIGGER "
                                 "iq_salesman_name_trim_update; ALTER TABLE iq_salesman_name DROP COLUMN iqsn_userlogin"
                               : "ALTER TABLE iq_salesman_name DROP COLUMN iqsn_userlogin";
  if (lite) {
    cases = {{"sqlite_bytes_char.sql", "", 3, ""},
             {"sqlite_checked_ints.sql", "", 3, ""},
             {"sqlite_no_version.sql", "", 0, ""},
             {"sqlite_no_version.sql", drop_login, 0, "iq_salesman_name.iqsn_userlogin"}};
  } else {
    cases = {{"pg_serial_no_key.sql", "", 0, ""},
             {"pg_no_version.sql", "", 0, ""},
             {"pg_no_version.sql", drop_login, 0, "iq_salesman_name.iqsn_userlogin"}};
  }
  ASSERT_EQ(tool("init").status, 0);
  const std::vector<std::string> current = schema_shape(GetParam());
  for (const EarlierSchema& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + c.damage);
    db_.emplace(GetParam());
    std::string error;
    ASSERT_TRUE(db_->run_outside(read_file(std::string(LUNADESK_FIXTURE_DIR) + "/" + c.fixture), &error)) << error;
    if (*c.damage) {
      ASSERT_TRUE(db_->run_outside(c.damage, &error)) << error;
    }
    const std::vector<std::string> before = all_rows(/*trim=*/true);
    ASSERT_FALSE(before.empty());

    std::string err;
    EXPECT_EQ(run_program("repnamedt", &err), 1);
    EXPECT_TRUE(one_line(err) && contains(err, "earlier release") && contains(err, "lunadesk-db upgrade")) << err;
    for (const std::string command : {"init", "list"}) {
      ToolRun refused = tool(command);
      EXPECT_EQ(refused.status, 1) << command;
      EXPECT_TRUE(one_line(refused.err) && contains(refused.err, "lunadesk-db upgrade")) << refused.err;
    }

    ToolRun up = tool("upgrade");
    ASSERT_EQ(up.status, 0) << up.err;
    EXPECT_TRUE(contains(up.out, "trailing blanks were dropped: " + std::to_string(c.trimmed) + "\n")) << up.out;
    if (*c.added) {
      EXPECT_TRUE(contains(up.out, c.added)) << up.out;
    }
    if (lite) {
      const std::string kept = db_->where() + ".before-upgrade";
      EXPECT_TRUE(contains(up.out, "backup before the upgrade: " + kept)) << up.out;
      sqlite3* copy = nullptr;
      ASSERT_EQ(sqlite3_open_v2(kept.c_str(), &copy, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
      EXPECT_NE(sqlite3_exec(copy, "SELECT version FROM lunadesk_version", nullptr, nullptr, nullptr), SQLITE_OK)
          << "the backup holds the database as it was";
      sqlite3_close(copy);
    }
    EXPECT_EQ(version_now(), rt::sql::kSchemaVersion);
    EXPECT_EQ(schema_shape(GetParam()), current);
    std::vector<std::string> after = all_rows(/*trim=*/!lite);
    if (*c.added) {
      // The new column holds NULL in every row that was there.
      for (std::string& r : after) {
        if (r.rfind("iq_salesman_name: ", 0) == 0 && r.size() > 5 && r.substr(r.size() - 5) == "|NULL")
          r.erase(r.size() - 5);
      }
    }
    EXPECT_EQ(after, before);

    ToolRun check = tool("check");
    EXPECT_EQ(check.status, 0) << check.out;
    ToolRun again = tool("upgrade");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(contains(again.out, "nothing changed")) << again.out;
    if (lite) {
      EXPECT_FALSE(std::filesystem::exists(db_->where() + ".before-upgrade.1")) << "no second backup";
    }
    run_program("repnamedt", &err);  // fails without a terminal, past the version
    EXPECT_FALSE(contains(err, "schema")) << err;
  }
}

// A row that today's column rules refuse (text another tool wrote into a
// whole-number column of an early SQLite file) fails the upgrade, which
// names its table and changes nothing; check names the row.
TEST(ToolUpgrade, ARowTodaysRulesRefuseLeavesTheDatabaseAsItWas) {
  ScopedDatabase db(Db::Sqlite);
  ASSERT_TRUE(db.ready()) << db.reason();
  std::string error;
  ASSERT_TRUE(db.run_outside(read_file(std::string(LUNADESK_FIXTURE_DIR) + "/sqlite_bytes_char.sql") +
                                 "INSERT INTO ar_cycle VALUES ('two', 'Second', NULL, NULL);",
                             &error))
      << error;
  const std::vector<std::string> before = all_rows(/*trim=*/false);
  ToolRun up = tool("upgrade");
  EXPECT_EQ(up.status, 1);
  EXPECT_TRUE(one_line(up.err) && contains(up.err, "ar_cycle") && contains(up.err, "nothing was changed")) << up.err;
  EXPECT_EQ(version_now(), 0);
  EXPECT_EQ(all_rows(/*trim=*/false), before);
  ToolRun check = tool("check");
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(contains(check.out,
                       "table ar_cycle (arcy_code='two'): arcy_code holds the text 'two' where a whole "
                       "number belongs\n"))
      << check.out;
}

// A database of a newer release is refused by the programs and by every
// command but backup, and never written to.
TEST_P(Tool, RefusesTheSchemaOfANewerRelease) {
  ASSERT_EQ(tool("demo").status, 0);
  std::string error;
  ASSERT_TRUE(db_->run_outside("UPDATE lunadesk_version SET version = 99", &error)) << error;
  std::string err;
  EXPECT_EQ(run_program("tugedit", &err), 1);
  EXPECT_TRUE(one_line(err) && contains(err, "version 99") && contains(err, "newer")) << err;
  for (const std::string command : {"init", "demo", "list", "check", "upgrade"}) {
    ToolRun r = tool(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_TRUE(one_line(r.err) && contains(r.err, "newer release")) << command << ": " << r.err;
  }
  EXPECT_EQ(version_now(), 99);
  EXPECT_FALSE(std::filesystem::exists(db_->where() + ".before-upgrade"));
}

// Faults another tool writes, planted with the back end's own client; each
// is found with its table, its key and what is wrong, and nothing else is.
TEST_P(Tool, CheckFindsEachKindOfFaultWithItsTableAndKey) {
  ASSERT_EQ(tool("demo").status, 0);
  ToolRun clean = tool("check");
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_TRUE(contains(clean.out, "no faults found")) << clean.out;

  const bool lite = GetParam() == Db::Sqlite;
  struct Fault {
    bool sqlite, pg;  // the back ends where another tool can write it
    const char* plant;
    const char* found;  // the line check prints
  };
  const std::vector<Fault> faults = {
      {true, true, "INSERT INTO tx_use_link VALUES (9999, 1, 'S9')",
       "table tx_use_link (tul_link='9999', tul_trn='1'): a tax link whose group row (tx_use_g.tu_link) is not there"},
      {true, true, "INSERT INTO tx_use_link VALUES (1, 8888, 'S8')",
       "table tx_use_link (tul_link='1', tul_trn='8888'): a tax link whose tax table (tx_table.tt_trn) is not there"},
      {true, true, "INSERT INTO ar_openitem VALUES (4242, 77, 1)",
       "table ar_openitem (aroi_customer='4242', aroi_invoice_nbr='77', aroi_seq_nbr='1'): an open item whose item "
       "(ar_item) is not there"},
      {false, true, "INSERT INTO ar_item VALUES (4243, 1, 1, 'IN', 'NaN', '2026-01-02', NULL)",
       "table ar_item (ar_customer='4243', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_amount holds NaN, which is no "
       "number"},
      {true, false, "INSERT INTO ar_item VALUES (4244, 1, 1, 'IN', 'twelve', '2026-01-02', NULL)",
       "table ar_item (ar_customer='4244', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_amount holds the text 'twelve', "
       "which is no number"},
      {true, false, "INSERT INTO ar_item VALUES (4245, 1, 1, 'IN', X'00ff', '2026-01-02', NULL)",
       "table ar_item (ar_customer='4245', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_amount holds a blob, which is no "
       "DECIMAL(12,2)"},
      {true, false, "INSERT INTO ar_item VALUES (4246, 1, 1, 'IN', 9e999, '2026-01-02', NULL)",
       "table ar_item (ar_customer='4246', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_amount holds Inf, which is no "
       "number"},
      {true, false, "INSERT INTO ar_item VALUES (4247, 1, 1, 'IN', 12.345, '2026-01-02', NULL)",
       "table ar_item (ar_customer='4247', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_amount holds 12.345, more places "
       "than its 2"},
      {true, false, "INSERT INTO ar_item VALUES (4248, 1, 1, 'IN', 1, '2026-02-30', NULL)",
       "table ar_item (ar_customer='4248', ar_invoice_nbr='1', ar_seq_nbr='1'): ar_tran_dt holds '2026-02-30', which "
       "is no date"},
      {true, false,
       "DROP TRIGGER iq_salesman_name_trim_insert; INSERT INTO iq_salesman_name VALUES ('ZZ', 'Blank Tail  ', NULL)",
       "table iq_salesman_name (iqsn_code='ZZ'): iqsn_name holds 'Blank Tail  ' with trailing blanks"},
      {true, false,
       "PRAGMA ignore_check_constraints = 1; INSERT INTO iq_salesman_name VALUES ('LONG5', 'Too Long', NULL); "
       "INSERT INTO ar_cycle VALUES ('x', 'Text cycle', NULL, NULL)",
       "table iq_salesman_name (iqsn_code='LONG5'): iqsn_code holds 5 characters, more than its 4"},
      {true, false, "", "table ar_cycle (arcy_code='x'): arcy_code holds the text 'x' where a whole number belongs"},
  };
  size_t planted = 0;
  std::string error;
  for (const Fault& f : faults) {
    if (!(lite ? f.sqlite : f.pg)) continue;
    ++planted;
    if (*f.plant) {
      ASSERT_TRUE(db_->run_outside(f.plant, &error)) << f.plant << ": " << error;
    }
  }
  ToolRun check = tool("check");
  EXPECT_EQ(check.status, 1);
  for (const Fault& f : faults) {
    if (lite ? f.sqlite : f.pg) {
      EXPECT_TRUE(contains(check.out, std::string(f.found) + "\n")) << f.found << "\n" << check.out;
    }
  }
  EXPECT_TRUE(contains(check.out, std::to_string(planted) + " faults found")) << check.out;
}

// A user who may only read the database lists and checks it; one who may
// not write the file cannot change it through init either.
TEST_P(Tool, AReadOnlyUserListsAndChecks) {
  ASSERT_EQ(tool("demo").status, 0);
  std::vector<std::string> as_reader;
  std::string error;
  if (GetParam() == Db::Sqlite) {
    for (const char* part : {"", "-wal", "-shm"}) ASSERT_EQ(::chmod((db_->where() + part).c_str(), 0644), 0) << part;
    ASSERT_EQ(::chmod(db_->dir().c_str(), 0755), 0);
    as_reader = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  } else {
    ASSERT_TRUE(
        db_->run_outside("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'lunadesk_reader') "
                         "THEN CREATE ROLE lunadesk_reader LOGIN; END IF; END $$; GRANT USAGE ON SCHEMA " +
                             db_->where() + " TO lunadesk_reader; GRANT SELECT ON ALL TABLES IN SCHEMA " +
                             db_->where() + " TO lunadesk_reader",
                         &error))
        << error;
    as_reader = {"/usr/bin/env", "PGUSER=lunadesk_reader"};
  }
  for (const std::string command : {"list", "check"}) {
    std::vector<std::string> argv = as_reader;
    argv.push_back(LUNADESK_DB_TOOL);
    argv.push_back(command);
    ToolRun r;
    r.status = run_command(argv, &r.out, &r.err);
    EXPECT_EQ(r.status, 0) << command << ": " << r.err;
    EXPECT_TRUE(contains(r.out, command == "list" ? "Salesmen: 12" : "no faults found")) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Tool, all_backends(), backend_name);

// Backups on SQLite: taken while two programs keep saving, a backup holds
// a committed state (each writer commits its rows in pairs) and opens as a
// database of this release; a target that exists is never written over; a
// restore refuses a database another program has open, a file that is no
// database and a backup of a newer release, and otherwise puts the backup
// in place, keeping what it replaces.
TEST(ToolBackup, HoldsACommittedStateWhileProgramsSaveAndRestoresOnlyWhenNoneHasTheFile) {
  ScopedDatabase db(Db::Sqlite);
  ASSERT_TRUE(db.ready()) << db.reason();
  ASSERT_EQ(tool("init").status, 0);
  std::vector<pid_t> writers;
  for (int w = 0; w < 2; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      sqlite3* lite = nullptr;
      if (sqlite3_open(db.where().c_str(), &lite) != SQLITE_OK) ::_exit(2);
      sqlite3_busy_timeout(lite, 10000);
      for (int n = 0;; ++n) {
        const std::string sql = "BEGIN IMMEDIATE; INSERT INTO iq_salesman_name VALUES ('" + std::to_string(w) + "a" +
                                std::to_string(n % 100) + "', 'Writer', NULL); INSERT INTO iq_salesman_name VALUES ('" +
                                std::to_string(w) + "b" + std::to_string(n % 100) +
                                "', 'Writer', NULL); COMMIT; DELETE FROM iq_salesman_name WHERE iqsn_code IN ('" +
                                std::to_string(w) + "a" + std::to_string((n + 50) % 100) + "', '" + std::to_string(w) +
                                "b" + std::to_string((n + 50) % 100) + "')";
        if (sqlite3_exec(lite, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
          sqlite3_exec(lite, "ROLLBACK", nullptr, nullptr, nullptr);
      }
    }
    writers.push_back(pid);
  }
  // Both writers have committed before the backup starts.
  for (;;) {
    std::vector<std::string> n =
        native_rows("SELECT substr(iqsn_code, 1, 1), COUNT(*) FROM iq_salesman_name GROUP BY 1");
    if (n.size() == 2) break;
    ::usleep(10000);
  }
  const std::string file = db.dir() + "/saved.db";
  ToolRun backup;
  backup.status = run_command({LUNADESK_DB_TOOL, "backup", file}, &backup.out, &backup.err);
  for (pid_t pid : writers) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_TRUE(contains(backup.out, "saved.db")) << backup.out;
  {
    sqlite3* copy = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &copy, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(copy,
                           "SELECT (SELECT version FROM lunadesk_version), "
                           "(SELECT COUNT(*) FROM iq_salesman_name WHERE iqsn_code LIKE '0a%'), "
                           "(SELECT COUNT(*) FROM iq_salesman_name WHERE iqsn_code LIKE '0b%'), "
                           "(SELECT COUNT(*) FROM iq_salesman_name WHERE iqsn_code LIKE '1a%'), "
                           "(SELECT COUNT(*) FROM iq_salesman_name WHERE iqsn_code LIKE '1b%'), "
                           "(SELECT COUNT(*) FROM iq_salesman_name a WHERE iqsn_code LIKE '_a%' AND NOT EXISTS "
                           "(SELECT 1 FROM iq_salesman_name b WHERE b.iqsn_code = substr(a.iqsn_code, 1, 1) || 'b' "
                           "|| substr(a.iqsn_code, 3)))",
                           -1, &st, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), rt::sql::kSchemaVersion);
    EXPECT_GT(sqlite3_column_int(st, 1), 0);
    EXPECT_EQ(sqlite3_column_int(st, 1), sqlite3_column_int(st, 2)) << "writer 0's pairs whole";
    EXPECT_GT(sqlite3_column_int(st, 3), 0);
    EXPECT_EQ(sqlite3_column_int(st, 3), sqlite3_column_int(st, 4)) << "writer 1's pairs whole";
    EXPECT_EQ(sqlite3_column_int(st, 5), 0) << "no row without its pair";
    sqlite3_finalize(st);
    sqlite3_close(copy);
  }

  const std::string saved_bytes = read_file(file);
  ToolRun again = tool_with({"backup", file});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(one_line(again.err) && contains(again.err, "exists already")) << again.err;
  EXPECT_TRUE(read_file(file) == saved_bytes) << "the existing file is left alone";

  // The database changes after the backup; a restore brings the backup back.
  std::string error;
  ASSERT_TRUE(db.run_outside("DELETE FROM iq_salesman_name", &error)) << error;
  const std::string garbage = db.dir() + "/notes.txt";
  std::ofstream(garbage) << "not a database\n";
  ToolRun junk = tool_with({"restore", garbage});
  EXPECT_EQ(junk.status, 1);
  EXPECT_TRUE(one_line(junk.err) && contains(junk.err, "nothing was changed")) << junk.err;

  const std::string newer = db.dir() + "/newer.db";
  ASSERT_EQ(tool_with({"backup", newer}).status, 0);
  sqlite3* nw = nullptr;
  ASSERT_EQ(sqlite3_open(newer.c_str(), &nw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(nw, "UPDATE lunadesk_version SET version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(nw);
  ToolRun refused_newer = tool_with({"restore", newer});
  EXPECT_EQ(refused_newer.status, 1);
  EXPECT_TRUE(one_line(refused_newer.err) && contains(refused_newer.err, "version 99")) << refused_newer.err;

  sqlite3* open_elsewhere = nullptr;
  ASSERT_EQ(sqlite3_open(db.where().c_str(), &open_elsewhere), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(open_elsewhere, "SELECT COUNT(*) FROM iq_salesman_name", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ToolRun busy = tool_with({"restore", file});
  EXPECT_EQ(busy.status, 1);
  EXPECT_TRUE(one_line(busy.err) && contains(busy.err, "open in another program")) << busy.err;
  sqlite3_close(open_elsewhere);
  EXPECT_EQ(native_rows("SELECT COUNT(*) FROM iq_salesman_name"), std::vector<std::string>{"0"}) << "nothing restored";

  ToolRun restore = tool_with({"restore", file});
  ASSERT_EQ(restore.status, 0) << restore.err;
  EXPECT_TRUE(contains(restore.out, db.where() + ".before-restore")) << restore.out;
  EXPECT_NE(native_rows("SELECT COUNT(*) FROM iq_salesman_name"), std::vector<std::string>{"0"});
  EXPECT_EQ(tool("check").status, 0);
}

// Sets environment variables for one scope.
class Env {
 public:
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~Env() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(ToolErrors, NameTheFileOrServerOnOneLine) {
  {
    Env env;
    env.set("A4GL_SQLTYPE", nullptr);
    env.set("LUNADESK_DB", "/nonexistent-dir/sub/lunadesk.db");
    ToolRun r = tool("init");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_TRUE(contains(r.err, "/nonexistent-dir/sub/lunadesk.db")) << r.err;
  }
  {
    ScopedDatabase db(Db::Sqlite);
    ASSERT_TRUE(db.ready()) << db.reason();
    Env env;
    env.set("LUNADESK_DB", (db.dir() + "/none.db").c_str());
    ToolRun r = tool("list");  // never creates a database
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_TRUE(contains(r.err, "none.db")) << r.err;
    EXPECT_NE(::access((db.dir() + "/none.db").c_str(), F_OK), 0);
  }
  {
    Env env;
    env.set("A4GL_SQLTYPE", "pg");
    env.set("PGHOST", "127.0.0.1");
    env.set("PGPORT", "1");
    ToolRun r = tool("demo");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_TRUE(contains(r.err, "127.0.0.1")) << r.err;
  }
  {
    ScopedDatabase db(Db::Sqlite);
    ASSERT_TRUE(db.ready()) << db.reason();
    Env env;
    env.set("LUNADESK_LOCK_TIMEOUT_MS", "4294967297");  // a wait that would wrap to 1 ms
    ToolRun r = tool("init");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(one_line(r.err) && contains(r.err, "LUNADESK_LOCK_TIMEOUT_MS \"4294967297\"")) << r.err;
    std::string error;
    EXPECT_FALSE(db.run_outside("SELECT version FROM lunadesk_version", &error)) << "nothing was made";
  }
  ToolRun usage = tool("drop");
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(contains(usage.err, "usage: lunadesk-db")) << usage.err;
  EXPECT_EQ(tool("init", "--frce").status, 2);
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// list only reads: an empty file stays empty, and a database kept with a
// rollback journal (as another tool may leave one) is left byte for byte,
// without a journal file of its own left beside it.
TEST(ToolList, NeverCreatesOrChangesAFile) {
  ScopedDatabase db(Db::Sqlite);
  ASSERT_TRUE(db.ready()) << db.reason();
  Env env;
  const std::string empty = db.dir() + "/empty.db";
  std::ofstream(empty).flush();
  env.set("LUNADESK_DB", empty.c_str());
  ToolRun r = tool("list");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(one_line(r.err) && contains(r.err, "empty.db") && contains(r.err, "lunadesk-db init")) << r.err;
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  const std::string kept = db.dir() + "/kept.db";
  env.set("LUNADESK_DB", kept.c_str());
  ASSERT_EQ(tool("demo").status, 0);
  sqlite3* lite = nullptr;
  ASSERT_EQ(sqlite3_open(kept.c_str(), &lite), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(lite, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(lite);
  const std::string before = file_bytes(kept);
  ToolRun list = tool("list");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(contains(list.out, "Salesmen: 12")) << list.out;
  EXPECT_TRUE(file_bytes(kept) == before) << "the database file is unchanged";
  EXPECT_FALSE(std::filesystem::exists(kept + "-wal") || std::filesystem::exists(kept + "-shm"));
}

// Backups on PostgreSQL, through pg_dump and pg_restore: a target that
// exists is left alone; a restore refuses a file that is no dump and a
// database another session has open, and otherwise brings the backup back.
TEST(ToolBackupPg, DumpsAndRestoresOnlyWhenNoOtherSessionHasTheDatabase) {
  ScopedDatabase db(Db::Postgres);
  LUNADESK_NEED_DATABASE(db);
  ASSERT_EQ(tool("demo").status, 0);
  const std::string file = db.dir() + "/lunadesk.dump";
  ToolRun backup = tool_with({"backup", file});
  ASSERT_EQ(backup.status, 0) << backup.err;
  const std::string dumped = read_file(file);
  ToolRun again = tool_with({"backup", file});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(one_line(again.err) && contains(again.err, "exists already")) << again.err;
  EXPECT_TRUE(read_file(file) == dumped);

  std::string error;
  ASSERT_TRUE(db.run_outside("DELETE FROM iq_salesman_name", &error)) << error;
  const std::string junk = db.dir() + "/notes.txt";
  std::ofstream(junk) << "not a dump\n";
  ToolRun refused = tool_with({"restore", junk});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(one_line(refused.err) && contains(refused.err, "nothing was changed")) << refused.err;

  ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error, {db.settings()})) << error;
  ToolRun busy = tool_with({"restore", file});
  rt::sql::disconnect();
  EXPECT_EQ(busy.status, 1);
  EXPECT_TRUE(one_line(busy.err) && contains(busy.err, "other session")) << busy.err;
  EXPECT_EQ(native_rows("SELECT COUNT(*) FROM iq_salesman_name"), std::vector<std::string>{"0"});

  ToolRun restore = tool_with({"restore", file});
  ASSERT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(native_rows("SELECT COUNT(*) FROM iq_salesman_name"), std::vector<std::string>{"12"});
  EXPECT_EQ(tool("check").status, 0);
}

}  // namespace
}  // namespace lunadesk::db::test
