// CHAR(n) in characters, one table of rules for the value model and for
// both back ends; trailing blanks written by other tools; case folding
// beyond ASCII in SQL and in MATCHES.
#include <gtest/gtest.h>

#include <string>

#include "sql_fixture.h"
#include "values/text.h"

namespace rt::sql {
namespace {

std::string times(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Rule {
  std::string text;  // assigned to a CHAR(width)
  int width;
  std::string held;   // what the variable holds (cut, no trailing blanks)
  int length;         // characters without trailing blanks
  std::string upper;  // upshifted
  std::string lower;  // downshifted
};

// clang-format off
const Rule kRules[] = {
  {times("é", 35), 35, times("é", 35), 35, times("É", 35), times("é", 35)},
  {times("日", 12) + "x", 13, times("日", 12) + "x", 13, times("日", 12) + "X", times("日", 12) + "x"},
  {"école  ", 8, "école", 5, "ÉCOLE", "école"},
  {"ÀÖØÞ àöøþ", 9, "ÀÖØÞ àöøþ", 9, "ÀÖØÞ ÀÖØÞ", "àöøþ àöøþ"},
  {"ÿıſ", 3, "ÿıſ", 3, "ŸIS", "ÿıſ"},               // the capitals take fewer bytes
  {"Straße Ǆǅǆ", 10, "Straße Ǆǅǆ", 10, "STRAßE ǄǄǄ", "straße ǆǆǆ"},  // no one-letter capital of ß
  {"Ωμέγα Жук", 9, "Ωμέγα Жук", 9, "ΩΜΈΓΑ ЖУК", "ωμέγα жук"},
  {"abcé", 3, "abc", 3, "ABC", "abc"},              // cut at the width, never inside a character
  {"日本語", 2, "日本", 2, "日本", "日本"},
  {"   ", 3, "", 0, "", ""},
};
// clang-format on

TEST(CharRules, TheValueModel) {
  for (const Rule& r : kRules) {
    SCOPED_TRACE(r.text);
    Value v = Value::of_char(r.text, r.width);
    EXPECT_EQ(v.str(), r.held);
    EXPECT_EQ(v.length(), r.length);
    EXPECT_EQ(text::length(v.padded()), r.width);
    EXPECT_EQ(rtrim(v.padded()), r.held);
    EXPECT_EQ(upshift(v.str()), r.upper);
    EXPECT_EQ(downshift(v.str()), r.lower);
    // Blank padding never makes two values differ.
    EXPECT_TRUE(sql_equal(v, Value::of_char(r.held + "  ", r.width + 2)));
  }
}

class CharSql : public Sql {};

// Each rule stored in a CHAR(width) column and read back, measured and
// folded by the database gives what the value model gives.
TEST_P(CharSql, TheRulesHoldInTheDatabase) {
  int k = 0;
  for (const Rule& r : kRules) {
    SCOPED_TRACE(r.text);
    const std::string table = "g" + std::to_string(++k);
    ok("create table " + table + " (c char(" + std::to_string(r.width) + "))");
    ok("insert into " + table + " values (?)", {Value::of_char(r.text, r.width)});
    Value c(char_t(r.width)), len(integer_t()), up(char_t(r.width)), low(char_t(r.width)), joined(char_t(r.width + 1));
    select_into("select c, length(c), upper(c), lower(c), c || '|' from " + table, {}, {&c, &len, &up, &low, &joined});
    ASSERT_EQ(rt::status, 0) << last_error_message();
    EXPECT_EQ(c.str(), r.held);
    EXPECT_EQ(len.as_int(), r.length);
    EXPECT_EQ(up.str(), r.upper);
    EXPECT_EQ(low.str(), r.lower);
    EXPECT_EQ(joined.str(), r.held + "|");
    EXPECT_EQ(count("select count(*) from " + table + " where c = ?", {Value::of_char(r.held + " ", r.width + 1)}), 1);
    // More characters than the column holds are refused whole.
    const std::string longer = times("é", r.width + 1);
    EXPECT_EQ(status_of("insert into " + table + " values (?)", {Value::of_char(longer, r.width + 1)}), -1279);
  }
}

// Another tool writes type codes with trailing blanks; the programs'
// comparisons never see them: constants, joins, IN subqueries, temporary
// tables made from queries, and length(), || and upper() of the values.
TEST_P(CharSql, BlanksWrittenByOtherToolsNeverCount) {
  ok("create table ty (code char(2), oper char(1))");
  ok("create table it (code char(2), amount integer)");
  outside("insert into ty values ('Y ', '-'), ('Z', '+'), ('é ', '-')");
  outside("insert into it values ('Y', 10), ('Z ', 20), ('é', 30), ('Y ', 5)");
  outside("update it set code = 'Z ' where amount = 20");
  EXPECT_EQ(count("select count(*) from it where code = 'Y'"), 2);
  EXPECT_EQ(count("select count(*) from it where code = 'Z  '"), 1);
  EXPECT_EQ(count("select count(*) from ty, it where ty.code = it.code and ty.oper = '-'"), 3);
  EXPECT_EQ(count("select count(*) from it where code in (select code from ty where oper = '-')"), 3);
  ok("select code, amount from it into temp t_it");
  ok("select distinct code from ty where oper = \"-\" into temp t_neg");
  ok("update t_it set amount = amount * -1 where code in (select code from t_neg)");
  EXPECT_EQ(count("select sum(amount) from t_it"), 20 - 10 - 5 - 30);
  EXPECT_EQ(count("select count(*) from t_it, ty where t_it.code = ty.code"), 4);
  EXPECT_EQ(column("select length(code) || '|' || code || '|' || upper(code) from it order by amount"),
            (std::vector<std::string>{"1|Y|Y", "1|Y|Y", "1|Z|Z", "1|é|É"}));
  EXPECT_EQ(count("select count(*) from ty where code matches 'Y'"), 1);
}

// Case-blind searches as the lookup builds them: the compared column
// upshifted, the pattern upshifted by the runtime.
TEST_P(CharSql, UpshiftedMatchesFoldBeyondAscii) {
  ok("create table w (k integer, d char(20))");
  ok("insert into w values (1, ?)", {Value::of_char("école", 20)});
  ok("insert into w values (2, ?)", {Value::of_char("ÉCOLE", 20)});
  ok("insert into w values (3, ?)", {Value::of_char("ecole", 20)});
  ok("insert into w values (4, ?)", {Value::of_char("Ωμέγα", 20)});
  const std::string q = "select k from w where upper(d) matches ? order by k";
  EXPECT_EQ(column(q, {Value::of_char(upshift("éc") + "*", 20)}), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column(q, {Value::of_char(upshift("ÉC") + "*", 20)}), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column(q, {Value::of_char("éc*", 20)}), (std::vector<std::string>{}));  // never upshifted
  EXPECT_EQ(column(q, {Value::of_char("?COLE", 20)}), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(column(q, {Value::of_char("[É]*", 20)}), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column(q, {Value::of_char("[^É]*", 20)}), (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(column("select k from w where upper(d) matches 'ΩΜΈ*'"), (std::vector<std::string>{"4"}));
  EXPECT_EQ(column("select k from w where lower(d) matches 'éc*' order by k"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column("select k from w where not upper(d) matches 'É*' order by k"), (std::vector<std::string>{"3", "4"}));
  // The patterns that ignore_case builds, on the column as it is.
  EXPECT_EQ(column("select k from w where d matches '[Éé][Cc]*' order by k"), (std::vector<std::string>{"1", "2"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CharSql, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
}  // namespace rt::sql
