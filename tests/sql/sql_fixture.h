// The fixture of the SQL layer's tests: each body runs on the embedded
// back end and on a PostgreSQL server that the test binary starts itself,
// with helpers that run a statement and read results.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "pg_server.h"
#include "sql/sql.h"

namespace rt::sql {
namespace {

using lunadesk::testing::Db;
using lunadesk::testing::ScopedDatabase;

inline Value chr(std::string_view s, int width = 10) { return Value::of_char(s, width); }
inline Value num(std::int64_t v) { return Value::of_int(v); }
inline Value dec(std::string_view s, int p = 10, int sc = 2) {
  return Value::of_decimal(*Decimal::parse(s), decimal_t(p, sc));
}

class Sql : public ::testing::TestWithParam<Db> {
 protected:
  void SetUp() override {
    db_.emplace(GetParam());
    LUNADESK_NEED_DATABASE(*db_);
    std::string why;
    ASSERT_TRUE(try_connect("lunadesk", &why, {db_->settings()})) << why;
    // Every error is tested here: none may stop the test binary.
    continue_.emplace();
  }
  void TearDown() override {
    continue_.reset();
    disconnect();
    db_.reset();
  }
  bool pg() const { return GetParam() == Db::Postgres; }

  // Runs a statement that must succeed.
  void ok(std::string_view text, const Params& p = {}) {
    execute(text, p);
    EXPECT_EQ(rt::status, 0) << text << ": " << last_error_message();
  }
  int status_of(std::string_view text, const Params& p = {}) {
    execute(text, p);
    return rt::status;
  }
  std::int64_t count(std::string_view text, const Params& p = {}) {
    Value n(integer_t());
    select_into(text, p, {&n});
    EXPECT_EQ(rt::status, 0) << text << ": " << last_error_message();
    return n.as_int();
  }
  // The first column of every row, in order, as text.
  std::vector<std::string> column(std::string_view text, const Params& p = {}) {
    Cursor c;
    declare(c, text, false);
    open(c, p);
    std::vector<std::string> out;
    Value v(char_t(40));
    for (fetch_next(c, {&v}); rt::status == 0; fetch_next(c, {&v})) out.push_back(v.str());
    EXPECT_EQ(rt::status, 100) << text << ": " << last_error_message();
    close(c);
    return out;
  }

  // Runs `text` as another tool would (sqlite3, psql).
  void outside(const std::string& text) {
    std::string why;
    EXPECT_TRUE(db_->run_outside(text, &why)) << text << ": " << why;
  }

  std::optional<ScopedDatabase> db_;
  std::optional<ContinueOnError> continue_;
};

}  // namespace
}  // namespace rt::sql
