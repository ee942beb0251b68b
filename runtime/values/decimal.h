// Exact decimal numbers: a 128-bit integer mantissa and a scale (digits after
// the point). Carries every amount, rate and sum of the programs; no binary
// floating point is ever involved in parsing, arithmetic or formatting.
//
// Holds up to 38 significant digits. Every operation checks that its result
// fits: the checked forms (add, sub, mul, divide, round_to) answer false or
// an error status; the operators stop the program with the runtime's report
// and error number -1226 (err::kDecimalRange) instead of wrapping. Rounding is
// half away from zero everywhere, as the databases round.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt {

__extension__ typedef __int128 int128;

class Decimal {
 public:
  static constexpr int kMaxDigits = 38;

  enum class Status { Ok, Overflow, DivideByZero };

  Decimal() = default;
  static Decimal from_int(std::int64_t v) { return Decimal(v, 0); }
  // mantissa * 10^-scale; nullopt when the mantissa has more than 38
  // digits or the scale is outside 0..38.
  static std::optional<Decimal> from_scaled(int128 mantissa, int scale);
  // Accepts [blanks][+|-]digits[.digits][blanks] and the exponent form
  // 1.5e3 / 2E-2 that databases may print. Digits after the point beyond
  // the 38 held are rounded off. nullopt for anything else, or for a number
  // with more than 38 digits before the point.
  static std::optional<Decimal> parse(std::string_view text);

  int scale() const { return scale_; }
  int128 mantissa() const { return mant_; }
  bool is_zero() const { return mant_ == 0; }
  bool negative() const { return mant_ < 0; }
  // Number of digits before the point (0 for |x| < 1).
  int int_digits() const;
  // Digits of the mantissa without the zeros that end it (0 has none).
  int significant_digits() const;
  // No digit after the point but zeros.
  bool is_whole() const;

  // Checked rounding half away from zero to `s` digits after the point
  // (s >= 0); false when the result would not fit.
  bool round_to(int s, Decimal* out) const;
  // The same, unchecked for the common case: when more places than fit are
  // asked for, the value comes back unchanged (it is exact already).
  Decimal rounded(int s) const;
  // Without the zeros that end the fraction: 1.50 -> 1.5, 2.00 -> 2.
  Decimal normalized() const;
  // Fits DECIMAL(p,s) after rounding to s digits.
  bool fits(int precision, int s) const;

  // Plain text: "-12.50" keeps the scale's digits; no exponent.
  std::string to_string() const;
  // With exactly `s` digits after the point (rounded).
  std::string to_string(int s) const;

  // Truncating conversion; false when out of range of int64.
  bool to_int64(std::int64_t* out) const;

  // Checked arithmetic: false when the exact result needs more than 38
  // digits (the output is then unchanged).
  static bool add(const Decimal& a, const Decimal& b, Decimal* out);
  static bool sub(const Decimal& a, const Decimal& b, Decimal* out);
  // The same, but an exact result of more than 38 digits keeps fewer
  // places (the rest rounded half away from zero), as SQL's numeric keeps
  // them all and 38 are read back; false only when its digits before the
  // point pass 38.
  static bool add_to_fit(const Decimal& a, const Decimal& b, Decimal* out);
  static bool sub_to_fit(const Decimal& a, const Decimal& b, Decimal* out);
  static bool mul(const Decimal& a, const Decimal& b, Decimal* out);
  // a * b keeping the places that fit, as add_to_fit does.
  static bool mul_to_fit(const Decimal& a, const Decimal& b, Decimal* out);
  // a / b rounded half away from zero to `scale` digits after the point.
  static Status divide(const Decimal& a, const Decimal& b, int scale, Decimal* out);

  // The operators: exact, or the program stops with -1226 (-1202 for a
  // division by zero; division keeps max(16 significant digits, the
  // operands' scales), as SQL's numeric division does).
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  friend Decimal operator/(const Decimal& a, const Decimal& b);
  Decimal operator-() const { return Decimal(-mant_, scale_); }
  friend int compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }
  friend bool operator<(const Decimal& a, const Decimal& b) { return compare(a, b) < 0; }

  // The scale SQL's numeric division gives a / b: at least 16 significant
  // digits in the quotient and no fewer places than either operand.
  static int quotient_scale(const Decimal& a, const Decimal& b);

 private:
  Decimal(int128 m, int s) : mant_(m), scale_(s) {}
  int128 mant_ = 0;
  int scale_ = 0;
};

}  // namespace rt
