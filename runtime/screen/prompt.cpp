// The prompt: a question and an answer on the prompt line.
#include "screen/prompt.h"

#include "core/runtime.h"
#include "screen/field_edit.h"
#include "screen/keys.h"
#include "screen/screen.h"
#include "screen/screen_state.h"
#include "screen/utf8.h"

namespace rt::ui {

using namespace detail;

namespace {
// Draws the question and returns the column where the answer starts.
int ask(Window& w, int line, std::string_view question) {
  begin_dialog();
  w.grid.blank(line, 0);
  return w.grid.put(line, 0, question);
}

void done(Window& w, int line) {
  w.grid.blank(line, 0);
  st().cursor_win = nullptr;
  present();
}
}  // namespace

std::string prompt(std::string_view question, int max_len) {
  Window& w = cur();
  int line = st().prompt_line - 1;
  int col = ask(w, line, question);
  int width = std::max(1, w.cols - col - 1);
  FieldEdit ed;
  ed.configure(width, 0, max_len, false);
  ed.start("");
  Terminal& t = term();
  bool insert = true;
  for (;;) {
    w.grid.blank(line, col);
    std::string text = ed.text();
    std::string_view view = text;
    for (int k = 0, i = 0; k < ed.scroll(); ++k) {
      char32_t cp;
      i += utf8_decode(view, static_cast<std::size_t>(i), cp);
      if (k + 1 == ed.scroll()) view = view.substr(static_cast<std::size_t>(i));
    }
    w.grid.put(line, col, view, kNormal, width);
    st().cursor_win = &w;
    st().cursor_line = line;
    st().cursor_col = col + ed.cursor_col();
    int k = wait_key();
    bool ok = true;
    switch (k) {
      case key::kReturn: {
        done(w, line);
        std::string s = ed.text();
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
      }
      case key::kInterrupt: done(w, line); return std::string();
      case key::kLeft: ed.left(); break;
      case key::kRight: ed.right(); break;
      case key::kHome: ed.home(); break;
      case key::kEnd: ed.end(); break;
      case key::kBackspace: ok = ed.backspace(); break;
      case key::ctrl('x'):
      case key::kDelete: ed.del(); break;
      case key::ctrl('d'): ed.clear_to_end(); break;
      case key::ctrl('a'):
      case key::kInsert: insert = !insert; break;
      default:
        if (is_printable(k)) ok = (t.utf8() || k < 128) && ed.type(static_cast<char32_t>(k), insert);
        break;
    }
    if (!ok) t.bell();
  }
}

std::string prompt_char(std::string_view question) {
  Window& w = cur();
  int line = st().prompt_line - 1;
  int col = ask(w, line, question);
  st().cursor_win = &w;
  st().cursor_line = line;
  st().cursor_col = std::min(col, w.cols - 1);
  int k = wait_key();
  done(w, line);
  if (k == key::kInterrupt || !is_printable(k)) return std::string();
  return utf8_encode(static_cast<char32_t>(k));
}

}  // namespace rt::ui
