// Exact decimal functions and aggregates, and the MATCHES matcher, for
// SQLite. See sqlite_functions.h.
//
// A REAL the layer stored carries at most 15 significant digits, and SQLite
// writes a REAL back as text with 15 significant digits, so reading each
// value's text gives back exactly the decimal that was stored.
#include "sql/sqlite_functions.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <cmath>

#include "core/errors.h"
#include "sql/pattern.h"
#include "values/decimal.h"
#include "values/text.h"

namespace rt::sql::detail {
namespace {

struct SumState {
  bool init = false;
  Decimal sum;
  long long count = 0;  // values that were not null
  bool overflow = false;
  bool not_a_number = false;  // a value that is no number was met
};

// SQLite's aggregate memory is only 8-byte aligned and a Decimal needs 16,
// so the state is copied in and out rather than used in place.
bool load(sqlite3_context* ctx, bool create, SumState* out) {
  void* mem = sqlite3_aggregate_context(ctx, create ? sizeof(SumState) : 0);
  if (!mem) return false;
  std::memcpy(static_cast<void*>(out), mem, sizeof(SumState));
  if (!out->init) {
    *out = SumState();
    out->init = true;
  }
  return true;
}

void save(sqlite3_context* ctx, const SumState& s) {
  void* mem = sqlite3_aggregate_context(ctx, sizeof(SumState));
  if (mem) std::memcpy(mem, static_cast<const void*>(&s), sizeof(SumState));
}

}  // namespace
bool decimal_of(sqlite3_value* v, Decimal* out);
namespace {

// Ends the function with the system's error `number` and its text, which
// the back end's error mapping (sqlite_errors.cpp) turns into the number.
void result_system_error(sqlite3_context* ctx, int number) {
  const std::string_view t = err::text(number);
  sqlite3_result_error(ctx, t.data(), static_cast<int>(t.size()));
}

constexpr const char* kNotANumber = "Character to numeric conversion error.";

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A REAL's decimal: the 15 significant digits SQLite shows of it. The
// fewest places whose decimal is that very double come first (amounts have
// two): since no two decimals of 15 digits share a double, that decimal is
// the one the text would give.
bool real_decimal(double x, Decimal* out) {
  if (std::isnan(x) || std::isinf(x)) return false;
  for (int s = 0; s <= 15; ++s) {
    const double m = x * kPow10[s];
    if (std::fabs(m) >= 1e15) break;
    const double r = std::nearbyint(m);
    if (r / kPow10[s] == x) {
      *out = *Decimal::from_scaled(static_cast<std::int64_t>(r), s);
      return true;
    }
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", x);
  const auto d = Decimal::parse(buf);
  if (!d) return false;
  *out = *d;
  return true;
}

// The double nearest to a decimal of at most 15 significant digits: both
// operands of the division are exact and the division rounds correctly, so
// this is what strtod() of its text gives.
// A whole number of few significant digits may still have a mantissa past
// 64 bits (24691357802469000000000): that one is read from its text.
double to_double(const Decimal& d) {
  const auto m = d.mantissa();
  if (d.scale() <= 22 && m <= std::numeric_limits<long long>::max() && m >= std::numeric_limits<long long>::min())
    return static_cast<double>(static_cast<long long>(m)) / kPow10[d.scale()];
  return std::strtod(d.to_string().c_str(), nullptr);
}

// A quotient keeps the places numeric division gives it, as text, so that
// it reads as on PostgreSQL (0.15000000000000000000 for the average of 0.10
// and 0.20); stored into a column it takes that column's form.
void result_quotient(sqlite3_context* ctx, const Decimal& q) {
  const std::string text = q.to_string();
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The one form of a decimal in SQLite (see sqlite_functions.h).
void result_decimal(sqlite3_context* ctx, const Decimal& value) {
  const Decimal d = value.normalized();
  std::int64_t whole = 0;
  if (d.scale() == 0 && d.to_int64(&whole)) {
    sqlite3_result_int64(ctx, whole);
    return;
  }
  if (d.significant_digits() <= 15) {
    sqlite3_result_double(ctx, to_double(d));
  } else {
    const std::string text = d.to_string();
    sqlite3_result_blob(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
}

void add(sqlite3_context* ctx, sqlite3_value* v, int sign) {
  SumState s;
  if (!load(ctx, true, &s)) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (sqlite3_value_type(v) == SQLITE_NULL) return;
  // A value that is no number (text or a blob another tool wrote, infinity)
  // is refused below, as arithmetic refuses it, rather than counted as 0:
  // a sum that leaves a value out is no sum of the values.
  Decimal d;
  if (!decimal_of(v, &d)) {
    s.not_a_number = true;
    save(ctx, s);
    return;
  }
  // A sum that would need more than 38 digits is reported below rather
  // than wrapped.
  if (!(sign > 0 ? Decimal::add(s.sum, d, &s.sum) : Decimal::sub(s.sum, d, &s.sum))) s.overflow = true;
  s.count += sign;
  save(ctx, s);
}

void sum_step(sqlite3_context* ctx, int, sqlite3_value** argv) { add(ctx, argv[0], +1); }
void sum_inverse(sqlite3_context* ctx, int, sqlite3_value** argv) { add(ctx, argv[0], -1); }

void sum_value(sqlite3_context* ctx, bool total) {
  SumState st;
  SumState* s = load(ctx, false, &st) ? &st : nullptr;
  if (s && s->not_a_number) {
    sqlite3_result_error(ctx, kNotANumber, -1);
    sqlite3_result_error_code(ctx, SQLITE_MISMATCH);
    return;
  }
  if (s && s->overflow) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  if (!s || s->count == 0) {
    if (total)
      sqlite3_result_double(ctx, 0.0);
    else
      sqlite3_result_null(ctx);
    return;
  }
  result_decimal(ctx, s->sum);
}

void sum_final(sqlite3_context* ctx) { sum_value(ctx, false); }
void sum_current(sqlite3_context* ctx) { sum_value(ctx, false); }
void total_final(sqlite3_context* ctx) { sum_value(ctx, true); }
void total_current(sqlite3_context* ctx) { sum_value(ctx, true); }

// The average as numeric division gives it: sum / count.
void avg_value(sqlite3_context* ctx) {
  SumState st;
  SumState* s = load(ctx, false, &st) ? &st : nullptr;
  if (s && s->not_a_number) {
    sqlite3_result_error(ctx, kNotANumber, -1);
    sqlite3_result_error_code(ctx, SQLITE_MISMATCH);
    return;
  }
  if (!s || s->count == 0) {
    sqlite3_result_null(ctx);
    return;
  }
  if (s->overflow) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  const Decimal n = Decimal::from_int(s->count);
  Decimal q;
  if (Decimal::divide(s->sum, n, Decimal::quotient_scale(s->sum, n), &q) != Decimal::Status::Ok) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  result_quotient(ctx, q);
}

void avg_final(sqlite3_context* ctx) { avg_value(ctx); }
void avg_current(sqlite3_context* ctx) { avg_value(ctx); }

// Both arguments as decimals; false (with the result set: null, or the
// error) when the function has nothing to compute.
bool operands(sqlite3_context* ctx, int argc, sqlite3_value** argv, Decimal* a, Decimal* b) {
  for (int k = 0; k < argc; ++k) {
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return false;
    }
  }
  for (int k = 0; k < argc; ++k) {
    if (!decimal_of(argv[k], k == 0 ? a : b)) {
      sqlite3_result_error(ctx, kNotANumber, -1);
      sqlite3_result_error_code(ctx, SQLITE_MISMATCH);
      return false;
    }
  }
  return true;
}

// A sum, difference or product with a quotient (text, see above) keeps the
// places numeric arithmetic gives it, as the quotient did.
template <bool (*Op)(const Decimal&, const Decimal&, Decimal*)>
void arith_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal a, b, r;
  if (!operands(ctx, argc, argv, &a, &b)) return;
  if (!Op(a, b, &r)) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT || sqlite3_value_type(argv[1]) == SQLITE_TEXT)
    result_quotient(ctx, r);
  else
    result_decimal(ctx, r);
}

int128 ten_to(int k);

// dec_div(a, b [, scale of a, scale of b]): the places of the quotient
// follow the operands' declared scales where they are given (-1: none).
void div_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal a, b, r;
  if (!operands(ctx, 2, argv, &a, &b)) return;
  Decimal sa = a, sb = b;
  if (argc == 4) {
    auto widen = [](const Decimal& d, int s) {
      if (s <= d.scale() || d.int_digits() + s > 38) return d;
      const std::optional<Decimal> w = Decimal::from_scaled(d.mantissa() * ten_to(s - d.scale()), s);
      return w ? *w : d;
    };
    sa = widen(a, sqlite3_value_int(argv[2]));
    sb = widen(b, sqlite3_value_int(argv[3]));
  }
  switch (Decimal::divide(a, b, Decimal::quotient_scale(sa, sb), &r)) {
    case Decimal::Status::Ok: result_quotient(ctx, r); return;
    case Decimal::Status::DivideByZero: result_system_error(ctx, err::kDivideByZero); return;
    case Decimal::Status::Overflow: result_system_error(ctx, err::kDecimalRange); return;
  }
}

void neg_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal a, b;
  if (operands(ctx, argc, argv, &a, &b)) result_decimal(ctx, -a);
}

void abs_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal a, b;
  if (operands(ctx, argc, argv, &a, &b)) result_decimal(ctx, a.negative() ? -a : a);
}

void cmp_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal a, b;
  if (operands(ctx, argc, argv, &a, &b)) sqlite3_result_int(ctx, compare(a, b));
}

// dec_between(x, a, b): x >= a AND x <= b, exactly, with the nulls of
// SQL's three-valued logic (null when it cannot be told).
void between_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int side[2];  // 1 true, 0 false, -1 unknown
  for (int k = 0; k < 2; ++k) {
    Decimal x, bound;
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[k + 1]) == SQLITE_NULL) {
      side[k] = -1;
      continue;
    }
    sqlite3_value* pair[2] = {argv[0], argv[k + 1]};
    if (!operands(ctx, 2, pair, &x, &bound)) return;
    const int c = compare(x, bound);
    side[k] = k == 0 ? c >= 0 : c <= 0;
  }
  if (side[0] == 0 || side[1] == 0)
    sqlite3_result_int(ctx, 0);
  else if (side[0] < 0 || side[1] < 0)
    sqlite3_result_null(ctx);
  else
    sqlite3_result_int(ctx, 1);
}

// dec_in(x, a, b, ...): x IN (a, b, ...), exactly: 1 when x equals an
// item, else null when x or an item is null, else 0.
void in_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  bool unknown = false;
  for (int k = 1; k < argc; ++k) {
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      unknown = true;
      continue;
    }
    Decimal x, item;
    sqlite3_value* pair[2] = {argv[0], argv[k]};
    if (!operands(ctx, 2, pair, &x, &item)) return;
    if (compare(x, item) == 0) {
      sqlite3_result_int(ctx, 1);
      return;
    }
  }
  if (unknown)
    sqlite3_result_null(ctx);
  else
    sqlite3_result_int(ctx, 0);
}

void store_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal x, r;
  if (!operands(ctx, 1, argv, &x, &x)) return;
  const int p = sqlite3_value_int(argv[1]), s = sqlite3_value_int(argv[2]);
  if (!x.round_to(s, &r) || (p > 0 && r.int_digits() > p - s)) {
    sqlite3_result_error(ctx, "numeric field overflow: a value does not fit its DECIMAL column", -1);
    return;
  }
  result_decimal(ctx, r);
}

int128 ten_to(int k) {
  int128 p = 1;
  while (k-- > 0) p *= 10;
  return p;
}

// x rounded (half away from zero) or cut to n places; n < 0 rounds or
// cuts to tens, hundreds, ... false when the result does not fit.
bool to_places(const Decimal& x, int n, bool cut, Decimal* out) {
  if (n >= 0 && x.scale() <= n) {
    *out = x;
    return true;
  }
  if (n >= 0 && !cut) return x.round_to(n, out);
  const int drop = x.scale() - n;  // digits of the mantissa that go
  if (drop > Decimal::kMaxDigits) {
    *out = Decimal();
    return true;
  }
  const int128 unit = ten_to(drop);
  int128 q = x.mantissa() / unit;
  const int128 rest = x.mantissa() % unit;
  if (!cut && (rest < 0 ? -rest : rest) * 2 >= unit) q += x.negative() ? -1 : 1;
  if (n >= 0) {
    const auto r = Decimal::from_scaled(q, n);
    if (r) *out = *r;
    return r.has_value();
  }
  const auto whole = Decimal::from_scaled(q, 0), tens = Decimal::from_scaled(ten_to(-n), 0);
  return whole && tens && Decimal::mul(*whole, *tens, out);
}

// dec_round(x [, n]) and dec_trunc(x [, n]): numeric ROUND and TRUNC.
void places_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Decimal x, n;
  if (!operands(ctx, argc, argv, &x, &n)) return;
  std::int64_t places = 0;
  if (argc > 1 && (!n.to_int64(&places) || places > Decimal::kMaxDigits || places < -Decimal::kMaxDigits)) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  Decimal r;
  if (!to_places(x, static_cast<int>(places), sqlite3_user_data(ctx) != nullptr, &r)) {
    result_system_error(ctx, err::kDecimalRange);
    return;
  }
  result_decimal(ctx, r);
}

// dec_num(x): text read as a number (blanks around it allowed), refused
// when it is no number; numbers as they are.
void num_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL || type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  Decimal d;
  if (!operands(ctx, 1, argv, &d, &d)) return;
  result_decimal(ctx, d);
}

// dec_min(x), dec_max(x): MIN and MAX compared exactly, decimals of any
// number of digits among the others.
struct ExtremeState {
  bool any = false;
  Decimal best;
};

void extreme_step(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  if (!decimal_of(argv[0], &d)) return;
  void* mem = sqlite3_aggregate_context(ctx, sizeof(ExtremeState));
  if (!mem) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  ExtremeState s;
  std::memcpy(static_cast<void*>(&s), mem, sizeof s);
  const bool max = sqlite3_user_data(ctx) != nullptr;
  if (!s.any || (max ? s.best < d : d < s.best)) s.best = d;
  s.any = true;
  std::memcpy(mem, static_cast<const void*>(&s), sizeof s);
}

void extreme_final(sqlite3_context* ctx) {
  void* mem = sqlite3_aggregate_context(ctx, 0);
  ExtremeState s;
  if (mem) std::memcpy(static_cast<void*>(&s), mem, sizeof s);
  if (!mem || !s.any) {
    sqlite3_result_null(ctx);
    return;
  }
  result_decimal(ctx, s.best);
}

void glob_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* pattern = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int plen = sqlite3_value_bytes(argv[0]);
  const auto* value = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const int vlen = sqlite3_value_bytes(argv[1]);
  sqlite3_result_int(ctx, matches(std::string_view(value, vlen), std::string_view(pattern, plen)) ? 1 : 0);
}

// like(pattern, x [, escape]): the LIKE matcher (pattern.h), in which
// case counts, as on PostgreSQL; SQLite's own ignores ASCII case.
void like_fn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int k = 0; k < argc; ++k) {
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return;
    }
  }
  auto text_of = [](sqlite3_value* v) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return std::string_view(t ? t : "", t ? static_cast<size_t>(sqlite3_value_bytes(v)) : 0);
  };
  char32_t escape = U'\\';
  if (argc == 3) {
    const std::u32string e = text::decode_all(text_of(argv[2]));
    if (e.size() != 1) {
      sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
      return;
    }
    escape = e[0];
  }
  const std::string pattern(text_of(argv[0]));
  sqlite3_result_int(ctx, like(text_of(argv[1]), pattern, escape) ? 1 : 0);
}

// divisor(x): x, refused when it is zero (the translator passes every
// divisor through it).
void divisor_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  bool zero = false;
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: zero = sqlite3_value_int64(v) == 0; break;
    case SQLITE_FLOAT: zero = sqlite3_value_double(v) == 0.0; break;
    case SQLITE_NULL: break;
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
      auto d = Decimal::parse(text ? text : "");
      zero = d && *d == Decimal();
    }
  }
  if (zero) {
    sqlite3_result_error(ctx, "division by zero", -1);
    return;
  }
  sqlite3_result_value(ctx, v);
}

}  // namespace

int register_sqlite_functions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int rc = sqlite3_create_window_function(db, "sum", 1, flags, nullptr, sum_step, sum_final, sum_current, sum_inverse,
                                          nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "total", 1, flags, nullptr, sum_step, total_final, total_current,
                                        sum_inverse, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "avg", 1, flags, nullptr, sum_step, avg_final, avg_current, sum_inverse,
                                        nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "glob", 2, flags, nullptr, glob_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "like", 2, flags, nullptr, like_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "like", 3, flags, nullptr, like_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "divisor", 1, flags, nullptr, divisor_fn, nullptr, nullptr);
  struct Fn {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static const Fn fns[] = {{"dec_add", 2, arith_fn<&Decimal::add_to_fit>},
                           {"dec_sub", 2, arith_fn<&Decimal::sub_to_fit>},
                           {"dec_mul", 2, arith_fn<&Decimal::mul_to_fit>},
                           {"dec_div", 2, div_fn},
                           {"dec_div", 4, div_fn},
                           {"dec_neg", 1, neg_fn},
                           {"dec_cmp", 2, cmp_fn},
                           {"dec_abs", 1, abs_fn},
                           {"dec_store", 3, store_fn},
                           {"dec_between", 3, between_fn},
                           {"dec_in", -1, in_fn}};
  for (const Fn& f : fns) {
    if (rc == SQLITE_OK) rc = sqlite3_create_function(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr);
  }
  static int cut = 1, largest = 1;
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "dec_num", 1, flags, nullptr, num_fn, nullptr, nullptr);
  for (int args = 1; args <= 2; ++args) {
    if (rc == SQLITE_OK)
      rc = sqlite3_create_function(db, "dec_round", args, flags, nullptr, places_fn, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "dec_trunc", args, flags, &cut, places_fn, nullptr, nullptr);
  }
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "dec_min", 1, flags, nullptr, nullptr, extreme_step, extreme_final);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "dec_max", 1, flags, &largest, nullptr, extreme_step, extreme_final);
  if (rc == SQLITE_OK) rc = register_row_functions(db);
  return rc;
}

int bind_decimal(sqlite3_stmt* st, int k, const Decimal& value) {
  const Decimal d = value.normalized();
  std::int64_t whole = 0;
  if (d.scale() == 0 && d.to_int64(&whole)) return sqlite3_bind_int64(st, k, whole);
  if (d.significant_digits() <= 15) return sqlite3_bind_double(st, k, to_double(d));
  const std::string text = d.to_string();
  return sqlite3_bind_blob(st, k, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool decimal_of(sqlite3_value* v, Decimal* out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return false;
    case SQLITE_INTEGER: *out = Decimal::from_int(sqlite3_value_int64(v)); return true;
    case SQLITE_FLOAT: return real_decimal(sqlite3_value_double(v), out);
    default: {
      const auto* text = static_cast<const char*>(sqlite3_value_blob(v));
      const auto d = Decimal::parse(std::string_view(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(v))));
      if (!d) return false;
      *out = *d;
      return true;
    }
  }
}

}  // namespace rt::sql::detail
