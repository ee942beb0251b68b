// A fresh database per test body, on each back end, connected the way the
// schema tool connects.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/runtime.h"
#include "pg_server.h"
#include "sql/sql.h"

namespace lunadesk::db::test {

class FreshDb : public ::testing::TestWithParam<lunadesk::testing::Db> {
 protected:
  void SetUp() override {
    db_.emplace(GetParam());
    LUNADESK_NEED_DATABASE(*db_);
    std::string error;
    ASSERT_TRUE(rt::sql::try_connect("lunadesk", &error, {db_->settings(), /*create_if_missing=*/true})) << error;
  }
  void TearDown() override {
    rt::sql::disconnect();
    db_.reset();
  }
  std::optional<lunadesk::testing::ScopedDatabase> db_;
};

// Runs a statement with errors caught; returns rt::status.
inline int try_exec(const std::string& text, const rt::sql::Params& params = {}) {
  rt::sql::ContinueOnError guard;
  rt::sql::execute(text, params);
  return rt::status;
}

}  // namespace lunadesk::db::test
