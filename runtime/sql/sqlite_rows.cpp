// Functions of the embedded back end about rows rather than arithmetic
// (see sqlite_functions.h): one_value(x), the aggregate a query used as
// one value is read through, refusing a second row as PostgreSQL does;
// dec_key(x), the key that orders decimals by value whatever form SQLite
// holds them in; dec_text(x, s), a decimal as text with s places;
// upper(), lower() and mdy(); date_in(x, f) and date_text(d, f), a text
// read as a date and a date shown as text in the DBDATE form f. Never
// touches a statement; only the translator writes these calls.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "sql/sqlite_functions.h"
#include "values/date.h"
#include "values/decimal.h"
#include "values/text.h"

namespace rt::sql::detail {
namespace {

constexpr const char* kMoreThanOneRow = "more than one row returned by a subquery used as an expression";

struct OneValue {
  long long rows;
  sqlite3_value* value;  // a copy of the first row's value
};

void one_value_step(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<OneValue*>(sqlite3_aggregate_context(ctx, sizeof(OneValue)));
  if (!s) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  if (++s->rows > 1) {
    sqlite3_result_error(ctx, kMoreThanOneRow, -1);
    return;
  }
  s->value = sqlite3_value_dup(argv[0]);
  if (!s->value) sqlite3_result_error_nomem(ctx);
}

void one_value_final(sqlite3_context* ctx) {
  auto* s = static_cast<OneValue*>(sqlite3_aggregate_context(ctx, 0));
  if (!s) {
    sqlite3_result_null(ctx);
    return;
  }
  if (s->rows > 1)
    sqlite3_result_error(ctx, kMoreThanOneRow, -1);
  else if (s->value)
    sqlite3_result_value(ctx, s->value);
  else
    sqlite3_result_null(ctx);
  sqlite3_value_free(s->value);
  s->value = nullptr;
}

// A decimal as text whose byte order is the numbers' order: a sign class
// ('0' below zero, '1' zero, '2' above), the position of the first
// significant digit (three digits, offset by 500), then the significant
// digits. Below zero the position and digits are complemented and a '~'
// ends them, so that a longer run of digits (a larger magnitude) sorts
// first.
std::string order_key(const Decimal& value) {
  std::string text = value.normalized().to_string();
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  const size_t point = text.find('.');
  std::string digits = text.substr(0, point) + (point == std::string::npos ? "" : text.substr(point + 1));
  int exponent = static_cast<int>(point == std::string::npos ? text.size() : point);
  const size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) return "1";
  exponent -= static_cast<int>(lead);
  digits.erase(0, lead);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  int code = exponent + 500;
  if (negative) {
    code = 999 - code;
    for (char& c : digits) c = static_cast<char>('9' - (c - '0'));
    digits += '~';
  }
  char pos[4];
  pos[0] = static_cast<char>('0' + code / 100 % 10);
  pos[1] = static_cast<char>('0' + code / 10 % 10);
  pos[2] = static_cast<char>('0' + code % 10);
  pos[3] = 0;
  return std::string(negative ? "0" : "2") + pos + digits;
}

void key_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  if (!decimal_of(argv[0], &d)) {
    sqlite3_result_value(ctx, argv[0]);  // null, or text that is no number
    return;
  }
  const std::string key = order_key(d);
  sqlite3_result_text(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

// A decimal joined to text shows the places of its type, as PostgreSQL's
// numeric does: SQLite holds 1.50 as the REAL 1.5. Only those that fit 38
// digits beside the digits before the point: a sum or product past 38
// digits has kept no more.
void text_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Decimal d;
  if (!decimal_of(argv[0], &d)) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  const int places = std::min(sqlite3_value_int(argv[1]), Decimal::kMaxDigits - d.int_digits());
  const std::string text = d.to_string(places);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The text of a value, as SQLite gives it (no copy).
std::string_view text_view(sqlite3_value* v) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return {t ? t : "", t ? static_cast<size_t>(sqlite3_value_bytes(v)) : 0};
}

// upper() and lower() with the runtime's case mapping (values/text.h), so
// that letters beyond ASCII fold here as they do in the programs.
void fold_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string_view in = text_view(argv[0]);
  const std::string out = sqlite3_user_data(ctx) ? text::upshift(in) : text::downshift(in);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// mdy(month, day, year): the date, as the ISO text a DATE is held in; a
// null argument gives null, a day that is not in the calendar an error
// (-1218, as PostgreSQL's make_date gives).
void mdy_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int part[3];
  for (int k = 0; k < 3; ++k) {
    Decimal d;
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return;
    }
    std::int64_t v = 0;
    if (!decimal_of(argv[k], &d) || !d.rounded(0).to_int64(&v) || v < -99999 || v > 99999) {
      sqlite3_result_error(ctx, "date field value out of range", -1);
      return;
    }
    part[k] = static_cast<int>(v);
  }
  const std::optional<Date> date = Date::from_mdy(part[0], part[1], part[2]);
  if (!date) {
    sqlite3_result_error(ctx, "date field value out of range", -1);
    return;
  }
  const std::string iso = date->iso();
  sqlite3_result_text(ctx, iso.data(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
}

// date_in(x, f): a text value read as a date where it meets a DATE (stored
// into one, compared with one): in the DBDATE form f or as ISO, as a text
// constant is read; the ISO text a DATE is held in. Text that is no date
// stops the statement (-1218, as PostgreSQL's date input does).
void date_in_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string_view text = text_view(argv[0]);
  const auto* f = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const DateFormat format = DateFormat::from_dbdate(f ? f : "");
  std::optional<Date> d = Date::parse(text, format);
  if (!d && text.size() == 10) d = Date::parse_iso(text);
  if (!d) {
    const std::string why = "date field value out of range: '" + std::string(text) + "' is not a date";
    sqlite3_result_error(ctx, why.c_str(), -1);
    return;
  }
  const std::string iso = d->iso();
  sqlite3_result_text(ctx, iso.data(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
}

// date_text(d, f): a DATE shown as text (joined with ||, cast to text) in
// the DBDATE form f, as the runtime shows dates everywhere else.
void date_text_fn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::optional<Date> d =
      t ? Date::parse_iso(std::string_view(t, static_cast<size_t>(sqlite3_value_bytes(argv[0])))) : std::nullopt;
  if (!d) {
    sqlite3_result_value(ctx, argv[0]);  // null, or what is not a date held as one
    return;
  }
  const auto* f = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const std::string text = d->format(DateFormat::from_dbdate(f ? f : ""));
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

int register_row_functions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int rc = sqlite3_create_function(db, "one_value", 1, flags, nullptr, nullptr, one_value_step, one_value_final);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "dec_key", 1, flags, nullptr, key_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "dec_text", 2, flags, nullptr, text_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "mdy", 3, flags, nullptr, mdy_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "date_in", 2, flags, nullptr, date_in_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "date_text", 2, flags, nullptr, date_text_fn, nullptr, nullptr);
  static int to_upper = 1;
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "upper", 1, flags, &to_upper, fold_fn, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function(db, "lower", 1, flags, nullptr, fold_fn, nullptr, nullptr);
  return rc;
}

}  // namespace rt::sql::detail
