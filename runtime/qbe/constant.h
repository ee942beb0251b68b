// One criterion value written as an SQL constant of its field's type.
//
// Owns the rule that typed text never reaches SQL as typed: a number is
// read as a number and written in canonical form, a date is read in the
// DBDATE format and written back by the runtime, a character value is
// quoted with its quotes doubled. Never builds a condition and never
// knows a column.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "values/date.h"
#include "values/value.h"

namespace rt::qbe::detail {

// A date as conditions carry it: the DBDATE order and separator with a
// four-digit year (10 characters with a separator).
std::string date_text(Date d, const DateFormat& fmt);

// `s` between single quotes, each quote doubled.
std::string quote(std::string_view s);

// The constant for `text` in a field of `type`: bare digits for numbers,
// a quoted ten-character date in the DBDATE order and separator (always a
// four-digit year), a quoted character value without its trailing blanks.
// nullopt when `text` is not a valid value of the type (a number out of
// the type's range, a fraction in a whole-number field, more integer
// digits than a DECIMAL holds, a date that does not exist).
std::optional<std::string> constant(std::string_view text, const Type& type, const DateFormat& fmt);

}  // namespace rt::qbe::detail
