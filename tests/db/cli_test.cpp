// The tool lunadesk-db as the operator runs it: its reports, its second
// runs that change nothing, and its one-line errors with exit status 1.
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "pg_server.h"
#include "schema.h"

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

ToolRun tool(const std::string& command) {
  ToolRun r;
  r.status = run_command({LUNADESK_DB_TOOL, command}, &r.out, &r.err);
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
}

}  // namespace
}  // namespace lunadesk::db::test
