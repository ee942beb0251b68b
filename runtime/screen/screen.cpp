// The screen state: terminal start and end, options, the window stack,
// composition and the key wait that every dialog goes through.
#include "screen/screen.h"

#include <cstdio>
#include <source_location>

#include "core/errors.h"
#include "core/runtime.h"
#include "screen/curses_terminal.h"
#include "screen/keys.h"
#include "screen/screen_state.h"

namespace rt::ui {
namespace detail {

namespace {
constexpr const char* kTooSmallNotice =
    "This program needs a terminal of at least 24 lines and 80 columns. Please make the window larger, or press "
    "Ctrl-C to leave.";
}  // namespace

State& st() {
  static State s;
  return s;
}

namespace {
void restore_terminal() { stop(); }

void ensure_base() {
  auto& s = st();
  if (!s.stack.empty()) return;
  auto w = std::make_unique<Window>();
  w->name = "screen";
  w->rows = kScreenLines;
  w->cols = kScreenCols;
  w->grid = Grid(kScreenLines, kScreenCols);
  s.stack.push_back(std::move(w));
}
}  // namespace

Terminal& term() {
  auto& s = st();
  if (!s.term) {
    s.term = make_curses_terminal();
    rt::add_cleanup(restore_terminal);
  }
  ensure_base();
  return *s.term;
}

Window& cur() {
  term();
  return *st().stack.back();
}

Window* find_window(std::string_view name) {
  term();
  for (auto& w : st().stack)
    if (w->name == name) return w.get();
  return nullptr;
}

void reset_state() {
  auto& s = st();
  auto t = std::move(s.term);
  s = State();
  s.term = std::move(t);
  ensure_base();
}

void program_error(std::string_view what) { rt::fatal_error(std::source_location::current(), err::kProgram, what); }

int comment_row() {
  auto& s = st();
  const Window& w = cur();
  if (w.name == "screen") return s.comment_line - 1;
  return w.rows - 1;
}

namespace {
void draw_border(Grid& g, const Window& w) {
  int top = w.line - 1, left = w.col - 1, bottom = w.line + w.rows, right = w.col + w.cols;
  auto put = [&](int r, int c, const char* ch) {
    if (r >= 0 && r < g.rows() && c >= 0 && c < g.cols()) g.put(r, c, ch);
  };
  put(top, left, "┌");
  put(top, right, "┐");
  put(bottom, left, "└");
  put(bottom, right, "┘");
  for (int c = w.col; c < right; ++c) put(top, c, "─"), put(bottom, c, "─");
  for (int r = w.line; r < bottom; ++r) put(r, left, "│"), put(r, right, "│");
}
}  // namespace

Grid compose() {
  auto& s = st();
  Grid out(kScreenLines, kScreenCols);
  for (const auto& w : s.stack) {
    if (w->border) draw_border(out, *w);
    out.blit(w->grid, w->line, w->col);
  }
  if (s.error_shown) {
    out.blank(kScreenLines - 1, 0);
    out.put(kScreenLines - 1, 0, s.error_text, kReverse);
  }
  return out;
}

void present() { st().unshown = true; }

void show() {
  auto& s = st();
  Terminal& t = term();
  s.unshown = false;
  if (t.lines() < kScreenLines || t.columns() < kScreenCols) {
    if (!s.too_small) s.int_at_notice = rt::int_count;
    s.too_small = true;
    t.show_notice(kTooSmallNotice);
    return;
  }
  if (s.too_small) {
    s.too_small = false;
    t.force_repaint();
  }
  // The terminal threw away output still queued when Ctrl-C was pressed.
  if (s.int_painted != rt::int_count) {
    s.int_painted = rt::int_count;
    t.force_repaint();
  }
  int r = -1, c = -1;
  if (s.cursor_win) {
    for (const auto& w : s.stack)
      if (w.get() == s.cursor_win) {
        r = w->line + s.cursor_line;
        c = w->col + s.cursor_col;
        if (r >= kScreenLines || c >= kScreenCols) r = c = -1;
      }
  }
  t.present(compose(), r, c);
}

void begin_dialog() { st().int_seen = rt::int_count; }

namespace {
// An interrupt that the running dialog has not seen yet, and that the
// program has not answered by setting the flag back to 0.
bool interrupt_arrived() {
  auto& s = st();
  if (s.int_seen == rt::int_count) return false;
  s.int_seen = rt::int_count;
  return rt::int_flag != 0;
}

// Ctrl-C on the notice of a terminal too small for the screen: the only
// way out that the operator has, so it ends the program.
[[noreturn]] void leave_small_terminal() {
  rt::run_cleanups();
  std::fputs("The program was ended: its terminal is smaller than 24 lines and 80 columns.\n", stderr);
  rt::exit_program(1);
}
}  // namespace

int wait_key() {
  auto& s = st();
  Terminal& t = term();
  show();
  rt::set_quit_deferred(true);
  int k = key::kNone;
  for (;;) {
    if (rt::quit_flag) rt::stop_on_signal();
    if (s.too_small && rt::int_count != s.int_at_notice) leave_small_terminal();
    if (interrupt_arrived()) {
      k = key::kInterrupt;
      break;
    }
    if (!s.typed_ahead.empty()) {
      const State::QueuedKey q = s.typed_ahead.front();
      s.typed_ahead.pop_front();
      if (q.int_count != rt::int_count) continue;  // typed before an interrupt
      k = q.key;
    } else {
      k = t.read_key(50);
    }
    if (rt::quit_flag) rt::stop_on_signal();
    if (k == key::kNone) continue;
    // The interrupt reached the program while the key was read: it was
    // pressed before the key was, and the key waits for the next read.
    if (interrupt_arrived()) {
      s.typed_ahead.push_front({k, rt::int_count});
      k = key::kInterrupt;
      break;
    }
    if (k == key::kResize || k == key::ctrl('r') || k == key::ctrl('l')) {
      t.force_repaint();
      show();
      continue;
    }
    if (s.too_small) {
      if (k == key::kInterrupt) leave_small_terminal();
      show();
      continue;
    }
    break;
  }
  rt::set_quit_deferred(false);
  // Ctrl-C read as a key (interrupts not deferred, or a scripted terminal).
  if (k == key::kInterrupt) rt::int_flag = 1;
  s.last_key = k;
  if (s.error_shown) {
    s.error_shown = false;
    present();
  }
  return k;
}

}  // namespace detail

using namespace detail;

void start() { term(); }

void flush() {
  auto& s = st();
  if (s.term && s.unshown) show();
}

void stop() {
  auto& s = st();
  if (!s.term) return;
  s.term->shutdown();
  for (const auto& line : s.output_lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  s.output_lines.clear();
}

bool started() { return st().term != nullptr; }

void use_terminal(std::unique_ptr<Terminal> t) {
  auto& s = st();
  if (s.term) s.term->shutdown();
  s.term = std::move(t);
  reset_state();
}

void set_menu_line(int line) { st().menu_line = line; }
void set_message_line(int line) { st().message_line = line; }
void set_form_line(int line) { st().form_line = line; }
void set_comment_line(int line) { st().comment_line = line; }
void set_prompt_line(int line) { st().prompt_line = line; }
void set_input_wrap(bool on) { st().input_wrap = on; }
bool input_wrap() { return st().input_wrap; }
void set_help_file(std::string name) { st().help_file = std::move(name); }
const std::string& help_file() { return st().help_file; }

void open_window(std::string name, int line, int col, int rows, int cols, bool border) {
  term();
  if (find_window(name)) program_error("Window " + name + " is already open.");
  int b = border ? 1 : 0;
  if (rows < 1 || cols < 1 || line - b < 1 || col - b < 1 || line + rows - 1 + b > kScreenLines ||
      col + cols - 1 + b > kScreenCols)
    program_error("Window " + name + " does not fit on the 24x80 screen.");
  auto w = std::make_unique<Window>();
  w->name = std::move(name);
  w->line = line - 1;
  w->col = col - 1;
  w->rows = rows;
  w->cols = cols;
  w->border = border;
  w->grid = Grid(rows, cols);
  st().stack.push_back(std::move(w));
  present();
}

void current_window(std::string_view name) {
  auto& s = st();
  term();
  for (std::size_t i = 0; i < s.stack.size(); ++i) {
    if (s.stack[i]->name == name) {
      auto w = std::move(s.stack[i]);
      s.stack.erase(s.stack.begin() + static_cast<long>(i));
      s.stack.push_back(std::move(w));
      present();
      return;
    }
  }
  program_error("Window " + std::string(name) + " is not open.");
}

void close_window(std::string_view name) {
  auto& s = st();
  term();
  if (name == "screen") program_error("The screen cannot be closed as a window.");
  for (std::size_t i = 0; i < s.stack.size(); ++i) {
    if (s.stack[i]->name == name) {
      if (s.cursor_win == s.stack[i].get()) s.cursor_win = nullptr;
      s.stack.erase(s.stack.begin() + static_cast<long>(i));
      present();
      return;
    }
  }
  program_error("Window " + std::string(name) + " is not open.");
}

std::string current_window_name() { return cur().name; }
int window_lines() { return cur().rows; }
int window_cols() { return cur().cols; }

int read_key() {
  begin_dialog();
  return wait_key();
}
int last_key() { return st().last_key; }

void poll_keys() {
  auto& s = st();
  if (!s.term) return;
  for (int k = s.term->read_key(0); k != key::kNone; k = s.term->read_key(0)) {
    if (k == key::kInterrupt)
      rt::int_flag = 1;
    else
      s.typed_ahead.push_back({k, rt::int_count});
  }
}
void bell() { term().bell(); }
void redraw() {
  term().force_repaint();
  present();
}

}  // namespace rt::ui
