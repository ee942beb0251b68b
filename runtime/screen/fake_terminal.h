// A terminal for tests: it keeps the last screen shown and feeds keys from
// a script. When the script runs dry, the idle hook runs (it may look at
// the screen and push more keys); without a hook, or when the hook pushes
// nothing, read_key throws OutOfKeys so that a dialog that does not end
// fails the test instead of hanging it.
//
//   auto* t = rt::ui::install_fake_terminal();
//   t->push({'a', rt::ui::key::kEsc});
//   rt::ui::input(...);
//   EXPECT_EQ(t->row(6), "...");   // screen line 6, counted from 1
#pragma once

#include <deque>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "screen/terminal.h"

namespace rt::ui {

class FakeTerminal : public Terminal {
 public:
  struct OutOfKeys : std::runtime_error {
    OutOfKeys() : std::runtime_error("fake terminal: no more keys") {}
  };

  explicit FakeTerminal(bool utf8 = true, int lines = 24, int cols = 80) : utf8_(utf8), lines_(lines), cols_(cols) {}

  void push(std::initializer_list<int> keys) { keys_.insert(keys_.end(), keys); }
  void push(int key) { keys_.push_back(key); }
  // Each byte (or UTF-8 character) of text as one key.
  void type(std::string_view text);
  void when_idle(std::function<void(FakeTerminal&)> hook) { idle_ = std::move(hook); }
  void set_size(int lines, int cols) {
    lines_ = lines;
    cols_ = cols;
  }

  // What the terminal shows once the program's last drawing is sent, as it
  // is when the program next waits: reading it sends that drawing
  // (screen.h: flush). Line counts from 1.
  const Grid& screen() const;
  std::string row(int line) const;
  int cursor_line() const;  // 0 when hidden
  int cursor_col() const;
  // How many times the screen was sent to this terminal.
  int presents() const { return presents_; }
  int bells() const { return bells_; }
  int repaints() const { return repaints_; }
  const std::string& notice() const { return notice_; }
  std::size_t keys_left() const { return keys_.size(); }

  void present(const Grid& screen, int cursor_row, int cursor_col) override;
  int read_key(int timeout_ms) override;
  void bell() override { ++bells_; }
  void force_repaint() override { ++repaints_; }
  void sleep_ms(int) override {}
  int lines() const override { return lines_; }
  int columns() const override { return cols_; }
  bool utf8() const override { return utf8_; }
  void show_notice(const char* text) override { notice_ = text; }
  void shutdown() override {}

 private:
  bool utf8_;
  int lines_, cols_;
  std::deque<int> keys_;
  std::function<void(FakeTerminal&)> idle_;
  Grid shown_;
  int cur_row_ = -1, cur_col_ = -1;
  int presents_ = 0;
  int bells_ = 0, repaints_ = 0;
  std::string notice_;
};

// Installs a new FakeTerminal (use_terminal) and returns it; the runtime
// owns it.
FakeTerminal* install_fake_terminal(bool utf8 = true);

}  // namespace rt::ui
