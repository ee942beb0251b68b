// Questions the public SQL services (sql.h) answer about the database as
// a whole: its schema version, whether a table is there or may be changed,
// statements in the back end's own language, and a backup. Never keeps
// state of its own.
#include "sql/sql.h"

#include "core/errors.h"
#include "sql_state.h"

namespace rt::sql {

using namespace services;

int schema_version(std::string* error) {
  if (!g().conn) {
    if (error) *error = "not connected";
    return -1;
  }
  ContinueOnError guard;
  Value v(integer_t());
  select_into("SELECT version FROM " + std::string(kVersionTable), {}, {&v});
  if (rt::status == err::kNoTable) return 0;
  if (rt::status == 0 && !v.is_null() && v.as_int() > 0) return static_cast<int>(v.as_int());
  if (error) {
    *error = rt::status == err::kNotOneRow ? "table " + std::string(kVersionTable) + " holds more than one row"
             : rt::status < 0              ? last_error_message()
                                           : "table " + std::string(kVersionTable) + " holds no version";
  }
  return -1;
}

bool has_table(std::string_view table) {
  if (!g().conn) return false;
  ContinueOnError guard;
  Value v(integer_t());
  select_into("SELECT COUNT(*) FROM " + std::string(table) + " WHERE 1=0", {}, {&v});
  return rt::status == 0;
}

bool native(std::string_view text, std::vector<NativeRow>* rows, std::string* error) {
  State& s = g();
  if (!s.conn) {
    if (error) *error = "not connected";
    return false;
  }
  before_call();
  detail::Outcome o = s.conn->native(text, rows);
  if (!o.ok() && error) *error = o.message;
  return o.ok();
}

bool read_only() { return g().conn && g().conn->read_only(); }

bool may_change(std::string_view table) {
  if (!g().conn || g().conn->read_only()) return false;
  if (g().conn->kind() != Backend::Postgres) return true;
  std::vector<NativeRow> rows;
  const std::string q = quote_literal(table, Backend::Postgres);
  if (!native("SELECT has_table_privilege(" + q + ", 'DELETE') AND has_table_privilege(" + q + ", 'UPDATE')", &rows,
              nullptr))
    return true;  // the statements themselves will tell
  return rows.empty() || rows[0].empty() || !rows[0][0] || *rows[0][0] == "t";
}

bool backup_to(const std::string& path, std::string* error) {
  State& s = g();
  before_call();
  detail::Outcome o = s.conn ? s.conn->backup(path) : detail::Outcome{err::kConnect, "not connected"};
  if (!o.ok() && error) *error = o.message;
  return o.ok();
}

}  // namespace rt::sql
