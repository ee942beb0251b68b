// Checks of a field's value against its form attributes, shared by form
// input and array input (not for programs).
#pragma once

#include "screen/form.h"
#include "values/value.h"

namespace rt::ui::detail {

// Whether v lies in the field's include list (always, for an empty list).
bool included(const FieldDef& f, const Value& v);

}  // namespace rt::ui::detail
