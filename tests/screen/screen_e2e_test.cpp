// The real terminal path: the demo program in a pseudo-terminal. Function
// keys through terminfo, Esc as accept, UTF-8 alignment, unknown escape
// sequences, resize, bytes sent per typed character, and the terminal
// restored on SIGTERM and hang-up.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "e2e/terminal.h"

namespace {
e2e::Options demo() {
  e2e::Options o;
  o.argv = {SCREEN_DEMO};
  return o;
}

// Starts the demo and waits for its first full screen.
void started(e2e::Terminal& t) {
  ASSERT_TRUE(t.wait_for("Demo: Input  Query  Key  Exit"));
  ASSERT_TRUE(t.wait_for("Count"));
  ASSERT_TRUE(t.wait_settled());
}
}  // namespace

TEST(ScreenE2E, FirstScreenMenuAndExit) {
  e2e::Terminal t(demo());
  started(t);
  std::printf("first full screen after %.1f ms\n", t.ms_since(t.spawned()));
  EXPECT_EQ(t.reverse_text(2), "Input");
  EXPECT_EQ(t.row(3), "Enter a record");
  EXPECT_EQ(t.row(4), "  Code   [    ]");
  t.key("e");
  auto st = t.wait_exit();
  ASSERT_TRUE(st);
  EXPECT_EQ(*st, e2e::ExitStatus::exited_with(0));
  EXPECT_FALSE(t.alt_screen());
}

TEST(ScreenE2E, InputWithFunctionKeyEscAndUtf8) {
  e2e::Terminal t(demo());
  started(t);
  t.key("i");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  ASSERT_TRUE(t.wait_cursor(4, 11));
  EXPECT_EQ(t.row(23), "Enter a code");
  t.type("ab");
  t.key("tab");
  t.key("f5");
  ASSERT_TRUE(t.wait_for_at(6, 11, "Looked up"));
  t.key("ctrl-d");
  t.key("home");
  t.key("ctrl-d");
  t.type("Jörg 日本");
  ASSERT_TRUE(t.wait_for("  Name   [Jörg 日本"));
  EXPECT_EQ(t.text_at(6, 31, 1), "]");  // the field's end stays in its column
  auto m = t.mark();
  t.key("esc");
  ASSERT_TRUE(t.wait_for("Stored AB/Jörg 日本/ key accept"));
  std::printf("Esc to result: %.1f ms\n", t.ms_since(m));
}

TEST(ScreenE2E, OneTypedCharacterSendsFewBytes) {
  e2e::Terminal t(demo());
  started(t);
  t.key("i");
  ASSERT_TRUE(t.wait_cursor(4, 11));
  ASSERT_TRUE(t.wait_settled());
  auto m = t.mark();
  t.type("Q");
  ASSERT_TRUE(t.wait_for_at(4, 11, "Q"));
  ASSERT_TRUE(t.wait_settled());
  std::printf("bytes for one character: %zu\n", t.bytes_since(m));
  EXPECT_LT(t.bytes_since(m), 64u);
}

TEST(ScreenE2E, UnknownSequencesAndUnboundKeysLeaveNoTrace) {
  e2e::Terminal t(demo());
  started(t);
  t.key("i");
  ASSERT_TRUE(t.wait_cursor(4, 11));
  t.send("\x1b[99~");  // no terminal key sends this
  t.key("f9");
  t.type("z");
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(6, 11));
  EXPECT_EQ(t.row(4), "  Code   [Z   ]");
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for("Cancelled"));
  EXPECT_GE(t.bells(), 1);
}

TEST(ScreenE2E, PasteLosesNoKeys) {
  e2e::Terminal t(demo());
  started(t);
  t.key("i");
  ASSERT_TRUE(t.wait_cursor(4, 11));
  t.send("abcd\tA long pasted name\t42\x1b");
  ASSERT_TRUE(t.wait_for("Stored ABCD/A long pasted name/42"));
}

TEST(ScreenE2E, ResizeRedrawsAndSmallTerminalWaits) {
  e2e::Terminal t(demo());
  started(t);
  t.resize(30, 100);
  ASSERT_TRUE(t.wait_for("Demo: Input"));
  t.resize(20, 70);
  ASSERT_TRUE(t.wait_for("at least 24 lines and 80 columns"));
  t.resize(24, 80);
  ASSERT_TRUE(t.wait_for("Demo: Input  Query  Key  Exit"));
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(t.row(4), "  Code   [    ]");
}

TEST(ScreenE2E, QueryByExampleCriteriaLongerThanTheField) {
  e2e::Terminal t(demo());
  started(t);
  t.key("q");
  ASSERT_TRUE(t.wait_cursor(4, 11));
  t.type("a*|b*|c*");  // 8 characters in a 4-wide field
  t.key("esc");
  ASSERT_TRUE(t.wait_for("Where (t.code matches 'A*' or t.code matches 'B*' or t.code matches 'C*')"));
}

TEST(ScreenE2E, SigtermAndHangupRestoreTheTerminal) {
  {
    e2e::Terminal t(demo());
    started(t);
    t.key("i");
    ASSERT_TRUE(t.wait_cursor(4, 11));
    t.signal(SIGTERM);
    auto st = t.wait_exit();
    ASSERT_TRUE(st);
    EXPECT_EQ(*st, e2e::ExitStatus::exited_with(2));
    EXPECT_FALSE(t.alt_screen());
    EXPECT_TRUE(t.cursor_visible());
  }
  {
    e2e::Terminal t(demo());
    started(t);
    t.hangup();
    auto st = t.wait_exit();
    ASSERT_TRUE(st);
    EXPECT_TRUE(st->exited());
  }
}
