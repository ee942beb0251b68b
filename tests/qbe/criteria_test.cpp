// Query-by-example criteria: the golden cases of criteria.golden, then what
// a table cannot show (bytes that are not text, the shape that programs cut
// at fixed positions, joining, the one-column builder, statement limits).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "qbe/criteria.h"

namespace {

using rt::qbe::Condition;

const rt::DateFormat kMdy4 = rt::DateFormat::from_dbdate("MDY4/");

// "char(10)", "decimal(10,2)", "date[DMY4.]" and the like.
bool parse_type(const std::string& s, rt::Type* t, rt::DateFormat* fmt) {
  *fmt = kMdy4;
  int a = 0, b = 0;
  if (std::sscanf(s.c_str(), "char(%d)", &a) == 1) return *t = rt::char_t(a), true;
  if (std::sscanf(s.c_str(), "decimal(%d,%d)", &a, &b) == 2) return *t = rt::decimal_t(a, b), true;
  if (s == "smallint") return *t = rt::smallint_t(), true;
  if (s == "integer") return *t = rt::integer_t(), true;
  if (s == "serial") return *t = rt::serial_t(), true;
  if (s == "date") return *t = rt::date_t(), true;
  if (s.rfind("date[", 0) == 0 && s.back() == ']') {
    *fmt = rt::DateFormat::from_dbdate(s.substr(5, s.size() - 6));
    return *t = rt::date_t(), true;
  }
  return false;
}

std::string outcome(const Condition& c) {
  if (!c.ok) return "ERROR " + std::to_string(c.error_code) + " " + c.error_message;
  return c.text.empty() ? "(none)" : c.text;
}

TEST(Criteria, GoldenCases) {
  std::ifstream in(QBE_GOLDEN);
  ASSERT_TRUE(in) << "cannot read " << QBE_GOLDEN;
  std::string line;
  int lineno = 0, cases = 0;
  while (std::getline(in, line)) {
    ++lineno;
    if (line.empty() || line[0] == '#') continue;
    const auto open = line.find('`');
    const auto close = line.rfind('`');
    ASSERT_TRUE(open != std::string::npos && close > open) << "line " << lineno;
    rt::Type type;
    rt::DateFormat fmt;
    ASSERT_TRUE(parse_type(line.substr(0, line.find(' ')), &type, &fmt)) << "line " << lineno;
    const std::string criteria = line.substr(open + 1, close - open - 1);
    std::string expected = line.substr(close + 1);
    expected.erase(0, expected.find_first_not_of(' '));
    if (expected == "ERROR") expected = "ERROR -1304 Error in field.";
    EXPECT_EQ(outcome(rt::qbe::field_condition("t.c", type, criteria, fmt)), expected)
        << "line " << lineno << ": `" << criteria << "`";
    ++cases;
  }
  EXPECT_GT(cases, 100);
}

TEST(Criteria, BytesThatAreNotTextAreRefused) {
  for (const char* bad : {"a\x01", "a\nb", "a\tb", "\x7f", "abc\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80*"}) {
    const Condition c = rt::qbe::field_condition("t.c", rt::char_t(10), bad, kMdy4);
    EXPECT_FALSE(c.ok) << testing::PrintToString(std::string(bad));
    EXPECT_EQ(c.error_code, -1304);
  }
  // A NUL inside the typed text must not end it early.
  const std::string with_nul("a\0' or 1=1", 10);
  EXPECT_FALSE(rt::qbe::field_condition("t.c", rt::char_t(10), with_nul, kMdy4).ok);
}

// The clearing run cuts its condition after 64 characters: the date
// criterion, " and ", the qualified cycle column; the rest is the cycle
// criterion's operator and values.
TEST(Criteria, DateAndCycleConditionHaveTheFixedShape) {
  const std::string date_col = "ar_item.ar_tran_dt";
  const std::string cycle_col = "ar_customer.cust_stmt_cycle";
  const Condition date = rt::qbe::field_condition(date_col, rt::date_t(), "<=12/31/2026", kMdy4);
  ASSERT_TRUE(date.ok);
  EXPECT_EQ(date.text, "ar_item.ar_tran_dt<='12/31/2026'");

  const struct {
    const char* typed;
    const char* tail;
  } cycles[] = {{"3", "=3"}, {"1|2", " in (1,2)"}, {"1:3", " between 1 and 3"}, {">2", ">2"}, {"", ""}};
  for (const auto& cy : cycles) {
    const Condition cycle = rt::qbe::field_condition(cycle_col, rt::smallint_t(), cy.typed, kMdy4);
    ASSERT_TRUE(cycle.ok) << cy.typed;
    const std::string all = rt::qbe::join_conditions({date.text, cycle.text});
    const std::string tail = all.size() > 64 ? all.substr(64) : "";
    EXPECT_EQ(tail, cy.tail) << all;
    if (*cy.typed) {
      EXPECT_EQ(all.substr(0, 64), date.text + " and " + cycle_col);
    }
  }
}

TEST(Criteria, JoinSkipsEmptyConditionsAndDefaultsToTrue) {
  EXPECT_EQ(rt::qbe::join_conditions({}), "1=1");
  EXPECT_EQ(rt::qbe::join_conditions({"", ""}), "1=1");
  EXPECT_EQ(rt::qbe::join_conditions({"", "a.b=1", "", "a.c is null"}), "a.b=1 and a.c is null");
}

// How the case-blind search uses the builder: the table and column arrive
// with "upper(" and ")" already around them.
TEST(Criteria, ConstructElementJoinsTableAndColumn) {
  const auto build = [](const char* typed, const rt::Type& t, const char* table, const char* col) {
    return outcome(rt::qbe::construct_element(typed, t, 20, table, col, kMdy4));
  };
  EXPECT_EQ(build("SMITH*", rt::char_t(1), "upper(p_altname", "an_name)"), "upper(p_altname.an_name) matches 'SMITH*'");
  EXPECT_EQ(build("O'B*", rt::char_t(1), "upper(t", "c)"), "upper(t.c) matches 'O''B*'");
  EXPECT_EQ(build("a|b*", rt::char_t(1), "upper(t", "c)"), "(upper(t.c)='a' or upper(t.c) matches 'b*')");
  EXPECT_EQ(build("", rt::char_t(1), "t", "c"), "1=1");
  EXPECT_EQ(build("5", rt::integer_t(), "", "c"), "c=5");
  EXPECT_EQ(build("x", rt::integer_t(), "t", "c"), "ERROR -1304 Error in field.");
}

TEST(Criteria, StatementIsRefusedRatherThanCut) {
  const std::string head = "select * from t where ";
  const std::string cond = "t.c='" + std::string(20, 'x') + "'   ";  // 26 characters before the blanks
  const Condition fits = rt::qbe::statement_text(head, cond, " order by 1", head.size() + 26 + 11);
  ASSERT_TRUE(fits.ok);
  EXPECT_EQ(fits.text, head + "t.c='" + std::string(20, 'x') + "' order by 1");

  const Condition over = rt::qbe::statement_text(head, cond, " order by 1", head.size() + 26 + 10);
  EXPECT_FALSE(over.ok);
  EXPECT_TRUE(over.text.empty());
  EXPECT_NE(over.error_message.find("more than 58 characters"), std::string::npos) << over.error_message;
}

}  // namespace
