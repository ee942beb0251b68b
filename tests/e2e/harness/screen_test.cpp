// What the terminal shows: texts at their places, wide characters,
// attributes, the cursor, answers to the program's queries, and the failure
// picture of a screen.
#include <gtest/gtest.h>

#include "e2e/terminal.h"
#include "selftest_options.h"

namespace {

using e2e::Terminal;

class Screen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.wait_for("SELFTEST APP"));
    ASSERT_TRUE(t.wait_for_at(24, 78, "END"));
  }
  Terminal t{e2e::selftest::app()};
};

TEST_F(Screen, TextsStandWhereTheProgramPutThem) {
  EXPECT_EQ(t.row(1), "SELFTEST APP");
  EXPECT_EQ(t.row(2), "size: 24x80");
  EXPECT_TRUE(t.wait_for_at(3, 5, " REVERSE BAR "));
  EXPECT_EQ(t.text_at(24, 78, 3), "END");
  EXPECT_EQ(t.text_at(1, 1, 4), "SELF");
  EXPECT_TRUE(t.contains("count: 0 hash: 811c9dc5"));
  EXPECT_FALSE(t.contains("SELFTEST APPX"));
  EXPECT_TRUE(t.alt_screen());
  EXPECT_THROW(t.row(25), e2e::Error);
  EXPECT_THROW(t.cell(1, 81), e2e::Error);
  std::string all = t.screen_text();
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 23);
  EXPECT_TRUE(all.starts_with("SELFTEST APP\nsize: 24x80\n"));
}

TEST_F(Screen, WideCharactersTakeTwoCells) {
  EXPECT_EQ(t.row(5), "wide: \u4e2d\u6587\u00e9|");
  e2e::Cell left = t.cell(5, 7), right = t.cell(5, 8);
  EXPECT_EQ(left.text, "\u4e2d");
  EXPECT_EQ(left.width, 2);
  EXPECT_EQ(right.text, "");
  EXPECT_EQ(right.width, 0);
  EXPECT_EQ(t.cell(5, 9).text, "\u6587");
  EXPECT_EQ(t.cell(5, 11).text, "\u00e9");
  EXPECT_EQ(t.cell(5, 12).text, "|");
  EXPECT_EQ(t.text_at(5, 7, 4), "\u4e2d\u6587");
}

TEST_F(Screen, ReverseVideoAndBold) {
  EXPECT_EQ(t.reverse_text(3), " REVERSE BAR ");
  EXPECT_FALSE(t.cell(3, 4).reverse);
  EXPECT_TRUE(t.cell(3, 5).reverse);
  EXPECT_TRUE(t.cell(3, 17).reverse);
  EXPECT_FALSE(t.cell(3, 18).reverse);
  EXPECT_EQ(t.reverse_text(1), "");
  EXPECT_TRUE(t.cell(4, 1).bold);
  EXPECT_FALSE(t.cell(4, 1).reverse);
  EXPECT_FALSE(t.cell(1, 1).bold);
  EXPECT_EQ(t.cell(1, 1).fg, -1);
}

TEST_F(Screen, CursorFollowsTheInputField) {
  EXPECT_EQ(t.cursor(), std::pair(10, 8));
  t.type("xy");
  EXPECT_TRUE(t.wait_for("input: xy"));
  EXPECT_TRUE(t.wait_cursor(10, 10));
  t.key("c");  // the program hides the cursor
  EXPECT_TRUE(t.wait_until([&] { return !t.cursor_visible(); }));
  t.key("c");
  EXPECT_TRUE(t.wait_until([&] { return t.cursor_visible(); }));
}

TEST_F(Screen, AnswersTheProgramsQueries) {
  t.type("xyz");
  ASSERT_TRUE(t.wait_for("input: xyz"));
  t.key("p");  // the program asks where the cursor is and shows the answer
  EXPECT_TRUE(t.wait_for("cpr: ^[[10;11R"));
}

TEST_F(Screen, CountsBells) {
  EXPECT_EQ(t.bells(), 0);
  t.key("b");
  EXPECT_TRUE(t.wait_until([&] { return t.bells() == 1; }));
}

TEST_F(Screen, CountsWhatTheProgramWritesSinceAMark) {
  ASSERT_TRUE(t.wait_settled());
  e2e::Mark m = t.mark();
  EXPECT_EQ(t.bytes_since(m), 0u);
  t.type("x");
  ASSERT_TRUE(t.wait_for("input: x"));
  ASSERT_TRUE(t.wait_settled());
  EXPECT_GT(t.bytes_since(m), 0u);
  EXPECT_NE(t.output_since(m).find('x'), std::string::npos);
  EXPECT_EQ(t.output_since(t.spawned()).substr(0, 8), "\x1b[?1049h");  // ncurses' first words
}

TEST_F(Screen, DumpDrawsTheScreenAsATerminalWould) {
  std::string d = t.dump();
  EXPECT_NE(d.find("e2e_selftest_app (pid " + std::to_string(t.pid()) + "), 24x80, running"), std::string::npos) << d;
  EXPECT_NE(d.find("      ....+....1....+....2"), std::string::npos) << d;
  EXPECT_NE(d.find("\n   1 |SELFTEST APP     "), std::string::npos) << d;
  // Reverse video is marked under its row, the cursor under its own.
  EXPECT_NE(d.find("   3 |     REVERSE BAR  "), std::string::npos) << d;
  EXPECT_NE(d.find("|\n     |    ^^^^^^^^^^^^^\n   4 |BOLD"), std::string::npos) << d;
  EXPECT_NE(d.find("|\n     |       @\n  11 |"), std::string::npos) << d;
  EXPECT_NE(d.find("  24 |" + std::string(77, ' ') + "END|"), std::string::npos) << d;
  EXPECT_NE(d.find("cursor at row 10, column 8 (visible), alternate screen"), std::string::npos) << d;
  EXPECT_NE(d.find("bytes written by the program:\n"), std::string::npos) << d;
}

TEST(Escape, ShowsControlsAndKeepsText) {
  EXPECT_EQ(e2e::escape("\x1b[1;2Hab\r\nc\x07\t\\\x7f\u00e9"), "\\e[1;2Hab\\r\\n\nc\\x07\\t\\\\\\x7F\u00e9");
  // A long run wraps before an escape, never inside a sequence.
  std::string run;
  for (int i = 0; i < 30; ++i) run += "\x1b[K";
  std::string shown = e2e::escape(run);
  EXPECT_NE(shown.find('\n'), std::string::npos);
  for (std::size_t p = shown.find('\n'); p != std::string::npos; p = shown.find('\n', p + 1))
    EXPECT_EQ(shown.substr(p + 1, 2), "\\e");
}

}  // namespace
