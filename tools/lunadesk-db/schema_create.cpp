// Creating the schema on the current connection: look at what exists, then
// create what is missing in one transaction.
//
// A table and its columns are looked for with the dialect itself (a select
// of the columns that matches no row), so the check is the same on every
// back end. Indexes have no such probe: their names come from the back
// end's catalogue. The probes run before the transaction begins, because a
// failed statement spoils an open transaction on PostgreSQL.
#include <algorithm>
#include <set>

#include "db_exec.h"
#include "schema.h"

namespace lunadesk::db {

namespace {

// True when the select of `columns` from `table` runs.
bool selects(std::string_view table, const std::string& columns) {
  rt::sql::ContinueOnError guard;
  std::string text = "SELECT " + columns + " FROM " + std::string(table) + " WHERE 1=0";
  rt::sql::Cursor cur;
  rt::sql::declare(cur, text, /*scroll=*/false);
  if (rt::status >= 0) rt::sql::open(cur);
  bool ok = rt::status >= 0;
  if (cur.valid()) {
    rt::sql::close(cur);
    rt::sql::free_cursor(cur);
  }
  return ok;
}

enum class TableState { Missing, Complete, Incomplete };

TableState inspect_table(const TableDef& t, std::vector<std::string>* missing) {
  std::string all;
  for (const ColumnDef& c : t.columns) {
    if (!all.empty()) all += ", ";
    all += c.name;
  }
  if (selects(t.name, all)) return TableState::Complete;
  if (!selects(t.name, "COUNT(*)")) {
    if (missing) missing->push_back(std::string(t.name));
    return TableState::Missing;
  }
  for (const ColumnDef& c : t.columns) {
    if (!selects(t.name, std::string(c.name)) && missing) {
      missing->push_back(std::string(t.name) + "." + std::string(c.name));
    }
  }
  return TableState::Incomplete;
}

std::set<std::string> existing_indexes() {
  const char* text = rt::sql::backend() == rt::sql::Backend::Postgres
                         ? "SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()"
                         : "SELECT name FROM sqlite_master WHERE type = 'index'";
  std::set<std::string> names;
  rt::Value name(rt::char_t(128));
  for_each_row(text, {}, {&name}, "reading the index names", [&] { names.insert(name.str()); });
  return names;
}

}  // namespace

void write_version() {
  exec("DELETE FROM " + std::string(rt::sql::kVersionTable), {}, "clearing the schema version");
  exec("INSERT INTO " + std::string(rt::sql::kVersionTable) + " VALUES (?)", {integer(rt::sql::kSchemaVersion)},
       "writing the schema version");
}

bool foreign_tables(std::vector<std::string>* names, std::string* error) {
  const char* text = rt::sql::backend() == rt::sql::Backend::Postgres
                         ? "SELECT tablename FROM pg_tables WHERE schemaname = current_schema()"
                         : "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'";
  return reporting_errors(error, [&] {
    names->clear();
    rt::Value name(rt::char_t(128));
    for_each_row(text, {}, {&name}, "reading the table names", [&] {
      if (!find_table(name.str())) names->push_back(name.str());
    });
    std::sort(names->begin(), names->end());
  });
}

bool missing_columns(std::vector<std::string>* missing, std::string* error) {
  return reporting_errors(error, [&] {
    missing->clear();
    for (const TableDef& t : schema_tables()) inspect_table(t, missing);
  });
}

bool holds_schema() {
  for (const TableDef& t : schema_tables()) {
    if (t.name != rt::sql::kVersionTable && rt::sql::has_table(t.name)) return true;
  }
  return false;
}

std::string version_refusal(int version, const std::string& what) {
  const int current = rt::sql::kSchemaVersion;
  if (version == current) return {};
  if (version > current) {
    return what + " has schema version " + std::to_string(version) + ", of a newer release (this one knows " +
           std::to_string(current) + "); it is left alone: use the lunadesk-db of that release";
  }
  const std::string had = version == 0 ? std::string("no version recorded") : "version " + std::to_string(version);
  return what + " has the schema of an earlier release (" + had + ", this release needs " + std::to_string(current) +
         "); bring it up to date with 'lunadesk-db upgrade'";
}

bool create_schema(SchemaReport* report, std::string* error) {
  SchemaReport r;
  std::vector<const TableDef*> to_create;
  std::vector<std::string> incomplete;
  const bool done = reporting_errors(error, [&] {
    std::string why;
    const int version = rt::sql::schema_version(&why);
    if (version < 0) throw DbError("reading the schema version: " + why);
    const bool older = version == 0 && holds_schema();
    if (version > rt::sql::kSchemaVersion) throw DbError(version_refusal(version, "the database"));
    for (const TableDef& t : schema_tables()) {
      std::vector<std::string> lacking;
      switch (inspect_table(t, &lacking)) {
        case TableState::Missing: to_create.push_back(&t); break;
        case TableState::Complete: ++r.tables_present; break;
        case TableState::Incomplete:
          for (std::string& col : lacking) incomplete.push_back(std::move(col));
          break;
      }
    }
    if (!incomplete.empty()) {
      std::string msg = "existing tables lack columns the programs use: ";
      for (size_t i = 0; i < incomplete.size(); ++i) msg += (i ? ", " : "") + incomplete[i];
      msg += "; nothing was changed";
      if (older) msg += "; bring it up to date with 'lunadesk-db upgrade'";
      throw DbError(msg);
    }
    if (older) throw DbError(version_refusal(0, "the database") + "; nothing was changed");
    std::set<std::string> present = existing_indexes();

    one_transaction("the schema", [&] {
      for (const TableDef* t : to_create) {
        exec(create_table_sql(*t), {}, "creating table " + std::string(t->name));
        r.tables_created.push_back(std::string(t->name));
        if (t->name == rt::sql::kVersionTable) write_version();
      }
      for (const IndexDef& ix : schema_indexes()) {
        if (present.count(std::string(ix.name))) {
          ++r.indexes_present;
          continue;
        }
        exec(create_index_sql(ix), {}, "creating index " + std::string(ix.name));
        r.indexes_created.push_back(std::string(ix.name));
      }
    });
  });
  if (!done) return false;
  if (report) *report = r;
  return true;
}

}  // namespace lunadesk::db
