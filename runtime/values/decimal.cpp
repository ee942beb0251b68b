// Exact decimal arithmetic over a 128-bit mantissa: see decimal.h.
#include "values/decimal.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace rt {

namespace {

constexpr int kMaxDigits = 38;

int128 pow10(int n) {
  int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

int digit_count(int128 v) {
  if (v < 0) v = -v;
  int n = 0;
  while (v > 0) {
    v /= 10;
    ++n;
  }
  return n;
}

// Brings both operands to the larger scale. Scales stay small in practice
// (a column's scale), so the multiplication cannot overflow for the
// precisions the database holds.
void align(int128& a, int sa, int128& b, int sb, int* scale) {
  if (sa < sb) a *= pow10(sb - sa);
  if (sb < sa) b *= pow10(sa - sb);
  *scale = std::max(sa, sb);
}

}  // namespace

std::optional<Decimal> Decimal::parse(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  if (i == n) return std::nullopt;
  bool neg = false;
  if (text[i] == '+' || text[i] == '-') {
    neg = text[i] == '-';
    ++i;
  }
  int128 mant = 0;
  int scale = 0, digits = 0;
  bool any = false, point = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (mant == 0 && c == '0' && !point) continue;  // leading zeros
      if (point && scale >= kMaxDigits) return std::nullopt;  // more places than are held
      if (digits >= kMaxDigits) {
        if (point) continue;  // surplus fraction digits are dropped
        return std::nullopt;
      }
      mant = mant * 10 + (c - '0');
      if (mant != 0) ++digits;
      if (point) ++scale;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return std::nullopt;
  if (i < n) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    ++i;
    bool eneg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
    if (i == n) return std::nullopt;
    int exp = 0;
    for (; i < n; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
      exp = exp * 10 + (text[i] - '0');
      if (exp > 400) return std::nullopt;
    }
    if (eneg) {
      scale += exp;
    } else if (exp <= scale) {
      scale -= exp;
    } else {
      int grow = exp - scale;
      if (digit_count(mant) + grow > kMaxDigits) return std::nullopt;
      mant *= pow10(grow);
      scale = 0;
    }
    if (scale > kMaxDigits) return std::nullopt;
  }
  return Decimal(neg ? -mant : mant, scale);
}

int Decimal::int_digits() const {
  int d = digit_count(mant_);
  return d > scale_ ? d - scale_ : 0;
}

Decimal Decimal::rounded(int s) const {
  if (s >= scale_) {
    if (digit_count(mant_) + (s - scale_) > kMaxDigits) return *this;
    return Decimal(mant_ * pow10(s - scale_), s);
  }
  int128 div = pow10(scale_ - s);
  int128 q = mant_ / div, r = mant_ % div;
  if (r < 0) r = -r;
  if (r >= div - r) q += mant_ < 0 ? -1 : 1;  // r * 2 could overflow
  return Decimal(q, s);
}

bool Decimal::fits(int precision, int s) const {
  Decimal r = rounded(s);
  return digit_count(r.mant_) <= precision;
}

std::string Decimal::to_string() const {
  int128 v = mant_ < 0 ? -mant_ : mant_;
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v > 0);
  while (static_cast<int>(digits.size()) <= scale_) digits.push_back('0');
  std::reverse(digits.begin(), digits.end());
  if (scale_ > 0) digits.insert(digits.size() - static_cast<size_t>(scale_), 1, '.');
  if (mant_ < 0) digits.insert(digits.begin(), '-');
  return digits;
}

std::string Decimal::to_string(int s) const { return rounded(s).to_string(); }

bool Decimal::to_int64(std::int64_t* out) const {
  int128 q = mant_ / pow10(scale_);
  if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min()) return false;
  *out = static_cast<std::int64_t>(q);
  return true;
}

Decimal operator+(const Decimal& a, const Decimal& b) {
  int128 x = a.mant_, y = b.mant_;
  int s;
  align(x, a.scale_, y, b.scale_, &s);
  return Decimal(x + y, s);
}

Decimal operator-(const Decimal& a, const Decimal& b) { return a + (-b); }

Decimal operator*(const Decimal& a, const Decimal& b) {
  return Decimal(a.mant_ * b.mant_, a.scale_ + b.scale_);
}

int compare(const Decimal& a, const Decimal& b) {
  int128 x = a.mant_, y = b.mant_;
  int s;
  align(x, a.scale_, y, b.scale_, &s);
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace rt
