// Query-by-example input: the operator types criteria into form fields;
// the result is the SQL condition text over the table-qualified columns.
//
// The field loop is that of form input (field_input.h), with these
// differences: a field's buffer is a criteria text that may be longer than
// the field (the field scrolls sideways, up to max_condition_len bytes, and
// a key beyond that is refused with a message); no-entry fields
// take criteria too; required and include do not apply. Leaving a field
// checks its criteria for the field's type (rt::qbe::field_condition):
// invalid criteria are refused on the error line with the cursor staying.
// At accept: after_field of the field, then after_input, then every field's
// criteria are checked again (the cursor goes to the first invalid one),
// joined with " and " ("1=1" when nothing was typed), and a condition
// longer than max_condition_len is refused on the error line while the
// input goes on.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "screen/dialog.h"

namespace rt::ui {

struct ConstructField {
  std::string field;   // name in the form displayed in the current window
  std::string column;  // "table.column" for the condition; empty: the
                       // field's own table.name
};

// The condition text of the criteria accepted ("1=1" when nothing was
// typed), or nullopt when the input was interrupted, even by an interrupt
// that came after the criteria were accepted (rt::int_flag is then 1
// unless after_input reset it). max_condition_len 0: no limit.
std::optional<std::string> construct(const std::vector<ConstructField>& fields, const Events& events = {},
                                     std::size_t max_condition_len = 0);

}  // namespace rt::ui
