// Text on the screen outside forms: text at a line and column, the
// message, error and comment lines, plain output lines, and the pause.
//
// An error rings the bell and stays on the error line (screen line 24,
// above every window) until the next key, or until text is displayed on
// that line, which replaces it; the message line keeps its text until
// something else is written there. Writing over the menu's lines
// does not harm the menu: it draws itself again when it runs on.
#pragma once

#include <cstdint>
#include <string_view>

#include "screen/grid.h"

namespace rt::ui {

// Text at (line, col) of the current window, clipped at its right edge.
// An empty text clears the line from col to its end.
void display_at(std::string_view text, int line, int col, std::uint8_t attr = kNormal);
// Replaces the text of the message line of the current window.
void message(std::string_view text);
// Rings the bell and shows the text on the error line until the next key.
void error(std::string_view text);
// The runtime's own errors, kept with their numbers for the program.
void error(int code, std::string_view text);
// The runtime's own error `code` with its text (core/errors.h).
void error(int code);
// Number of the last runtime error shown (0 after a program's own error).
int last_error_code();
// Shows (or with "" clears) the comment line of the current window.
void comment(std::string_view text);
// Plain line output: the text on the last line of the current window, and
// again on standard output once the terminal is restored.
void display_line(std::string_view text);
// Shows the screen as it is and waits n seconds.
void sleep_seconds(int n);

}  // namespace rt::ui
