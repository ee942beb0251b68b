// Lookup windows: the search list window `findit`, from which the operator
// picks a code by typing the start of its text, and the code zoom `zoom`,
// which offers a fixed list of codes (or a search) for a named column.
//
// Owns the shared list: 200 rows of code CHAR(30) and text CHAR(60) with
// the count `mv_cnt`, module state that lives for the run of the program.
// Every load overwrites rows from 1 on and sets `mv_cnt`; rows beyond it
// keep what they held and are not shown. At program start the count is 0
// and every code and text is null. After a list has been shown `mv_cnt`
// is the number of the row chosen. A caller that brings its own list
// stores rows 1..n, sets `mv_cnt` = n and calls findit("-").
//
// Owns the window `w_findit` (opened and closed within each call, on every
// way out) and the form `findit` compiled in (findit_form.cpp). The search
// text always travels to the database as a bound parameter; the statement
// texts are the caller's or fixed. Never writes to the database; on
// PostgreSQL each load reads in a unit of work of its own when the caller
// has none open (see findit.cpp), and leaves no transaction behind. An SQL
// error while preparing, opening or fetching stops the program with the
// runtime's error report, as for every statement a program does not test.
//
// `findit` cannot be entered again while it runs (one window, one list).
#pragma once

#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "screen/form.h"
#include "values/value.h"

// One row of the shared list.
struct FinditRec {
  rt::Value code{rt::char_t(30)};  // returned when the row is chosen
  rt::Value text{rt::char_t(60)};  // shown beside it
};

inline constexpr int kFinditRows = 200;

// Row i (1..200) of the shared list. Any other row number is a program
// error and stops the program with the runtime's report: the list never
// grows past its 200 rows.
FinditRec& mv_rec(int i, const std::source_location& loc = std::source_location::current());

// Number of valid rows of the shared list; after a list has been shown,
// the number of the row chosen.
extern int mv_cnt;

// The form "findit": the search text `srch`, and the screen array
// `s_array` of 7 rows of `code` (12 wide) and `text` (40 wide).
extern const rt::ui::FormDef kFinditForm;

// Opens `w_findit` at line 4, column 4 with a border, asks for a search
// text and lists the matching rows; returns the code of the row chosen
// (Return or Esc), or of the only row found without showing a list.
// Returns nullopt (NULL) when the operator interrupts the search text
// input. rt::int_flag is 0 on every return. Switches the input wrap option
// off, and it stays off.
//
// `lv_sql` (CHAR(1024), compared without trailing blanks):
//   "-"                     the caller's list in the shared list; no
//                           search text is asked for, and interrupt in the
//                           list shows the list again. With no row stored
//                           (mv_cnt 0) "No rows found" is shown and NULL
//                           returned.
//   "alt", "product",
//   "cust", "empno"         the named searches below;
//   anything else           a SELECT of two columns (code, then text) with
//                           one "?" compared by MATCHES; the column before
//                           each matches is upshifted (add_upper).
// The search text is upshifted, trailing blanks removed, and "*" appended
// (a blank text lists everything); a text with "(", ")" or "+" is searched
// with the pattern "%".
std::optional<std::string> findit(std::string_view lv_sql);

// Fills the shared list from `lv_sql` as findit() reads it, with the
// finished pattern `lv_val` for the "?", and sets the array display count
// to `mv_cnt`. At most 200 rows are kept; when the 200th is stored the
// loader's message goes to the error line and fetching stops.
void findit_load_data(std::string_view lv_sql, std::string_view lv_val);
// The named searches: alternate names, products, customers' alternate
// names and employees, each with its fixed statement and list text.
void findit_load_data_alt(std::string_view lv_val);
void findit_load_data_prod(std::string_view lv_val);
void findit_load_data_cust(std::string_view lv_val);
void findit_load_data_empno(std::string_view lv_val);

// The lookup of a field by its column name (CHAR(50), compared exactly,
// letter case included): "cust_fnc_code" searches the finance-charge
// codes; "cust_status", "cust_invoice_flag", "cust_ach_flag" and
// "glm_group" offer their fixed lists through findit("-"). Returns the
// code chosen, NULL when the operator interrupts the search text input of
// "cust_fnc_code", and `lv_val` (CHAR(50)) unchanged for any other column,
// after "No search for : <column> defined " has stood on the error line
// for 4 seconds.
std::optional<std::string> zoom(std::string_view lv_col, std::optional<std::string_view> lv_val);
