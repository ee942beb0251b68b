// System parameters and database helpers, on both back ends: the message
// boxes of missing parameters, set_param ending the program, does_exist
// closing its cursor, serials on either back end, the shift link made once,
// and the stored lookup text run as the search list runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "libparm.h"
#include "pg_server.h"
#include "schema.h"
#include "screen/fake_terminal.h"
#include "sql/backend_choice.h"
#include "sql/sql.h"

using lunadesk::testing::Db;
using rt::Value;
namespace sql = rt::sql;
using Texts = std::vector<std::string>;

namespace {

// Sets (or with nullptr unsets) an environment variable for one scope.
struct EnvVar {
  EnvVar(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) saved = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~EnvVar() { saved ? ::setenv(name, saved->c_str(), 1) : ::unsetenv(name); }
  const char* name;
  std::optional<std::string> saved;
};

Value date(const char* iso) { return Value::of_date(*rt::Date::parse_iso(iso)); }

class Parm : public ::testing::TestWithParam<Db> {
 protected:
  void SetUp() override {
    db_.emplace(GetParam());
    LUNADESK_NEED_DATABASE(*db_);
    std::string error;
    ASSERT_TRUE(sql::try_connect("lunadesk", &error, {db_->settings()})) << error;
    lunadesk::db::SchemaReport report;
    ASSERT_TRUE(lunadesk::db::create_schema(&report, &error)) << error;
    // A message box waits for a key: keep the line it shows, then close it.
    rt::ui::install_fake_terminal()->when_idle([this](rt::ui::FakeTerminal& t) {
      std::string text;
      for (int line = 1; line <= 24; ++line)
        if (t.row(line).find("parameter") != std::string::npos) text += t.row(line);
      // The line without the box's border and the blanks around the text.
      for (std::size_t p; (p = text.find("│")) != std::string::npos;) text.erase(p, std::string("│").size());
      text.erase(0, text.find_first_not_of(' '));
      boxes_.push_back(text.erase(text.find_last_not_of(' ') + 1));
      t.push(' ');
    });
  }
  void TearDown() override {
    if (sql::connected()) sql::disconnect();
    db_.reset();
  }
  bool pg() const { return GetParam() == Db::Postgres; }

  void parm(int nbr, const char* value) {
    Value v(rt::char_t(30));
    if (value) v.set_text(value);
    sql::execute("INSERT INTO sys_parm VALUES (?, ?)", {Value::of_int(nbr, rt::smallint_t()), v});
  }
  long count(const std::string& from_where) {
    Value n(rt::integer_t());
    sql::select_into("select count(*) from " + from_where, {}, {&n});
    return static_cast<long>(n.as_int());
  }
  // The texts of the boxes shown since the last call.
  Texts boxes() {
    Texts b;
    b.swap(boxes_);
    return b;
  }

  std::optional<lunadesk::testing::ScopedDatabase> db_;
  Texts boxes_;
};

TEST_P(Parm, MissingParametersAreToldInMessageBoxes) {
  parm(7, "lp0");
  parm(8, "   ");
  parm(9, " 12");
  parm(10, "abc");
  parm(11, nullptr);
  EXPECT_EQ(get_param(7), "lp0");
  EXPECT_EQ(get_param(8), "") << "a blank value is not NULL";
  EXPECT_EQ(get_param(11), std::nullopt);
  EXPECT_TRUE(param_exists(7));
  EXPECT_EQ(get_param_int(9), 12);
  EXPECT_EQ(get_param_int(10), std::nullopt) << "text that is no number";
  EXPECT_TRUE(boxes().empty());

  EXPECT_EQ(get_param(42), std::nullopt);
  EXPECT_EQ(boxes(), Texts{"Internal error getting system parameter 42"});
  // A missing row: get_param's box first, then the one of param_exists.
  EXPECT_FALSE(param_exists(42));
  EXPECT_EQ(boxes(), (Texts{"Internal error getting system parameter 42", "System parameter 42 is missing"}));
  EXPECT_FALSE(param_exists(8));
  EXPECT_FALSE(param_exists(11));
  EXPECT_EQ(boxes(), (Texts{"System parameter 8 is missing", "System parameter 11 is missing"}));
}

TEST_P(Parm, SetParamReplacesAndNeverCreates) {
  EXPECT_EQ(db_is_pg(), GetParam() == Db::Postgres) << "the back end is the connection's";
  parm(7, "lp0");
  set_param(7, "a value of more than thirty characters");
  EXPECT_EQ(get_param(7), "a value of more than thirty ch");
  // A number with no row ends the program: in a process of its own.
  std::string out, err;
  EXPECT_EQ(lunadesk::testing::run_command({PARM_PROBE_PATH, "99", "x"}, &out, &err), 1) << out << err;
  EXPECT_NE(out.find("Internal error setting param details for :99"), std::string::npos) << out;
  EXPECT_EQ(count("sys_parm"), 1);
  EXPECT_EQ(lunadesk::testing::run_command({PARM_PROBE_PATH, "7", "lp2"}, &out, &err), 0) << out << err;
  EXPECT_EQ(get_param(7), "lp2");
}

TEST_P(Parm, DoesExistClosesItsCursorOnEveryFetch) {
  sql::execute("create table t_probe (a integer)");
  // PostgreSQL lists an open cursor; on SQLite a statement still reading a
  // table keeps it from being dropped.
  auto cursor_open = [this] {
    if (pg()) return count("pg_cursors where name <> ''") > 0;
    sql::ContinueOnError tested;
    sql::execute("drop table t_probe");
    if (rt::status < 0) return true;
    sql::execute("create table t_probe (a integer)");
    return false;
  };
  sql::execute("insert into t_probe values (1)");
  sql::Cursor left_open;
  sql::declare(left_open, "select a from t_probe", false);
  sql::open(left_open);
  sql::fetch_next(left_open, {});
  ASSERT_TRUE(cursor_open()) << "the check must see a cursor left open";
  sql::close(left_open);

  EXPECT_FALSE(does_exist("select a from t_probe where a > 5"));
  EXPECT_FALSE(cursor_open());
  sql::execute("insert into t_probe values (2)");
  EXPECT_TRUE(does_exist("select a from t_probe"));
  EXPECT_FALSE(cursor_open());
  // Only inside the caller's own scope does a bad statement answer FALSE.
  sql::ContinueOnError tested;
  EXPECT_FALSE(does_exist("select a from no_such_table"));
  EXPECT_LT(rt::status, 0);
}

TEST_P(Parm, SerialsComeFromTheSequenceOnlyOnPostgres) {
  if (!pg()) {
    sql::disconnect();  // not a statement runs
    EXPECT_EQ(pg_nextval("tx_use_g", "tu_link"), 0);
    return;
  }
  const int first = pg_nextval("tx_use_g", "tu_link");
  EXPECT_EQ(pg_nextval("tx_use_g", "tu_link"), first + 1);
  sql::execute("INSERT INTO tx_use_g VALUES ('H', 'C', 'D', 0)");
  EXPECT_EQ(sql::last_serial(), first + 2) << "the database's own serial comes after those taken";
}

TEST_P(Parm, ShiftLinkIsMadeOnceForACentreAndDay) {
  sql::execute("INSERT INTO rs_shiftlink VALUES (4, 2, ?, 0)", {date("2026-03-02")});  // not shift 1
  const long shift2 = sql::last_serial();
  const int a = get_shl(4, *rt::Date::parse_iso("2026-03-02"));
  EXPECT_NE(a, shift2);
  EXPECT_EQ(get_shl(4, *rt::Date::parse_iso("2026-03-02")), a);
  const int b = get_shl(4, *rt::Date::parse_iso("2026-03-03"));
  EXPECT_NE(b, a);
  EXPECT_EQ(count("rs_shiftlink where rssl_shift = 1"), 2);
  Value shl(rt::integer_t());
  sql::select_into("select rssl_shl from rs_shiftlink where rssl_shift = 1 and rssl_date = ?", {date("2026-03-03")},
                   {&shl});
  EXPECT_EQ(shl.as_int(), b) << "the number returned is the one stored";
}

TEST_P(Parm, StoredAccountLookupRunsAsTheSearchListRunsIt) {
  EXPECT_EQ(get_sql_str("GLM_ACCOUNT"), std::nullopt);
  EXPECT_EQ(get_sql_str(""), std::nullopt);
  ASSERT_TRUE(get_sql_str("glm_account  ")) << "trailing blanks do not count";
  // The accounts of the series with the latest period end, 2026.
  sql::execute("INSERT INTO gl_period VALUES (2025, 1, NULL, ?, 'O')", {date("2025-12-31")});
  sql::execute("INSERT INTO gl_period VALUES (2026, 1, NULL, ?, 'O')", {date("2026-01-31")});
  for (const char* row :
       {"2025, '1000', 'Cash old'", "2026, '1100', 'Cash in bank'", "2026, '1000', 'Cash'", "2026, '2000', 'Payables'"})
    sql::execute(std::string("INSERT INTO gl_master VALUES (") + row + ", '', 'Y')");
  sql::Cursor c;
  sql::declare(c, *get_sql_str("glm_account"), false);
  sql::open(c, {Value::of_char("Cash*", 40)});
  Texts got;
  Value acct(rt::char_t(12)), desc(rt::char_t(40));
  for (sql::fetch_next(c, {&acct, &desc}); rt::status == 0; sql::fetch_next(c, {&acct, &desc}))
    got.push_back(acct.str() + "|" + desc.str());
  EXPECT_EQ(got, (Texts{"1000|Cash", "1100|Cash in bank"}));
}

TEST(ParmEnv, LoginNameComesFromTheEnvironmentAndEachSpellingNamesItsBackEnd) {
  {
    EnvVar login("LOGNAME", "averyverylongname");
    EXPECT_EQ(get_username(), "averyveryl");
  }
  {
    EnvVar login("LOGNAME", nullptr);
    EXPECT_EQ(get_username(), "");
  }
  for (auto [value, want] :
       {std::pair{"pg", true}, std::pair{"pg_very_long_name", true}, std::pair{"PG", true}, std::pair{"Pg", true},
        std::pair{"postgres", true}, std::pair{"PostgreSQL", true}, std::pair{"POSTGRESQL", true},
        std::pair{"sqlite", false}, std::pair{"esql", false}, std::pair{" pg", false}, std::pair{"", false}}) {
    EXPECT_EQ(sql::backend_named(value) == sql::Backend::Postgres, want) << "A4GL_SQLTYPE=" << value;
  }
}

// A login name that is not UTF-8 never stops a program: it is read with
// U+FFFD in place of the bad byte, the operator is told, and the print
// defaults keyed by it are looked up and stored on either back end.
TEST_P(Parm, ALoginNameWithBadBytesIsReadAndUsedOnEitherBackEnd) {
  rt::ui::FakeTerminal* term = rt::ui::install_fake_terminal();
  EnvVar login("LOGNAME", "jos\xe9");
  const std::string who = get_username();
  EXPECT_EQ(who, "jos\xef\xbf\xbd");
  EXPECT_NE(term->row(24).find("LOGNAME is not valid UTF-8"), std::string::npos) << term->row(24);
  sql::ContinueOnError guard;
  sql::execute("INSERT INTO co_rpt_ctl (corc_rpt_name, corc_who, corc_copies) VALUES ('report', ?, 2)",
               {Value::of_char(who, 10)});
  EXPECT_EQ(rt::status, 0) << sql::last_error_message();
  EXPECT_EQ(count("co_rpt_ctl where corc_who = '" + who + "'"), 1);
  {
    EnvVar good("LOGNAME", "jos\xc3\xa9");
    EXPECT_EQ(get_username(), "jos\xc3\xa9");
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Parm, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
