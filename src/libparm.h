// System parameters and database helpers: numbered text values in
// sys_parm, a test whether a query returns a row, the operator's login
// name, the back-end test and serial numbers on either back end, the shift
// link of a profit centre for a day, and the stored text of one lookup.
// None keeps state between calls. Every statement runs under the default
// rule (an SQL error stops the program with the runtime's report) unless
// the caller has opened a ContinueOnError scope.
//
// Text arguments are CHAR values of the width given (longer text is cut);
// text results come back without trailing blanks. NULL is nullopt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "values/value.h"

// CHAR(30) value of parameter lv_id; NULL when the stored value is null, or
// when there is no such row, which is also told in a message box
// ("Internal error getting system parameter <n>").
std::optional<std::string> get_param(int lv_id);
// get_param converted to a whole number; NULL when it is NULL or is not a
// whole number.
std::optional<int> get_param_int(int lv_id);
// Replaces the value (CHAR(30)) of an existing parameter. When no row is
// updated, writes "Internal error setting param details for :<n>" as a
// plain output line and ends the program with exit status 1.
void set_param(int lv_id, std::string_view lv_value);
// FALSE, after a message box "System parameter <n> is missing", when the
// parameter has no row (get_param's box comes first) or a blank value.
bool param_exists(int lv_id);
// TRUE when the SELECT (CHAR(200)) delivers a row. The cursor is closed
// again on every path that opened it. Inside a ContinueOnError scope a
// statement that fails answers FALSE.
bool does_exist(std::string_view lv_str);
// LOGNAME cut to 10 characters; empty when unset.
std::string get_username();
// TRUE when A4GL_SQLTYPE names PostgreSQL (rt::sql::backend_named).
bool db_is_pg();
// The next serial of lv_table.lv_column (CHAR(63) each) on PostgreSQL, from
// the column's sequence; 0 elsewhere, without touching the database: there
// inserting 0 makes the database assign it (read it back with
// rt::sql::last_serial()).
int pg_nextval(std::string_view lv_table, std::string_view lv_column);
// The shift link of profit centre lv_ctr for the day (shift 1), made when
// there is none yet.
int get_shl(int lv_ctr, rt::Date lv_date);
// The stored lookup text for "glm_account" (CHAR(70)); NULL for any other.
std::optional<std::string> get_sql_str(std::string_view lv_col);
