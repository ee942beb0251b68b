// Values fetched from a back end into the program's variables, and the
// digits a decimal needs. Shared by both back ends, so that a fetch
// converts the same whatever the database.
#pragma once

#include <cstdint>
#include <string_view>

#include <string>

#include "sql/translate.h"
#include "values/value.h"

namespace rt::sql::detail {

enum class Fetched {
  Null,
  Int,     // a whole number in `i`
  Number,  // a decimal number written out in `text` (may use an exponent)
  Text,    // character data in `text`
  Date,    // an ISO date yyyy-mm-dd in `text`
};

// Converts into the variable's own type. Returns 0, or a negative error
// number when the value does not fit the variable (the variable is then
// null). A CHAR variable takes a longer text cut at its width.
int store(Value* into, Fetched kind, std::int64_t i, std::string_view text);

// A parameter's value converted for the typed column it meets (see
// ParamTarget): a CHAR read as a date in the DBDATE form (or ISO), a value
// stored into a DECIMAL(p,s) rounded to s places. Returns 0 with *out set,
// or a negative error number with the reason in *why (-1218 no date,
// -1213 no number, -1226 too many digits for the column).
int convert_param(const Value& v, const ParamTarget& target, Value* out, std::string* why);

}  // namespace rt::sql::detail
