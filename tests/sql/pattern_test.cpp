// MATCHES patterns on the embedded back end's matcher. The same patterns
// as regular expressions are run against PostgreSQL in sql_test.cpp.
#include <gtest/gtest.h>

#include "sql/pattern.h"

namespace rt::sql {
namespace {

struct Case {
  const char* value;
  const char* pattern;
  bool match;
};

// clang-format off
const Case kCases[] = {
  {"abc", "abc*", true}, {"abcd", "abc*", true}, {"ABC", "abc*", false},
  {"abc*", "abc\\*", true}, {"abcd", "abc\\*", false}, {"*bc", "\\*bc", true},
  {"deee", "[^abc]*", true}, {"azzz", "[^abc]*", false},
  {"b1", "[a-c]?", true}, {"d1", "[a-c]?", false}, {"b", "[a-c]?", false},
  {"a]", "a[]]", true}, {"a[", "a[", true},  // a lone "[" is a character
  {"", "*", true}, {"", "?", false},
  {"ab   ", "ab", true},    // trailing blanks of the value do not count
  {"ab   ", "ab?", false},  // not even for "?"
  {"ab", "ab ", false},
  {"a b", "a?b", true}, {"a b", "a b", true},
  {"xaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "x*a*a*a*a*a*a*c", false},  // no blow-up
  {"été", "?t?", true},  // characters, not bytes
  {"Müller", "M[uü]ller", true},
  // A byte that is not UTF-8 is one character and matches only itself.
  {"caf\xe9", "caf?", true}, {"caf\xe9", "caf\xe9", true}, {"caf\xe9", "café", false},
  {"\xe9t\xe9", "?t?", true}, {"\xc3", "\xc3*", true}, {"\xc3\xa9", "\xc3", false},
};
// clang-format on

TEST(Matches, Cases) {
  for (const Case& c : kCases) EXPECT_EQ(matches(c.value, c.pattern), c.match) << c.value << " / " << c.pattern;
}

// LIKE on the embedded back end: case and the value's blanks count, as in
// PostgreSQL's LIKE; characters, not bytes.
TEST(Like, Cases) {
  // clang-format off
  const Case cases[] = {
    {"abc", "a%", true}, {"ABC", "a%", false}, {"abc", "A%", false},
    {"ab  ", "ab", false}, {"ab  ", "ab%", true}, {"ab", "ab ", false},
    {"été", "_t_", true}, {"日本語", "日_語", true}, {"日本語", "__", false}, {"", "%", true},
    {"a%b", "a\\%b", true}, {"axb", "a\\%b", false}, {"a_b", "a\\_b", true}, {"axb", "a\\_b", false},
    {"xaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "x%a%a%a%a%a%a%c", false},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(like(c.value, c.pattern), c.match) << c.value << " / " << c.pattern;
  EXPECT_TRUE(like("50%", "50!%", U'!'));
  EXPECT_FALSE(like("500", "50!%", U'!'));
  EXPECT_TRUE(like("a\\b", "a\\b", U'!')) << "another escape makes the backslash plain";
}

TEST(Matches, RegexShapes) {
  EXPECT_EQ(matches_to_regex("AB*"), "^AB.* *$");
  EXPECT_EQ(matches_to_regex("a.b"), "^a\\.b *$");
  // Set members as code points: nothing typed can close or range a set.
  EXPECT_EQ(matches_to_regex("[^a-c]"), "^(?! +$)[^\\u0061-\\u0063] *$");
  EXPECT_EQ(matches_to_regex("[\\]é]"), "^(?! +$)[\\u005D\\u00E9] *$");
  // A set that holds no character matches nothing; negated, any one.
  EXPECT_EQ(matches_to_regex("x[z-a]"), "^x(?! +$)[^\\u0001-\\U0010FFFF] *$");
  EXPECT_EQ(matches_to_regex("[^z-a]"), "^(?! +$). *$");
  EXPECT_EQ(matches_to_regex("\\?"), "^\\? *$");
}

}  // namespace
}  // namespace rt::sql
