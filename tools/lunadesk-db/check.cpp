// Checking a database against the rules the programs rely on, reading only.
//
// Three kinds of rule:
//   - the back end's own check of its storage (SQLite's integrity check;
//     the server keeps its own on PostgreSQL);
//   - rows that refer to rows that must be there: a tax link whose group
//     row or tax table is gone, an open item whose item is gone;
//   - stored values that their column's type refuses. PostgreSQL's types
//     refuse them as they are written, so there only the numbers that are
//     no numbers (NaN, Infinity) can be found; on SQLite another tool can
//     write anything the file's older column rules let through: a CHAR
//     with trailing blanks or longer than its width, a DECIMAL with more
//     places than its scale or more digits than its precision, text, a
//     blob or infinity in a number column, a whole number out of range, a
//     DATE that is no yyyy-mm-dd date.
// Statements are the back end's own SQL over the schema's table and column
// names only; the values read are never put into a statement.
#include <cmath>
#include <cstdlib>

#include "db_exec.h"
#include "schema.h"
#include "values/date.h"
#include "values/decimal.h"

namespace lunadesk::db {

namespace {

using Row = rt::sql::NativeRow;

bool is_pg() { return rt::sql::backend() == rt::sql::Backend::Postgres; }

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The numbers of a type such as "DECIMAL(12,2)".
std::vector<int> type_args(std::string_view type) {
  std::vector<int> args;
  auto open = type.find('(');
  if (open == std::string_view::npos) return args;
  std::string inner(type.substr(open + 1));
  char* p = inner.data();
  while (*p && *p != ')') {
    args.push_back(static_cast<int>(std::strtol(p, &p, 10)));
    if (*p == ',') ++p;
  }
  return args;
}

long characters(const std::string& s) {
  long n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The columns that name a row of `t` in a finding: its first unique key,
// else its required columns.
std::vector<std::string> key_columns(const TableDef& t) {
  for (const IndexDef& ix : schema_indexes()) {
    if (ix.table == t.name && ix.unique) return {ix.columns.begin(), ix.columns.end()};
  }
  std::vector<std::string> key;
  for (const ColumnDef& c : t.columns) {
    if (c.not_null) key.emplace_back(c.name);
  }
  if (key.empty()) key.emplace_back(t.columns.front().name);
  return key;
}

std::string key_text(const std::vector<std::string>& names, const Row& row) {
  std::string s;
  for (size_t i = 0; i < names.size(); ++i) {
    s += (i ? ", " : "") + names[i] + "=" + (row[i] ? "'" + *row[i] + "'" : std::string("NULL"));
  }
  return s;
}

// What is wrong with one stored value of column `c`, "" when nothing.
// `type` is SQLite's typeof() ("" on PostgreSQL, where the type holds).
std::string value_fault(const ColumnDef& c, const std::string& type, const std::string& v) {
  const std::string name(c.name);
  const std::vector<int> args = type_args(c.type);
  if (starts_with(c.type, "DECIMAL")) {
    if (v == "NaN" || v == "Infinity" || v == "-Infinity" || v == "Inf" || v == "-Inf")
      return name + " holds " + v + ", which is no number";
    if (is_pg()) return {};
    if (type == "text") return name + " holds the text '" + v + "', which is no number";
    const std::string decl(c.type);
    auto d = rt::Decimal::parse(v);
    if (!d)
      return name + " holds " + (type == "blob" ? std::string("a blob") : "'" + v + "'") + ", which is no " + decl;
    const int precision = args.size() > 0 ? args[0] : 0, scale = args.size() > 1 ? args[1] : 0;
    const rt::Decimal n = d->normalized();
    if (n.scale() > scale) return name + " holds " + v + ", more places than its " + std::to_string(scale);
    if (n.int_digits() > precision - scale) return name + " holds " + v + ", more digits than " + decl + " allows";
    return {};
  }
  if (is_pg()) return {};
  if (starts_with(c.type, "CHAR")) {
    if (type != "text") return name + " holds a " + type + " where text belongs";
    if (!v.empty() && v.back() == ' ') return name + " holds '" + v + "' with trailing blanks";
    if (!args.empty() && characters(v) > args[0])
      return name + " holds " + std::to_string(characters(v)) + " characters, more than its " + std::to_string(args[0]);
    return {};
  }
  if (c.type == "INTEGER" || c.type == "SMALLINT" || c.type == "SERIAL") {
    if (type != "integer") return name + " holds the " + type + " '" + v + "' where a whole number belongs";
    const long long n = std::strtoll(v.c_str(), nullptr, 10);
    const long long max = c.type == "SMALLINT" ? 32767 : 2147483647;
    if (n > max || n < -max) return name + " holds " + v + ", out of the range of " + std::string(c.type);
    return {};
  }
  if (c.type == "DATE") {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    const bool iso =
        type == "text" && v.size() == 10 && std::sscanf(v.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3;
    if (!iso || !rt::Date::from_mdy(m, d, y)) return name + " holds '" + v + "', which is no date";
  }
  return {};
}

void check_values(const TableDef& t, std::vector<Finding>& out) {
  const std::vector<std::string> key = key_columns(t);
  std::string cols;
  for (const std::string& k : key) cols += (cols.empty() ? "" : ", ") + ("\"" + k + "\"") + (is_pg() ? "::text" : "");
  for (const ColumnDef& c : t.columns) {
    const std::string q = "\"" + std::string(c.name) + "\"";
    cols += is_pg() ? ", '', " + q + "::text" : ", typeof(" + q + "), " + q;
  }
  std::vector<Row> rows;
  std::string why;
  const std::string name(t.name);
  if (!rt::sql::native("SELECT " + cols + " FROM \"" + name + "\"", &rows, &why)) {
    out.push_back({name, "", "cannot be read: " + why});
    return;
  }
  for (const Row& row : rows) {
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const auto& v = row[key.size() + 2 * i + 1];
      if (!v) continue;
      std::string fault = value_fault(t.columns[i], row[key.size() + 2 * i].value_or(""), *v);
      if (!fault.empty()) out.push_back({name, key_text(key, row), fault});
    }
  }
}

// Rows of `table` (named by `key`) that `where` finds: each a finding.
void check_references(const std::string& table, const std::vector<std::string>& key, const std::string& where,
                      const std::string& what, std::vector<Finding>& out) {
  std::string cols;
  for (const std::string& k : key) cols += (cols.empty() ? "" : ", ") + k + (is_pg() ? "::text" : "");
  std::vector<Row> rows;
  std::string why;
  if (!rt::sql::native("SELECT " + cols + " FROM " + table + " WHERE " + where, &rows, &why)) {
    out.push_back({table, "", "cannot be checked: " + why});
    return;
  }
  for (const Row& row : rows) out.push_back({table, key_text(key, row), what});
}

}  // namespace

bool check_database(std::vector<Finding>* findings, std::string* error) {
  std::vector<Finding> out;
  const bool done = reporting_errors(error, [&] {
    if (!is_pg()) {
      std::vector<Row> rows;
      std::string why;
      if (!rt::sql::native("PRAGMA integrity_check", &rows, &why)) throw DbError("the integrity check: " + why);
      for (const Row& r : rows) {
        // A row that breaks a column's CHECK is reported below with its key.
        if (r.empty() || !r[0] || *r[0] == "ok" || r[0]->starts_with("CHECK constraint failed in ")) continue;
        out.push_back({"", "", "integrity check: " + *r[0]});
      }
    }
    for (const TableDef& t : schema_tables()) {
      if (!rt::sql::has_table(t.name)) {
        out.push_back({std::string(t.name), "", "the table is missing"});
        continue;
      }
      check_values(t, out);
    }
    check_references("tx_use_link", {"tul_link", "tul_trn"},
                     "NOT EXISTS (SELECT 1 FROM tx_use_g WHERE tu_link = tul_link)",
                     "a tax link whose group row (tx_use_g.tu_link) is not there", out);
    check_references("tx_use_link", {"tul_link", "tul_trn"},
                     "tul_trn IS NOT NULL AND NOT EXISTS (SELECT 1 FROM tx_table WHERE tt_trn = tul_trn)",
                     "a tax link whose tax table (tx_table.tt_trn) is not there", out);
    check_references("ar_openitem", {"aroi_customer", "aroi_invoice_nbr", "aroi_seq_nbr"},
                     "NOT EXISTS (SELECT 1 FROM ar_item WHERE ar_customer = aroi_customer AND ar_invoice_nbr = "
                     "aroi_invoice_nbr AND ar_seq_nbr = aroi_seq_nbr)",
                     "an open item whose item (ar_item) is not there", out);
  });
  if (!done) return false;
  if (findings) *findings = std::move(out);
  return true;
}

}  // namespace lunadesk::db
