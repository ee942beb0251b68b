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

// Exit leaves the screen as it was before the program: the alternate
// screen left, or, on a terminal that has none, the form cleared and the
// cursor at the top.
TEST(ScreenE2E, FirstScreenMenuAndExit) {
  for (const char* term : {"xterm-256color", "linux", "vt220", "vt100"}) {
    SCOPED_TRACE(term);
    e2e::Options o = demo();
    o.term = term;
    e2e::Terminal t(o);
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
    EXPECT_EQ(t.screen_text(), std::string(23, '\n')) << "the screen after Exit";
    EXPECT_EQ(t.cursor(), std::make_pair(1, 1));
  }
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

// What other terminals send for the keys terminfo names for xterm: each
// sequence, written as the terminal writes it, arrives as its key.
TEST(ScreenE2E, AlternativeKeySequencesArriveAsTheirKeys) {
  e2e::Terminal t(demo());
  started(t);
  const std::pair<const char*, const char*> keys[] = {
      // Home and End: tmux/screen (VT220), xterm's normal mode, rxvt
      {"\x1b[1~", "home"},
      {"\x1b[H", "home"},
      {"\x1bOH", "home"},
      {"\x1b[7~", "home"},
      {"\x1b[4~", "end"},
      {"\x1b[F", "end"},
      {"\x1bOF", "end"},
      {"\x1b[8~", "end"},
      // the VT220 editing keypad
      {"\x1b[2~", "insert"},
      {"\x1b[3~", "delete"},
      {"\x1b[5~", "pgup"},
      {"\x1b[6~", "pgdn"},
      // arrows in both cursor-key modes, back-tab
      {"\x1b[A", "up"},
      {"\x1b[B", "down"},
      {"\x1b[C", "right"},
      {"\x1b[D", "left"},
      {"\x1bOA", "up"},
      {"\x1bOB", "down"},
      {"\x1bOC", "right"},
      {"\x1bOD", "left"},
      {"\x1b[Z", "backtab"},
      // F1-F4 as xterm, PuTTY/rxvt and the Linux console send them (F3 and
      // F4 are named for what they do in arrays)
      {"\x1bOP", "f1"},
      {"\x1bOQ", "f2"},
      {"\x1bOR", "nextpage"},
      {"\x1bOS", "prevpage"},
      {"\x1b[11~", "f1"},
      {"\x1b[12~", "f2"},
      {"\x1b[13~", "nextpage"},
      {"\x1b[14~", "prevpage"},
      {"\x1b[[A", "f1"},
      {"\x1b[[B", "f2"},
      {"\x1b[[C", "nextpage"},
      {"\x1b[[D", "prevpage"},
      {"\x1b[[E", "f5"},
      // F5-F12
      {"\x1b[15~", "f5"},
      {"\x1b[17~", "f6"},
      {"\x1b[18~", "f7"},
      {"\x1b[19~", "f8"},
      {"\x1b[20~", "f9"},
      {"\x1b[21~", "f10"},
      {"\x1b[23~", "f11"},
      {"\x1b[24~", "f12"},
  };
  for (const auto& [seq, name] : keys) {
    SCOPED_TRACE(e2e::escape(seq));
    // A plain key between two sequences, so that each result is new.
    t.key("k");
    t.type("x");
    ASSERT_TRUE(t.wait_for_at(20, 1, "Key x"));
    t.key("k");
    t.send(seq);
    ASSERT_TRUE(t.wait_until([&] { return t.row(20) == std::string("Key ") + name; })) << t.row(20);
  }
  // Nothing of a sequence was left over to be read as typed keys.
  t.key("k");
  t.type("y");
  ASSERT_TRUE(t.wait_for_at(20, 1, "Key y"));
}

TEST(ScreenE2E, ATerminalGoneWithoutAHangUpSignalEndsTheProgram) {
  // The terminal is closed under the program, and no SIGHUP reaches it:
  // its reads fail from then on.
  e2e::Options o = demo();
  o.controlling_terminal = false;
  e2e::Terminal t(o);
  started(t);
  t.key("i");
  ASSERT_TRUE(t.wait_cursor(4, 11));
  t.hangup();
  const auto st = t.wait_exit();
  ASSERT_TRUE(st) << "the program did not end on a dead terminal";
  EXPECT_EQ(*st, e2e::ExitStatus::exited_with(2)) << "as on a hang-up";
}

TEST(ScreenE2E, ATerminalThatCannotMoveTheCursorIsRefused) {
  e2e::Options o = demo();
  o.term = "dumb";
  e2e::Terminal t(o);
  const auto st = t.wait_exit();
  ASSERT_TRUE(st);
  EXPECT_EQ(*st, e2e::ExitStatus::exited_with(1));
  EXPECT_TRUE(t.contains("The terminal type 'dumb' cannot move the cursor")) << t.screen_text();
}

TEST(ScreenE2E, TheTooSmallNoticeFitsTheTerminalAndCtrlCLeaves) {
  e2e::Options o = demo();
  o.rows = 12;
  o.cols = 30;
  e2e::Terminal t(o);
  const std::string notice =
      "This program needs a terminal of at least 24 lines and 80 columns. Please make the window larger, or press "
      "Ctrl-C to leave.";
  std::string joined;
  ASSERT_TRUE(t.wait_until([&] {
    joined.clear();
    for (int r = 1; r <= t.rows() && !t.row(r).empty(); ++r) joined += (joined.empty() ? "" : " ") + t.row(r);
    return joined == notice;
  })) << "the notice, its lines joined: "
      << joined;
  t.key("ctrl-c");
  const auto st = t.wait_exit();
  ASSERT_TRUE(st);
  EXPECT_EQ(*st, e2e::ExitStatus::exited_with(1));
  EXPECT_FALSE(t.alt_screen()) << "the terminal is restored";
  EXPECT_TRUE(t.cursor_visible());
}
