// Title bar, message box, key-help line and key direction: see lib.h.
#include "lib.h"

#include "screen/ui.h"
#include "values/value.h"

void banner(std::string_view lv_s, int lv_width) {
  rt::ui::display_at(banner_line(lv_s, lv_width), 1, 1, rt::ui::kReverse);
}

void msgbox(std::string_view lv_s) {
  std::string text = rt::rtrim(rt::cut_chars(lv_s, 80));
  int len = static_cast<int>(text.size());
  int start = (78 - len) / 2;
  int width = len + 2;
  rt::ui::open_window("w_msg", 10, start, 4, width, true);
  int mark = (width - 2) / 2;
  rt::ui::display_at(" ok ", 3, mark, rt::ui::kReverse);
  rt::ui::display_at(text, 1, 2);
  rt::ui::read_key();
  rt::ui::close_window("w_msg");
}

void active_keys(std::string_view lv_s) { rt::ui::message(active_keys_text(lv_s)); }

int iskeydown() {
  int k = rt::ui::last_key();
  bool back = k == rt::ui::key_code("up") || k == rt::ui::key_code("accept") || k == rt::ui::key_code("left");
  return back ? 0 : 1;
}
