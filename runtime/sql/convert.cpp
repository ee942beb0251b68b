// Fetch conversions. See convert.h.
#include "sql/convert.h"

#include <optional>
#include <string>

#include "core/errors.h"

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

// Text read as a number of a column's kind, blanks around it allowed: a
// whole number for an INTEGER column, any decimal else.
bool read_number(std::string_view text, bool whole, Decimal* out) {
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return false;
  text = text.substr(b, text.find_last_not_of(' ') - b + 1);
  if (whole) {
    std::string_view digits = text;
    if (digits[0] == '+' || digits[0] == '-') digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
  }
  const std::optional<Decimal> d = Decimal::parse(text);
  if (!d) return false;
  *out = *d;
  return true;
}

}  // namespace

int store(Value* into, Fetched kind, std::int64_t i, std::string_view text) {
  const Kind target = into->type().kind;
  switch (kind) {
    case Fetched::Null: into->set_null(); return 0;
    case Fetched::Int:
      if (target == Kind::Char) return conv_error(*into, into->set_text(std::to_string(i)));
      if (target == Kind::Date) return conv_error(*into, into->set_date(Date(static_cast<std::int32_t>(i))));
      return conv_error(*into, into->set_int(i));
    case Fetched::Number: {
      auto d = Decimal::parse(text);
      if (!d) return conv_error(*into, into->set_text(text));
      if (target == Kind::Char) return conv_error(*into, into->set_text(d->to_string()));
      return conv_error(*into, into->set_decimal(*d));
    }
    case Fetched::Date: {
      auto d = Date::parse_iso(text);
      if (!d) return conv_error(*into, into->set_text(text));
      return conv_error(*into, target == Kind::Char ? into->set_text(d->format()) : into->set_date(*d));
    }
    case Fetched::Text:
      if (target == Kind::Date) {
        // A temporary table made by a SELECT keeps dates as ISO text
        // without saying that they are dates.
        if (auto d = Date::parse_iso(text)) return conv_error(*into, into->set_date(*d));
      }
      return conv_error(*into, into->set_text(text));
  }
  return err::kUnknown;
}

int convert_param(const Value& v, const ParamTarget& target, Value* out, std::string* why) {
  *out = v;
  if (v.is_null() || target.kind == ParamTarget::None) return 0;
  if (target.kind == ParamTarget::Date) {
    if (v.type().kind != Kind::Char) return 0;
    std::optional<Date> d = Date::parse(v.str());
    if (!d && v.str().size() == 10) d = Date::parse_iso(v.str());
    if (!d) {
      *why = "'" + v.str() + "' is not a date";
      return err::kDateConversion;
    }
    *out = Value::of_date(*d);
    return 0;
  }
  if (target.kind == ParamTarget::Text) {
    // A number stored into a text column keeps its places, as a number
    // constant written there does on both back ends.
    if (!v.type().is_numeric()) return 0;
    const std::string t = v.type().is_whole() ? std::to_string(v.as_int()) : v.as_decimal().to_string();
    *out = Value::of_char(t, static_cast<int>(t.size()));
    return 0;
  }
  if (target.kind == ParamTarget::Number && v.type().kind != Kind::Char) {
    // A decimal for a whole number column: stored rounded, as a constant
    // is; compared as a whole number when it is one (a statement read
    // for a number there takes the others, see by_bound_kinds).
    if (!target.whole || v.type().kind != Kind::Decimal) return 0;
    Decimal r;
    std::int64_t i = 0;
    if ((target.stored || v.as_decimal().is_whole()) && v.as_decimal().round_to(0, &r) && r.to_int64(&i))
      *out = Value::of_int(i);
    return 0;
  }
  Decimal d;
  if (v.type().kind == Kind::Char) {
    if (!read_number(v.str(), target.kind == ParamTarget::Number && target.whole, &d)) {
      *why = "'" + v.str() + "' is not a number";
      return err::kCharToNumber;
    }
    if (target.kind == ParamTarget::Number) {
      *out = Value::of_decimal(d, decimal_t(Decimal::kMaxDigits, d.scale()));
      return 0;
    }
  } else if (v.type().kind == Kind::Date) {
    return 0;
  } else {
    d = v.as_decimal();
  }
  if (target.stored && target.scale >= 0) {
    Decimal r;
    if (!d.round_to(target.scale, &r) || (target.precision > 0 && r.int_digits() > target.precision - target.scale)) {
      *why = "the value " + d.to_string() + " does not fit a DECIMAL(" + std::to_string(target.precision) + "," +
             std::to_string(target.scale) + ") column";
      return err::kDecimalRange;
    }
    d = r;
  }
  *out = Value::of_decimal(d, decimal_t(Decimal::kMaxDigits, d.scale()));
  return 0;
}

}  // namespace rt::sql::detail
