// The dialect's outer join, FROM a, OUTER b and FROM a, OUTER (b, c):
// every row of the tables before OUTER, with the rows of the outer tables
// that meet the WHERE conditions naming them, else nulls. Owns the
// rewrite into LEFT JOIN ... ON on both back ends: the conditions of WHERE
// (split at its top-level ANDs) that name a column of an outer table move
// into that table's ON; the rest stay in WHERE and filter the rows before
// the join. Runs after every other rewrite of the conditions, so that what
// moves is the back end's text already; never reads an expression's type.
#include "translator.h"

#include "core/errors.h"

namespace rt::sql::dialect {
namespace {

struct OuterItem {
  size_t first = 0, last = 0;
  bool outer = false;
  std::vector<std::pair<std::string, std::string>> tables;  // name, alias
};

}  // namespace

void Translator::outer_joins() {
  // Innermost first: a subquery's conditions are rewritten before an outer
  // query moves them.
  for (size_t i = sig_.size(); i-- > 0 && r_.ok;)
    if (is(i, "FROM") && i + 1 < sig_.size() && depth_[i + 1] == depth_[i]) outer_join_at(i);
}

// Whether the token at k ends the FROM list or the WHERE clause of the
// query at depth d.
bool Translator::ends_clause(size_t k, int d, bool from_list) const {
  if (k >= sig_.size() || depth_[k] < d) return true;
  if (depth_[k] != d) return false;
  if (from_list && is(k, "WHERE")) return true;
  return is(k, "GROUP") || is(k, "HAVING") || is(k, "ORDER") || is(k, "INTO") || is(k, "UNION") || is(k, "FOR");
}

void Translator::outer_join_at(size_t from) {
  const int d = depth_[from];
  std::vector<OuterItem> items(1);
  items[0].first = from + 1;
  size_t k = from + 1;
  for (; !ends_clause(k, d, true); ++k) {
    if (depth_[k] == d && punct(k, ",")) {
      items.back().last = k - 1;
      items.emplace_back().first = k + 1;
    }
  }
  items.back().last = k - 1;
  const size_t list_end = k;
  bool any = false, after_outer = false;
  for (OuterItem& it : items) {
    it.outer = is(it.first, "OUTER");
    if (!it.outer && after_outer) {
      fail("a table joined with OUTER must follow the others in FROM");
      return;
    }
    after_outer = after_outer || it.outer;
    any = any || it.outer;
    // The tables of the item: "name [AS] [alias]", first, after JOIN, and
    // each of an outer group.
    for (size_t m = it.first + (it.outer ? 1 : 0); m <= it.last; ++m) {
      const bool starts = m == it.first + (it.outer ? 1 : 0) || is(m - 1, "JOIN") ||
                          (it.outer && depth_[m] == d + 1 && (punct(m - 1, ",") || punct(m - 1, "(")));
      if (!starts || tok(m).kind != Tok::Word) continue;
      std::string name = name_at(m);
      while (m + 2 <= it.last && (punct(m + 1, ".") || punct(m + 1, ":"))) m += 2;
      std::string alias;
      if (is(m + 1, "AS")) ++m;
      if (m + 1 <= it.last && tok(m + 1).kind == Tok::Word && !clause_word(m + 1)) alias = lower(tok(++m).text);
      it.tables.emplace_back(std::move(name), std::move(alias));
    }
  }
  if (!any) return;
  // The WHERE conditions, split at the ANDs of its top level (the AND of
  // a BETWEEN belongs to it).
  std::vector<std::pair<size_t, size_t>> conds;
  size_t where_end = list_end;
  if (is(list_end, "WHERE")) {
    size_t start = list_end + 1;
    bool between = false;
    for (k = start; !ends_clause(k, d, false); ++k) {
      if (depth_[k] != d) continue;
      if (is(k, "BETWEEN")) between = true;
      if (!is(k, "AND")) continue;
      if (between) {
        between = false;
        continue;
      }
      conds.emplace_back(start, k - 1);
      start = k + 1;
    }
    conds.emplace_back(start, k - 1);
    where_end = k;
  }
  // Which outer item a condition names last (-1: none).
  auto named_by = [&](size_t a, size_t b) {
    int found = -1;
    for (size_t m = a; m <= b; ++m) {
      if (tok(m).kind != Tok::Word || (m > 0 && punct(m - 1, ".")) || punct(m + 1, "(")) continue;
      const bool qualified = punct(m + 1, ".") && m + 2 <= b && tok(m + 2).kind == Tok::Word;
      const std::string w = lower(tok(m).text);
      for (size_t g = 0; g < items.size(); ++g) {
        if (!items[g].outer) continue;
        for (const auto& [name, alias] : items[g].tables) {
          const TableInfo* info = schema_ ? schema_->table(name) : nullptr;
          bool hit = qualified && w == (alias.empty() ? name : alias);
          for (size_t c = 0; !qualified && info && c < info->columns.size(); ++c) hit = hit || info->columns[c] == w;
          if (hit) found = static_cast<int>(g);
        }
      }
    }
    return found;
  };
  auto text = [&](size_t a, size_t b) {
    std::string t;
    for (size_t m = sig_[a]; m <= sig_[b]; ++m) t += out_[m];
    return t;
  };
  std::vector<std::string> on(items.size()), kept;
  for (const auto& [a, b] : conds) {
    const int g = named_by(a, b);
    std::string& into = g < 0 ? kept.emplace_back() : on[g];
    into += (into.empty() ? "" : " AND ") + std::string("(") + text(a, b) + ")";
  }
  // The FROM list: commas become joins, each outer item takes its
  // conditions.
  for (size_t g = 0; g < items.size(); ++g) {
    OuterItem& it = items[g];
    if (g > 0) o(it.first - 1) = it.outer ? "" : " CROSS JOIN";
    if (!it.outer) continue;
    o(it.first) = "LEFT JOIN";
    for (size_t m = it.first + 1; m <= it.last; ++m)
      if (depth_[m] == d + 1 && punct(m, ",")) o(m) = " CROSS JOIN";
    o(it.last) += " ON " + (on[g].empty() ? std::string("1 = 1") : on[g]);
  }
  if (conds.empty()) return;
  for (size_t m = sig_[list_end] + 1; m <= sig_[where_end - 1]; ++m) out_[m].clear();
  std::string where;
  for (const std::string& c : kept) where += (where.empty() ? "" : " AND ") + c;
  o(list_end) = where.empty() ? "" : "WHERE " + where;
}

}  // namespace rt::sql::dialect
