// Message windows and key help: the title bar, the pop-up message box, the
// Yes/No confirmation, the key-help line and the direction of the last field move. They hold no
// state between calls and touch neither the database nor any file.
#pragma once

#include <string>
#include <string_view>

// Writes `lv_s` centred within `lv_width` columns as a reverse-video bar on
// line 1 of the current window (the full screen when no window is open).
void banner(std::string_view lv_s, int lv_width);

// A bordered window at screen line 10 with the message and an "ok" mark;
// returns after one key press, the window closed again.
void msgbox(std::string_view lv_s);

// Shows the labels of the key code letters in `lv_s` on the message line.
void active_keys(std::string_view lv_s);

// A Yes/No ring menu titled with the question, its cursor on "No" before
// it is shown: Return at once answers no. Either option leaves it at once;
// true for "Yes".
bool confirm(std::string_view lv_question);

// 1 when the key that ended the last field moved forward, else 0.
int iskeydown();

// The pure halves of the above, for the screen-free tests.
std::string banner_line(std::string_view lv_s, int lv_width);
std::string active_keys_text(std::string_view lv_s);
