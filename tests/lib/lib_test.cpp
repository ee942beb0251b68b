// The title bar, the key-help line, the message box, the Yes/No
// confirmation and the key direction,
// drawn on a fake terminal: exact columns, reverse video, and the window
// that comes and goes.
#include <gtest/gtest.h>

#include <algorithm>

#include "lib.h"
#include "screen/fake_terminal.h"
#include "screen/ui.h"

namespace ui = rt::ui;

namespace {

bool reverse_run(const ui::FakeTerminal* t, int line, int col, int n) {
  return t->screen().row_has_attr(line - 1, col - 1, n, ui::kReverse);
}

// The characters of n cells from (line, col), screen coordinates from 1;
// anything beyond ASCII (the border) shows as '#'.
std::string cells(const ui::FakeTerminal* t, int line, int col, int n) {
  std::string s;
  for (int c = col; c < col + n; ++c) {
    char32_t ch = t->screen().at(line - 1, c - 1).ch;
    s += ch < 0x80 ? static_cast<char>(ch) : '#';
  }
  return s;
}

TEST(KeyHelp, LabelsInOrderWithTheFirstBlanksDropped) {
  EXPECT_EQ(active_keys_text("acw"), "Esc: Accept  Ctrl-C: Cancel  Ctrl-W: Help");
  EXPECT_EQ(active_keys_text("AC"), active_keys_text("ac"));
  EXPECT_EQ(active_keys_text("axc"), "Invalid Key  Ctrl-C: Cancel");
  EXPECT_EQ(active_keys_text("a c"), "Invalid Key  Ctrl-C: Cancel") << "an inner blank is an unknown code";
  EXPECT_EQ(active_keys_text(""), "");
  EXPECT_EQ(active_keys_text("12-+"), "F1: Insert Row  F2: Delete Row  PgUp: Prev  PgDn: Next");
  // Labels beyond 80 characters are cut; 78 remain after the first blanks.
  std::string many = active_keys_text("vopunty");
  EXPECT_EQ(many.size(), 78u);
  EXPECT_EQ(many.substr(0, 20), "Ctrl-V: Last Viewed ");
}

TEST(TitleBar, CentredWithinTheWidth) {
  std::string line = banner_line("Find", 60);
  EXPECT_EQ(line.size(), 132u);
  EXPECT_EQ(line.substr(27, 4), "Find") << "columns 28 to 31";
  EXPECT_EQ(line.find_first_not_of(' '), 27u);
  EXPECT_EQ(banner_line("Salesman Name Maintenance", 80).substr(26, 25), "Salesman Name Maintenance");
  // A title longer than the stretch is cut at the width.
  std::string cut = banner_line(std::string(70, 'x'), 60);
  EXPECT_EQ(cut.find_last_not_of(' '), 59u);
}

TEST(TitleBar, ReverseBarAcrossTheCurrentWindow) {
  auto* t = ui::install_fake_terminal();
  banner("Salesman Name Maintenance", 80);
  EXPECT_EQ(t->row(1), std::string(26, ' ') + "Salesman Name Maintenance");
  EXPECT_TRUE(reverse_run(t, 1, 1, 80));
  ui::open_window("w_findit", 4, 4, 12, 58, true);
  banner("Find", 60);
  // Window line 1, column 1 is screen line 4, column 4 (the border lies
  // outside); "Find" stands at window columns 28 to 31.
  EXPECT_EQ(cells(t, 4, 4 + 27, 4), "Find");
  EXPECT_TRUE(reverse_run(t, 4, 4, 58));
  EXPECT_EQ(cells(t, 4, 62, 1), "#") << "the bar stops at the window's right edge, the border stays";
  EXPECT_FALSE(reverse_run(t, 4, 62, 1));
  ui::close_window("w_findit");
}

TEST(MessageBox, WindowSizedToTheMessageUntilAKey) {
  auto* t = ui::install_fake_terminal();
  std::string msg = "Parameter 7 missing!";  // 20 characters
  int shown_at_idle = 0;
  t->when_idle([&](ui::FakeTerminal& ft) {
    if (shown_at_idle++ == 0) {
      // The window's content starts at screen line 10, column 29 (the
      // border lies outside): the message at window column 2, the mark on
      // window line 3 from column 10.
      EXPECT_EQ(cells(&ft, 10, 30, 20), msg);
      EXPECT_EQ(cells(&ft, 10, 28, 1), "#") << "the border";
      EXPECT_EQ(cells(&ft, 12, 38, 4), " ok ");
      EXPECT_TRUE(reverse_run(&ft, 12, 38, 4));
      ft.push('x');
    }
  });
  msgbox(msg);
  EXPECT_EQ(shown_at_idle, 1);
  EXPECT_EQ(t->row(10), "") << "the window is closed again";
  EXPECT_EQ(t->keys_left(), 0u);
}

TEST(MessageBox, TwoCharactersFillTheMarkLine) {
  auto* t = ui::install_fake_terminal();
  t->when_idle([](ui::FakeTerminal& ft) {
    EXPECT_EQ(cells(&ft, 12, 38, 4), " ok ") << "window column 1 is screen column 38";
    ft.push(ui::key::kReturn);
  });
  msgbox("hi");
  EXPECT_EQ(t->row(12), "");
}

// Every message from 2 to 76 characters gets a window on the screen, the
// whole message in it and the mark on the window's middle; the widest
// fill the 80 columns border to border. A longer one is cut, not fatal.
TEST(MessageBox, EveryLengthUpToTheScreenWidthFits) {
  auto* t = ui::install_fake_terminal();
  for (int len = 2; len <= 80; ++len) {
    std::string msg(static_cast<std::size_t>(len), 'm');
    msg.back() = '!';
    const int shown = std::min(len, 76);
    t->when_idle([&](ui::FakeTerminal& ft) {
      std::size_t at = cells(&ft, 10, 1, 80).find('m');
      ASSERT_NE(at, std::string::npos) << len;
      const int col = static_cast<int>(at) + 1;
      EXPECT_EQ(cells(&ft, 10, col, shown),
                msg.substr(0, static_cast<std::size_t>(shown - 1)) + (len <= 76 ? "!" : "m"))
          << len;
      EXPECT_EQ(cells(&ft, 10, col - 2, 1), "#") << "the left border, one blank before the text; length " << len;
      EXPECT_EQ(cells(&ft, 10, col + shown + 1, 1), "#") << "the right border; length " << len;
      EXPECT_GE(col - 2, 1);
      EXPECT_LE(col + shown + 1, 80);
      EXPECT_EQ(cells(&ft, 12, col - 2 + shown / 2, 4), " ok ") << len;
      ft.push(ui::key::kReturn);
    });
    msgbox(msg);
    EXPECT_EQ(t->row(10), "") << len;
  }
  EXPECT_EQ(t->keys_left(), 0u);
}

TEST(Confirmation, StartsOnNoAndAnswersByEitherOption) {
  auto* t = ui::install_fake_terminal();
  ui::set_menu_line(2);
  bool checked = false;
  t->when_idle([&](ui::FakeTerminal& ft) {
    if (checked) return;
    checked = true;
    EXPECT_EQ(ft.row(2), "Are you sure you want to delete this?: Yes  No");
    EXPECT_TRUE(reverse_run(&ft, 2, 45, 2)) << "the cursor stands on No";
    ft.push(ui::key::kReturn);
  });
  EXPECT_FALSE(confirm("Are you sure you want to delete this?")) << "Return at once answers no";
  EXPECT_TRUE(checked);
  t->push('y');
  EXPECT_TRUE(confirm("Delete?"));
  t->push({ui::key::kLeft, ui::key::kReturn});
  EXPECT_TRUE(confirm("Delete?")) << "Yes chosen with the cursor";
  t->push('n');
  EXPECT_FALSE(confirm("Delete?"));
  EXPECT_EQ(t->keys_left(), 0u) << "each answer leaves the menu at once";
}

TEST(KeyDirection, ForwardUnlessUpLeftOrAccept) {
  auto* t = ui::install_fake_terminal();
  for (auto [key, down] : {std::pair{ui::key::kReturn, 1},
                           {ui::key::kDown, 1},
                           {ui::key::kTab, 1},
                           {ui::key::kRight, 1},
                           {ui::key::kUp, 0},
                           {ui::key::kLeft, 0},
                           {ui::key::kEsc, 0}}) {
    t->push(key);
    ui::read_key();
    EXPECT_EQ(iskeydown(), down) << "key " << key;
  }
}

}  // namespace
