// Upgrading the schema of a database made by an earlier release, in place.
//
// What earlier releases made, beside the tables and indexes (which have
// not changed since the first release that made them):
//   SQLite      a CHAR column that counted bytes, not characters, and kept
//               the trailing blanks another tool wrote (no trimming
//               triggers); INTEGER and SMALLINT columns that took text and
//               numbers out of range; no version
//   PostgreSQL  a SERIAL column without its unique constraint; no version;
//               rows another tool stored with their serials given, behind
//               which the column's sequence stayed
// and, in a database a site has kept by other means, a column the schema
// added later (appended at the end of its table). On PostgreSQL the
// indexes of the first releases sorted nulls last; they are made anew.
//
// SQLite cannot change a column's rules, so each table whose definition
// is not what this release makes is made anew: the old one renamed aside,
// the new one created through the SQL layer (its column rules and
// triggers), the rows copied column by column as stored (CHAR values
// without their trailing blanks, as the current rules keep them, and
// counted), the serial counter carried over, the old table dropped. Which
// tables differ is found by making the current table under a scratch name
// and comparing its definition with the stored one. On PostgreSQL the
// missing columns and constraints are added. All of it is one transaction:
// a row the current rules refuse (text in an INTEGER column, say) fails
// the upgrade, names the table, and leaves the database as it was.
//
// Never connects, never prints; the backup beside the file is the tool's.
#include <algorithm>
#include <set>

#include "db_exec.h"
#include "schema.h"
#include "sql/translate.h"

namespace lunadesk::db {

namespace {

using Rows = std::vector<rt::sql::NativeRow>;

Rows native_rows(const std::string& text, const std::string& what) {
  Rows rows;
  std::string why;
  if (!rt::sql::native(text, &rows, &why)) throw DbError(what + ": " + why);
  return rows;
}

void native_exec(const std::string& text, const std::string& what) { native_rows(text, what); }

std::string text_of(const rt::sql::NativeRow& row, size_t c) { return c < row.size() && row[c] ? *row[c] : ""; }

bool is_pg() { return rt::sql::backend() == rt::sql::Backend::Postgres; }

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// The stored columns of a table, in table order.
std::vector<std::string> stored_columns(std::string_view table) {
  const std::string t(table);
  const std::string text =
      is_pg() ? "SELECT column_name FROM information_schema.columns WHERE table_schema = current_schema() AND "
                "table_name = " +
                    rt::sql::quote_literal(t) + " ORDER BY ordinal_position"
              : "SELECT name FROM pragma_table_info(" + rt::sql::quote_literal(t) + ")";
  std::vector<std::string> cols;
  for (const auto& row : native_rows(text, "reading the columns of " + t)) cols.push_back(text_of(row, 0));
  return cols;
}

std::set<std::string> index_names() {
  const char* text = is_pg() ? "SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()"
                             : "SELECT name FROM sqlite_master WHERE type = 'index'";
  std::set<std::string> names;
  for (const auto& row : native_rows(text, "reading the index names")) names.insert(text_of(row, 0));
  return names;
}

// ---- SQLite ----

// The stored definition of a table and of its triggers, with the table's
// own name replaced by `as`, so that two tables' definitions compare.
std::string sqlite_definition(const std::string& table, const std::string& as) {
  std::string all;
  const std::string text = "SELECT type, sql FROM sqlite_master WHERE tbl_name = " + rt::sql::quote_literal(table) +
                           " AND type IN ('table', 'trigger') ORDER BY type, name";
  for (const auto& row : native_rows(text, "reading the definition of " + table)) {
    std::string sql = text_of(row, 1);
    for (size_t p = 0; (p = sql.find(table, p)) != std::string::npos; p += as.size()) sql.replace(p, table.size(), as);
    all += sql + ";\n";
  }
  return all;
}

// Makes `t` anew with the current rules when its stored definition is not
// what this release creates; its rows are carried over.
void sqlite_rebuild_if_older(const TableDef& t, UpgradeReport& r) {
  const std::string name(t.name);
  const std::string scratch = "lunadesk_new_" + name;
  const std::string old = "lunadesk_old_" + name;
  TableDef probe = t;
  probe.name = scratch;
  exec(create_table_sql(probe), {}, "creating the current form of " + name);
  const bool same = sqlite_definition(scratch, "T") == sqlite_definition(name, "T");
  native_exec("DROP TABLE " + quoted(scratch), "dropping the current form of " + name);
  if (same) return;

  const std::vector<std::string> stored = stored_columns(name);
  std::vector<const ColumnDef*> common;
  for (const ColumnDef& c : t.columns) {
    if (std::find(stored.begin(), stored.end(), std::string(c.name)) != stored.end()) {
      common.push_back(&c);
    } else {
      r.columns_added.push_back(name + "." + std::string(c.name));
    }
  }
  // The blanks the current rules drop, counted before they go.
  for (const ColumnDef* c : common) {
    if (!starts_with(c->type, "CHAR(")) continue;
    const std::string col = quoted(c->name);
    Rows n = native_rows("SELECT COUNT(*) FROM " + quoted(name) + " WHERE hex(substr(" + col + ", -1)) = '20'",
                         "counting trailing blanks in " + name);
    const long count = std::stol(text_of(n.at(0), 0));
    if (count > 0) r.trimmed.emplace_back(name + "." + std::string(c->name), count);
  }
  // The serial counter: a serial once handed out is never handed out again.
  Rows seq = native_rows("SELECT seq FROM sqlite_sequence WHERE name = " + rt::sql::quote_literal(name),
                         "reading the serial counter of " + name);
  for (const auto& row :
       native_rows("SELECT type, name FROM sqlite_master WHERE tbl_name = " + rt::sql::quote_literal(name) +
                       " AND type IN ('trigger', 'index') AND sql IS NOT NULL",
                   "reading the triggers and indexes of " + name)) {
    native_exec("DROP " + std::string(text_of(row, 0) == "index" ? "INDEX " : "TRIGGER ") + quoted(text_of(row, 1)),
                "dropping " + text_of(row, 1));
  }
  native_exec("ALTER TABLE " + quoted(name) + " RENAME TO " + quoted(old), "setting " + name + " aside");
  exec(create_table_sql(t), {}, "creating " + name + " anew");
  std::string cols, values;
  for (const ColumnDef* c : common) {
    const std::string col = quoted(c->name);
    cols += (cols.empty() ? "" : ", ") + col;
    values += (values.empty() ? "" : ", ") + (starts_with(c->type, "CHAR(") ? "rtrim(" + col + ", ' ')" : col);
  }
  if (!cols.empty()) {
    native_exec(
        "INSERT INTO " + quoted(name) + " (" + cols + ") SELECT " + values + " FROM " + quoted(old) + " ORDER BY rowid",
        "copying the rows of " + name + " (lunadesk-db check names the rows the current rules refuse)");
  }
  r.rows_copied += std::stol(text_of(native_rows("SELECT COUNT(*) FROM " + quoted(name), "counting " + name).at(0), 0));
  if (!seq.empty()) {
    const std::string n = rt::sql::quote_literal(name);
    const std::string v = text_of(seq[0], 0);
    native_exec("UPDATE sqlite_sequence SET seq = max(seq, " + v + ") WHERE name = " + n,
                "keeping the serial counter of " + name);
    native_exec("INSERT INTO sqlite_sequence (name, seq) SELECT " + n + ", " + v +
                    " WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = " + n + ")",
                "keeping the serial counter of " + name);
  }
  native_exec("DROP TABLE " + quoted(old), "dropping the old " + name);
  r.tables_rebuilt.push_back(name);
}

// ---- PostgreSQL ----

std::string pg_type(std::string_view dialect) {
  if (starts_with(dialect, "DECIMAL")) return "numeric" + std::string(dialect.substr(7));
  if (dialect == "SERIAL") return "serial";
  return std::string(dialect);  // CHAR(n), SMALLINT, INTEGER, DATE read the same
}

void pg_bring_up(const TableDef& t, UpgradeReport& r) {
  const std::string name(t.name);
  const std::vector<std::string> stored = stored_columns(name);
  // Missing columns are added at the end of the table, where whole-row
  // inserts expect them only when every column before is there, in order.
  size_t have = 0;
  while (have < t.columns.size() && have < stored.size() && stored[have] == t.columns[have].name) ++have;
  for (size_t c = have; c < t.columns.size(); ++c) {
    const ColumnDef& col = t.columns[c];
    if (std::find(stored.begin(), stored.end(), std::string(col.name)) != stored.end() || have < stored.size()) {
      throw DbError("table " + name + " does not hold its columns in the order of this release (" +
                    std::string(col.name) + "); nothing was changed");
    }
    native_exec("ALTER TABLE " + quoted(name) + " ADD COLUMN " + quoted(col.name) + " " + pg_type(col.type) +
                    (col.not_null ? " NOT NULL" : ""),
                "adding column " + name + "." + std::string(col.name));
    r.columns_added.push_back(name + "." + std::string(col.name));
  }
  // A serial is a key: the constraint that makes it one. It continues
  // after the largest value stored, also where another tool stored rows
  // with their serials given.
  for (const ColumnDef& col : t.columns) {
    if (col.type != "SERIAL") continue;
    const std::string c = quoted(col.name);
    Rows seq = native_rows("SELECT pg_get_serial_sequence(" + rt::sql::quote_literal(quoted(name)) + ", " +
                               rt::sql::quote_literal(std::string(col.name)) + "), (SELECT max(" + c + ") FROM " +
                               quoted(name) + ")",
                           "reading the serial of " + name);
    if (!seq.empty() && seq[0].size() == 2 && seq[0][0] && seq[0][1]) {
      const std::string& sequence = *seq[0][0];
      Rows at = native_rows("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM " + sequence,
                            "reading the serial counter of " + name);
      if (!at.empty() && std::stoll(text_of(at[0], 0)) < std::stoll(*seq[0][1])) {
        native_exec("SELECT setval(" + rt::sql::quote_literal(sequence) + ", " + *seq[0][1] + ")",
                    "moving the serial counter of " + name + " past its largest value");
      }
    }
    const std::string constraint = name + "_" + std::string(col.name) + "_key";
    Rows found = native_rows("SELECT 1 FROM pg_constraint WHERE conname = " + rt::sql::quote_literal(constraint) +
                                 " AND connamespace = current_schema()::regnamespace",
                             "reading the constraints of " + name);
    if (!found.empty()) continue;
    native_exec(
        "ALTER TABLE " + quoted(name) + " ADD CONSTRAINT " + quoted(constraint) + " UNIQUE (" + quoted(col.name) + ")",
        "making " + name + "." + std::string(col.name) + " a key");
    r.constraints_added.push_back(constraint);
  }
}

// The part of an index definition that tells two apart: the column list
// and its ordering, and whether it is unique.
std::string index_shape(const std::string& def) {
  const auto open = def.find('(');
  const bool unique = def.find("UNIQUE") != std::string::npos;
  return (unique ? "UNIQUE " : "") + (open == std::string::npos ? def : def.substr(open));
}

// PostgreSQL: the schema's indexes that an earlier release made otherwise
// (without the null ordering of today, say) are dropped, to be made anew.
void pg_drop_older_indexes() {
  for (const auto& row : native_rows("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema()",
                                     "reading the index definitions")) {
    const std::string name = text_of(row, 0);
    for (const IndexDef& ix : schema_indexes()) {
      if (ix.name != name) continue;
      const rt::sql::Translation tr = rt::sql::translate(create_index_sql(ix), rt::sql::Backend::Postgres, nullptr);
      if (index_shape(tr.text) != index_shape(text_of(row, 1)))
        native_exec("DROP INDEX " + quoted(name), "dropping the older index " + name);
    }
  }
}

}  // namespace

bool upgrade_schema(UpgradeReport* report, std::string* error) {
  UpgradeReport r;
  const bool done = reporting_errors(error, [&] {
    std::string why;
    const int version = rt::sql::schema_version(&why);
    if (version < 0) throw DbError("reading the schema version: " + why);
    r.from_version = version;
    if (version > rt::sql::kSchemaVersion) throw DbError(version_refusal(version, "the database"));
    if (version == rt::sql::kSchemaVersion) return;  // nothing to do; reported below
    if (!holds_schema()) {
      throw DbError("the database holds no lunadesk tables to upgrade; make them with 'lunadesk-db init'");
    }

    one_transaction("the upgrade", [&] {
      // Indexes a rebuilt table loses come back with the rest; only those
      // the database never had count as new.
      const std::set<std::string> had = index_names();
      if (is_pg()) pg_drop_older_indexes();
      for (const TableDef& t : schema_tables()) {
        if (!rt::sql::has_table(t.name)) {
          exec(create_table_sql(t), {}, "creating table " + std::string(t.name));
          r.tables_created.push_back(std::string(t.name));
        } else if (is_pg()) {
          pg_bring_up(t, r);
        } else {
          sqlite_rebuild_if_older(t, r);
        }
      }
      const std::set<std::string> present = index_names();
      for (const IndexDef& ix : schema_indexes()) {
        if (present.count(std::string(ix.name))) continue;
        exec(create_index_sql(ix), {}, "creating index " + std::string(ix.name));
        (had.count(std::string(ix.name)) ? r.indexes_remade : r.indexes_created).push_back(std::string(ix.name));
      }
      write_version();
    });
  });
  if (!done) return false;
  if (report) *report = r;
  return true;
}

}  // namespace lunadesk::db
