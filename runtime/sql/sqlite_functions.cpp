// Exact aggregates and the MATCHES matcher for SQLite. See
// sqlite_functions.h.
//
// SQLite stores a DECIMAL column's values as INTEGER when they are whole and
// as REAL otherwise; the layer only ever stores values of at most 15
// significant digits there, and SQLite writes a REAL back as text with 15
// significant digits, so reading each value's text gives back exactly the
// decimal that was stored. The sum is then kept as a Decimal.
#include "sql/sqlite_functions.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sql/convert.h"
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

// The value as a decimal; false for null and for text that is no number
// (which SQLite's own sum counts as 0: so does this one).
bool value_decimal(sqlite3_value* v, Decimal* out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return false;
    case SQLITE_INTEGER: *out = Decimal::from_int(sqlite3_value_int64(v)); return true;
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
      auto d = Decimal::parse(text ? text : "");
      *out = d ? *d : Decimal();
      return true;
    }
  }
}

void add(sqlite3_context* ctx, sqlite3_value* v, int sign) {
  SumState s;
  if (!load(ctx, true, &s)) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  Decimal d;
  if (!value_decimal(v, &d)) return;
  // Decimal holds 38 digits; a sum that would need more is reported below
  // rather than wrapped.
  if (d.int_digits() > 30 || s.sum.int_digits() > 30) s.overflow = true;
  s.sum = sign > 0 ? s.sum + d : s.sum - d;
  s.count += sign;
  save(ctx, s);
}

void sum_step(sqlite3_context* ctx, int, sqlite3_value** argv) { add(ctx, argv[0], +1); }
void sum_inverse(sqlite3_context* ctx, int, sqlite3_value** argv) { add(ctx, argv[0], -1); }

// Whole results come back as INTEGER (so that SUM(x)=0 holds), others as
// REAL when 15 digits carry them exactly, else as the exact text.
void result_decimal(sqlite3_context* ctx, const Decimal& d) {
  std::int64_t whole = 0;
  const Decimal r = d.rounded(d.scale());
  if (r.rounded(0) == r && r.to_int64(&whole)) {
    sqlite3_result_int64(ctx, whole);
    return;
  }
  const std::string text = r.to_string();
  if (significant_digits(r) <= 15) {
    sqlite3_result_double(ctx, std::strtod(text.c_str(), nullptr));
  } else {
    sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
}

void sum_value(sqlite3_context* ctx, bool total) {
  SumState st;
  SumState* s = load(ctx, false, &st) ? &st : nullptr;
  if (s && s->overflow) {
    sqlite3_result_error(ctx, "integer overflow", -1);
    return;
  }
  if (!s || s->count == 0) {
    if (total) sqlite3_result_double(ctx, 0.0);
    else sqlite3_result_null(ctx);
    return;
  }
  result_decimal(ctx, s->sum);
}

void sum_final(sqlite3_context* ctx) { sum_value(ctx, false); }
void sum_current(sqlite3_context* ctx) { sum_value(ctx, false); }
void total_final(sqlite3_context* ctx) { sum_value(ctx, true); }
void total_current(sqlite3_context* ctx) { sum_value(ctx, true); }

// The average to 15 significant digits past the sum's own scale, rounded
// half away from zero: exact whenever the quotient is.
void avg_value(sqlite3_context* ctx) {
  SumState st;
  SumState* s = load(ctx, false, &st) ? &st : nullptr;
  if (!s || s->count == 0) {
    sqlite3_result_null(ctx);
    return;
  }
  if (s->overflow) {
    sqlite3_result_error(ctx, "integer overflow", -1);
    return;
  }
  int128 m = s->sum.mantissa();
  int scale = s->sum.scale();
  const bool neg = m < 0;
  if (neg) m = -m;
  const int128 limit = static_cast<int128>(1) << 100;
  while (scale < s->sum.scale() + 15 && m < limit / 10) {
    m *= 10;
    ++scale;
  }
  int128 q = m / s->count;
  if ((m % s->count) * 2 >= s->count) ++q;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(q % 10)));
    q /= 10;
  } while (q != 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  if (neg) digits.insert(digits.begin(), '-');
  auto d = Decimal::parse(digits);
  Decimal out = d ? *d : Decimal();
  // Drop the zeros the division added, so that whole averages are whole.
  int keep = out.scale();
  while (keep > 0 && out.rounded(keep - 1) == out) --keep;
  result_decimal(ctx, out.rounded(keep));
}

void avg_final(sqlite3_context* ctx) { avg_value(ctx); }
void avg_current(sqlite3_context* ctx) { avg_value(ctx); }

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

// upper() and lower() with the runtime's case mapping (values/text.h), so
// that letters beyond ASCII fold here as they do in the programs.
void fold_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string_view in(t ? t : "", t ? static_cast<size_t>(sqlite3_value_bytes(argv[0])) : 0);
  const std::string out = sqlite3_user_data(ctx) ? text::upshift(in) : text::downshift(in);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

}  // namespace

int register_sqlite_functions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int rc = sqlite3_create_window_function(db, "sum", 1, flags, nullptr, sum_step, sum_final, sum_current,
                                          sum_inverse, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "total", 1, flags, nullptr, sum_step, total_final, total_current,
                                        sum_inverse, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "avg", 1, flags, nullptr, sum_step, avg_final, avg_current,
                                        sum_inverse, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "glob", 2, flags, nullptr, glob_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "divisor", 1, flags, nullptr, divisor_fn, nullptr, nullptr);
  static int to_upper = 1;
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "upper", 1, flags, &to_upper, fold_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "lower", 1, flags, nullptr, fold_fn, nullptr, nullptr);
  return rc;
}

}  // namespace rt::sql::detail
