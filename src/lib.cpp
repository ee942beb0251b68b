// Title bar, message box, Yes/No confirmation, key-help line and key
// direction: see lib.h.
#include "lib.h"

#include <algorithm>

#include "screen/ui.h"
#include "screen/utf8.h"
#include "values/value.h"

void banner(std::string_view lv_s, int lv_width) {
  rt::ui::display_at(banner_line(lv_s, lv_width), 1, 1, rt::ui::kReverse);
}

void msgbox(std::string_view lv_s) {
  // The window and its border take the message's width plus four columns:
  // 76 columns of message fill the 80-column screen. A longer message is
  // cut to that rather than stopping the program with a window that does
  // not fit; the mark " ok " needs a window four columns wide.
  constexpr int kMaxText = 76;
  std::string text(rt::ui::fit_columns(rt::rtrim(rt::cut_chars(lv_s, 80)), kMaxText));
  int len = rt::ui::text_width(text);
  int width = std::max(len, 2) + 2;
  // Centred on the 78 columns inside the screen's outer columns, the higher
  // column when the difference is odd, and never on the screen's first
  // column, where the left border would have no room.
  int start = std::max((79 - len) / 2, 2);
  rt::ui::open_window("w_msg", 10, start, 4, width, true);
  int mark = (width - 2) / 2;
  rt::ui::display_at(" ok ", 3, mark, rt::ui::kReverse);
  rt::ui::display_at(text, 1, 2);
  rt::ui::read_key();
  rt::ui::close_window("w_msg");
}

bool confirm(std::string_view lv_question) {
  bool yes = false;
  rt::ui::RingMenu menu{std::string(lv_question)};
  menu.option("Yes", "", [&] {
    yes = true;
    menu.exit_menu();
  });
  menu.option("No", "", [&] { menu.exit_menu(); });
  menu.next_option("No");
  menu.run();
  return yes;
}

void active_keys(std::string_view lv_s) { rt::ui::message(active_keys_text(lv_s)); }

int iskeydown() {
  int k = rt::ui::last_key();
  bool back = k == rt::ui::key_code("up") || k == rt::ui::key_code("accept") || k == rt::ui::key_code("left");
  return back ? 0 : 1;
}
