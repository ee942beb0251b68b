// The seam between the screen runtime and a real terminal.
//
// The runtime composes the whole 24x80 screen into a Grid and hands it to
// a Terminal, which copies it out (only what changed) and reads keys
// already decoded into key codes (keys.h). CursesTerminal is the real one
// (ncursesw, keys through terminfo); FakeTerminal records what was shown
// and feeds scripted keys, for unit tests without a terminal. Nothing but
// a Terminal ever writes to the terminal.
#pragma once

#include "screen/grid.h"

namespace rt::ui {

class Terminal {
 public:
  virtual ~Terminal() = default;

  // Shows the screen at the terminal's top-left corner, the cursor at
  // (row, col) counted from 0, or hidden when row < 0.
  virtual void present(const Grid& screen, int cursor_row, int cursor_col) = 0;
  // The next key within timeout_ms milliseconds, or key::kNone. Unknown
  // escape sequences are swallowed (kNone); a size change gives
  // key::kResize.
  virtual int read_key(int timeout_ms) = 0;
  // A plain audible bell.
  virtual void bell() = 0;
  // The next present() repaints the whole terminal (Ctrl-R, resize).
  virtual void force_repaint() = 0;
  virtual void sleep_ms(int ms) = 0;
  // The terminal's size now.
  virtual int lines() const = 0;
  virtual int columns() const = 0;
  // Characters outside ASCII can be shown and typed (a UTF-8 locale).
  virtual bool utf8() const = 0;
  // Shows a notice on an otherwise blank terminal (the terminal is smaller
  // than the screen).
  virtual void show_notice(const char* text) = 0;
  // Leaves the terminal as it was found. Safe to call twice.
  virtual void shutdown() = 0;
};

}  // namespace rt::ui
