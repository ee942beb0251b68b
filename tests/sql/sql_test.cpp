// The SQL layer against real databases: every body runs on the embedded
// back end and on a PostgreSQL server that the test binary starts itself.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include <random>

#include "core/runtime.h"
#include "sql_fixture.h"
#include "qbe/criteria.h"
#include "sql/pattern.h"

namespace rt::sql {
namespace {

TEST_P(Sql, CharValuesCompareWithoutTrailingBlanks) {
  ok("create table c (k char(5), v char(10))");
  ok("insert into c values (?, ?)", {chr("ab", 5), chr("x", 10)});
  Value k(char_t(5)), v(char_t(10));
  select_into("select k, v from c where k = 'ab   '", {}, {&k, &v});
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_EQ(k.str(), "ab");
  EXPECT_EQ(k.padded(), "ab   ");
  EXPECT_EQ(k.length(), 2);
  EXPECT_EQ(count("select count(*) from c where k = ? and v = 'x'", {chr("ab", 8)}), 1);
  EXPECT_EQ(count("select count(*) from c where k = \"ab\" and v <> 'x  '"), 0);
  // A value longer than its column is refused, never stored cut or beyond.
  EXPECT_EQ(status_of("insert into c values (?, ?)", {chr("abcdefgh", 8), chr("y")}), -1279);
  EXPECT_EQ(count("select count(*) from c"), 1);
  // A longer column fetched into a shorter variable is cut at its width.
  Value short_v(char_t(2));
  select_into("select v from c", {}, {&short_v});
  EXPECT_EQ(rt::status, 0);
  EXPECT_EQ(short_v.str(), "x");
}

TEST_P(Sql, NullsTravelBothWays) {
  ok("create table n (a integer, b char(3), c decimal(8,2), d date)");
  ok("insert into n values (?, ?, ?, ?)",
     {Value(integer_t()), Value(char_t(3)), Value(decimal_t(8, 2)), Value(date_t())});
  Value a = num(7), b = chr("z", 3), c = dec("1.00", 8, 2), d = Value::of_date(*Date::from_mdy(1, 2, 2003));
  select_into("select a, b, c, d from n", {}, {&a, &b, &c, &d});
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_TRUE(a.is_null() && b.is_null() && c.is_null() && d.is_null());
  EXPECT_EQ(count("select count(*) from n where a is null and b is null and d is null"), 1);
  EXPECT_EQ(count("select count(*) from n where b matches '*'"), 0);
  EXPECT_EQ(count("select count(*) from n where b = ?", {Value(char_t(3))}), 0);
}

TEST_P(Sql, MatchesPatternsAsConstantsAndParameters) {
  ok("create table m (s char(10))");
  for (const char* s : {"abc", "abd", "xbc", "a*c", "ABC", "deee", "azzz"}) ok("insert into m values (?)", {chr(s)});
  struct Case {
    const char* pattern;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"a*", {"a*c", "abc", "abd", "azzz"}},
      {"[a-b]bc", {"abc"}},
      {"[^a]*", {"ABC", "deee", "xbc"}},
      {"a\\*c", {"a*c"}},
      {"*\\**", {"a*c"}},
      {"?b?", {"abc", "abd", "xbc"}},
      {"abc", {"abc"}},  // the column's padding does not count
  };
  for (const Case& c : cases) {
    const std::string literal = "select s from m where s matches '" + std::string(c.pattern) + "' order by 1";
    EXPECT_EQ(column(literal), c.rows) << c.pattern;
    EXPECT_EQ(column("select s from m where s matches ? order by 1", {chr(c.pattern, 20)}), c.rows) << c.pattern;
  }
  EXPECT_EQ(column("select s from m where s not matches \"a*\" order by 1"),
            (std::vector<std::string>{"ABC", "deee", "xbc"}));
  EXPECT_EQ(column("select s from m where upper(s) matches ? order by 1", {chr("ABC*")}),
            (std::vector<std::string>{"ABC", "abc"}));
  // A "*" in a constant compared by = is just a character.
  EXPECT_EQ(column("select s from m where s = 'a*c'"), (std::vector<std::string>{"a*c"}));
  // Nor may a "?" take a blank of the padding.
  EXPECT_EQ(column("select s from m where s matches 'ab?  '"), std::vector<std::string>{});
  EXPECT_EQ(column("select s from m where s = 'x matches y'"), std::vector<std::string>{});
}

TEST_P(Sql, SerialsAreAssignedForZeroAndNeverReused) {
  ok("create table sr (code char(4), id serial not null)");
  ok("create table plain (a integer)");
  // The programs' way (pg_nextval): the sequence's next value on
  // PostgreSQL, 0 elsewhere, where the database assigns the serial.
  Value next = num(0);
  if (pg()) {
    select_into("select nextval( pg_get_serial_sequence( ? , ? ))", {chr("sr", 63), chr("id", 63)}, {&next});
    ASSERT_EQ(rt::status, 0) << last_error_message();
  }
  ok("insert into sr values (?, ?)", {chr("a", 4), next});
  EXPECT_EQ(last_serial(), 1);
  ok("insert into sr values ('b', 0)");
  EXPECT_EQ(last_serial(), 2);
  ok("insert into sr values (?, ?)", {chr("c", 4), Value::of_int(0, serial_t())});
  EXPECT_EQ(last_serial(), 3);
  ok("insert into sr (code, id) values (?, 0)", {chr("d", 4)});
  EXPECT_EQ(last_serial(), 4);
  ok("delete from sr where id >= 3");
  EXPECT_EQ(rows_processed(), 2);
  ok("insert into sr values ('e', 0)");
  EXPECT_EQ(last_serial(), 5);
  ok("insert into plain values (1)");
  EXPECT_EQ(last_serial(), 0);
  EXPECT_EQ(column("select code from sr order by id"), (std::vector<std::string>{"a", "b", "e"}));
}

TEST_P(Sql, ScrollCursorMovesAndKeepsItsRows) {
  ok("create table sc (n integer)");
  for (int i = 1; i <= 5; ++i) ok("insert into sc values (?)", {num(i)});
  Cursor c;
  declare(c, "select n from sc order by n", true);
  open(c);
  ASSERT_EQ(rt::status, 0) << last_error_message();
  Value n(integer_t());
  auto at = [&](Fetch how, long k) {
    fetch(c, how, k, {&n});
    return rt::status == 0 ? n.as_int() : -rt::status;  // -100 when no row
  };
  EXPECT_EQ(at(Fetch::Next, 1), 1);
  EXPECT_EQ(at(Fetch::Previous, 1), -100);  // at the first row: stays there
  EXPECT_EQ(n.as_int(), 1);                 // the variable keeps its value
  EXPECT_EQ(at(Fetch::Next, 1), 2);
  EXPECT_EQ(at(Fetch::Relative, 0), 2);
  EXPECT_EQ(at(Fetch::Last, 0), 5);
  EXPECT_EQ(at(Fetch::Next, 1), -100);  // past the end: stays on the last row
  EXPECT_EQ(at(Fetch::Relative, 0), 5);
  EXPECT_EQ(at(Fetch::Previous, 1), 4);
  EXPECT_EQ(at(Fetch::Absolute, 9), -100);
  EXPECT_EQ(at(Fetch::Relative, 0), 4);
  EXPECT_EQ(at(Fetch::First, 0), 1);
  EXPECT_EQ(at(Fetch::Relative, 3), 4);
  EXPECT_EQ(at(Fetch::Relative, -3), 1);
  EXPECT_EQ(at(Fetch::Absolute, 3), 3);
  EXPECT_EQ(at(Fetch::Relative, -5), -100);  // before the first row: left on the first
  EXPECT_EQ(at(Fetch::Relative, 0), 1);
  EXPECT_EQ(at(Fetch::Next, 1), 2);

  // Reopened: rows deleted after the open are still delivered, read or not.
  open(c);
  EXPECT_EQ(at(Fetch::Next, 1), 1);
  ok("delete from sc where n in (1, 3, 5)");
  EXPECT_EQ(at(Fetch::Relative, 0), 1);
  EXPECT_EQ(at(Fetch::Next, 1), 2);
  EXPECT_EQ(at(Fetch::Next, 1), 3);
  EXPECT_EQ(at(Fetch::Last, 0), 5);
  close(c);
  open(c);
  EXPECT_EQ(at(Fetch::Last, 0), 4);
  EXPECT_EQ(at(Fetch::Previous, 1), 2);

  // A cursor that is not open, and a forward cursor asked to go back.
  close(c);
  fetch_next(c, {&n});
  EXPECT_EQ(rt::status, -400);
  Cursor f;
  declare(f, "select n from sc", false);
  open(f);
  fetch(f, Fetch::Previous, 1, {&n});
  EXPECT_LT(rt::status, 0);
  // Relative 0 before the first row finds none.
  open(c);
  EXPECT_EQ(at(Fetch::Relative, 0), -100);
}

TEST_P(Sql, TemporaryTablesAreDroppedAndMadeAgain) {
  ok("create table src (n integer, amt decimal(10,2))");
  ok("insert into src values (1, 1.50)");
  ok("insert into src values (2, 2.50)");
  for (int run = 0; run < 2; ++run) {
    execute_logged("DROP TABLE t_items");
    if (run == 0) {
      EXPECT_EQ(rt::status, -206);
    }
    ok("select n, amt from src where n > ? into temp t_items with no log", {num(0)});
    ok(" CREATE INDEX ti_items ON t_items ( n ) ");
    if (pg()) {
      // Autovacuum never analyzes temporary tables: the layer does, once
      // they are filled and indexed.
      EXPECT_GT(count("select count(*) from pg_stats where tablename = 't_items'"), 0);
    }
    ok("UPDATE t_items SET amt=amt* -1  WHERE n IN (SELECT n FROM src WHERE n = 2)");
    Cursor c;
    declare(c, "select amt from t_items order by n", true);
    open(c);
    Value amt(decimal_t(10, 2));
    fetch(c, Fetch::Last, 0, {&amt});
    EXPECT_EQ(amt.as_decimal(), *Decimal::parse("-2.50")) << amt.str();
  }
  const char* create = "CREATE TEMP TABLE t_printer (   printer  CHAR (10),   descr  CHAR (1))";
  ok(create);
  EXPECT_EQ(status_of(create), -310);
  ok("INSERT INTO t_printer VALUES (   ?,\"\")", {chr("lp1", 10)});
  // An empty description matches the empty search text only.
  EXPECT_EQ(column("select * from t_printer where descr matches ?", {chr("*", 200)}),
            (std::vector<std::string>{"lp1"}));
  EXPECT_EQ(column("select * from t_printer where upper(descr) matches ?", {chr("A*", 200)}),
            std::vector<std::string>{});
  ok("DELETE FROM t_printer");
  ok("DROP TABLE t_printer");
  EXPECT_EQ(status_of("DELETE FROM t_printer"), -206);
  ok("UPDATE STATISTICS");
}

TEST_P(Sql, SingleRowSelects) {
  ok("create table two (n integer)");
  ok("insert into two values (1)");
  ok("insert into two values (2)");
  Value n = num(42);
  select_into("select n from two", {}, {&n});
  EXPECT_EQ(rt::status, -284);
  EXPECT_EQ(n.as_int(), 42);
  select_into("select n from two where n = 9", {}, {&n});
  EXPECT_EQ(rt::status, 100);
  EXPECT_EQ(n.as_int(), 42);
  select_into("SELECT DISTINCT 1  FROM two WHERE n > ? ", {num(0)}, {&n});
  EXPECT_EQ(rt::status, 0);
  EXPECT_EQ(n.as_int(), 1);
  // Run without variables, a SELECT only says whether it finds a row.
  EXPECT_EQ(status_of("SELECT 1  FROM two WHERE n=? ", {num(2)}), 0);
  EXPECT_EQ(status_of("SELECT 1  FROM two WHERE n=? ", {num(3)}), 100);
}

TEST_P(Sql, DuplicatesAndSavepointsInOneUnitOfWork) {
  ok("create table u (k char(4), v integer)");
  ok("create unique index u_k on u (k)");
  ok("insert into u values ('a', 1)");
  EXPECT_EQ(status_of("insert into u values ('a', 2)"), -239);
  EXPECT_FALSE(last_error_message().empty());

  // A failing insert inside a transaction costs only itself.
  begin_work();
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_TRUE(in_transaction());
  ok("insert into u values ('b', 1)");
  EXPECT_EQ(status_of("insert into u values ('b', 2)"), -239);
  ok("insert into u values ('c', 1)");
  savepoint("before_d");
  ok("insert into u values ('d', 1)");
  rollback_to_savepoint("before_d");
  EXPECT_EQ(rt::status, 0) << last_error_message();
  ok("insert into u values ('e', 1)");
  release_savepoint("before_d");
  EXPECT_EQ(rt::status, 0) << last_error_message();
  rollback_to_savepoint("before_d");  // released: no longer there
  EXPECT_LT(rt::status, 0);
  commit_work();
  EXPECT_EQ(rt::status, 0) << last_error_message();
  EXPECT_FALSE(in_transaction());
  EXPECT_EQ(column("select k from u order by k"), (std::vector<std::string>{"a", "b", "c", "e"}));

  begin_work();
  ok("insert into u values ('f', 1)");
  rollback_work();
  EXPECT_EQ(count("select count(*) from u where k = 'f'"), 0);
  commit_work();
  EXPECT_EQ(rt::status, -255);
}

// Statements under the default rule and tested ones mixed in one
// transaction: the tested failure costs only itself, before and after it.
TEST_P(Sql, ATestedFailureInsideATransactionOfUntestedStatements) {
  ok("create table w (k char(4))");
  ok("create unique index w_k on w (k)");
  continue_.reset();
  begin_work();
  execute("insert into w values ('a')");
  savepoint("after_a");
  execute("insert into w values ('b')");
  {
    ContinueOnError tested;
    EXPECT_EQ(status_of("insert into w values ('a')"), -239);
    EXPECT_EQ(status_of("insert into w values ('b')"), -239);
    ok("insert into w values ('c')");
  }
  execute("insert into w values ('d')");
  rollback_to_savepoint("after_a");
  execute("insert into w values ('e')");
  {
    ContinueOnError tested;
    EXPECT_EQ(status_of("insert into w values ('e')"), -239);
  }
  commit_work();
  continue_.emplace();
  EXPECT_EQ(column("select k from w order by k"), (std::vector<std::string>{"a", "e"}));
}

TEST_P(Sql, DecimalSumsAreExact) {
  ok("create table ar (cust integer, inv integer, amt decimal(10,2))");
  const char* rows[][3] = {{"1", "1", "0.10"}, {"1", "1", "0.20"}, {"1", "1", "-0.30"},
                           {"2", "1", "0.10"}, {"2", "1", "0.20"}, {"3", "7", "0.01"}};
  for (auto& r : rows) ok("insert into ar values (?, ?, ?)", {num(std::atoi(r[0])), num(std::atoi(r[1])), dec(r[2])});
  // Wide targets, so that a binary rest such as 5.55e-17 would show.
  Value sum(decimal_t(32, 20)), text(char_t(40));
  select_into("select sum(amt), sum(amt) from ar where cust = 1", {}, {&sum, &text});
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_TRUE(sum.as_decimal().is_zero()) << sum.str();
  EXPECT_TRUE(Decimal::parse(text.str())->is_zero()) << text.str();

  // The clearing run's netting: one row per invoice that sums to exactly 0.
  Cursor c;
  declare(c, "SELECT ar.cust,   ar.inv,   SUM(ar.amt) amt  FROM ar GROUP BY 1,2 HAVING SUM(amt)=0 ", false);
  open(c);
  Value cust(integer_t()), inv(integer_t()), amt(decimal_t(10, 2));
  std::vector<std::int64_t> matched;
  for (fetch_next(c, {&cust, &inv, &amt}); rt::status == 0; fetch_next(c, {&cust, &inv, &amt})) {
    matched.push_back(cust.as_int());
    // Rows are deleted while the cursor runs, as the clearing run does.
    ok("DELETE FROM ar WHERE cust=? AND inv=? ", {cust, inv});
  }
  EXPECT_EQ(rt::status, 100) << last_error_message();
  EXPECT_EQ(matched, std::vector<std::int64_t>{1});
  EXPECT_EQ(count("select count(*) from ar"), 3);

  ok("UPDATE ar SET amt=amt* -1  WHERE cust = 2");
  select_into("select sum(amt), avg(amt) from ar where cust = ?", {num(2)}, {&sum, &text});
  EXPECT_EQ(sum.as_decimal(), *Decimal::parse("-0.30")) << sum.str();
  EXPECT_EQ(*Decimal::parse(text.str()), *Decimal::parse("-0.15")) << text.str();

  // Every digit a DECIMAL(16,2) holds is kept exactly, and compared,
  // summed and netted exactly; a value with more digits before the point
  // than the column holds is refused on both back ends alike.
  ok("create table big (amt decimal(16,2))");
  ok("insert into big values (?)", {dec("1234567890123.45", 16, 2)});
  ok("insert into big values (?)", {dec("12345678901234.56", 16, 2)});
  ok("insert into big values (-12345678901234.57)");
  EXPECT_EQ(status_of("insert into big values (?)", {dec("123456789012345.6", 18, 1)}), -1226);
  EXPECT_EQ(status_of("insert into big values (123456789012345.6)"), -1226);
  // Read as text, a decimal shows its column's scale on both back ends.
  ok("insert into big values (2)");
  EXPECT_EQ(column("select amt from big where amt < 10 and amt > 0"), (std::vector<std::string>{"2.00"}));
  ok("delete from big where amt < 10 and amt > 0");
  EXPECT_EQ(column("select amt from big where amt > 12345678901234.55 and amt < 12345678901234.57"),
            (std::vector<std::string>{"12345678901234.56"}));
  EXPECT_EQ(column("select sum(amt) from big"), (std::vector<std::string>{"1234567890123.44"}));
  EXPECT_EQ(count("select count(*) from big where amt - 12345678901234.55 - 0.01 = 0"), 1);
}

TEST_P(Sql, DatesCompareAndConvert) {
  ok("create table dt (d date, n integer)");
  ok("insert into dt values ('12/31/2026', 1)");
  ok("insert into dt values (?, 2)", {Value::of_date(*Date::from_mdy(1, 15, 2026))});
  ok("insert into dt values (?, 3)", {Value::of_date(*Date::from_mdy(12, 31, 2025))});
  EXPECT_EQ(count("select count(*) from dt where dt.d<='12/31/2026'"), 3);
  EXPECT_EQ(count("select count(*) from dt where d > '01/01/2026'"), 2);
  EXPECT_EQ(count("select count(*) from dt where d between ? and ?",
                  {Value::of_date(*Date::from_mdy(1, 1, 2026)), Value::of_date(*Date::from_mdy(6, 30, 2026))}),
            1);
  EXPECT_EQ(column("select d from dt order by 1"),
            (std::vector<std::string>{"12/31/2025", "01/15/2026", "12/31/2026"}));
  Value d(date_t());
  select_into("select d from dt where n = 1", {}, {&d});
  EXPECT_EQ(d.as_date(), *Date::from_mdy(12, 31, 2026));
  select_into("select today from dt where n = 1", {}, {&d});
  EXPECT_EQ(rt::status, 0) << last_error_message();
  EXPECT_EQ(d.as_date(), Date::today());
  ok("update dt set d = '02/28/2027' where n = ?", {num(3)});
  EXPECT_EQ(column("select n from dt where d >= ? order by d desc", {Value::of_date(*Date::from_mdy(12, 31, 2026))}),
            (std::vector<std::string>{"3", "1"}));
}

TEST_P(Sql, RejectedStatementsGiveTheirNumbers) {
  ok("create table e (a integer)");
  ok("insert into e values (1)");
  EXPECT_EQ(status_of("select * from no_such_table"), -206);
  EXPECT_FALSE(last_error_message().empty());
  EXPECT_EQ(status_of("select no_such_column from e"), -217);
  EXPECT_EQ(status_of("selec a from e"), -201);
  EXPECT_EQ(status_of("create table e (b integer)"), -310);
  EXPECT_EQ(status_of("insert into e values (?)", {}), -254);
  EXPECT_EQ(status_of("select 'open from e"), -201);
  EXPECT_EQ(status_of("select a from e; delete from e"), -201);
  // Whatever the back end's reason, the number is negative.
  EXPECT_LT(status_of("select abs(-9223372036854775807 - 1) from e"), 0);
  Value v(integer_t());
  select_into("select from where", {}, {&v});
  EXPECT_LT(rt::status, 0);
  // Text that is not a number never becomes one.
  select_into("select 'x1' from e", {}, {&v});
  EXPECT_EQ(rt::status, -1213);
  // After all that the connection still works.
  EXPECT_EQ(count("select count(*) from e"), 1);
}

TEST_P(Sql, StartUpErrorsNameTheDatabase) {
  disconnect();
  std::string why;
  if (pg()) {
    EXPECT_FALSE(try_connect("lunadesk_missing", &why, {db_->settings()}));
    EXPECT_NE(why.find("lunadesk_missing"), std::string::npos) << why;
    return;
  }
  Settings s = db_->settings();
  const std::string missing = db_->dir() + "/missing.db";
  s.database = missing;
  EXPECT_FALSE(try_connect("lunadesk", &why, {s}));
  EXPECT_NE(why.find(missing), std::string::npos) << why;
  EXPECT_NE(why.find("does not exist"), std::string::npos) << why;

  const std::string junk = db_->dir() + "/junk.db";
  std::ofstream(junk) << "this is no database, just text that is long enough to be a header...........";
  s.database = junk;
  EXPECT_FALSE(try_connect("lunadesk", &why, {s}));
  EXPECT_NE(why.find(junk), std::string::npos) << why;
  EXPECT_NE(why.find("not a database"), std::string::npos) << why;

  s.database = db_->dir();
  EXPECT_FALSE(try_connect("lunadesk", &why, {s}));
  EXPECT_NE(why.find(db_->dir()), std::string::npos) << why;
}

// Another program holds a lock: the statement waits LUNADESK_LOCK_TIMEOUT_MS,
// then fails with -154 and a message that says so; nothing is lost.
TEST_P(Sql, AStatementThatStaysLockedOutFailsClearly) {
  ok("create table lk (a integer)");
  ok("insert into lk values (1)");
  disconnect();
  Settings s = db_->settings();
  s.lock_timeout_ms = 300;
  std::string why;
  ASSERT_TRUE(try_connect("lunadesk", &why, {s})) << why;
  sqlite3* lite = nullptr;
  PGconn* other = nullptr;
  if (pg()) {
    const std::string opts = "-c search_path=" + db_->where();
    const char* keys[] = {"dbname", "options", nullptr};
    const char* vals[] = {"lunadesk", opts.c_str(), nullptr};
    other = PQconnectdbParams(keys, vals, 0);
    ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
    PQclear(PQexec(other, "BEGIN; LOCK TABLE lk IN ACCESS EXCLUSIVE MODE"));
  } else {
    ASSERT_EQ(sqlite3_open(db_->where().c_str(), &lite), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(lite, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  EXPECT_EQ(status_of("insert into lk values (2)"), -154);
  EXPECT_NE(last_error_message().find("lock"), std::string::npos) << last_error_message();
  if (pg()) {
    PQclear(PQexec(other, "ROLLBACK"));
    PQfinish(other);
  } else {
    sqlite3_exec(lite, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(lite);
  }
  ok("insert into lk values (3)");
  EXPECT_EQ(column("select a from lk order by a"), (std::vector<std::string>{"1", "3"}));
}

// The default rule, seen from outside: a program whose statement fails
// stops with the report, a non-zero exit status and its transaction rolled
// back.
TEST_P(Sql, AnUntestedErrorStopsTheProgramWithTheReport) {
  ok("create table pr (k integer)");
  ok("create unique index pr_k on pr (k)");
  ok("insert into pr values (1)");
  // Run at once, or sent without waiting for each answer: the report names
  // the failing statement and its line either way.
  for (const char* mode : {"", "pipelined"}) {
    SCOPED_TRACE(*mode ? mode : "at once");
    const std::string log = db_->dir() + "/probe" + mode + ".log";
    std::string out, err;
    const int rc = lunadesk::testing::run_command({SQL_PROBE_PATH, log, mode}, &out, &err);
    EXPECT_EQ(rc, 1) << err;
    const std::string line = out.substr(0, out.find('\n'));
    EXPECT_EQ(out.find("settled"), std::string::npos) << "the program went on after the failure";
    EXPECT_NE(err.find("Program stopped at 'sql_probe.cpp', line number " + line + "."), std::string::npos) << err;
    EXPECT_NE(err.find("SQL statement error number -239."), std::string::npos) << err;
    EXPECT_NE(err.find("insert into pr values (?)"), std::string::npos) << err;
    // The report's lines come in their order.
    EXPECT_LT(err.find("Program stopped"), err.find("SQL statement error number"));
    std::ifstream in(log);
    std::stringstream logged;
    logged << in.rdbuf();
    EXPECT_NE(logged.str().find("SQL statement error number -239."), std::string::npos) << logged.str();
    // The probe's own inserts before the failure were rolled back.
    EXPECT_EQ(count("select count(*) from pr"), 1);
  }
}

// Row changes sent without waiting, driven by a cursor over more rows than
// one batch, interleaved with the calls that must read their answers
// first: the counts stay exact and the data is what running them one by
// one gives.
TEST_P(Sql, PipelinedChangesKeepCountsAndOrder) {
  ok("create table pc (k integer, v integer)");
  ok("create unique index pc_k on pc (k)");
  continue_.reset();
  begin_work();
  for (int k = 1; k <= 700; ++k) execute("insert into pc values (?, ?)", {num(k), num(0)});
  Cursor c;
  Value k(integer_t());
  long changed = 0;
  {
    PipelinedChanges changes;
    declare(c, "select k from pc where k <= 600 order by k", false);
    open(c);
    Statement up;
    prepare(up, "update pc set v = v + 1 where k >= ?");
    for (fetch_next(c, {&k}); rt::status == 0; fetch_next(c, {&k})) {
      if (k.as_int() % 3 == 0) execute("delete from pc where k = ?", {k});
      if (k.as_int() % 100 == 0) {
        // Each update's count is that of its own rows, read when asked.
        execute(up, {num(650)});
        EXPECT_EQ(rows_processed(), 51);
      }
      if (k.as_int() == 300) {
        // The answers come before the rule changes: this failure is tested.
        ContinueOnError tested;
        execute("insert into pc values (?, ?)", {num(1), num(0)});
        EXPECT_EQ(rt::status, -239);
      }
    }
    EXPECT_EQ(rt::status, 100);
    close(c);
    changed = changes.rows();
  }
  commit_work();
  continue_.emplace();
  EXPECT_EQ(changed, 200 + 6 * 51);
  EXPECT_EQ(count("select count(*) from pc"), 500);
  EXPECT_EQ(count("select count(*) from pc where k % 3 = 0 and k <= 600"), 0);
  EXPECT_EQ(count("select sum(v) from pc"), 6 * 51);
}

// A serial continues from the largest value stored, is never handed out
// twice (an explicit one given again is a duplicate), and a number taken
// by a transaction that was rolled back is not taken again.
TEST_P(Sql, SerialsContinueFromTheLargestAndAreNeverReused) {
  ok("create table s (id serial, v char(5))");
  ok("insert into s values (0, 'a')");
  EXPECT_EQ(last_serial(), 1);
  ok("insert into s values (10, 'b')");
  ok("insert into s values (?, 'c')", {num(0)});
  EXPECT_EQ(last_serial(), 11);
  EXPECT_EQ(status_of("insert into s values (10, 'd')"), -239);
  begin_work();
  ok("insert into s values (0, 'e')");
  EXPECT_EQ(last_serial(), 12);
  rollback_work();
  ok("insert into s values (0, 'f')");
  EXPECT_EQ(last_serial(), 13);
  EXPECT_EQ(count("select count(*) from s"), 4);

  // SERIAL(n) hands out n first; a serial stored below n does not move it,
  // one stored above it does.
  ok("create table s100 (id serial(100), v char(5))");
  ok("insert into s100 values (0, 'a')");
  EXPECT_EQ(last_serial(), 100);
  ok("insert into s100 values (5, 'b')");
  ok("insert into s100 values (0, 'c')");
  EXPECT_EQ(last_serial(), 101);
  ok("insert into s100 values (500, 'd')");
  ok("insert into s100 values (0, 'e')");
  EXPECT_EQ(last_serial(), 501);
  EXPECT_EQ(count("select min(id) from s100"), 5);
}

// Random amounts with 0 to 6 places: what the database computes inside SQL
// (differences, products, quotients, negation, sums, comparisons) is what
// Decimal computes, on both back ends; so both give the same answers.
TEST_P(Sql, DecimalArithmeticInsideSqlIsExact) {
  ok("create table dp (id integer, a decimal(16,6), b decimal(16,6))");
  std::mt19937_64 rng(20260113);
  auto amount = [&] {
    const int places = static_cast<int>(rng() % 7);
    std::int64_t mant = static_cast<std::int64_t>(rng() % 10000000000ULL) / (rng() % 3 == 0 ? 10000 : 1);
    if (rng() % 2) mant = -mant;
    std::string t = std::to_string(mant < 0 ? -mant : mant);
    while (static_cast<int>(t.size()) <= places) t.insert(0, "0");
    if (places > 0) t.insert(t.size() - places, ".");
    return *Decimal::parse((mant < 0 ? "-" : "") + t);
  };
  std::vector<std::pair<Decimal, Decimal>> rows;
  begin_work();
  for (int id = 0; id < 150; ++id) {
    Decimal a = amount(), b = id % 10 == 0 ? a : amount();
    if (b.is_zero()) b = Decimal::from_int(7);
    rows.emplace_back(a, b);
    ok("insert into dp values (?, ?, ?)",
       {num(id), Value::of_decimal(a, decimal_t(16, 6)), Value::of_decimal(b, decimal_t(16, 6))});
  }
  commit_work();
  Cursor c;
  declare(c, "select id, a - b, a + b, a * b, a * -1, -b, a / b from dp order by id", false);
  open(c);
  Value id(integer_t());
  std::vector<Value> got(6, Value(char_t(80)));
  Into into{&id};
  for (Value& v : got) into.push_back(&v);
  int n = 0;
  for (fetch_next(c, into); rt::status == 0; fetch_next(c, into), ++n) {
    const auto& [a, b] = rows[static_cast<size_t>(id.as_int())];
    const Decimal want[] = {a - b, a + b, a * b, -a, -b, a / b};
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(Decimal::parse(got[static_cast<size_t>(k)].str()), want[k])
          << "column " << k + 2 << " of row " << id.as_int() << ": " << got[static_cast<size_t>(k)].str();
  }
  EXPECT_EQ(rt::status, 100) << last_error_message();
  EXPECT_EQ(n, 150);
  close(c);
  Decimal sum_a, sum_ab;
  long equal = 0, above = 0;
  for (const auto& [a, b] : rows) {
    sum_a = sum_a + a;
    sum_ab = sum_ab + a * b;
    equal += a - b == Decimal() ? 1 : 0;
    above += b < a ? 1 : 0;
  }
  Value s1(decimal_t(38, 6)), s2(decimal_t(38, 12));
  select_into("select sum(a), sum(a * b) from dp", {}, {&s1, &s2});
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_EQ(s1.as_decimal(), sum_a);
  EXPECT_EQ(s2.as_decimal(), sum_ab);
  EXPECT_EQ(count("select count(*) from dp where a - b = 0"), equal);
  EXPECT_EQ(count("select count(*) from dp where a > b"), above);
  EXPECT_EQ(count("select count(*) from dp where a * -1 = -a and -(a - b) = b - a"), 150);
  // Netting in the database, as the clearing run does it.
  EXPECT_EQ(count("select count(*) from (select id, sum(a) s from dp group by id having sum(a - b) = 0) x"), equal);
  // The classic binary rest: 0.1 + 0.2 - 0.3 is exactly nothing.
  EXPECT_EQ(count("select count(*) from dp where 0.1 + 0.2 - 0.3 = 0 and id = 0"), 1);
}

// Values are stored rounded to the column's scale, half away from zero, by
// a constant, a bound decimal, a bound text and an update; whole-valued
// decimals divide as decimals; sums and averages read as text show the
// places the back ends give them.
TEST_P(Sql, DecimalsStoredRoundAndDivideAsDecimals) {
  ok("create table r (k integer, amt decimal(12,2))");
  ok("insert into r values (1, 2.675)");
  ok("insert into r values (?, ?)", {num(2), dec("-2.675", 16, 6)});
  ok("insert into r values (?, ?)", {num(3), chr("2.665", 10)});
  ok("insert into r values (4, 7.00)");
  EXPECT_EQ(column("select amt from r order by k"), (std::vector<std::string>{"2.68", "-2.68", "2.67", "7.00"}));
  // The invoice of 2.675 and a payment of 2.68 nets to zero.
  EXPECT_EQ(count("select count(*) from (select sum(amt) s from r where k in (1, 2)) x where s = 0"), 1);
  ok("update r set amt = amt * 1.005 where k = 4");
  EXPECT_EQ(column("select amt from r where k = 4"), (std::vector<std::string>{"7.04"}));
  ok("update r set amt = 7 where k = 4");
  Value q(char_t(40));
  select_into("select amt / 2 from r where k = 4", {}, {&q});
  EXPECT_EQ(*Decimal::parse(q.str()), *Decimal::parse("3.5")) << q.str();
  EXPECT_EQ(count("select count(*) from r where amt / 2 = 3.5"), 1);
  EXPECT_EQ(column("select sum(amt) from r where k in (1, 2)"), (std::vector<std::string>{"0.00"}));
  select_into("select avg(amt) from r where k in (1, 3)", {}, {&q});
  EXPECT_EQ(q.str(), "2.6750000000000000") << "the places numeric division gives";
  EXPECT_EQ(status_of("update r set amt = amt / 0 where k = 4"), -1202);
  // Text that is no number, where a number is meant.
  EXPECT_EQ(status_of("insert into r values (?, ?)", {num(5), chr("abc", 10)}), -1213);
  EXPECT_EQ(status_of("update r set amt = ? where k = 4", {dec("12345678901.00", 16, 2)}), -1226);
  EXPECT_EQ(count("select count(*) from r"), 4);
}

// A text shaped like a date stays a text where it meets a CHAR; where it
// meets a DATE it is read in the DBDATE form, as a constant or bound.
TEST_P(Sql, DateShapedTextKeepsItsType) {
  ok("create table sn (code char(4), name char(35), due date)");
  ok("insert into sn values ('a', '01/02/2026', '01/02/2026')");
  ok("insert into sn values ('b', '2026-01-02', '03/04/2026')");
  EXPECT_EQ(column("select code from sn where name = '01/02/2026'"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(column("select code from sn where sn.name='01/02/2026' or name matches '2026*' order by code"),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(column("select code from sn where due = '01/02/2026'"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(column("select code from sn where due = ?", {chr("03/04/2026")}), (std::vector<std::string>{"b"}));
  EXPECT_EQ(status_of("select code from sn where due = '13/13/2026'"), -1218);
  EXPECT_EQ(status_of("select code from sn where due = ?", {chr("31.12.2026")}), -1218);
  const DateFormat was = DateFormat::set_current(*DateFormat::parse_dbdate("DMY4."));
  EXPECT_EQ(column("select code from sn where due = '04.03.2026'"), (std::vector<std::string>{"b"}));
  EXPECT_EQ(column("select code from sn where due between ? and ?", {chr("01.01.2026"), chr("02.01.2026")}),
            (std::vector<std::string>{"a"}));
  ok("update sn set due = ? where code = 'b'", {chr("31.12.2026")});
  DateFormat::set_current(was);
  EXPECT_EQ(column("select due from sn where code = 'b'"), (std::vector<std::string>{"12/31/2026"}));
}

// What an operator reads, the same on both back ends: trailing blanks count
// in VARCHAR and text but not in CHAR (also in a table made from a query),
// LIKE minds case and not a CHAR's padding, dates count days, ROUND and
// TRUNC give the places asked for, MIN and MAX see decimals of any length,
// and text where a number is meant is read as one or refused.
TEST_P(Sql, TextDatesRoundingAndNumbersAnswerAlike) {
  using V = std::vector<std::string>;
  ok("create table tx (k integer, c char(6), v varchar(6), d date, a decimal(16,4))");
  ok("insert into tx values (1, 'ab', 'ab  ', '12/31/2026', 2.675)");
  ok("insert into tx values (2, 'AB', 'ab', '02/28/2024', -123456789012.3456)");
  ok("insert into tx values (3, '12', '12', '01/01/2026', 1250)");
  EXPECT_EQ(column("select k from tx where v = 'ab' order by k"), V{"2"});
  EXPECT_EQ(column("select k from tx where v = 'ab  ' order by k"), V{"1"});
  EXPECT_EQ(column("select k from tx where c = 'ab  ' order by k"), V{"1"});
  EXPECT_EQ(column("select k from tx where c = v order by k"), (V{"1", "3"}));
  EXPECT_EQ(column("select k from tx where c = v || '' order by k"), V{"3"});
  EXPECT_EQ(column("select length(v) from tx where k = 1"), V{"4"});
  EXPECT_EQ(column("select k from tx where c like 'a%' order by k"), V{"1"});
  EXPECT_EQ(column("select k from tx where c like '_b' order by k"), V{"1"});
  EXPECT_EQ(column("select k from tx where v like '%b' order by k"), V{"2"});
  ok("select k, c from tx into temp tt");
  EXPECT_EQ(column("select k from tt where c = 'ab '"), V{"1"});
  EXPECT_EQ(column("select tx.k from tx, tt where tx.v = tt.c order by tx.k"), (V{"1", "2", "3"}));

  EXPECT_EQ(column("select d + 1 from tx where k = 2"), V{"02/29/2024"});
  EXPECT_EQ(column("select d - '01/01/2026' from tx where k = 1"), V{"364"});
  EXPECT_EQ(column("select '12/31/2026' - d from tx where k = 3"), V{"364"});
  EXPECT_EQ(column("select k from tx where d - 365 = '12/31/2025'"), V{"1"});

  EXPECT_EQ(column("select round(a, 2) from tx where k = 1"), V{"2.68"});
  EXPECT_EQ(column("select round(a) from tx where k = 1"), V{"3"});
  EXPECT_EQ(column("select trunc(a, 2) from tx where k = 2"), V{"-123456789012.34"});
  EXPECT_EQ(column("select round(a, -2) from tx where k = 3"), V{"1300"});
  EXPECT_EQ(column("select trunc(a, -2) from tx where k = 3"), V{"1200"});
  EXPECT_EQ(column("select min(a) from tx"), V{"-123456789012.3456"});
  EXPECT_EQ(column("select max(a) from tx where k < 3"), V{"2.6750"});

  EXPECT_EQ(column("select k from tx where k = ' 3'"), V{"3"});
  EXPECT_EQ(column("select k from tx where a = '1250.00'"), V{"3"});
  EXPECT_EQ(status_of("select k from tx where k = '3x'"), -1213);
  EXPECT_EQ(status_of("select k from tx where k = '1.5'"), -1213);
  EXPECT_EQ(status_of("select k from tx where c > 0"), -1213);
}

// Every bracket form a pattern may hold gives the rows the runtime's own
// matcher gives, as a constant and bound, on each back end; a set that no
// character can match finds nothing and stops nothing.
TEST_P(Sql, BracketPatternsMeanTheSameOnBothBackEnds) {
  ok("create table bp (s char(12))");
  const std::vector<std::string> values = {"abc", "b]x",  "a-c",  "zeta", "élan", "éa", "Ébène", "ça",
                                           "x^y", "a\\b", "[ab]", "]",    "-",    "ñu", "日本",  "a b"};
  for (const std::string& v : values) ok("insert into bp values (?)", {chr(v, 12)});
  const char* patterns[] = {"[a-c]*",  "[^a-c]*", "[abc]bc", "[]]*",       "*[\\]]*", "[\\]x]*", "[a\\-c]*", "?\\-?",
                            "[z-a]*",  "[^z-a]*", "[é-a]*",  "[à-ê]*",     "[^à-ê]*", "[a-\\]*", "[\\[]*",   "[A-Z]*",
                            "*[^a-z]", "[ñ-ü]?",  "[本日]*", "[一-鿿]?", "?[ ]?",   "[x\\^]*", "[-a]*",    "*[a-]",
                            "[",       "[ab",     "a[]",     "*\\[ab\\]",  "[\\\\]*", "a\\\\b"};
  for (const char* p : patterns) {
    std::vector<std::string> want;
    for (const std::string& v : values)
      if (matches(v, p)) want.push_back(v);
    std::sort(want.begin(), want.end());
    std::vector<std::string> lit = column("select s from bp where s matches '" + std::string(p) + "'");
    std::vector<std::string> bound = column("select s from bp where s matches ?", {chr(p, 20)});
    std::sort(lit.begin(), lit.end());
    std::sort(bound.begin(), bound.end());
    EXPECT_EQ(lit, want) << p;
    EXPECT_EQ(bound, want) << p;
  }
}

// Hostile criteria, typed as an operator would into the salesman name, on
// a PostgreSQL session whose server reads backslashes the old way and on
// one that does not: no criterion finds a row it should not, none reaches
// another table, none stops the program.
TEST_P(Sql, HostileCriteriaNeverChangeTheStatement) {
  const std::vector<std::string> sessions =
      pg() ? std::vector<std::string>{"", "-c standard_conforming_strings=off -c backslash_quote=on",
                                      "-c standard_conforming_strings=off -c escape_string_warning=off"}
           : std::vector<std::string>{""};
  ok("create table iq_salesman_name (iqsn_code char(4), iqsn_name char(35), iqsn_userlogin char(10))");
  ok("create table co_company_name (con_name char(40), con_email_address char(80))");
  ok("insert into co_company_name values ('Lunadesk Ltd', 'secret@example.invalid')");
  const char* names[] = {"SMITH", "O'BRIEN", "BACK\\SLASH", "QUOTE\\'S", "01/02/2026", "100%", "A_B"};
  int k = 0;
  for (const char* n : names)
    ok("insert into iq_salesman_name values (?, ?, ?)", {chr(std::to_string(++k), 4), chr(n, 35), chr("u", 10)});
  struct Probe {
    std::string criteria;
    std::vector<std::string> rows;  // names found
  };
  std::vector<Probe> probes = {
      {"\\\\' or 1=1 --", {}},
      {"' or '1'='1", {}},
      {"' or 1=1 --", {}},
      {"\\' or 1=1 --", {}},
      {"x' union select con_email_address, con_name, con_name from co_company_name --", {}},
      {"\\\\' union select con_email_address, con_name, con_name from co_company_name --", {}},
      {"' union select usename, usename, usename from pg_user --", {}},
      {"\\\\'; drop table co_company_name; --", {}},
      {"'; delete from iq_salesman_name; --", {}},
      {"O'BRIEN", {"O'BRIEN"}},
      {"O''BRIEN", {}},
      {"BACK\\\\SLASH", {"BACK\\SLASH"}},
      {"BACK\\SLASH", {}},
      {"QUOTE\\\\'S", {"QUOTE\\'S"}},
      {"QUOTE\\'S", {}},
      {"QUOTE\\\\\\'S", {"QUOTE\\'S"}},
      {"\\\\", {}},
      {"\\", {}},
      {"\\'", {}},
      {"'", {}},
      {"''", {}},
      {"\\\\\\'", {}},
      {"E'\\\\x27 or 1=1", {}},
      {"$$ or 1=1 $$", {}},
      {"$1", {}},
      {"?", {}},
      {"*' or '1'='1", {}},
      {"\\\\'*", {}},
      {"*\\\\' or 1=1 --*", {}},
      {"O\\'BRIEN|' or 1=1 --", {"O'BRIEN"}},
      {"A:' or 1=1 --", {}},
      {"' or 1=1 --:(", {}},
      {"<' or 1=1 --", {}},
      {"=' or 1=1 --", {}},
      {">=\\\\' or 1=1 --", {}},
      {"100%", {"100%"}},
      {"10_%", {}},
      {"A_B", {"A_B"}},
      {"%", {}},
      {"_", {}},
      {"?[']*", {"O'BRIEN"}},
      {"*[\\\\']*", {"BACK\\SLASH", "O'BRIEN", "QUOTE\\'S"}},
      {"[z-a]*", {}},
      {"*' or '1'='1' --*", {}},
      {"\\\\\\\\' or 1=1 --", {}},
      {"/* */ or 1=1", {}},
      {"SMITH' --", {}},
      {"SMITH\\\\' --", {}},
      {"SMITH", {"SMITH"}},
      {"smith", {}},
      {"S*", {"SMITH"}},
      {"01/02/2026", {"01/02/2026"}},
      {"\\x27 or 1=1", {}},
      {"\x27\x27\x27", {}},
      {"chr(39)||' or 1=1", {}},
  };
  ASSERT_GE(probes.size(), 50u);
  const char* saved = getenv("PGOPTIONS");
  const std::string base = saved ? saved : "";
  for (const std::string& options : sessions) {
    SCOPED_TRACE(options.empty() ? "as configured" : options);
    if (pg()) {
      disconnect();
      setenv("PGOPTIONS", (base + " " + options).c_str(), 1);
      std::string why;
      ASSERT_TRUE(try_connect("lunadesk", &why, {db_->settings()})) << why;
      Value scs(char_t(10));
      select_into("select current_setting('standard_conforming_strings') from co_company_name", {}, {&scs});
      EXPECT_EQ(scs.str(), "on") << "the session reads constants the standard way";
    }
    for (const Probe& p : probes) {
      const rt::qbe::Condition cond =
          rt::qbe::field_condition("iq_salesman_name.iqsn_name", char_t(35), p.criteria, DateFormat());
      if (!cond.ok) {
        EXPECT_TRUE(p.rows.empty()) << p.criteria << ": refused";
        continue;
      }
      const rt::qbe::Condition stmt =
          rt::qbe::statement_text("select * from iq_salesman_name where ", cond.text, "", 512);
      ASSERT_TRUE(stmt.ok);
      Cursor c;
      declare(c, stmt.text, true);
      open(c);
      ASSERT_EQ(rt::status, 0) << p.criteria << ": " << stmt.text << ": " << last_error_message();
      std::vector<std::string> found;
      Value code(char_t(4)), name(char_t(35)), login(char_t(10));
      for (fetch(c, Fetch::Next, 1, {&code, &name, &login}); rt::status == 0;
           fetch(c, Fetch::Next, 1, {&code, &name, &login}))
        found.push_back(name.str());
      EXPECT_EQ(rt::status, 100) << p.criteria << ": " << last_error_message();
      std::sort(found.begin(), found.end());
      EXPECT_EQ(found, p.rows) << p.criteria << " -> " << stmt.text;
      close(c);
    }
    EXPECT_EQ(count("select count(*) from iq_salesman_name"), 7);
    EXPECT_EQ(count("select count(*) from co_company_name"), 1);
  }
  if (pg()) {
    // A statement of the session that turns the old reading back on is
    // undone before the next statement is prepared.
    ok("set standard_conforming_strings to off");
    Value scs(char_t(10));
    select_into("select current_setting('standard_conforming_strings') from co_company_name", {}, {&scs});
    EXPECT_EQ(scs.str(), "on");
    disconnect();
    if (saved)
      setenv("PGOPTIONS", saved, 1);
    else
      unsetenv("PGOPTIONS");
    std::string why;
    ASSERT_TRUE(try_connect("lunadesk", &why, {db_->settings()})) << why;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Sql, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
}  // namespace rt::sql
