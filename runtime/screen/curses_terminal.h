// The real terminal, on ncursesw.
//
// Raw mode (Ctrl-S, Ctrl-Z and Ctrl-\ arrive as keys; Ctrl-C too until
// interrupts are deferred, then it raises SIGINT), no echo, Return as 13,
// keys decoded through terminfo (keypad) with a 25 ms Esc delay. Besides
// terminfo's own strings, the sequences that xterm, VT220-style terminals
// (tmux, screen), rxvt, PuTTY and the Linux console send for Home, End,
// Insert, Delete, the paging keys, the arrows and F1-F12 are recognised
// wherever terminfo binds nothing to them. An escape sequence that neither
// knows is swallowed whole. Line characters are drawn as Unicode in a UTF-8
// locale and with the terminal's alternate character set otherwise. The
// screen is written only where it changed since the last present(). A
// terminal whose input reads end of file (its line is gone) sets
// rt::quit_flag, so that the run ends as on a hang-up.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "screen/terminal.h"

namespace rt::ui {

// Starts curses on the controlling terminal. A terminal that cannot be
// used (no terminal, unknown TERM, a TERM that cannot address the cursor)
// stops the program with one clear line.
std::unique_ptr<Terminal> make_curses_terminal();

// An alternative sequence and the key it stands for.
struct AltKey {
  const char* sequence;
  int code;
};
const std::vector<AltKey>& alternative_key_sequences();

// The lines of a notice wrapped at blanks to `width` columns (ASCII text).
std::vector<std::string> notice_lines(std::string_view text, int width);

}  // namespace rt::ui
