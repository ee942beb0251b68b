// Typed, nullable variables and their text conversions: see value.h.
#include "values/value.h"

#include <limits>

#include "values/text.h"

namespace rt {

namespace {

// Whole number from text: digits with an optional sign, blanks around.
std::optional<std::int64_t> parse_whole(std::string_view s) {
  auto d = Decimal::parse(s);
  if (!d || d->rounded(0) != *d) return std::nullopt;
  std::int64_t v;
  if (!d->to_int64(&v)) return std::nullopt;
  return v;
}

}  // namespace

Value Value::of_char(std::string_view s, int width) {
  Value v(char_t(width));
  v.set_text(s);
  return v;
}

Value Value::of_int(std::int64_t n, Type t) {
  Value v(t);
  v.set_int(n);
  return v;
}

Value Value::of_decimal(const Decimal& d, Type t) {
  Value v(t);
  v.set_decimal(d);
  return v;
}

Value Value::of_date(Date d) {
  Value v(date_t());
  v.set_date(d);
  return v;
}

ConvError Value::set_text(std::string_view s) {
  switch (type_.kind) {
    case Kind::Char: {
      std::string cut = cut_chars(s, type_.len);
      bool too_long = cut.size() < rtrim(s).size();
      str_ = rtrim(cut);
      null_ = false;
      return too_long ? ConvError::TooLong : ConvError::None;
    }
    case Kind::SmallInt:
    case Kind::Integer:
    case Kind::Serial: {
      auto d = Decimal::parse(s);
      std::int64_t v;
      if (!d) {
        set_null();
        return ConvError::NotANumber;
      }
      if (!d->to_int64(&v)) {
        set_null();
        return ConvError::OutOfRange;
      }
      return set_int(v);
    }
    case Kind::Decimal: {
      auto d = Decimal::parse(s);
      if (!d) {
        set_null();
        return ConvError::NotANumber;
      }
      return set_decimal(*d);
    }
    case Kind::Date: {
      auto d = Date::parse(s);
      if (!d) d = Date::parse_iso(s);
      if (!d) {
        set_null();
        return ConvError::NotADate;
      }
      return set_date(*d);
    }
  }
  return ConvError::None;
}

ConvError Value::set_int(std::int64_t v) {
  switch (type_.kind) {
    case Kind::Char: return set_text(std::to_string(v));
    case Kind::Decimal: return set_decimal(Decimal::from_int(v));
    case Kind::Date:
      if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        set_null();
        return ConvError::OutOfRange;
      }
      return set_date(Date(static_cast<std::int32_t>(v)));
    default:
      if (!in_whole_range(type_.kind, v)) {
        set_null();
        return ConvError::OutOfRange;
      }
      num_ = v;
      null_ = false;
      return ConvError::None;
  }
}

ConvError Value::set_decimal(const Decimal& d) {
  switch (type_.kind) {
    case Kind::Char: return set_text(d.to_string());
    case Kind::Decimal: {
      if (!d.fits(type_.len, type_.scale)) {
        set_null();
        return ConvError::OutOfRange;
      }
      dec_ = d.rounded(type_.scale);
      null_ = false;
      return ConvError::None;
    }
    case Kind::Date:
    default: {
      std::int64_t v;
      if (!d.to_int64(&v)) {
        set_null();
        return ConvError::OutOfRange;
      }
      return set_int(v);
    }
  }
}

ConvError Value::set_date(Date d) {
  switch (type_.kind) {
    case Kind::Date:
      num_ = d.days();
      null_ = false;
      return ConvError::None;
    case Kind::Char: return set_text(d.format());
    default: return set_int(d.days());
  }
}

ConvError Value::assign(const Value& src) {
  if (src.null_) {
    set_null();
    return ConvError::None;
  }
  switch (src.type_.kind) {
    case Kind::Char: return set_text(src.str_);
    case Kind::Decimal: return set_decimal(src.dec_);
    case Kind::Date: return set_date(Date(static_cast<std::int32_t>(src.num_)));
    default: return set_int(src.num_);
  }
}

std::string Value::str() const {
  if (null_) return "";
  switch (type_.kind) {
    case Kind::Char: return str_;
    case Kind::Decimal: return dec_.to_string(type_.scale);
    case Kind::Date: return Date(static_cast<std::int32_t>(num_)).format();
    default: return std::to_string(num_);
  }
}

std::string Value::padded() const {
  if (type_.kind != Kind::Char) return str();
  std::string s = null_ ? "" : str_;
  const int chars = text::length(s);
  if (chars < type_.len) s.append(static_cast<size_t>(type_.len - chars), ' ');
  return s;
}

int Value::length() const { return null_ ? 0 : text::length(rtrim(str())); }

std::int64_t Value::as_int() const {
  if (null_) return 0;
  switch (type_.kind) {
    case Kind::Char: {
      auto v = parse_whole(str_);
      return v ? *v : 0;
    }
    case Kind::Decimal: {
      std::int64_t v = 0;
      dec_.to_int64(&v);
      return v;
    }
    default: return num_;
  }
}

Decimal Value::as_decimal() const {
  if (null_) return Decimal();
  switch (type_.kind) {
    case Kind::Char: {
      auto d = Decimal::parse(str_);
      return d ? *d : Decimal();
    }
    case Kind::Decimal: return dec_;
    default: return Decimal::from_int(num_);
  }
}

Date Value::as_date() const {
  if (null_) return Date();
  if (type_.kind == Kind::Char) {
    auto d = Date::parse(str_);
    return d ? *d : Date();
  }
  if (type_.kind == Kind::Decimal) return Date(static_cast<std::int32_t>(as_int()));
  return Date(static_cast<std::int32_t>(num_));
}

std::string Value::format_field(int width) const {
  if (width <= 0) return "";
  if (null_) return std::string(static_cast<size_t>(width), ' ');
  std::string text = str();
  if (type_.kind == Kind::Char) {
    int used = 0;
    std::string cut(text::cut_columns(text, width, &used));
    cut.append(static_cast<size_t>(width - used), ' ');
    return cut;
  }
  int w = text::width(text);
  if (w > width) {
    // A date keeps its text where the field is narrower than the format
    // only if nothing would be lost; otherwise, like numbers, asterisks.
    return std::string(static_cast<size_t>(width), '*');
  }
  if (type_.kind == Kind::Date) return text + std::string(static_cast<size_t>(width - w), ' ');
  return std::string(static_cast<size_t>(width - w), ' ') + text;
}

std::string Value::field_text(int width) const {
  if (type_.kind == Kind::Char) return str();
  return rtrim(format_field(width));
}

ConvError Value::parse_field(std::string_view typed) {
  std::string t = rtrim(typed);
  size_t lead = t.find_first_not_of(' ');
  if (lead == std::string::npos) {
    set_null();
    return ConvError::None;
  }
  Value next(type_);
  ConvError err = ConvError::None;
  switch (type_.kind) {
    case Kind::Char:
      if (text::length(t) > type_.len) return ConvError::TooLong;
      err = next.set_text(t);
      break;
    case Kind::SmallInt:
    case Kind::Integer:
    case Kind::Serial: {
      auto v = parse_whole(t);
      if (!v) return Decimal::parse(t) ? ConvError::OutOfRange : ConvError::NotANumber;
      err = next.set_int(*v);
      break;
    }
    case Kind::Decimal: {
      auto d = Decimal::parse(t);
      if (!d) return ConvError::NotANumber;
      err = next.set_decimal(*d);
      break;
    }
    case Kind::Date: {
      auto d = Date::parse(t);
      if (!d) return ConvError::NotADate;
      err = next.set_date(*d);
      break;
    }
  }
  if (err != ConvError::None) return err;
  *this = next;
  return ConvError::None;
}

bool sql_equal(const Value& a, const Value& b) {
  if (a.null_ || b.null_) return false;
  bool an = a.type_.is_numeric(), bn = b.type_.is_numeric();
  if (an && bn) return compare(a.as_decimal(), b.as_decimal()) == 0;
  if (a.type_.kind == Kind::Date && b.type_.kind == Kind::Date) return a.num_ == b.num_;
  return rtrim(a.str()) == rtrim(b.str());
}

std::string rtrim(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return std::string(s.substr(0, n));
}

std::string cut_chars(std::string_view s, int n) { return std::string(text::cut_chars(s, n < 0 ? 0 : n)); }

std::string upshift(std::string_view s) { return text::upshift(s); }

std::string downshift(std::string_view s) { return text::downshift(s); }

}  // namespace rt
