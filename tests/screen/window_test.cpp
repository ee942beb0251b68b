// Windows, forms on the screen and the reserved lines, as the fake
// terminal shows them.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_forms.h"

namespace ui = rt::ui;
using screen_test::person_form;
using screen_test::start_with;

TEST(Screen, FormIsDisplayedAtTheFormLine) {
  auto* t = start_with(person_form());
  EXPECT_EQ(t->row(4), "  Code   [    ]");
  EXPECT_EQ(t->row(6), "  Name   [                    ]");
  ui::display_record("t", {nullptr, nullptr, nullptr});
  rt::Value code = rt::Value::of_char("AB", 4);
  rt::Value cnt = rt::Value::of_int(42, rt::smallint_t());
  ui::display_field("code", code);
  ui::display_field("cnt", cnt);
  EXPECT_EQ(t->row(4), "  Code   [AB  ]");
  EXPECT_EQ(t->row(8), "  Count  [   42]");
  EXPECT_EQ(ui::field_buffer("cnt"), "42");
  ui::clear_form();
  EXPECT_EQ(t->row(8), "  Count  [     ]");
}

TEST(Screen, WindowsStackAndClosingRestoresWhatLayBelow) {
  auto* t = start_with(person_form());
  ui::display_at("Title", 1, 1, ui::kReverse);
  ui::open_window("w_one", 4, 4, 3, 20, true);
  std::string line;
  for (int i = 0; i < 20; ++i) line += "─";
  EXPECT_EQ(t->row(3), "  ┌" + line + "┐");
  EXPECT_EQ(t->row(4), "  │" + std::string(20, ' ') + "│");
  ui::display_at("inside", 1, 2);
  EXPECT_EQ(t->row(4), "  │ inside" + std::string(13, ' ') + "│");
  EXPECT_EQ(ui::current_window_name(), "w_one");
  ui::open_window("w_two", 10, 30, 2, 10);
  ui::current_window("w_one");  // back on top
  ui::close_window("w_one");
  EXPECT_EQ(ui::current_window_name(), "w_two");
  EXPECT_EQ(t->row(4), "  Code   [    ]");
  ui::close_window("w_two");
  EXPECT_EQ(ui::current_window_name(), "screen");
  EXPECT_TRUE(t->screen().row_has_attr(0, 0, 5, ui::kReverse));
}

TEST(Screen, WindowWithFormPutsFormLineZeroOnItsFirstLine) {
  auto* t = ui::install_fake_terminal();
  ui::FormDef f = person_form();
  ui::open_window_with_form("w_p", 4, 4, f, true);
  EXPECT_EQ(ui::window_lines(), 8);
  EXPECT_EQ(t->row(5).rfind("  │  Code   [    ]", 0), 0u);
}

TEST(Screen, ErrorLineStaysAboveWindowsUntilTheNextKey) {
  auto* t = start_with(person_form());
  ui::open_window("w", 20, 2, 5, 30, false);
  ui::error("Invalid value");
  EXPECT_EQ(t->row(24), "Invalid value");
  EXPECT_EQ(t->bells(), 1);
  EXPECT_EQ(ui::last_error_code(), 0);
  t->push('x');
  EXPECT_EQ(ui::read_key(), 'x');
  EXPECT_EQ(t->row(24), "");  // the window's own line shows again
}

TEST(Screen, MessageCommentAndEmptyTextClearing) {
  auto* t = start_with(person_form());
  ui::message("Esc: Accept");
  EXPECT_EQ(t->row(2), "Esc: Accept");
  ui::comment("Enter a code");
  EXPECT_EQ(t->row(23), "Enter a code");
  ui::display_at("abcdef", 3, 1);
  ui::display_at("", 3, 3);
  EXPECT_EQ(t->row(3), "ab");
  ui::open_window("w", 10, 10, 4, 30, true);
  ui::comment("in a window");
  EXPECT_EQ(t->row(13), std::string(8, ' ') + "│in a window" + std::string(19, ' ') + "│");
}

TEST(Screen, RedrawKeysAreTheRuntimesOwn) {
  auto* t = ui::install_fake_terminal();
  t->push({ui::key::ctrl('r'), ui::key::ctrl('l'), ui::key::kResize, 'q'});
  EXPECT_EQ(ui::read_key(), 'q');
  EXPECT_EQ(t->repaints(), 3);
}

// What the program draws reaches the terminal once, when it waits for a
// key or flushes; a key whose answer changes nothing writes nothing.
TEST(Screen, DrawingIsSentOnceWhenTheProgramWaits) {
  auto* t = ui::install_fake_terminal();
  ui::flush();
  const int base = t->presents();
  ui::display_at("one", 1, 1);
  ui::message("two");
  ui::open_window("w_busy", 10, 10, 2, 20, true);
  ui::display_at("three", 1, 1);
  EXPECT_EQ(t->presents(), base) << "nothing is sent while the program draws";
  ui::flush();
  EXPECT_EQ(t->presents(), base + 1);
  ui::flush();
  EXPECT_EQ(t->presents(), base + 1) << "nothing new, nothing sent";
  ui::close_window("w_busy");
  ui::display_at("four", 3, 1);
  t->push({'x', 'y'});
  EXPECT_EQ(ui::read_key(), 'x');
  EXPECT_EQ(t->presents(), base + 2) << "the wait sends the drawing once";
  EXPECT_EQ(ui::read_key(), 'y');
  EXPECT_EQ(t->presents(), base + 3) << "each wait shows the screen as it stands";
  EXPECT_EQ(t->row(3), "four");
  EXPECT_EQ(t->presents(), base + 3) << "reading the fake terminal sent nothing new";
}

TEST(Screen, SmallTerminalShowsANoticeAndWaits) {
  auto* t = ui::install_fake_terminal();
  t->set_size(20, 70);
  t->push({'a', 'b'});
  t->when_idle([](ui::FakeTerminal& term) {
    term.set_size(24, 80);
    term.push({ui::key::kResize, 'c'});
  });
  EXPECT_EQ(ui::read_key(), 'c');  // keys typed while too small are dropped
  EXPECT_NE(t->notice().find("24 lines and 80 columns"), std::string::npos);
}

TEST(Screen, InterruptKeySetsTheFlag) {
  auto* t = ui::install_fake_terminal();
  rt::int_flag = 0;
  t->push(ui::key::kInterrupt);
  EXPECT_EQ(ui::read_key(), ui::key::kInterrupt);
  EXPECT_EQ(rt::int_flag, 1);
  rt::int_flag = 0;
}

TEST(Keys, NamesAndCodes) {
  EXPECT_EQ(ui::key_code("accept"), 27);
  EXPECT_EQ(ui::key_code("UP"), ui::key::kUp);
  EXPECT_EQ(ui::key_code("f5"), ui::key::f(5));
  EXPECT_EQ(ui::key_code("control-f"), 6);
  EXPECT_EQ(ui::key_code("return"), 13);
  EXPECT_EQ(ui::key_code("f65"), ui::key::kNone);
  EXPECT_EQ(ui::key_code("nonsense"), ui::key::kNone);
  EXPECT_EQ(ui::key_name(ui::key::f(12)), "f12");
  EXPECT_EQ(ui::key_name(6), "control-f");
}

TEST(Prompt, AnswerEndsOnReturnNotOnEsc) {
  auto* t = ui::install_fake_terminal();
  ui::set_prompt_line(2);
  std::string shown;
  t->type("report.txt");
  t->push(ui::key::kEsc);
  t->when_idle([&](ui::FakeTerminal& term) {
    shown = term.row(2);
    term.push(ui::key::kReturn);
  });
  EXPECT_EQ(ui::prompt("Enter filename: "), "report.txt");
  EXPECT_EQ(shown, "Enter filename: report.txt");
  EXPECT_EQ(t->row(2), "");
  rt::int_flag = 0;
  t->when_idle(nullptr);
  t->push({'x', ui::key::kInterrupt});
  EXPECT_EQ(ui::prompt("File: "), "");
  EXPECT_EQ(rt::int_flag, 1);
  rt::int_flag = 0;
  t->push('P');
  EXPECT_EQ(ui::prompt_char("Type T=text P=pdf: "), "P");
}

TEST(Screen, PlainOutputLinesAreKeptForAfterTheScreen) {
  auto* t = ui::install_fake_terminal();
  ui::display_line("Internal error setting param details for :7");
  EXPECT_EQ(t->row(24), "Internal error setting param details for :7");
}
