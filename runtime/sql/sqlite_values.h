// How the embedded back end's values meet the program's variables: the
// parameters bound to a statement, the columns of a row stored into
// variables (or kept for a scroll cursor to deliver later), each converted
// as the column's declared type and the translation say. The form a
// DECIMAL takes in the file is sqlite_functions.h's.
//
// Never prepares or steps a statement: the back end does that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sql/backend.h"
#include "sql/convert.h"

struct sqlite3_stmt;

namespace rt::sql::detail {

// What the declared type of a result column tells: a DATE, or the scale
// of a DECIMAL(p,s) (-1 otherwise).
struct ColInfo {
  bool date = false;
  int scale = -1;
};
std::vector<ColInfo> column_info(sqlite3_stmt* st, const Translation& tr);

// The parameters converted for the columns they meet and bound in order.
Outcome bind_all(sqlite3_stmt* st, const Translation& tr, const Params& params);

// The current row of `st` into the variables.
Outcome store_row(sqlite3_stmt* st, const std::vector<ColInfo>& cols, const Into& into);

// A row kept by a scroll cursor, as read, to be stored into variables
// when it is fetched.
struct Kept {
  Fetched kind = Fetched::Null;
  std::int64_t i = 0;
  std::string text;
};
std::vector<Kept> keep_row(sqlite3_stmt* st, const std::vector<ColInfo>& cols);
Outcome store_kept(const std::vector<Kept>& row, const std::vector<ColInfo>& cols, const Into& into);

}  // namespace rt::sql::detail
