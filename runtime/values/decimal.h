// Exact decimal numbers: a 128-bit integer mantissa and a scale (digits after
// the point). Carries every amount, rate and sum of the programs; no binary
// floating point is ever involved in parsing, arithmetic or formatting.
// Holds up to 38 significant digits; arithmetic that would overflow reports it
// instead of wrapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt {

__extension__ typedef __int128 int128;

class Decimal {
 public:
  Decimal() = default;
  static Decimal from_int(std::int64_t v) { return Decimal(v, 0); }
  // Accepts [blanks][+|-]digits[.digits][blanks] and the exponent form
  // 1.5e3 / 2E-2 that databases may print. nullopt for anything else.
  static std::optional<Decimal> parse(std::string_view text);

  int scale() const { return scale_; }
  int128 mantissa() const { return mant_; }
  bool is_zero() const { return mant_ == 0; }
  bool negative() const { return mant_ < 0; }
  // Number of digits before the point (0 for |x| < 1).
  int int_digits() const;

  // Rounds half away from zero to `s` digits after the point (s >= 0).
  Decimal rounded(int s) const;
  // Fits DECIMAL(p,s) after rounding to s digits.
  bool fits(int precision, int s) const;

  // Plain text: "-12.50" keeps the scale's digits; no exponent.
  std::string to_string() const;
  // With exactly `s` digits after the point (rounded).
  std::string to_string(int s) const;

  // Truncating conversion; false when out of range of int64.
  bool to_int64(std::int64_t* out) const;

  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  Decimal operator-() const { return Decimal(-mant_, scale_); }
  friend int compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }
  friend bool operator<(const Decimal& a, const Decimal& b) { return compare(a, b) < 0; }

 private:
  Decimal(int128 m, int s) : mant_(m), scale_(s) {}
  int128 mant_ = 0;
  int scale_ = 0;
};

}  // namespace rt
