// Values bound to and read from SQLite statements: see sqlite_values.h.
#include "sql/sqlite_values.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/errors.h"
#include "sql/sqlite_functions.h"

namespace rt::sql::detail {
namespace {
// A DECIMAL(p,s) value read into a CHAR variable shows its s digits, as on
// PostgreSQL; SQLite itself keeps 1.50 as 1.5 and 2.00 as 2. Of them as
// many as fit 38 digits: a sum or product past 38 digits kept no more.
int store_scaled(Value* into, Fetched kind, std::int64_t i, std::string_view text, const ColInfo& info) {
  if (info.scale >= 0 && into->type().kind == Kind::Char && (kind == Fetched::Int || kind == Fetched::Number)) {
    auto d = kind == Fetched::Int ? std::optional<Decimal>(Decimal::from_int(i)) : Decimal::parse(text);
    if (d)
      return store(into, Fetched::Number, 0, d->to_string(std::min(info.scale, Decimal::kMaxDigits - d->int_digits())));
  }
  return store(into, kind, i, text);
}

// Reads column `c` of the current row.
int store_column(sqlite3_stmt* st, int c, const ColInfo& info, Value* into) {
  switch (sqlite3_column_type(st, c)) {
    case SQLITE_NULL: return store(into, Fetched::Null, 0, {});
    case SQLITE_INTEGER: return store_scaled(into, Fetched::Int, sqlite3_column_int64(st, c), {}, info);
    case SQLITE_FLOAT: {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
      return store_scaled(into, Fetched::Number, 0, std::string_view(t, sqlite3_column_bytes(st, c)), info);
    }
    case SQLITE_BLOB: {
      // A decimal of more digits than a REAL carries: its exact text.
      const auto* t = static_cast<const char*>(sqlite3_column_blob(st, c));
      const std::string_view text(t ? t : "", t ? sqlite3_column_bytes(st, c) : 0);
      return store_scaled(into, Decimal::parse(text) ? Fetched::Number : Fetched::Text, 0, text, info);
    }
    default: {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
      std::string_view text(t ? t : "", t ? sqlite3_column_bytes(st, c) : 0);
      return store(into, info.date ? Fetched::Date : Fetched::Text, 0, text);
    }
  }
}

// Binds one value.
Outcome bind(sqlite3_stmt* st, int k, const Value& v) {
  int rc = SQLITE_OK;
  if (v.is_null()) {
    rc = sqlite3_bind_null(st, k);
  } else {
    switch (v.type().kind) {
      case Kind::Char: {
        const std::string s = v.str();
        rc = sqlite3_bind_text(st, k, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
      }
      case Kind::SmallInt:
      case Kind::Integer:
      case Kind::Serial: rc = sqlite3_bind_int64(st, k, v.as_int()); break;
      case Kind::Decimal: rc = bind_decimal(st, k, v.as_decimal()); break;
      case Kind::Date: {
        const std::string s = v.as_date().iso();
        rc = sqlite3_bind_text(st, k, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
      }
    }
  }
  if (rc != SQLITE_OK) return {err::kUnknown, sqlite3_errstr(rc)};
  return {};
}

}  // namespace

std::vector<ColInfo> column_info(sqlite3_stmt* st, const Translation& tr) {
  std::vector<ColInfo> out(sqlite3_column_count(st));
  for (size_t c = 0; c < out.size(); ++c) {
    // What the translator knows of the column (an expression, a column of
    // a temporary table), unless the column's own declaration says more.
    if (c < tr.result_types.size()) {
      const ColType& ct = tr.result_types[c];
      out[c].date = ct.kind == ColType::Date;
      if (ct.kind == ColType::Decimal) out[c].scale = ct.scale;
    }
    const char* t = sqlite3_column_decltype(st, static_cast<int>(c));
    // A column of a table made from a query is declared by its affinity
    // alone ("NUM" for a DATE and a DECIMAL alike): what the translator
    // read of it stands.
    if (!t || sqlite3_stricmp(t, "NUM") == 0) continue;
    out[c].date = sqlite3_stricmp(t, "DATE") == 0;
    if (sqlite3_strnicmp(t, "DECIMAL(", 8) == 0) {
      const char* comma = std::strchr(t, ',');
      if (comma) out[c].scale = std::atoi(comma + 1);
    }
  }
  return out;
}

Outcome store_row(sqlite3_stmt* st, const std::vector<ColInfo>& cols, const Into& into) {
  const int n = sqlite3_column_count(st);
  Outcome o;
  for (int c = 0; c < n && c < static_cast<int>(into.size()); ++c) {
    if (!into[c]) continue;
    const int e = store_column(st, c, cols[c], into[c]);
    if (e != 0 && o.ok()) o = {e, "column " + std::to_string(c + 1) + " does not fit its variable"};
  }
  return o;
}

Outcome bind_all(sqlite3_stmt* st, const Translation& tr, const Params& params) {
  if (params.size() != tr.params.size()) {
    return {err::kHostVariables, "the statement has " + std::to_string(tr.params.size()) + " parameters, " +
                                     std::to_string(params.size()) + " were given"};
  }
  for (size_t k = 0; k < params.size(); ++k) {
    Value v;
    std::string why;
    const int e = convert_param(params[k], tr.targets[k], &v, &why);
    if (e != 0) return {e, "parameter " + std::to_string(k + 1) + ": " + why};
    Outcome o = bind(st, static_cast<int>(k + 1), v);
    if (!o.ok()) return o;
  }
  return {};
}

std::vector<Kept> keep_row(sqlite3_stmt* st, const std::vector<ColInfo>& cols) {
  const int n = sqlite3_column_count(st);
  std::vector<Kept> row(n);
  for (int c = 0; c < n; ++c) {
    const int type = sqlite3_column_type(st, c);
    switch (type) {
      case SQLITE_NULL: row[c].kind = Fetched::Null; break;
      case SQLITE_INTEGER:
        row[c].kind = Fetched::Int;
        row[c].i = sqlite3_column_int64(st, c);
        break;
      default: {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        row[c].text.assign(t ? t : "", t ? sqlite3_column_bytes(st, c) : 0);
        row[c].kind = type == SQLITE_FLOAT                                 ? Fetched::Number
                      : type == SQLITE_BLOB && Decimal::parse(row[c].text) ? Fetched::Number
                      : cols[c].date                                       ? Fetched::Date
                                                                           : Fetched::Text;
      }
    }
  }
  return row;
}

Outcome store_kept(const std::vector<Kept>& row, const std::vector<ColInfo>& cols, const Into& into) {
  Outcome o;
  for (size_t c = 0; c < row.size() && c < into.size(); ++c) {
    if (!into[c]) continue;
    const int e = store_scaled(into[c], row[c].kind, row[c].i, row[c].text, cols[c]);
    if (e != 0 && o.ok()) o = {e, "column " + std::to_string(c + 1) + " does not fit its variable"};
  }
  return o;
}

}  // namespace rt::sql::detail
