// Text at a place, the message, error and comment lines, plain output
// lines and the pause.
#include "screen/lines.h"

#include <string>

#include "core/errors.h"
#include "core/runtime.h"
#include "screen/screen.h"
#include "screen/screen_state.h"
#include "screen/utf8.h"

namespace rt::ui {

using namespace detail;

namespace {
// Text written on the screen's last line replaces what the error line
// showed there: the error is taken down instead of hiding the new text
// until the next key.
void replaces_error_line(const Window& w, int row) {
  if (w.line + row == kScreenLines - 1) st().error_shown = false;
}
}  // namespace

void display_at(std::string_view text, int line, int col, std::uint8_t attr) {
  Window& w = cur();
  replaces_error_line(w, line - 1);
  if (text.empty())
    w.grid.blank(line - 1, col - 1);
  else
    w.grid.put(line - 1, col - 1, text, attr);
  present();
}

void message(std::string_view text) {
  Window& w = cur();
  w.grid.blank(st().message_line - 1, 0);
  w.grid.put(st().message_line - 1, 0, text);
  present();
}

void error(std::string_view text) {
  auto& s = st();
  term().bell();
  s.error_text = std::string(fit_columns(text, 80));
  s.error_shown = true;
  s.last_error_code = 0;
  present();
}

void error(int code, std::string_view text) {
  error(text);
  st().last_error_code = code;
}

void error(int code) { error(code, err::text(code)); }

int last_error_code() { return st().last_error_code; }

void comment(std::string_view text) {
  Window& w = cur();
  int r = comment_row();
  w.grid.blank(r, 0);
  w.grid.put(r, 0, text);
  present();
}

void display_line(std::string_view text) {
  Window& w = cur();
  replaces_error_line(w, w.rows - 1);
  w.grid.blank(w.rows - 1, 0);
  w.grid.put(w.rows - 1, 0, text);
  st().output_lines.emplace_back(text);
  present();
}

void sleep_seconds(int n) {
  show();
  for (int i = 0; i < n * 10 && !rt::quit_flag; ++i) term().sleep_ms(100);
  if (rt::quit_flag) rt::stop_on_signal();
}

}  // namespace rt::ui
