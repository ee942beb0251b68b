// Checked, canonical SQL constants for criterion values.
#include "qbe/constant.h"

#include <cstddef>
#include <cstdint>

#include "values/decimal.h"

namespace rt::qbe::detail {

namespace {

constexpr int kMaxScale = 38;

// No digit after the point but zeros. Worked on the mantissa directly:
// rounding a 38-digit fraction would overflow the arithmetic.
bool whole(const Decimal& d) {
  int128 p = 1;
  for (int i = 0; i < d.scale(); ++i) p *= 10;
  return d.mantissa() % p == 0;
}

// Places written after the point (before an exponent).
std::size_t places(std::string_view text) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos) return 0;
  std::size_t n = 0;
  for (std::size_t i = point + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++n;
  return n;
}

std::optional<std::string> number(std::string_view text, const Type& type) {
  const std::optional<Decimal> d = Decimal::parse(text);
  // No type holds more than 38 digits after the point: a criterion with
  // more would be rounded into another value, so it is refused.
  if (!d || d->scale() > kMaxScale || places(text) > static_cast<std::size_t>(kMaxScale)) return std::nullopt;
  if (type.is_whole()) {
    // 7.0 is a whole number; 7.5 is not a value of the field.
    if (!whole(*d)) return std::nullopt;
    std::int64_t v = 0;
    if (!d->to_int64(&v) || !in_whole_range(type.kind, v)) return std::nullopt;
    return std::to_string(v);
  }
  // DECIMAL(p,s) holds p - s digits before the point. Digits after the
  // point beyond s are kept: the comparison is exact, not rounded to
  // what the column happens to store.
  const int int_room = type.len - type.scale;
  if (d->int_digits() > (int_room > 0 ? int_room : 0)) return std::nullopt;
  return d->to_string();
}

std::optional<std::string> date(std::string_view text, const DateFormat& fmt) {
  const std::optional<Date> d = Date::parse(text, fmt);
  if (!d) return std::nullopt;
  return quote(date_text(*d, fmt));
}

}  // namespace

std::string date_text(Date d, const DateFormat& fmt) {
  // Conditions carry four-digit years whatever DBDATE says about the
  // year: programs cut conditions at fixed positions.
  DateFormat f = fmt;
  f.year4 = true;
  return d.format(f);
}

std::string quote(std::string_view s) {
  std::string q;
  q.reserve(s.size() + 2);
  q.push_back('\'');
  for (char c : s) {
    if (c == '\'') q.push_back('\'');
    q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

std::optional<std::string> constant(std::string_view text, const Type& type, const DateFormat& fmt) {
  switch (type.kind) {
    case Kind::Char: return quote(rtrim(text));
    case Kind::Date: return date(text, fmt);
    case Kind::SmallInt:
    case Kind::Integer:
    case Kind::Serial:
    case Kind::Decimal: return number(text, type);
  }
  return std::nullopt;
}

}  // namespace rt::qbe::detail
