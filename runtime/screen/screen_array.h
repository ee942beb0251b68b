// Array display and array input: rows of a program array shown through a
// screen array (a screen record of several lines) of the form in the
// current window.
//
// The program array is seen through a function giving the variables of row
// i (from 1), in the order of the screen array's fields. The row count is
// set before (set_count) and read back after (arr_count); arr_curr() and
// scr_line() tell the current row and its screen line, during the dialog
// and after it.
//
// Display array: the current row in reverse video; Up/Down move one row
// and scroll at the edges, F3/PgDn/Ctrl-G and F4/PgUp/Ctrl-K page; past either end
// -1309 "There are no more rows in the direction you are going.".
// Return and Esc end it (accepted); Ctrl-C ends it with rt::int_flag 1.
// On-key events run with the current row known; exit_input() ends it.
//
// Array input: the field loop of form input over the fields of the current
// row. Return/Tab at the row's last field go to the next row's first field
// (a new blank row at the end, while the array has room); Up/Down go to the
// row above/below in the same field; F1 or Ctrl-N inserts a blank row
// before the current one (-1307 when the array is full), F2 or Ctrl-E
// deletes the current row; F3/F4 (also PgDn/PgUp, Ctrl-G/Ctrl-K) page. A blank row added at the end and left untouched is dropped
// again. Events: before/after input, before/after row, before/after field,
// on key.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "screen/dialog.h"
#include "values/value.h"

namespace rt::ui {

using RowVars = std::function<std::vector<Value*>(int row)>;

// Number of rows for the next display_array() or input_array().
void set_count(int n);
int arr_count();
int arr_curr();
int scr_line();

// Returns true when ended by accept or Return, false when interrupted.
bool display_array(std::string_view screen_array, const RowVars& rows, const Events& events = {});

struct ArrayInputOptions {
  int max_rows = 0;              // the program array's size
  bool without_defaults = true;  // start from the rows as they are
  bool allow_insert = true;      // F1 and new rows at the end
  bool allow_delete = true;      // F2
};
bool input_array(std::string_view screen_array, const RowVars& rows, const ArrayInputOptions& opt,
                 const Events& events = {});

}  // namespace rt::ui
