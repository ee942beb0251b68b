// Exact decimal arithmetic over a 128-bit mantissa: see decimal.h.
#include "values/decimal.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <source_location>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/runtime.h"

namespace rt {

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr int kMax = Decimal::kMaxDigits;

int128 pow10(int n) {
  int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

// 10^38: every mantissa held is below it in magnitude.
const int128 kLimit = pow10(kMax);

bool in_range(int128 v) { return v < kLimit && v > -kLimit; }

int digit_count(int128 v) {
  if (v < 0) v = -v;
  int n = 0;
  while (v > 0) {
    v /= 10;
    ++n;
  }
  return n;
}

// v * 10^n, false when it would leave the range held.
bool scale_up(int128 v, int n, int128* out) {
  if (n < 0) return false;
  if (v == 0) {
    *out = 0;
    return true;
  }
  if (digit_count(v) + n > kMax) return false;
  *out = v * pow10(n);
  return true;
}

// Brings both operands to the larger scale.
bool align(int128* a, int sa, int128* b, int sb, int* scale) {
  *scale = std::max(sa, sb);
  return scale_up(*a, *scale - sa, a) && scale_up(*b, *scale - sb, b);
}

// q = n / d rounded half away from zero (d != 0).
int128 div_round(int128 n, int128 d) {
  int128 q = n / d, r = n % d;
  if (r < 0) r = -r;
  const int128 ad = d < 0 ? -d : d;
  if (r >= ad - r) q += (n < 0) != (d < 0) ? -1 : 1;  // r * 2 could overflow
  return q;
}

[[noreturn]] void stop(int code) { rt::fatal_error(std::source_location::current(), code, err::text(code)); }

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
  int first_dropped = -1;  // the first fraction digit that did not fit
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (mant == 0 && c == '0' && !point) continue;  // leading zeros
      if (digits >= kMax || (point && scale >= kMax)) {
        if (!point) return std::nullopt;
        if (first_dropped < 0) first_dropped = c - '0';
        continue;  // surplus fraction digits are rounded off below
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
  if (first_dropped >= 5) {
    ++mant;
    if (!in_range(mant)) return std::nullopt;
  }
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
      if (!scale_up(mant, grow, &mant)) return std::nullopt;
      scale = 0;
    }
    if (scale > kMax) {
      // More places than are held: round the surplus off.
      const Decimal d(neg ? -mant : mant, scale);
      const int drop = scale - kMax;
      if (drop > kMax) return Decimal();
      return Decimal(div_round(d.mant_, pow10(drop)), kMax);
    }
  }
  return Decimal(neg ? -mant : mant, scale);
}

std::optional<Decimal> Decimal::from_scaled(int128 mantissa, int scale) {
  if (scale < 0 || scale > kMax || !in_range(mantissa)) return std::nullopt;
  return Decimal(mantissa, scale);
}

int Decimal::int_digits() const {
  int d = digit_count(mant_);
  return d > scale_ ? d - scale_ : 0;
}

int Decimal::significant_digits() const {
  int128 m = mant_ < 0 ? -mant_ : mant_;
  if (m == 0) return 0;
  while (m % 10 == 0) m /= 10;
  return digit_count(m);
}

bool Decimal::is_whole() const { return scale_ == 0 || mant_ % pow10(scale_) == 0; }

bool Decimal::round_to(int s, Decimal* out) const {
  if (s < 0) return false;
  if (s >= scale_) {
    int128 m;
    if (!scale_up(mant_, s - scale_, &m)) return false;
    *out = Decimal(m, s);
    return true;
  }
  *out = Decimal(div_round(mant_, pow10(scale_ - s)), s);
  return in_range(out->mant_);
}

Decimal Decimal::rounded(int s) const {
  Decimal r;
  return round_to(s, &r) ? r : *this;
}

Decimal Decimal::normalized() const {
  if (mant_ == 0) return Decimal();
  int128 m = mant_;
  int s = scale_;
  while (s > 0 && m % 10 == 0) {
    m /= 10;
    --s;
  }
  return Decimal(m, s);
}

bool Decimal::fits(int precision, int s) const {
  Decimal r;
  return round_to(s, &r) && digit_count(r.mant_) <= precision;
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

bool Decimal::add(const Decimal& a, const Decimal& b, Decimal* out) {
  int128 x = a.mant_, y = b.mant_;
  int s;
  if (!align(&x, a.scale_, &y, b.scale_, &s)) return false;
  // Each is below 10^38, but their sum may reach 2 * 10^38, past the
  // largest 128-bit value.
  int128 r;
  if (__builtin_add_overflow(x, y, &r) || !in_range(r)) return false;
  *out = Decimal(r, s);
  return true;
}

bool Decimal::sub(const Decimal& a, const Decimal& b, Decimal* out) { return add(a, -b, out); }

bool Decimal::add_to_fit(const Decimal& a, const Decimal& b, Decimal* out) {
  if (add(a, b, out)) return true;
  const int s = std::max(a.scale_, b.scale_);
  for (int t = s - 1; t >= 0; --t) {
    // Each operand cut to t places (toward zero): q the sum of the cut
    // values at scale t, r the sum of what was cut off at scale s.
    const int128 unit = pow10(s - t);
    int128 q = 0, r = 0;
    bool ok = true;
    for (const Decimal* x : {&a, &b}) {
      int128 qx = x->mant_, rx = 0;
      if (x->scale_ <= t) {
        // May pass 38 digits: the sum need not.
        ok = ok && !__builtin_mul_overflow(qx, pow10(t - x->scale_), &qx);
      } else {
        const int128 p = pow10(x->scale_ - t);
        qx = x->mant_ / p;
        ok = ok && scale_up(x->mant_ % p, s - x->scale_, &rx);
      }
      ok = ok && !__builtin_add_overflow(q, qx, &q) && !__builtin_add_overflow(r, rx, &r);
    }
    if (!ok) continue;
    // The exact sum is q + r / unit, |r| < 2 units: carry the whole units,
    // then round the rest half away from the sum's own sign.
    q += r / unit;
    const int128 rest = r % unit, twice = (rest < 0 ? -rest : rest) * 2;
    const bool same_sign = q == 0 || (q < 0) == (rest < 0);
    if (rest != 0 && (same_sign ? twice >= unit : twice > unit)) q += rest < 0 ? -1 : 1;
    if (!in_range(q)) continue;  // a carry into a 39th digit
    *out = Decimal(q, t);
    return true;
  }
  return false;
}

bool Decimal::sub_to_fit(const Decimal& a, const Decimal& b, Decimal* out) { return add_to_fit(a, -b, out); }

bool Decimal::mul(const Decimal& a, const Decimal& b, Decimal* out) {
  if (a.mant_ == 0 || b.mant_ == 0) {
    *out = Decimal(0, a.scale_ + b.scale_ > kMax ? kMax : a.scale_ + b.scale_);
    return true;
  }
  int128 r;
  if (__builtin_mul_overflow(a.mant_, b.mant_, &r) || !in_range(r)) return false;
  int s = a.scale_ + b.scale_;
  Decimal d(r, s);
  // More places than are held: the surplus is rounded off.
  if (s > kMax) return d.round_to(kMax, out);
  *out = d;
  return true;
}

bool Decimal::mul_to_fit(const Decimal& a, const Decimal& b, Decimal* out) {
  if (mul(a, b, out)) return true;
  // The exact product has up to 76 digits: its magnitude as decimal
  // digits, most significant first, multiplied digit by digit.
  auto digits = [](int128 v) {
    std::string d;
    for (v = v < 0 ? -v : v; v > 0; v /= 10) d.insert(d.begin(), static_cast<char>('0' + v % 10));
    return d;
  };
  const std::string x = digits(a.mant_), y = digits(b.mant_);
  std::vector<int> p(x.size() + y.size(), 0);
  for (size_t i = x.size(); i-- > 0;) {
    for (size_t j = y.size(); j-- > 0;) p[i + j + 1] += (x[i] - '0') * (y[j] - '0');
  }
  for (size_t k = p.size(); k-- > 1;) {
    p[k - 1] += p[k] / 10;
    p[k] %= 10;
  }
  size_t lead = 0;
  while (lead + 1 < p.size() && p[lead] == 0) ++lead;
  const int n = static_cast<int>(p.size() - lead), scale = a.scale_ + b.scale_;
  const int whole = std::max(0, n - scale);
  // Places kept: all that fit beside the digits before the point; one
  // fewer when rounding carries into a new digit.
  for (int t = std::min({scale, kMax - whole, kMax}); t >= 0; --t) {
    const int keep = n - (scale - t);  // digits of the product kept
    int128 m = 0;
    for (int k = 0; k < keep; ++k) m = m * 10 + p[lead + k];
    if (keep >= 0 && keep < n && p[lead + keep] >= 5) ++m;
    if (!in_range(m)) continue;
    *out = Decimal((a.mant_ < 0) != (b.mant_ < 0) ? -m : m, t);
    return true;
  }
  return false;
}

Decimal::Status Decimal::divide(const Decimal& a, const Decimal& b, int scale, Decimal* out) {
  if (b.mant_ == 0) return Status::DivideByZero;
  if (scale < 0 || scale > kMax) return Status::Overflow;
  // a / b = (ma / mb) * 10^(sb - sa); wanted with `scale` places:
  // q = ma * 10^(scale + sb - sa) / mb, done as a long division so that
  // no intermediate needs more than 128 bits.
  const bool neg = (a.mant_ < 0) != (b.mant_ < 0);
  uint128 n = static_cast<uint128>(a.mant_ < 0 ? -a.mant_ : a.mant_);
  uint128 d = static_cast<uint128>(b.mant_ < 0 ? -b.mant_ : b.mant_);
  int shift = scale + b.scale_ - a.scale_;
  if (shift < 0) {
    // Fewer places than the dividend has: divide the divisor up instead.
    int128 big;
    if (!scale_up(static_cast<int128>(d), -shift, &big)) {
      *out = Decimal(0, scale);  // the quotient rounds to 0
      return Status::Ok;
    }
    d = static_cast<uint128>(big);
    shift = 0;
  }
  if (d > static_cast<uint128>(kLimit) / 10 * 3) return Status::Overflow;  // r * 10 must fit
  uint128 q = n / d, r = n % d;
  for (int k = 0; k < shift; ++k) {
    q *= 10;
    r *= 10;
    q += r / d;
    r %= d;
    if (q >= static_cast<uint128>(kLimit)) return Status::Overflow;
  }
  if (r >= d - r) ++q;
  if (q >= static_cast<uint128>(kLimit)) return Status::Overflow;
  const int128 m = static_cast<int128>(q);
  *out = Decimal(neg ? -m : m, scale);
  return Status::Ok;
}

namespace {

// Weight (in groups of four digits around the point) and value of the
// first group of four digits that is not zero: the measure by which SQL's
// numeric division sizes its quotient.
void first_group(const Decimal& v, int* weight, int* value) {
  *weight = 0;
  *value = 0;
  if (v.is_zero()) return;
  std::string digits = v.to_string();
  digits.erase(std::remove_if(digits.begin(), digits.end(), [](char c) { return c == '-' || c == '.'; }), digits.end());
  digits.erase(0, digits.find_first_not_of('0'));
  // Position (power of ten) of the leading digit.
  const int lead = static_cast<int>(digits.size()) - 1 - v.scale();
  const int w = lead >= 0 ? lead / 4 : -((-lead + 3) / 4);
  int val = 0;
  for (int p = 4 * w + 3; p >= 4 * w; --p) {
    const int idx = lead - p;
    const int digit = idx >= 0 && idx < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(idx)] - '0' : 0;
    val = val * 10 + digit;
  }
  *weight = w;
  *value = val;
}

}  // namespace

int Decimal::quotient_scale(const Decimal& a, const Decimal& b) {
  int w1, f1, w2, f2;
  first_group(a, &w1, &f1);
  first_group(b, &w2, &f2);
  int qweight = w1 - w2;
  if (f1 <= f2) --qweight;
  int s = 16 - qweight * 4;
  s = std::max({s, a.scale_, b.scale_, 0});
  return std::min(s, kMax);
}

Decimal operator+(const Decimal& a, const Decimal& b) {
  Decimal r;
  if (!Decimal::add(a, b, &r)) stop(err::kDecimalRange);
  return r;
}

Decimal operator-(const Decimal& a, const Decimal& b) {
  Decimal r;
  if (!Decimal::sub(a, b, &r)) stop(err::kDecimalRange);
  return r;
}

Decimal operator*(const Decimal& a, const Decimal& b) {
  Decimal r;
  if (!Decimal::mul(a, b, &r)) stop(err::kDecimalRange);
  return r;
}

Decimal operator/(const Decimal& a, const Decimal& b) {
  Decimal r;
  switch (Decimal::divide(a, b, Decimal::quotient_scale(a, b), &r)) {
    case Decimal::Status::Ok: return r;
    case Decimal::Status::DivideByZero: stop(err::kDivideByZero);
    case Decimal::Status::Overflow: break;
  }
  stop(err::kDecimalRange);
}

int compare(const Decimal& a, const Decimal& b) {
  if (a.negative() != b.negative()) return a.negative() ? -1 : 1;
  int128 x = a.mant_, y = b.mant_;
  int s;
  if (!align(&x, a.scale_, &y, b.scale_, &s)) {
    // Too far apart to align: the one with more digits before the point
    // is the larger in magnitude.
    const int da = a.int_digits(), db = b.int_digits();
    if (da != db) return (da > db) != a.negative() ? 1 : -1;
    // Same integer digits: compare at the smaller scale, then break a tie
    // by the remainder.
    const int common = std::min(a.scale_, b.scale_);
    const Decimal& fine = a.scale_ > b.scale_ ? a : b;
    const int128 cut = fine.mant_ / pow10(fine.scale_ - common);
    const int128 other = (a.scale_ > b.scale_ ? b : a).mant_;
    int c = cut < other   ? -1
            : cut > other ? 1
                          : (fine.mant_ % pow10(fine.scale_ - common) == 0 ? 0 : (fine.negative() ? -1 : 1));
    return a.scale_ > b.scale_ ? c : -c;
  }
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace rt
