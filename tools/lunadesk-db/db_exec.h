// Statement helpers for the schema tool and its library: every statement
// runs with errors caught (never the runtime's stop-on-error rule), and a
// failure becomes one DbError whose text names what was being done and
// carries the back end's own message. This is the one error path of the
// tool: callers catch DbError at their public boundary and turn it into a
// message.
//
// Also the shorthand for parameter values of the demo rows, and the serial
// of a new row taken the way the programs take it (the column's sequence on
// PostgreSQL, the database's own assignment otherwise).
//
// Never decides what to create or load; never prints.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime.h"
#include "sql/sql.h"
#include "values/value.h"

namespace lunadesk::db {

class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs a statement; on an error throws DbError("<what>: <back-end text>").
void exec(std::string_view text, const rt::sql::Params& params, std::string_view what);

// Single-row select; returns false when there is no row.
bool select_one(std::string_view text, const rt::sql::Params& params, const rt::sql::Into& into, std::string_view what);

// Runs a select and calls `row` after each row is fetched into `into`.
template <class Fn>
void for_each_row(std::string_view text, const rt::sql::Params& params, const rt::sql::Into& into,
                  std::string_view what, Fn row);

// Number of rows of a table.
long count_rows(std::string_view table);

// Inserts a row whose last parameter is a serial column and returns the
// serial stored. `insert` lists the serial column last; `params` holds the
// other values in order.
long insert_with_serial(std::string_view insert, rt::sql::Params params, std::string_view table,
                        std::string_view column);

// Runs `body` as one transaction: begun, committed when it returns, rolled
// back when it throws (the exception goes on). `what` names the work in
// the DbError of a begin or commit that fails.
template <class Fn>
void one_transaction(std::string_view what, Fn body);

// Runs `body`, which throws on failure (DbError, or the library's own):
// true when it returns, false with the exception's text in *error. The
// tool's functions that answer with bool and error* are written with it.
template <class Fn>
bool reporting_errors(std::string* error, Fn body);

// Writes the current schema version into its table (which must exist),
// in the caller's transaction.
void write_version();

// Parameter shorthand. A null pointer or an empty text gives a null CHAR.
rt::Value ch(const char* text);
rt::Value small(int v);
rt::Value integer(std::int64_t v);
// Exact decimal from its text, e.g. "1250.00"; a malformed text is a
// programmer error in the demo tables and throws DbError. money() is
// DECIMAL(12,2), rate() DECIMAL(16,6).
rt::Value decimal(std::string_view text, int precision, int scale);
rt::Value money(std::string_view text);
rt::Value rate(std::string_view text);
// A calendar date; an impossible date throws DbError.
rt::Value date(int year, int month, int day);
rt::Value null_date();

// ---- implementation of the templates ----

template <class Fn>
void one_transaction(std::string_view what, Fn body) {
  rt::sql::ContinueOnError guard;
  rt::sql::begin_work();
  if (rt::status < 0) throw DbError("beginning a transaction: " + rt::sql::last_error_message());
  try {
    body();
    rt::sql::commit_work();
    if (rt::status < 0) throw DbError("committing " + std::string(what) + ": " + rt::sql::last_error_message());
  } catch (...) {
    if (rt::sql::in_transaction()) rt::sql::rollback_work();
    throw;
  }
}

template <class Fn>
bool reporting_errors(std::string* error, Fn body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

namespace detail {
// Declares and opens a forward cursor; throws DbError on failure.
void open_cursor(rt::sql::Cursor& cur, std::string_view text, const rt::sql::Params& params, std::string_view what);
// Fetches the next row: true for a row, false at the end; throws on error.
bool fetch_row(rt::sql::Cursor& cur, const rt::sql::Into& into, std::string_view what);
}  // namespace detail

template <class Fn>
void for_each_row(std::string_view text, const rt::sql::Params& params, const rt::sql::Into& into,
                  std::string_view what, Fn row) {
  rt::sql::Cursor cur;
  detail::open_cursor(cur, text, params, what);
  try {
    while (detail::fetch_row(cur, into, what)) row();
  } catch (...) {
    rt::sql::close(cur);
    rt::sql::free_cursor(cur);
    throw;
  }
  rt::sql::close(cur);
  rt::sql::free_cursor(cur);
}

}  // namespace lunadesk::db
