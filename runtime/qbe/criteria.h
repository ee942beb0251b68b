// Query by example: the criteria an operator types into a form field, read
// and written as the SQL condition text that the program appends to its
// statement.
//
// What an operator types (blanks around the whole and around each element
// are not part of it; `\` makes the next character literal, so `\ ` keeps a
// blank and `\*`, `\?`, `\|`, `\:`, `\\` are plain characters):
//
//   value        equal; in a CHAR field an unescaped `*` or `?` makes it a
//                pattern (`col matches '…'`), and only then are `[…]` sets;
//                brackets alone are part of the value (`col='[a-z]'`)
//   =            col is null
//   <>  !=       col is not null
//   =v >v >=v <v <=v <>v !=v
//                comparison; the value after the operator is taken as it
//                stands, wildcards, `|` and `:` included (`col='abc*'`)
//   a:b          col between a and b, both ends values
//   a|b|c        col in (a,b,c); in a CHAR field, when any element is a
//                pattern: (col='a' or col matches 'b*' or …)
//
// The text produced has lower-case keywords, no blanks around comparison
// operators, the column as the caller names it, numbers bare in canonical
// form, character values and dates in single quotes with quotes doubled,
// dates as ten characters in the DBDATE order and separator. The shape is
// fixed: programs cut the text at fixed positions, e.g. the condition for
// "<=12/31/2026" on ar_item.ar_tran_dt is exactly
// `ar_item.ar_tran_dt<='12/31/2026'`.
//
// Nothing an operator types reaches the text as SQL syntax: every value is
// checked against the field's type and written anew. A criterion that is
// not valid for the type is refused with -1304 "Error in field.".
//
// Pure functions: no terminal, no database, no global state. The screen
// layer calls them from its query-by-example input; the programs call
// `statement_text` and `construct_element`.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "values/date.h"
#include "values/value.h"

namespace rt::qbe {

struct Condition {
  bool ok = true;
  // The condition; "" when nothing was typed (ok stays true).
  std::string text;
  // When !ok: the number (err::kInField for a refused criterion, 0 for a
  // statement that is too long) and the text for the error line.
  int error_code = 0;
  std::string error_message;
};

// The condition for one field. `column` is written as given, normally
// table-qualified ("iq_salesman_name.iqsn_code"). The criteria may be
// longer than the field is wide; it is never cut.
Condition field_condition(std::string_view column, const Type& type, std::string_view criteria, const DateFormat& fmt);

// The conditions of several fields joined by " and ", empty ones left out;
// "1=1", which every row satisfies, when none is left.
std::string join_conditions(const std::vector<std::string>& parts);

// The construct-element builder: the condition for one column from a
// criteria text, a type and a field size. `table` and `column` are joined
// with "." as given, so "upper(t" and "c)" give upper(t.c) (an empty
// table gives the column alone). For a CHAR type `size` is the field's
// width, replacing the type's; the criteria are not cut to it. Empty
// criteria give "1=1".
Condition construct_element(std::string_view criteria, const Type& type, int size, std::string_view table,
                            std::string_view column, const DateFormat& fmt);

// A date as a condition carries it: in the DBDATE order and separator,
// always with a four-digit year ("12/31/2026" also under MDY2/).
std::string condition_date(Date d, const DateFormat& fmt);

// A statement built from a condition, `head` + condition without trailing
// blanks + `tail`, refused when it is longer than `limit` bytes (the
// program's statement text) rather than cut into invalid SQL.
Condition statement_text(std::string_view head, std::string_view condition, std::string_view tail, std::size_t limit);

}  // namespace rt::qbe
