// Keys as the terminal sends them arrive at a program as the keys they are,
// read through ncurses keypad() and the terminfo entry of our TERM; text
// arrives whole, however much is typed at once.
#include <cstdio>
#include <gtest/gtest.h>

#include "e2e/terminal.h"
#include "selftest_options.h"

namespace {

using e2e::Terminal;

class Keys : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(t.wait_for("key #0: none")); }
  // Presses the key and waits for the program to name it.
  ::testing::AssertionResult arrives_as(std::string_view key, const std::string& name) {
    t.key(key);
    std::string want = "key #" + std::to_string(++pressed) + ": " + name;
    if (t.wait_until([&] { return t.row(7) == want; })) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "key '" << key << "': wanted \"" << want << "\", row 7 shows \"" << t.row(7)
                                         << "\"";
  }
  Terminal t{e2e::selftest::app()};
  int pressed = 0;
};

TEST_F(Keys, FunctionKeysArriveAsThemselves) {
  for (int n = 1; n <= 12; ++n) EXPECT_TRUE(arrives_as("f" + std::to_string(n), "KEY_F(" + std::to_string(n) + ")"));
  EXPECT_TRUE(arrives_as("shift-f1", "KEY_F(13)"));
  EXPECT_TRUE(arrives_as("f17", "KEY_F(17)"));
  EXPECT_TRUE(arrives_as("ctrl-f5", "KEY_F(29)"));
}

TEST_F(Keys, CursorAndEditingKeys) {
  const std::pair<const char*, const char*> keys[] = {
      {"up", "KEY_UP"},          {"down", "KEY_DOWN"}, {"left", "KEY_LEFT"},           {"right", "KEY_RIGHT"},
      {"home", "KEY_HOME"},      {"end", "KEY_END"},   {"pgup", "KEY_PPAGE"},          {"pgdn", "KEY_NPAGE"},
      {"insert", "KEY_IC"},      {"delete", "KEY_DC"}, {"backspace", "KEY_BACKSPACE"}, {"backtab", "KEY_BTAB"},
      {"kp-enter", "KEY_ENTER"},
  };
  for (auto [key, name] : keys) EXPECT_TRUE(arrives_as(key, name));
}

TEST_F(Keys, ControlKeysAndEscape) {
  EXPECT_TRUE(arrives_as("enter", "^J"));  // Return is \r; the line discipline makes it \n
  EXPECT_TRUE(arrives_as("tab", "^I"));
  EXPECT_TRUE(arrives_as("ctrl-c", "^C"));
  EXPECT_TRUE(arrives_as("ctrl-w", "^W"));
  EXPECT_TRUE(arrives_as("ctrl-X", "^X"));
  // Esc alone is told apart from the start of a function key, also right
  // after one.
  EXPECT_TRUE(arrives_as("esc", "^["));
  EXPECT_TRUE(arrives_as("f2", "KEY_F(2)"));
  EXPECT_TRUE(arrives_as("esc", "^["));
}

TEST_F(Keys, UnknownKeyNamesAreRefused) {
  EXPECT_THROW(t.key("f0"), e2e::Error);
  EXPECT_THROW(t.key("f64"), e2e::Error);
  EXPECT_THROW(t.key("shift-"), e2e::Error);
  EXPECT_THROW(t.key("escap"), e2e::Error);
  EXPECT_THROW(t.type("\xC3"), e2e::Error);  // cut-off UTF-8
  EXPECT_EQ(t.input_pending(), 0u);
}

TEST_F(Keys, TypedUtf8ReachesTheProgramAsCharacters) {
  t.type("\u00e9\u4e2d");
  EXPECT_TRUE(t.wait_for("input: \u00e9\u4e2d"));
  EXPECT_TRUE(t.wait_cursor(10, 11));  // é is one cell, 中 two
  EXPECT_TRUE(t.wait_for("count: 2 "));
}

TEST_F(Keys, ABurstOfTwoThousandCharactersArrivesWhole) {
  // Every printable ASCII character except the program's own command keys.
  std::string alphabet;
  for (char c = '!'; c <= '~'; ++c)
    if (c != 'q' && c != 'p' && c != 'c' && c != 'b') alphabet += c;
  std::string burst;
  std::uint32_t hash = 2166136261u;
  for (int i = 0; i < 2000; ++i) {
    char c = alphabet[static_cast<std::size_t>(i * 7 + i / 13) % alphabet.size()];
    burst += c;
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  char want[64];
  std::snprintf(want, sizeof want, "count: 2000 hash: %08x", hash);
  t.type(burst);
  EXPECT_TRUE(t.wait_for(want)) << "wanted " << want;
  EXPECT_TRUE(t.wait_for("input: " + burst.substr(burst.size() - 30)));
}

TEST_F(Keys, SettledMeansEverythingTypedWasReadAndAnswered) {
  t.type("hello");
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(t.input_pending(), 0u);
  EXPECT_EQ(t.row(10), "input: hello");
  EXPECT_EQ(t.row(8), "count: 5 hash: 4f9f2cab");
}

}  // namespace
