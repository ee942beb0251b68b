// Statement helpers: catch every SQL error and turn it into one DbError.
#include "db_exec.h"

#include "core/runtime.h"

namespace lunadesk::db {

namespace {

[[noreturn]] void fail(std::string_view what) {
  std::string msg(what);
  const std::string& backend_text = rt::sql::last_error_message();
  msg += ": ";
  msg += backend_text.empty() ? "SQL error " + std::to_string(rt::status) : backend_text;
  throw DbError(msg);
}

}  // namespace

void exec(std::string_view text, const rt::sql::Params& params, std::string_view what) {
  rt::sql::ContinueOnError guard;
  rt::sql::execute(text, params);
  if (rt::status < 0) fail(what);
}

bool select_one(std::string_view text, const rt::sql::Params& params, const rt::sql::Into& into,
                std::string_view what) {
  rt::sql::ContinueOnError guard;
  rt::sql::select_into(text, params, into);
  if (rt::status < 0) fail(what);
  return rt::status == 0;
}

namespace detail {

void open_cursor(rt::sql::Cursor& cur, std::string_view text, const rt::sql::Params& params, std::string_view what) {
  rt::sql::ContinueOnError guard;
  rt::sql::declare(cur, text, /*scroll=*/false);
  if (rt::status >= 0) rt::sql::open(cur, params);
  if (rt::status < 0) {
    // Keep the back end's message before freeing can overwrite it.
    std::string msg(what);
    msg += ": " + rt::sql::last_error_message();
    if (cur.valid()) rt::sql::free_cursor(cur);
    throw DbError(msg);
  }
}

bool fetch_row(rt::sql::Cursor& cur, const rt::sql::Into& into, std::string_view what) {
  rt::sql::ContinueOnError guard;
  rt::sql::fetch_next(cur, into);
  if (rt::status < 0) fail(what);
  return rt::status == 0;
}

}  // namespace detail

long count_rows(std::string_view table) {
  rt::Value n(rt::integer_t());
  std::string text = "SELECT COUNT(*) FROM " + std::string(table);
  select_one(text, {}, {&n}, "counting the rows of " + std::string(table));
  return static_cast<long>(n.as_int());
}

long insert_with_serial(std::string_view insert, rt::sql::Params params, std::string_view table,
                        std::string_view column) {
  std::string what = "inserting into " + std::string(table);
  long serial = 0;
  if (rt::sql::backend() == rt::sql::Backend::Postgres) {
    rt::Value next(rt::integer_t());
    select_one("select nextval( pg_get_serial_sequence( ? , ? ))",
               {ch(std::string(table).c_str()), ch(std::string(column).c_str())}, {&next},
               "taking the next serial of " + std::string(table) + "." + std::string(column));
    serial = static_cast<long>(next.as_int());
  }
  params.push_back(rt::Value::of_int(serial, rt::serial_t()));
  exec(insert, params, what);
  if (serial == 0) serial = rt::sql::last_serial();
  if (serial <= 0) throw DbError(what + ": the database assigned no serial to the new row");
  return serial;
}

rt::Value ch(const char* text) {
  std::string_view s = text ? std::string_view(text) : std::string_view();
  if (s.empty()) return rt::Value(rt::char_t(1));
  return rt::Value::of_char(s, static_cast<int>(s.size()));
}

rt::Value small(int v) { return rt::Value::of_int(v, rt::smallint_t()); }

rt::Value integer(std::int64_t v) { return rt::Value::of_int(v, rt::integer_t()); }

rt::Value decimal(std::string_view text, int precision, int scale) {
  auto d = rt::Decimal::parse(text);
  if (!d) throw DbError("demo data: '" + std::string(text) + "' is not a decimal number");
  return rt::Value::of_decimal(*d, rt::decimal_t(precision, scale));
}

rt::Value money(std::string_view text) { return decimal(text, 12, 2); }

rt::Value rate(std::string_view text) { return decimal(text, 16, 6); }

rt::Value date(int year, int month, int day) {
  auto d = rt::Date::from_mdy(month, day, year);
  if (!d) {
    throw DbError("demo data: " + std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) +
                  " is not a date");
  }
  return rt::Value::of_date(*d);
}

rt::Value null_date() { return rt::Value(rt::date_t()); }

}  // namespace lunadesk::db
