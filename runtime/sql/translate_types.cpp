// The translator's statement walker. Owns which tables a statement names,
// the result columns of a SELECT, the walk through its clauses, the
// grouping check, SET and VALUES. What happens where two operands meet or
// a value is stored is translate_meet.cpp's; expressions are read only
// through the reader (translate_expr.cpp).
#include "translator.h"

#include <algorithm>

#include "core/errors.h"
#include "values/decimal.h"

namespace rt::sql::dialect {

bool Translator::clause_word(size_t i) const {
  static constexpr std::string_view words[] = {"FROM",  "WHERE",  "GROUP", "HAVING", "ORDER", "INTO", "UNION", "FOR",
                                               "SET",   "VALUES", "ON",    "AS",     "ASC",   "DESC", "THEN",  "ELSE",
                                               "END",   "WHEN",   "LIMIT", "JOIN",   "INNER", "LEFT", "RIGHT", "OUTER",
                                               "USING", "SELECT", "WITH",  "BY",     "ESCAPE"};
  for (auto w : words)
    if (is(i, w)) return true;
  return false;
}

// Every table the statement names, with its alias, at any depth.
void Translator::collect_tables() {
  for (size_t i = 0; i < sig_.size(); ++i) {
    const bool from = is(i, "FROM") || is(i, "JOIN") || (i == 0 && is(i, "UPDATE")) ||
                      (r_.kind == StmtKind::Insert && i == 1 && is(i, "INTO"));
    if (!from) continue;
    size_t k = i + 1;
    bool group = false;  // inside OUTER (b, c)
    for (;;) {
      if (is(k, "OUTER")) ++k;
      if (punct(k, "(") && !is(k + 1, "SELECT")) {
        group = true;
        ++k;
      }
      if (k >= sig_.size() || tok(k).kind != Tok::Word || clause_word(k)) break;
      TableRef t;
      t.name = name_at(k);
      t.at = k;
      while (k + 2 < sig_.size() && (punct(k + 1, ".") || punct(k + 1, ":"))) k += 2;
      ++k;
      if (is(k, "AS")) ++k;
      if (k < sig_.size() && tok(k).kind == Tok::Word && !clause_word(k) && !is(k, "OUTER"))
        t.alias = lower(tok(k++).text);
      t.info = schema_ ? schema_->table(t.name) : nullptr;
      tables_.push_back(std::move(t));
      if (group && punct(k, ")")) {
        group = false;
        ++k;
      }
      if (i == 0 || !(is(i, "FROM")) || !punct(k, ",")) break;
      ++k;
    }
  }
}

ColType Translator::type_in(const TableInfo* info, const std::string& col) {
  if (!info) return {};
  for (size_t c = 0; c < info->columns.size(); ++c) {
    if (info->columns[c] == col) return c < info->types.size() ? info->types[c] : ColType{};
  }
  return {};
}

const Translator::TableRef* Translator::table_named(const std::string& q) const {
  for (const TableRef& t : tables_)
    if (t.alias == q) return &t;
  for (const TableRef& t : tables_)
    if (t.name == q) return &t;
  return nullptr;
}

ColType Translator::column_ref(const std::string& qualifier, const std::string& col) const {
  if (!qualifier.empty()) {
    const TableRef* t = table_named(qualifier);
    return t ? type_in(t->info, col) : ColType{};
  }
  for (const TableRef& t : tables_) {
    const ColType ct = type_in(t.info, col);
    if (ct.kind != ColType::Unknown) return ct;
  }
  return {};
}

// Skips to the next clause word at the depth of i, or to end.
size_t Translator::skip_clause(size_t i, size_t end) const {
  const int d = i < sig_.size() ? depth_[i] : 0;
  while (i < end && !(depth_[i] == d && clause_word(i) && !is(i, "AS") && !is(i, "ON"))) ++i;
  return i;
}

// Reads expressions separated by commas up to a clause word. With
// `order_of` (the ORDER BY of a query whose result columns have those
// types), a decimal item on SQLite orders by dec_key() (sqlite_functions.h):
// SQLite holds a decimal past 15 digits, a quotient or an AVG as text,
// which it would sort after every number.
void Translator::expr_list(size_t& i, size_t end, const std::vector<Node>* order_of, bool positions,
                           std::vector<Node>* read) {
  while (i < end) {
    Node n;
    if (!expr(i, end, 0, &n)) {
      i = skip_clause(i + 1, end);
      return;
    }
    if (read) read->push_back(n);
    if (order_of && lite()) {
      const std::optional<int> pos =
          n.first == n.last && tok(n.first).kind == Tok::Number ? int_constant(n) : std::nullopt;
      if (!pos && is_dec(n.type)) {
        wrap(n, "dec_key(", ")");
      } else if (pos && positions && *pos >= 1 && static_cast<size_t>(*pos) <= order_of->size()) {
        const Node& item = (*order_of)[*pos - 1];
        bool param = false;
        for (size_t k = item.first; k <= item.last; ++k) param = param || tok(k).kind == Tok::Param;
        if (is_dec(item.type) && !param) o(n.first) = "dec_key(" + text_of(item) + ")";
      }
    }
    if (is(i, "ASC") || is(i, "DESC")) ++i;
    if (!punct(i, ",")) return;
    ++i;
  }
}

// A SELECT from sig index `at` (the word SELECT) to `end`: the types
// (and names) of its result columns go to the vectors given.
void Translator::select_at(size_t at, size_t end, std::vector<ColType>* types, std::vector<std::string>* names,
                           std::vector<Node>* items) {
  std::vector<Node> own;
  if (!items) items = &own;
  bool compound = false;  // a UNION: ORDER BY names result columns only
  bool star = false;      // "*" in the list: its positions are not items
  bool grouped = false;   // GROUP BY or HAVING
  std::vector<Node> group;
  Node having;
  having.first = 1;  // none: first after last
  for (size_t k = at + 1; k < end; ++k) compound = compound || (depth_[k] == depth_[at] && is(k, "UNION"));
  size_t i = at + 1;
  while (is(i, "DISTINCT") || is(i, "UNIQUE") || is(i, "ALL")) ++i;
  if (is(i, "FIRST") && i + 1 < end && tok(i + 1).kind == Tok::Number) i += 2;
  // The select list.
  while (i < end) {
    if (punct(i, "*") || (tok(i).kind == Tok::Word && punct(i + 1, ".") && punct(i + 2, "*"))) {
      const bool all = punct(i, "*");
      star = true;
      const std::string q = all ? std::string() : lower(tok(i).text);
      i += all ? 1 : 3;
      // "*" is the columns of every table of this query's FROM, in order
      // (those of OUTER (b, c) among them, not those of a query within).
      size_t from = i;
      while (from < end && !(depth_[from] == depth_[at] && is(from, "FROM"))) ++from;
      for (const TableRef& t : tables_) {
        if (!all && t.alias != q && t.name != q) continue;
        if (all && (t.at <= from || t.at >= end)) continue;
        if (all && depth_[t.at] != depth_[at]) {
          size_t open = t.at;
          while (open > from && !(punct(open, "(") && depth_[open] < depth_[t.at])) --open;
          if (depth_[t.at] != depth_[at] + 1 || !is(open - 1, "OUTER")) continue;
        }
        if (!t.info) continue;
        for (size_t c = 0; c < t.info->columns.size(); ++c) {
          if (types) types->push_back(c < t.info->types.size() ? t.info->types[c] : ColType{});
          if (names) names->push_back(t.info->columns[c]);
        }
      }
    } else {
      Node n;
      const size_t start = i;
      if (!expr(i, end, 0, &n)) {
        i = skip_clause(i + 1, end);
        break;
      }
      std::string name;
      if (n.first == n.last && tok(start).kind == Tok::Word) name = lower(tok(start).text);
      if (n.last > start && punct(n.last - 1, ".") && tok(n.last).kind == Tok::Word) name = lower(tok(n.last).text);
      if (is(i, "AS")) ++i;
      if (i < end && tok(i).kind == Tok::Word && !clause_word(i)) name = lower(tok(i++).text);
      if (types) types->push_back(n.type);
      items->push_back(n);
      if (names) names->push_back(name);
    }
    if (!punct(i, ",")) break;
    ++i;
  }
  // The clauses.
  while (i < end) {
    if (is(i, "FROM")) {
      // Tables were collected already; subqueries and ON conditions in
      // the list are read.
      ++i;
      while (i < end &&
             !(depth_[i] == depth_[at] && (is(i, "WHERE") || is(i, "GROUP") || is(i, "HAVING") || is(i, "ORDER") ||
                                           is(i, "INTO") || is(i, "UNION") || is(i, "FOR")))) {
        if (punct(i, "(") && is(i + 1, "SELECT")) {
          const size_t close = close_of(i);
          if (close == std::string::npos || close >= end) return;
          select_at(i + 1, close, nullptr, nullptr);
          i = close + 1;
        } else if (is(i, "ON")) {
          ++i;
          Node n;
          if (!expr(i, end, 0, &n)) ++i;
        } else {
          ++i;
        }
      }
    } else if (is(i, "WHERE") || is(i, "HAVING")) {
      const bool having_clause = is(i, "HAVING");
      ++i;
      Node n;
      if (!expr(i, end, 0, &n))
        i = skip_clause(i + 1, end);
      else if (having_clause)
        having = n;
      grouped = grouped || having_clause;
    } else if ((is(i, "GROUP") || is(i, "ORDER")) && is(i + 1, "BY")) {
      const bool order = is(i, "ORDER") && !compound;
      grouped = grouped || !order;
      i += 2;
      expr_list(i, end, order ? items : nullptr, !star, order ? nullptr : &group);
    } else if (is(i, "UNION")) {
      ++i;
      if (is(i, "ALL")) ++i;
      std::vector<ColType> next_types;
      std::vector<Node> next;
      if (is(i, "SELECT")) select_at(i, end, &next_types, nullptr, &next);
      if (!star && next.size() == next_types.size()) united(*items, types, next, &next_types);
      break;
    } else {
      break;  // INTO TEMP, FOR UPDATE and the like end what is read
    }
  }
  if (lite() && r_.ok) ungrouped(*items, group, having, grouped);
}

// A query that groups (GROUP BY, HAVING, or an aggregate in its list)
// names a column outside an aggregate only when it is grouped by it, or
// within an expression it is grouped by; PostgreSQL refuses the rest
// (-294), where SQLite would take a value of any row of the group.
void Translator::ungrouped(const std::vector<Node>& items, const std::vector<Node>& group, const Node& having,
                           bool grouped) {
  auto aggregate_at = [&](size_t k) {
    return punct(k + 1, "(") && (is(k, "COUNT") || is(k, "SUM") || is(k, "AVG") || is(k, "MIN") || is(k, "MAX"));
  };
  for (size_t c = 0; c < items.size() && !grouped; ++c)
    for (size_t k = items[c].first; k <= items[c].last && !grouped; ++k) grouped = aggregate_at(k);
  if (!grouped) return;
  auto same = [&](size_t k, const Node& g) {
    for (size_t m = g.first; m <= g.last; ++m)
      if (k + m - g.first >= sig_.size() || lower(tok(k + m - g.first).text) != lower(tok(m).text)) return false;
    return true;
  };
  // The table a column reference at k resolves to, its name, and its end.
  auto column_at = [&](size_t k, size_t* last, std::string* col) -> const TableRef* {
    std::string q;
    *last = k;
    *col = lower(tok(k).text);
    if (punct(k + 1, ".") && k + 2 < sig_.size() && tok(k + 2).kind == Tok::Word) {
      q = *col;
      *col = lower(tok(k + 2).text);
      *last = k + 2;
    }
    if (!q.empty()) return table_named(q);
    for (const TableRef& t : tables_)
      if (type_in(t.info, *col).kind != ColType::Unknown) return &t;
    return nullptr;
  };
  std::vector<Node> checked = items;
  if (having.last >= having.first && having.type.kind != ColType::Unknown) checked.push_back(having);
  for (size_t c = 0; c < checked.size(); ++c) {
    bool by_position = false;
    for (const Node& g : group)
      by_position = by_position || (c < items.size() && g.first == g.last && tok(g.first).kind == Tok::Number &&
                                    int_constant(g) == static_cast<int>(c + 1));
    for (size_t k = checked[c].first; k <= checked[c].last && !by_position; ++k) {
      bool skip = false;
      for (const Node& g : group) {
        if (!skip && !(g.first == g.last && tok(g.first).kind == Tok::Number) && same(k, g)) {
          skip = true;
          k += g.last - g.first;
        }
      }
      if (skip) continue;
      if (aggregate_at(k) || (punct(k, "(") && is(k + 1, "SELECT"))) {
        const size_t close = close_of(aggregate_at(k) ? k + 1 : k);
        if (close == std::string::npos) return;
        k = close;
        continue;
      }
      if (tok(k).kind != Tok::Word || punct(k + 1, "(") || (k > 0 && punct(k - 1, "."))) continue;
      size_t last = k;
      std::string col;
      const TableRef* t = column_at(k, &last, &col);
      if (!t || type_in(t->info, col).kind == ColType::Unknown) {
        k = last;
        continue;
      }
      bool found = false;
      for (const Node& g : group) {
        size_t glast = 0;
        std::string gcol;
        if (tok(g.first).kind == Tok::Word && !found && column_at(g.first, &glast, &gcol) == t && glast == g.last)
          found = gcol == col;
      }
      if (!found) {
        fail("column " + col + " is neither grouped nor aggregated");
        r_.error_code = err::kNotGrouped;
        return;
      }
      k = last;
    }
  }
}

void Translator::analyze() {
  if (r_.kind != StmtKind::Select && r_.kind != StmtKind::SelectIntoTemp && r_.kind != StmtKind::Insert &&
      r_.kind != StmtKind::Update && r_.kind != StmtKind::Delete)
    return;
  collect_tables();
  const size_t end = sig_.size();
  switch (r_.kind) {
    case StmtKind::Select:
    case StmtKind::SelectIntoTemp: {
      select_at(0, end, &r_.result_types, &r_.result_names);
      // The table's columns are named by the items: two of one name are
      // refused as CREATE TABLE refuses them (SQLite would rename one).
      const std::vector<std::string>& n = r_.result_names;
      for (size_t a = 0; a < n.size() && r_.ok; ++a) {
        if (!n[a].empty() && std::find(n.begin() + a + 1, n.end(), n[a]) != n.end()) {
          fail("column " + n[a] + " is named twice in the temporary table");
          r_.error_code = err::kColumnTwice;
        }
      }
      break;
    }
    case StmtKind::Delete: {
      size_t i = 0;
      while (i < end && !(depth_[i] == 0 && is(i, "WHERE"))) ++i;
      if (i < end) {
        ++i;
        Node n;
        if (expr(i, end, 0, &n)) chosen_first(n);
      }
      break;
    }
    case StmtKind::Update: update_sets(end); break;
    case StmtKind::Insert: insert_values(end); break;
    default: break;
  }
}

void Translator::update_sets(size_t end) {
  size_t i = 0;
  while (i < end && !is(i, "SET")) ++i;
  if (i >= end) return;
  ++i;
  const TableRef* target = tables_.empty() ? nullptr : &tables_[0];
  while (i < end && !is(i, "WHERE")) {
    // col = expr
    if (tok(i).kind != Tok::Word || !punct(i + 1, "=")) {
      i = skip_clause(i, end);
      break;
    }
    size_t k = i;
    std::string col = lower(tok(k).text);
    while (punct(k + 1, ".") && tok(k + 2).kind == Tok::Word) {
      k += 2;
      col = lower(tok(k).text);
    }
    if (!punct(k + 1, "=")) break;
    i = k + 2;
    Node v;
    if (!expr(i, end, 0, &v)) {
      i = skip_clause(i, end);
      break;
    }
    if (target) stored_into(type_in(target->info, col), v);
    if (!r_.ok || !punct(i, ",")) break;
    ++i;
  }
  while (i < end && !is(i, "WHERE")) ++i;
  if (is(i, "WHERE")) {
    ++i;
    Node n;
    if (expr(i, end, 0, &n)) chosen_first(n);
  }
}

// SQLite reads a query within the condition of a DELETE or UPDATE the
// first time a row needs it, so it may see rows the statement has already
// changed: `delete from t where a in (select a from t) or b in (select c
// from t)` deleted one row of two where PostgreSQL, reading every query as
// the statement began, deletes both. When the condition reads the target
// table again, the rows are chosen first, by one query, then changed.
void Translator::chosen_first(const Node& cond) {
  if (!lite() || tables_.empty() || !r_.ok) return;
  const std::string& target = tables_[0].name;
  if (std::none_of(tables_.begin() + 1, tables_.end(), [&](const TableRef& t) { return t.name == target; })) return;
  wrap(cond, "rowid IN (SELECT rowid FROM " + target + " WHERE ", ")");
}

void Translator::insert_values(size_t end) {
  if (tables_.empty() || !tables_[0].info) return;
  const TableInfo* info = tables_[0].info;
  size_t i = 3;
  while (i < end &&
         (punct(i, ".") || punct(i, ":") || (tok(i).kind == Tok::Word && !is(i, "VALUES") && !is(i, "SELECT"))))
    ++i;
  std::vector<ColType> cols = info->types;
  if (punct(i, "(")) {
    const size_t close = close_of(i);
    if (close == std::string::npos) return;
    cols.clear();
    for (size_t k = i + 1; k < close; ++k)
      if (tok(k).kind == Tok::Word) cols.push_back(type_in(info, lower(tok(k).text)));
    i = close + 1;
  }
  if (is(i, "SELECT")) {
    // INSERT ... SELECT stores each item as VALUES would: rounded to a
    // DECIMAL column's scale and checked against its precision.
    std::vector<Node> items;
    select_at(i, end, nullptr, nullptr, &items);
    for (size_t c = 0; c < items.size() && c < cols.size() && r_.ok; ++c) stored_into(cols[c], items[c]);
    return;
  }
  if (!is(i, "VALUES") || !punct(i + 1, "(")) return;
  const size_t close = close_of(i + 1);
  if (close == std::string::npos) return;
  size_t k = i + 2;
  for (size_t c = 0; k < close; ++c) {
    Node v;
    if (!expr(k, close, 0, &v)) return;
    if (c < cols.size()) stored_into(cols[c], v);
    if (!r_.ok || !punct(k, ",")) return;
    ++k;
  }
}

}  // namespace rt::sql::dialect
