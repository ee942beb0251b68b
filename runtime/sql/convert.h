// Values fetched from a back end into the program's variables, and the
// digits a decimal needs. Shared by both back ends, so that a fetch
// converts the same whatever the database.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/value.h"

namespace rt::sql::detail {

enum class Cell {
  Null,
  Int,     // a whole number in `i`
  Number,  // a decimal number written out in `text` (may use an exponent)
  Text,    // character data in `text`
  Date,    // an ISO date yyyy-mm-dd in `text`
};

// Converts into the variable's own type. Returns 0, or a negative error
// number when the value does not fit the variable (the variable is then
// null). A CHAR variable takes a longer text cut at its width.
int store(Value* into, Cell kind, std::int64_t i, std::string_view text);

// Significant digits of a decimal (trailing zeros after the point and
// leading zeros do not count; 0 has none).
int significant_digits(const Decimal& d);

}  // namespace rt::sql::detail
