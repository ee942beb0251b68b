// Include lists: values and ranges in the field's type, and null.
#include "screen/value_checks.h"

namespace rt::ui::detail {

namespace {
// -1, 0, 1 as a compares to b in their common type.
int cmp(const Value& a, const Value& b) {
  if (a.type().kind == Kind::Date) return a.as_date() < b.as_date() ? -1 : (b.as_date() < a.as_date() ? 1 : 0);
  if (a.type().is_numeric()) return compare(a.as_decimal(), b.as_decimal());
  std::string x = a.str(), y = b.str();
  return x < y ? -1 : (y < x ? 1 : 0);
}
}  // namespace

bool included(const FieldDef& f, const Value& v) {
  if (f.include.empty()) return true;
  for (const auto& item : f.include) {
    if (item.null) {
      if (v.is_null()) return true;
      continue;
    }
    if (v.is_null()) continue;
    Value lo(v.type()), hi(v.type());
    if (lo.parse_field(item.low) != ConvError::None) continue;
    if (item.high.empty()) {
      if (cmp(v, lo) == 0) return true;
      continue;
    }
    if (hi.parse_field(item.high) != ConvError::None) continue;
    if (cmp(v, lo) >= 0 && cmp(v, hi) <= 0) return true;
  }
  return false;
}

}  // namespace rt::ui::detail
