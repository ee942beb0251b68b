// A fresh database and a program in a pseudo-terminal: see program_fixture.h.
#include "program_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/runtime.h"
#include "schema.h"

namespace lunadesk::testing {

void ProgramTest::SetUp() {
  db_.emplace(GetParam());
  LUNADESK_NEED_DATABASE(*db_);
  std::string error;
  if (upgraded()) {
    const std::string fixture = std::string(LUNADESK_FIXTURE_DIR) +
                                (GetParam() == Db::Postgres ? "/pg_serial_no_key.sql" : "/sqlite_bytes_char.sql");
    std::ifstream in(fixture);
    std::stringstream sql;
    sql << in.rdbuf();
    ASSERT_FALSE(sql.str().empty()) << fixture;
    ASSERT_TRUE(db_->run_outside(sql.str(), &error)) << fixture << ": " << error;
    ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error, {db_->settings()})) << error;
    lunadesk::db::UpgradeReport report;
    ASSERT_TRUE(lunadesk::db::upgrade_schema(&report, &error)) << error;
    return;
  }
  ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error, {db_->settings()})) << error;
  lunadesk::db::SchemaReport report;
  ASSERT_TRUE(lunadesk::db::create_schema(&report, &error)) << error;
}

void ProgramTest::read_only_user() {
  if (GetParam() == Db::Sqlite) {
    // The directory and file readable by all, writable by their owner.
    ASSERT_EQ(::chmod(db_->dir().c_str(), 0755), 0);
    for (const char* part : {"", "-wal", "-shm"}) ASSERT_EQ(::chmod((db_->where() + part).c_str(), 0644), 0) << part;
    launcher_ = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    return;
  }
  reading_role("lunadesk_reader", "");
}

void ProgramTest::reading_role(const std::string& role, const std::string& attributes) {
  outside("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" + role + "') THEN CREATE ROLE " + role +
          " LOGIN " + attributes + "; END IF; END $$");
  outside("GRANT USAGE ON SCHEMA " + db_->where() + " TO " + role + "; GRANT SELECT ON ALL TABLES IN SCHEMA " +
          db_->where() + " TO " + role);
  user_env_["PGUSER"] = role;
}

void ProgramTest::TearDown() {
  term_.reset();
  if (rt::sql::connected()) rt::sql::disconnect();
  db_.reset();
}

std::map<std::string, std::string> ProgramTest::db_env() const {
  std::map<std::string, std::string> env;
  for (const char* name : {"A4GL_SQLTYPE", "LUNADESK_DB", "PGHOST", "PGPORT", "PGUSER", "PGOPTIONS", "DBDATE"}) {
    const char* v = std::getenv(name);
    if (v) env[name] = v;
  }
  return env;
}

e2e::Options ProgramTest::options(const std::string& program, std::map<std::string, std::string> extra_env) const {
  e2e::Options opt;
  opt.argv = launcher_;
  opt.argv.push_back(std::string(LUNADESK_BIN_DIR) + "/" + program);
  opt.env = db_env();
  for (auto& [k, v] : user_env_) opt.env[k] = v;
  for (auto& [k, v] : extra_env) opt.env[k] = v;
  opt.cwd = db_->dir();
  return opt;
}

std::unique_ptr<e2e::Terminal> ProgramTest::started(const e2e::Options& opt, const std::string& ready) {
  auto t = std::make_unique<e2e::Terminal>(opt);
  EXPECT_TRUE(t->wait_for(ready)) << "the program did not show \"" << ready << "\"";
  first_screen_ms_ = t->ms_since(t->spawned());
  t->wait_settled(50);
  return t;
}

std::unique_ptr<e2e::Terminal> ProgramTest::start_another(const std::string& program, const std::string& ready,
                                                          std::map<std::string, std::string> extra_env,
                                                          bool controlling_terminal) {
  e2e::Options opt = options(program, std::move(extra_env));
  opt.controlling_terminal = controlling_terminal;
  return started(opt, ready);
}

e2e::Terminal& ProgramTest::start(const std::string& program, const std::string& ready,
                                  std::map<std::string, std::string> extra_env, bool controlling_terminal) {
  term_ = start_another(program, ready, std::move(extra_env), controlling_terminal);
  return *term_;
}

e2e::Terminal& ProgramTest::start_from_menu(const std::string& program, const std::string& ready,
                                            std::map<std::string, std::string> extra_env, bool job_control) {
  e2e::Options opt = options(program, std::move(extra_env));
  opt.shell_script = "\"$0\"; echo \"back in the menu $?\"; read answer; echo \"read $answer\"";
  opt.job_control = job_control;
  term_ = started(opt, ready);
  return *term_;
}

pid_t ProgramTest::program_pid(const e2e::Terminal& t) {
  const std::vector<pid_t> started = t.children();
  return started.size() == 1 ? started[0] : -1;
}

void ProgramTest::hold_lock(const std::string& table, const std::string& set, const std::string& where) {
  rt::sql::begin_work();
  exec("UPDATE " + table + " SET " + set + " = " + set + " WHERE " + where);
}

void ProgramTest::release() { rt::sql::rollback_work(); }

::testing::AssertionResult ProgramTest::lock_waited(e2e::Terminal& t, bool give_up, const std::string& done) {
  if (!t.wait_for_at(2, 1, "Waiting for a record locked by another user... Ctrl-C gives up"))
    return ::testing::AssertionFailure() << "no wait shown";
  if (!give_up) return ::testing::AssertionSuccess();
  t.key("ctrl-c");
  if (!t.wait_for_at(24, 1, "This record is locked by another user: nothing was " + done) || !t.wait_settled())
    return ::testing::AssertionFailure() << "no refusal shown after Ctrl-C";
  if (t.contains("Waiting for a record")) return ::testing::AssertionFailure() << "the wait is still shown";
  return ::testing::AssertionSuccess();
}

void ProgramTest::exec(const std::string& sql, const rt::sql::Params& params) { rt::sql::execute(sql, params); }

std::vector<std::string> ProgramTest::rows(const std::string& sql, int ncols, const rt::sql::Params& params) {
  std::vector<rt::Value> vals(static_cast<size_t>(ncols), rt::Value(rt::char_t(200)));
  rt::sql::Into into;
  for (auto& v : vals) into.push_back(&v);
  rt::sql::Cursor cur;
  rt::sql::declare(cur, sql, false);
  rt::sql::open(cur, params);
  std::vector<std::string> out;
  for (;;) {
    rt::sql::fetch_next(cur, into);
    if (rt::status != 0) break;
    std::string line;
    for (size_t i = 0; i < vals.size(); ++i) {
      if (i) line += '|';
      line += vals[i].is_null() ? "NULL" : vals[i].str();
    }
    out.push_back(line);
  }
  rt::sql::close(cur);
  rt::sql::free_cursor(cur);
  return out;
}

long ProgramTest::count(const std::string& table, const std::string& where) {
  rt::Value n(rt::integer_t());
  rt::sql::select_into("select count(*) from " + table + " where " + where, {}, {&n});
  return static_cast<long>(n.as_int());
}

bool menu_shows(const std::string& row, const std::string& option) {
  size_t pos = 0;
  while ((pos = row.find(option, pos)) != std::string::npos) {
    bool left = pos == 0 || row[pos - 1] == ' ' || row[pos - 1] == ':';
    size_t end = pos + option.size();
    bool right = end >= row.size() || row[end] == ' ';
    if (left && right) return true;
    pos = end;
  }
  return false;
}

}  // namespace lunadesk::testing
