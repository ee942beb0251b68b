// The tool lunadesk-db as the operator runs it: its reports, its second
// runs that change nothing, and its one-line errors with exit status 1.
#include <sqlite3.h>
#include <unistd.h>

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
  ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error)) << error;
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

INSTANTIATE_TEST_SUITE_P(Backends, Tool, all_backends(), backend_name);

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

}  // namespace
}  // namespace lunadesk::db::test
