// Text utilities: the cases of each operation, its limits and its faults.
#include "libcode.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace {

using Parts = std::array<std::optional<std::string>, 7>;
std::string rep(int n, char c) { return std::string(static_cast<std::size_t>(n), c); }

TEST(AddUpper, WrapsTheColumnBeforeEachMatches) {
  EXPECT_EQ(add_upper("select * from t_printer where descr matches ?"),
            "select * from t_printer where upper(descr) matches ?");
  EXPECT_EQ(add_upper("select icl_code, icl_desc from inv_classes \\n     where icl_code matches ? and icl_type = 'T'"),
            "select icl_code, icl_desc from inv_classes  where upper(icl_code) matches ? and icl_type = 'T'");
  EXPECT_EQ(add_upper("  where   b MATCHES ? or c \\n \\n Matches ?  "),
            "where upper(b) MATCHES ? or upper(c)   Matches ?");
  // A marker inside a word splits it rather than dropping the rest, and
  // other backslashes stay (an escape in a literal).
  EXPECT_EQ(add_upper("from t\\nwhere b matches 'x\\*'"), "from t  where upper(b) matches 'x\\*'");
}

TEST(AddUpper, OutsideTheWordTableTheStatementComesBackAsGiven) {
  EXPECT_EQ(add_upper(rep(30, 'c') + " matches ?"), "upper(" + rep(30, 'c') + ") matches ?");
  EXPECT_EQ(add_upper(rep(31, 'c') + " matches ?"), rep(31, 'c') + " matches ?");
  std::string words = "b  matches ?";  // 100 words, then 101
  for (int i = 3; i < 100; ++i) words += " x";
  EXPECT_EQ(add_upper(words).substr(0, 20), "upper(b) matches ? x");
  EXPECT_EQ(add_upper(words + " x"), words + " x");
  EXPECT_EQ(add_upper("b  matches " + rep(99, 'y')), "upper(b) matches " + rep(99, 'y'));
  EXPECT_EQ(add_upper("b  matches " + rep(100, 'y')), "b  matches " + rep(100, 'y'));
  // Wrapping adds 7 bytes: 1017 bytes still fit 1024, 1018 would not.
  std::string sql = "b matches ?";
  for (int i = 0; i < 10; ++i) sql += " " + rep(99, 'x');
  EXPECT_EQ(add_upper(sql + " zzzzz"), "upper(b)" + sql.substr(1) + " zzzzz");
  EXPECT_EQ(add_upper(sql + " zzzzzz"), sql + " zzzzzz");
}

TEST(IgnoreCase, PatternsAndConditionsStayWellFormed) {
  EXPECT_EQ(ignore_case("ab", 1), "[Aa][Bb]*");
  EXPECT_EQ(ignore_case("ab", 2), "*[Aa][Bb]*");
  EXPECT_EQ(ignore_case("a* 1[^]\\\xC3\xA9", 1), "[Aa]*[  ][11]\\[\\^\\]\\\\[\xC3\x89\xC3\xA9]*");
  std::string xs;  // too long for 200 bytes: whole elements, then the "*"
  for (int i = 0; i < 49; ++i) xs += "[Xx]";
  EXPECT_EQ(ignore_case(rep(60, 'x'), 2), "*" + xs + "*");

  EXPECT_EQ(ignore_case_upper("ab", "t", "c"), " and upper(t.c) matches 'ab*'");
  EXPECT_EQ(ignore_case_upper("ab", "", "c"), " and upper(c) matches 'ab*'");
  EXPECT_EQ(ignore_case_upper("   ", "t", "c"), "");
  EXPECT_EQ(ignore_case_upper("[ab", "t", "c"), std::nullopt);
  // " and upper(t.c) matches '" + text + "*'" holds 273 bytes of text in 300.
  EXPECT_EQ(ignore_case_upper(rep(273, 'x'), "t", "c")->size(), 300u);
  EXPECT_EQ(ignore_case_upper(rep(274, 'x'), "t", "c"), std::nullopt);
}

TEST(Translate, ReplacesAndCuts) {
  EXPECT_EQ(translate("a", "bb", "aXa", 100), "bbXbb");
  EXPECT_EQ(translate("a", "bb", "XaXa", 5), "X");
  EXPECT_EQ(translate("a", "b", "aaaaaaaa", 8), "bbb");
  EXPECT_EQ(translate("aa", "a", "aaaa", 100), "a");
  EXPECT_EQ(translate("abc", "", "abcabcX", 100), "X");  // looks again from 1
  EXPECT_EQ(translate("a", "bb", rep(400, 'a'), 10000), rep(512, 'b'));
}

TEST(Names, CustomerNamesCapitalsAndAddressLines) {
  EXPECT_EQ(set_cust_name("Smith", "John", "Acme Ltd"), "Acme Ltd");
  EXPECT_EQ(set_cust_name("  ", "John", "   "), "John");
  EXPECT_EQ(set_cust_name("Smith   ", "John", ""), "Smith, John");
  EXPECT_EQ(set_cust_name(rep(30, 'a'), rep(30, 'b'), ""), rep(30, 'a') + ", " + rep(28, 'b'));
  EXPECT_EQ(upper_first("new york city"), "New York City");
  EXPECT_EQ(upper_first("mcDONALD"), "McDONALD");
  EXPECT_EQ(split_address("12 Main St^Suite 4^^Springfield"), (Parts{"12 Main St", "Suite 4", "", "Springfield"}));
  EXPECT_EQ(split_address("12 Main St"), (Parts{"12 Main St"}));
  EXPECT_EQ(split_address("^a^"), (Parts{"", "a"}));
  EXPECT_EQ(split_address("1^2^3^4^5^6^7^8"), (Parts{"1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(split_address(rep(60, 'z') + "^b"), (Parts{rep(50, 'z'), "b"}));
}

TEST(WhichCmd, FindsCommandsAndNeverRunsTheName) {
  ScratchDir dir;
  EXPECT_TRUE(which_cmd("  sh  "));
  EXPECT_FALSE(which_cmd("no-such-command-here"));
  for (const char* name : {"sh; touch ran", "$(touch ran)", "`touch ran`", "sh' ; touch 'ran"})
    EXPECT_FALSE(which_cmd(name)) << name;
  EXPECT_FALSE(dir.exists("ran"));
}

}  // namespace
