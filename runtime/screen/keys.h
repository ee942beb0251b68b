// Key codes of the screen runtime and their names.
//
// A key code is an int: a typed character is its Unicode code point (so
// control keys are 1..31, Esc 27), and every key that is not a character
// (arrows, function keys, paging) has a code above the last code point.
// The terminal layer turns whatever the terminal sends into these codes;
// nothing above it ever sees a terminal's escape sequences.
//
// Names are those the programs use: "up", "down", "left", "right",
// "accept", "interrupt", "help", "return", "tab", "escape", "f1".."f64",
// "control-a".."control-z", "insert", "delete", "home", "end",
// "nextpage", "prevpage", "pgdn", "pgup", "backspace".
// Owns no state.
#pragma once

#include <string>
#include <string_view>

namespace rt::ui {

namespace key {
inline constexpr int kNone = -1;  // no key (time-out, swallowed sequence)
inline constexpr int kTab = 9;
inline constexpr int kReturn = 13;
inline constexpr int kEsc = 27;
inline constexpr int kSpace = 32;
inline constexpr int kInterrupt = 3;  // Ctrl-C
inline constexpr int kHelp = 23;      // Ctrl-W
inline constexpr int kAccept = kEsc;

inline constexpr int kSpecial = 0x110000;  // above every code point
inline constexpr int kUp = kSpecial + 1;
inline constexpr int kDown = kSpecial + 2;
inline constexpr int kLeft = kSpecial + 3;
inline constexpr int kRight = kSpecial + 4;
inline constexpr int kHome = kSpecial + 5;
inline constexpr int kEnd = kSpecial + 6;
inline constexpr int kPgUp = kSpecial + 7;
inline constexpr int kPgDn = kSpecial + 8;
inline constexpr int kInsert = kSpecial + 9;
inline constexpr int kDelete = kSpecial + 10;
inline constexpr int kBackspace = kSpecial + 11;
inline constexpr int kBacktab = kSpecial + 12;
inline constexpr int kResize = kSpecial + 13;  // terminal size changed
inline constexpr int kF0 = kSpecial + 0x100;

constexpr int f(int n) { return kF0 + n; }                   // f(5) is F5
constexpr int ctrl(char c) { return (c | 0x20) - 'a' + 1; }  // ctrl('f') is 6

// The runtime's own keys in arrays: F1 insert row, F2 delete row, F3/PgDn
// next page, F4/PgUp previous page. Each has a control key for terminals
// whose function keys do not arrive: Ctrl-N (new row), Ctrl-E (erase
// row), Ctrl-G and Ctrl-K (next and previous page). A program's own
// on-key event for one of these control keys comes first.
inline constexpr int kInsertRow = kF0 + 1;
inline constexpr int kDeleteRow = kF0 + 2;
inline constexpr int kNextPage = kF0 + 3;
inline constexpr int kPrevPage = kF0 + 4;

// The array key a control key stands for; other keys unchanged.
constexpr int array_key(int k) {
  switch (k) {
    case ctrl('n'): return kInsertRow;
    case ctrl('e'): return kDeleteRow;
    case ctrl('g'): return kNextPage;
    case ctrl('k'): return kPrevPage;
    default: return k;
  }
}
}  // namespace key

// Code of a named key ("up", "accept", "f5", "control-f", a single
// character such as "a"); key::kNone for a name nobody knows. Names are
// compared without regard to letter case.
int key_code(std::string_view name);

// Readable name of a code ("f5", "control-f", "up", "a"), for messages
// and tests.
std::string key_name(int code);

// True for a code that types a character into a field.
inline bool is_printable(int code) { return code >= 32 && code != 127 && code < key::kSpecial; }

}  // namespace rt::ui
