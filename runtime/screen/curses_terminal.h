// The real terminal, on ncursesw.
//
// Raw mode (Ctrl-C, Ctrl-S and Ctrl-Z arrive as keys), no echo, Return as
// 13, keys decoded through terminfo (keypad) with a 25 ms Esc delay, so
// that xterm, rxvt-style terminals, tmux, screen and the Linux console all
// deliver their function keys. An escape sequence that terminfo does not
// know is swallowed whole. Line characters are drawn as Unicode in a UTF-8
// locale and with the terminal's alternate character set otherwise. The
// screen is written only where it changed since the last present().
#pragma once

#include <memory>

#include "screen/terminal.h"

namespace rt::ui {

// Starts curses on the controlling terminal. A terminal that cannot be
// used (no terminal, unknown TERM) stops the program with a clear message.
std::unique_ptr<Terminal> make_curses_terminal();

}  // namespace rt::ui
