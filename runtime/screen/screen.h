// The 24x80 screen of a program: start and end, options, windows, keys.
//
// The screen is a stack of windows over the full screen (the window named
// "screen"); the current window is on top. Each window keeps its own grid,
// so closing a window shows again what lay below it. Lines and columns in
// this API count from 1 at the top-left of the current window (inside its
// border). Every display operation shows its effect at once; the terminal
// receives only what changed.
//
// Reserved lines (options, relative to the current window): prompt line 1,
// menu line 1 (its help on the line below), message line 2, form line 3,
// comment line 23 on the full screen and the last line of a window; the
// error line is always line 24 of the screen, above every window.
//
// The terminal is started on first use (or by start()): raw mode, except
// that once interrupts are deferred Ctrl-C raises SIGINT, so that the flag
// is set the moment it is pressed, also while the program is busy; a short
// Esc delay; keys through terminfo and the common alternative sequences.
// A clean-up registered with rt::add_cleanup restores the terminal on
// every way out; a terminal that has gone away ends the run as a hang-up
// does. On a terminal smaller than 24x80 the screen shows a notice and
// waits until it is large enough; Ctrl-C there ends the program (exit
// status 1). Never runs SQL.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "screen/terminal.h"

namespace rt::ui {

inline constexpr int kScreenLines = 24;
inline constexpr int kScreenCols = 80;

// Starts the real terminal unless one is in use. Idempotent.
void start();
// What is drawn reaches the terminal when the program next waits: for a
// key, in a pause, or here. flush() sends, at once, what was drawn and not
// yet sent; the program's layer calls it before each call to the database
// and before a command is started, so that a message drawn before long
// work is on the terminal while the work runs. A key costs one write to
// the terminal however many drawings answered it. Does nothing before the
// terminal is started or when everything drawn was sent.
void flush();
// Restores the terminal (also run as a clean-up). Idempotent. Lines given
// to display_line() while the screen was up are written to standard output
// afterwards.
void stop();
// Whether a terminal is in use.
bool started();
// Replaces the terminal and resets every screen state (windows, forms,
// options, last key): for tests, with a FakeTerminal. The runtime keeps
// the terminal until the next use_terminal() or stop().
void use_terminal(std::unique_ptr<Terminal> term);

// Options. Lines count within the current window.
void set_menu_line(int line);
void set_message_line(int line);
void set_form_line(int line);
void set_comment_line(int line);
void set_prompt_line(int line);
// With input wrap on, moving on from the last field of an input goes back
// to the first; with it off (the default) it ends the input as accept does.
void set_input_wrap(bool on);
bool input_wrap();
// Help file name, looked up at Ctrl-W in the working directory, then in
// the installed data directory, then beside the executable.
void set_help_file(std::string name);
const std::string& help_file();

// Windows. The window becomes current and lies on top. A name already open
// is a program error (the runtime's error report), as is a window that does
// not fit the 24x80 screen (with its border).
void open_window(std::string name, int line, int col, int rows, int cols, bool border = false);
// Opens a window sized to the form and displays the form in it (form line
// 0 at the window's line 1). The form is opened under its own name unless
// a form of that name is open already.
struct FormDef;
void open_window_with_form(std::string name, int line, int col, const FormDef& form, bool border = false);
// Makes an open window current and puts it on top ("screen" is the full
// screen).
void current_window(std::string_view name);
// Closes a window; what lay below shows again, and the window below it on
// the stack becomes current when the closed one was.
void close_window(std::string_view name);
std::string current_window_name();
// Size of the current window (inside its border).
int window_lines();
int window_cols();

// Keys. read_key() waits for one key (Ctrl-R and Ctrl-L redraw and are not
// returned; Ctrl-C pressed during the wait returns key::kInterrupt with
// rt::int_flag 1; one pressed before the wait only set the flag). The last
// key read by any dialog is last_key().
int read_key();
int last_key();
// Reads, without waiting, what was typed while the program is busy (a
// statement waits for a lock): Ctrl-C sets rt::int_flag at once and is not
// kept as a key; other keys are kept, in order, for the next key wait.
void poll_keys();
// Rings the bell.
void bell();
// Repaints the whole terminal.
void redraw();

}  // namespace rt::ui
