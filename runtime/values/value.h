// The value model of the programs: typed, nullable variables.
//
// CHAR(n) is fixed width, n characters (values/text.h: as PostgreSQL
// counts them): held without its trailing blanks, shown blank padded, cut
// on assignment to at most n characters; its length counts characters
// without trailing blanks. SMALLINT, INTEGER
// and SERIAL are whole numbers with their ranges; DECIMAL(p,s) is exact
// (Decimal); DATE is a day number. Every value may be null; a boolean is a
// SMALLINT 1 or 0.
//
// Conversions between text and values are done here and only here: the
// screen uses them to show and read fields, the SQL layer to bind and fetch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "values/date.h"
#include "values/decimal.h"

namespace rt {

enum class Kind : std::uint8_t { Char, SmallInt, Integer, Serial, Decimal, Date };

struct Type {
  Kind kind = Kind::Char;
  int len = 1;    // CHAR width in characters, DECIMAL precision
  int scale = 0;  // DECIMAL digits after the point
  bool is_numeric() const { return kind != Kind::Char && kind != Kind::Date; }
  bool is_whole() const { return kind == Kind::SmallInt || kind == Kind::Integer || kind == Kind::Serial; }
  friend bool operator==(const Type&, const Type&) = default;
};

inline Type char_t(int n) { return {Kind::Char, n, 0}; }
inline Type smallint_t() { return {Kind::SmallInt, 5, 0}; }
inline Type integer_t() { return {Kind::Integer, 10, 0}; }
inline Type serial_t() { return {Kind::Serial, 10, 0}; }
inline Type decimal_t(int p, int s) { return {Kind::Decimal, p, s}; }
inline Type date_t() { return {Kind::Date, 10, 0}; }

// The largest SMALLINT and INTEGER (SERIAL): the lowest value of the
// machine type is kept for null, so each range is symmetric.
inline constexpr std::int64_t kSmallIntMax = 32767;
inline constexpr std::int64_t kIntegerMax = 2147483647;
// Whether `v` lies in the range of the whole-number kind `k` (any other
// kind has no such range).
constexpr bool in_whole_range(Kind k, std::int64_t v) {
  switch (k) {
    case Kind::SmallInt: return v >= -kSmallIntMax && v <= kSmallIntMax;
    case Kind::Integer:
    case Kind::Serial: return v >= -kIntegerMax && v <= kIntegerMax;
    default: return true;
  }
}

// Why a text did not become a value.
enum class ConvError { None, NotANumber, OutOfRange, NotADate, TooLong };

class Value {
 public:
  Value() : Value(char_t(1)) {}
  explicit Value(Type t) : type_(t) {}
  // Convenience constructors: non-null values of a natural type.
  static Value of_char(std::string_view s, int width);
  static Value of_int(std::int64_t v, Type t = integer_t());
  static Value of_decimal(const Decimal& d, Type t);
  static Value of_date(Date d);

  const Type& type() const { return type_; }
  bool is_null() const { return null_; }
  void set_null() {
    null_ = true;
    str_.clear();
    num_ = 0;
    dec_ = Decimal();
  }

  // Setters convert into this variable's type. A CHAR is cut to its width;
  // a number out of range or a text that does not convert sets null and
  // returns the reason.
  ConvError set_text(std::string_view s);  // from program or typed text
  ConvError set_int(std::int64_t v);
  ConvError set_decimal(const Decimal& d);
  ConvError set_date(Date d);
  // Assignment between variables of any types, as LET does it.
  ConvError assign(const Value& src);

  // CHAR: the value without trailing blanks ("" when null).
  // Others: canonical text ("" when null): 42, -1.50, dates in DBDATE form.
  std::string str() const;
  // CHAR padded to its full width; others as str().
  std::string padded() const;
  // Length without trailing blanks (0 for null).
  int length() const;
  // Numeric views (0 when null; CHAR converts if it holds a number).
  std::int64_t as_int() const;
  Decimal as_decimal() const;
  Date as_date() const;

  // Text shown in a field of `width` display columns: CHAR left-aligned and
  // cut, numbers right-aligned (asterisks filling the field when they do
  // not fit), dates in the DBDATE format; blanks for null.
  std::string format_field(int width) const;
  // The text a field holds for this value: a CHAR whole, without its
  // trailing blanks (the field shows what fits and scrolls to the rest
  // while it is edited, so nothing is cut on the way to the screen and
  // back); others as format_field().
  std::string field_text(int width) const;
  // Reads text typed into a field of this value's type. Blank text gives
  // null. On error the value is unchanged and the reason is returned.
  ConvError parse_field(std::string_view typed);

  // Equality as SQL compares: CHAR ignores trailing blanks; null equals
  // nothing (use both is_null() for that).
  friend bool sql_equal(const Value& a, const Value& b);

 private:
  Type type_;
  bool null_ = true;
  std::string str_;       // CHAR without trailing blanks
  std::int64_t num_ = 0;  // whole numbers, date day numbers
  Decimal dec_;
};

// Helpers on CHAR texts shared by the layers above.
std::string rtrim(std::string_view s);
// The text as a CHAR(n) variable holds it: at most n characters.
std::string cut_chars(std::string_view s, int n);
// Letters in capitals or in small letters, beyond ASCII too (text.h).
std::string upshift(std::string_view s);
std::string downshift(std::string_view s);

}  // namespace rt
