// System parameters and database helpers: see libparm.h.
//
// Every statement here runs under the default rule: an SQL error stops the
// program with the runtime's report. The negative-status tests of
// does_exist therefore only decide something inside a caller's
// ContinueOnError scope, where a statement that is not valid SQL answers
// FALSE instead of stopping the program.
#include "libparm.h"

#include <string>

#include "core/host.h"
#include "core/runtime.h"
#include "lib.h"
#include "screen/ui.h"
#include "sql/backend_choice.h"
#include "sql/sql.h"
#include "values/text.h"

namespace sql = rt::sql;
using rt::Value;

namespace {

// does_exist prepares and declares these anew on every call.
sql::Statement p_does_exist;
sql::Statement p_exists;
sql::Cursor c_does_exist;

Value smallint_of(int n) { return Value::of_int(n, rt::smallint_t()); }

Value char_of(std::string_view s, int width) { return Value::of_char(rt::cut_chars(s, width), width); }

}  // namespace

std::optional<std::string> get_param(int lv_id) {
  Value result(rt::char_t(30));
  sql::select_into("SELECT parm_field  FROM sys_parm WHERE parm_nbr=?", {smallint_of(lv_id)}, {&result});
  if (rt::status != 0) {
    msgbox("Internal error getting system parameter " + std::to_string(lv_id));
    return std::nullopt;
  }
  if (result.is_null()) return std::nullopt;
  return result.str();
}

std::optional<int> get_param_int(int lv_id) {
  std::optional<std::string> text = get_param(lv_id);
  if (!text) return std::nullopt;
  // A value that is not a whole number converts to NULL, as an assignment
  // of such text to an INTEGER variable does.
  Value n(rt::integer_t());
  if (n.set_text(*text) != rt::ConvError::None || n.is_null()) return std::nullopt;
  return static_cast<int>(n.as_int());
}

void set_param(int lv_id, std::string_view lv_value) {
  sql::execute("UPDATE sys_parm SET parm_field=? WHERE parm_nbr=?", {char_of(lv_value, 30), smallint_of(lv_id)});
  // An update that finds no row is a failure to set the parameter: the row
  // is never created here, and the caller must not go on believing it set.
  if (rt::status != 0 || sql::rows_processed() == 0) {
    rt::ui::display_line("Internal error setting param details for :" + std::to_string(lv_id));
    rt::exit_program(1);
  }
}

bool param_exists(int lv_id) {
  std::optional<std::string> value = get_param(lv_id);
  if (!value || rt::rtrim(*value).empty()) {
    msgbox("System parameter " + std::to_string(lv_id) + " is missing");
    return false;
  }
  return true;
}

bool does_exist(std::string_view lv_str) {
  const std::string text = rt::cut_chars(lv_str, 200);
  sql::prepare(p_does_exist, text);
  if (rt::status < 0) return false;
  sql::prepare(p_exists, text);
  if (rt::status < 0) return false;
  sql::declare(c_does_exist, p_exists, false);
  if (rt::status < 0) return false;
  sql::open(c_does_exist);
  if (rt::status < 0) return false;
  // Only whether a row comes matters: nothing is fetched into variables.
  sql::fetch_next(c_does_exist, {});
  const bool found = rt::status == 0;
  const int fetched = rt::status;
  sql::close(c_does_exist);
  rt::status = fetched;
  return found;
}

// A name with bytes that are not UTF-8 is read with U+FFFD in their place,
// so that it can be stored and looked up on either back end; the operator
// is told.
std::string get_username() {
  bool replaced = false;
  const std::string name = rt::rtrim(rt::cut_chars(rt::getenv_text("LOGNAME", &replaced), 10));
  if (replaced) rt::ui::error("LOGNAME is not valid UTF-8; the login name is read as " + name);
  return name;
}

bool db_is_pg() { return sql::backend() == sql::Backend::Postgres; }

int pg_nextval(std::string_view lv_table, std::string_view lv_column) {
  Value result = Value::of_int(0);
  if (db_is_pg()) {
    sql::select_into("select nextval( pg_get_serial_sequence( ? , ? ))",
                     {char_of(lv_table, 63), char_of(lv_column, 63)}, {&result});
  }
  return static_cast<int>(result.as_int());
}

int get_shl(int lv_ctr, rt::Date lv_date) {
  Value result(rt::serial_t());
  sql::select_into(
      "SELECT rssl_shl  FROM rs_shiftlink WHERE rssl_prft_ctr=? AND rssl_date=?  AND rs_shiftlink.rssl_shift=1",
      {smallint_of(lv_ctr), Value::of_date(lv_date)}, {&result});
  if (rt::status == 100) {
    result.set_int(pg_nextval("rs_shiftlink", "rssl_shl"));
    sql::execute("INSERT INTO rs_shiftlink VALUES (   ?,   1,   ?,   ?)",
                 {smallint_of(lv_ctr), Value::of_date(lv_date), result});
    if (result.as_int() == 0) result.set_int(sql::last_serial());
  }
  return static_cast<int>(result.as_int());
}

std::optional<std::string> get_sql_str(std::string_view lv_col) {
  if (rt::rtrim(rt::cut_chars(lv_col, 70)) != "glm_account") return std::nullopt;
  return "select distinct gl_master.glm_account, gl_master.glm_description from gl_master where "
         "gl_master.glm_description matches ? and gl_master.glm_series = (select gl_period.glp_series "
         "from gl_period where gl_period.glp_end_dt = (select max(gl_period.glp_end_dt) from gl_period)) "
         "order by 1";
}
