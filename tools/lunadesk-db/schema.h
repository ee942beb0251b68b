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
// exists is left alone. A table that exists but lacks columns of the schema
// is an error, reported before anything is created (nothing is changed).
bool create_schema(SchemaReport* report, std::string* error);

// Names of the tables of the current database that the schema does not
// define (a database that holds them belongs to something else), sorted.
bool foreign_tables(std::vector<std::string>* names, std::string* error);

// Names "table.column" of every column of the schema that the current
// database lacks (a missing table gives "table"). Empty when complete.
bool missing_columns(std::vector<std::string>* missing, std::string* error);

}  // namespace lunadesk::db
