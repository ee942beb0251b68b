// The test terminal: records the screen, plays a key script.
#include "screen/fake_terminal.h"

#include <memory>

#include "screen/keys.h"
#include "screen/screen.h"
#include "screen/utf8.h"

namespace rt::ui {

void FakeTerminal::type(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    i += static_cast<std::size_t>(utf8_decode(text, i, cp));
    keys_.push_back(static_cast<int>(cp));
  }
}

const Grid& FakeTerminal::screen() const {
  flush();
  return shown_;
}
std::string FakeTerminal::row(int line) const {
  const Grid& g = screen();
  return g.rows() ? g.row_text(line - 1) : std::string();
}
int FakeTerminal::cursor_line() const {
  flush();
  return cur_row_ + 1;
}
int FakeTerminal::cursor_col() const {
  flush();
  return cur_col_ + 1;
}

void FakeTerminal::present(const Grid& screen, int cursor_row, int cursor_col) {
  ++presents_;
  shown_ = screen;
  cur_row_ = cursor_row;
  cur_col_ = cursor_col;
}

int FakeTerminal::read_key(int) {
  if (keys_.empty() && idle_) idle_(*this);
  if (keys_.empty()) throw OutOfKeys();
  int k = keys_.front();
  keys_.pop_front();
  return k;
}

FakeTerminal* install_fake_terminal(bool utf8) {
  auto t = std::make_unique<FakeTerminal>(utf8);
  FakeTerminal* p = t.get();
  use_terminal(std::move(t));
  return p;
}

}  // namespace rt::ui
