// Fetch conversions. See convert.h.
#include "sql/convert.h"

#include <string>

#include "sql/errors.h"

namespace rt::sql::detail {
namespace {

int conv_error(const Value& v, ConvError e) {
  switch (e) {
    case ConvError::None: return 0;
    case ConvError::TooLong: return v.type().kind == Kind::Char ? 0 : err::kDecimalRange;
    case ConvError::NotANumber: return err::kCharToNumber;
    case ConvError::NotADate: return err::kDateConversion;
    case ConvError::OutOfRange: return v.type().is_whole() ? err::kIntegerRange : err::kDecimalRange;
  }
  return err::kUnknown;
}

}  // namespace

int store(Value* into, Cell kind, std::int64_t i, std::string_view text) {
  const Kind target = into->type().kind;
  switch (kind) {
    case Cell::Null: into->set_null(); return 0;
    case Cell::Int:
      if (target == Kind::Char) return conv_error(*into, into->set_text(std::to_string(i)));
      if (target == Kind::Date) return conv_error(*into, into->set_date(Date(static_cast<std::int32_t>(i))));
      return conv_error(*into, into->set_int(i));
    case Cell::Number: {
      auto d = Decimal::parse(text);
      if (!d) return conv_error(*into, into->set_text(text));
      if (target == Kind::Char) return conv_error(*into, into->set_text(d->to_string()));
      return conv_error(*into, into->set_decimal(*d));
    }
    case Cell::Date: {
      auto d = Date::parse_iso(text);
      if (!d) return conv_error(*into, into->set_text(text));
      return conv_error(*into, target == Kind::Char ? into->set_text(d->format()) : into->set_date(*d));
    }
    case Cell::Text:
      if (target == Kind::Date) {
        // A temporary table made by a SELECT keeps dates as ISO text
        // without saying that they are dates.
        if (auto d = Date::parse_iso(text)) return conv_error(*into, into->set_date(*d));
      }
      return conv_error(*into, into->set_text(text));
  }
  return err::kUnknown;
}

int significant_digits(const Decimal& d) {
  int128 m = d.mantissa();
  if (m < 0) m = -m;
  if (m == 0) return 0;
  while (m % 10 == 0) m /= 10;
  int n = 0;
  while (m != 0) {
    m /= 10;
    ++n;
  }
  return n;
}

}  // namespace rt::sql::detail
