// The database "lunadesk": every table the programs read or write, with the
// columns and types their statements rely on, and the keys and indexes a
// real site has. Written once in the programs' own dialect (CHAR(n),
// SMALLINT, INTEGER, SERIAL, DECIMAL(p,s), DATE); the SQL layer carries each
// statement to the back end in use.
//
// Library target `lunadesk_schema`: the tool `lunadesk-db` and the test
// fixtures of the programs use it to make a fresh database, with or without
// the demo rows (demo.h). Works on the current connection (rt::sql); never
// connects, never prints, never stops the program: failures come back as
// false with a one-line reason.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lunadesk::db {

struct ColumnDef {
  std::string_view name;
  std::string_view type;  // in the dialect: "CHAR(4)", "SERIAL", ...
  bool not_null = false;
};

struct TableDef {
  std::string_view name;
  std::vector<ColumnDef> columns;  // in table order: whole-row inserts rely on it
};

struct IndexDef {
  std::string_view name;
  std::string_view table;
  bool unique = false;
  std::vector<std::string_view> columns;
};

// The schema, in creation order.
const std::vector<TableDef>& schema_tables();
const std::vector<IndexDef>& schema_indexes();
// nullptr when the schema has no such table.
const TableDef* find_table(std::string_view name);

// The dialect statements that create one table or index.
std::string create_table_sql(const TableDef& t);
std::string create_index_sql(const IndexDef& ix);

struct SchemaReport {
  std::vector<std::string> tables_created;
  std::vector<std::string> indexes_created;
  int tables_present = 0;   // found already, with all their columns
  int indexes_present = 0;  // found already (by name)
  bool changed() const { return !tables_created.empty() || !indexes_created.empty(); }
};

// Creates every table and index that is missing, in one transaction; what
// exists is left alone. A new schema gets its version row. A table that
// exists but lacks columns of the schema is an error, reported before
// anything is created (nothing is changed); so is a database that holds
// the schema of an earlier release (it needs upgrade_schema) or of a newer
// one.
bool create_schema(SchemaReport* report, std::string* error);

// Whether the current database holds any table of the schema (the version
// table aside).
bool holds_schema();

// The one-line reason a database of schema version `version` (as
// rt::sql::schema_version reads it) cannot be used by this release as it
// is, naming what to do; "" when it can. `what` is the database as the
// message names it.
std::string version_refusal(int version, const std::string& what);

struct UpgradeReport {
  int from_version = 0;  // 0: made before versions were kept
  std::vector<std::string> tables_created;
  std::vector<std::string> tables_rebuilt;  // SQLite: made anew with the current column rules
  std::vector<std::string> columns_added;   // "table.column"
  std::vector<std::string> constraints_added;
  std::vector<std::string> indexes_created;
  std::vector<std::string> indexes_remade;  // dropped and made again (with a rebuilt table, or of an older form)
  // CHAR values that lost trailing blanks, per "table.column".
  std::vector<std::pair<std::string, long>> trimmed;
  long rows_copied = 0;  // rows carried into rebuilt tables
  bool changed() const { return from_version != 0 || !tables_rebuilt.empty(); }
};

// Brings the schema of an earlier release to the current one, in one
// transaction: tables and columns added, tables whose column rules are
// older made anew with their rows (SQLite), constraints and indexes added,
// the version written. A database already at the current version is left
// alone (report->from_version is then the current version). A newer one
// is refused. Rows are kept as stored, but for the trailing blanks of
// CHAR values where the current rules drop them, which are counted.
bool upgrade_schema(UpgradeReport* report, std::string* error);

// One rule of the schema broken by a stored row, or a fault the back end's
// own check found.
struct Finding {
  std::string table;  // "" for the database as a whole
  std::string key;    // the row, as "column=value, ..." ("" for none)
  std::string what;   // what is wrong
};

// Reads the whole database and reports what breaks the rules the programs
// rely on: the back end's integrity check (SQLite), rows that refer to
// rows that are not there, and stored values their column's type or rules
// refuse (CHAR with trailing blanks or longer than the column, a DECIMAL
// with more places than its scale or no number at all, a whole number out
// of range or no number, a DATE that is no date). Never writes.
bool check_database(std::vector<Finding>* findings, std::string* error);

// Names of the tables of the current database that the schema does not
// define (a database that holds them belongs to something else), sorted.
bool foreign_tables(std::vector<std::string>* names, std::string* error);

// Names "table.column" of every column of the schema that the current
// database lacks (a missing table gives "table"). Empty when complete.
bool missing_columns(std::vector<std::string>* missing, std::string* error);

}  // namespace lunadesk::db
