// The random generator of the dialect. See grammar.h.
#include "grammar.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "values/date.h"
#include "values/decimal.h"

namespace lunadesk::differential {
namespace {

Part leaf(std::string text, char type = 0) {
  Part p;
  p.text = std::move(text);
  p.type = type;
  return p;
}

Part node(std::string text, std::vector<Part> kids, char type = 0) {
  Part p;
  p.text = std::move(text);
  p.kids = std::move(kids);
  p.type = type;
  return p;
}

Part list(std::string sep, std::vector<Part> kids, int min_kids = 1) {
  Part p;
  p.sep = std::move(sep);
  p.kids = std::move(kids);
  p.min_kids = min_kids;
  return p;
}

Part optional(Part p) {
  p.optional = true;
  return p;
}

std::string quoted(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

constexpr const char* kInts[] = {"0", "1", "2", "7", "10", "42", "-3", "100", "-100", "32000"};
constexpr const char* kDecs[] = {"0", "1.5", "-2.25", "12.34", "100", "0.01", "99.99", "-0.5", "7", "3.333"};
constexpr const char* kLongDecs[] = {"12345678901234567.123456", "12345678901234567.123457", "-98765432109876543.5",
                                     "0.000001", "99999999999999999.999999"};
constexpr const char* kChars[] = {"a",  "b", "abc", "ABC", "ab c", "x y", "", "007", "7", "b*", "\xc3\xa9t\xc3\xa9",
                                  "Abc"};
constexpr int kDates[][3] = {{2026, 1, 1},  {2026, 3, 15},  {2025, 12, 31}, {2024, 2, 29},
                             {2000, 2, 29}, {1999, 12, 31}, {2026, 12, 31}, {2026, 3, 1}};
constexpr const char* kLikes[] = {"a%", "%b%", "_b%", "%", "A%", "ab c", "%c", "__"};
constexpr const char* kMatches[] = {"a*", "*b*", "?b*", "*", "[ab]*", "[^a]*", "ab c", "*c", "??", "[A-Z]*"};

std::string mdy(const int* d) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d/%02d/%04d", d[1], d[2], d[0]);
  return b;
}
std::string iso(const int* d) {
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", d[0], d[1], d[2]);
  return b;
}

const char* cmp_op(int k) {
  static const char* const ops[] = {"=", "<>", "<", "<=", ">", ">=", "!="};
  return ops[k % 7];
}

}  // namespace

std::string render(const Part& p) {
  if (p.dropped) return "";
  if (!p.sep.empty()) {
    std::string r;
    for (const Part& k : p.kids) {
      if (k.dropped) continue;
      if (!r.empty()) r += p.sep;
      r += render(k);
    }
    return r;
  }
  std::string r;
  size_t k = 0;
  for (char c : p.text) {
    if (c == '$' && k < p.kids.size())
      r += render(p.kids[k++]);
    else
      r += c;
  }
  return r;
}

std::string bound_params(const Part& p) {
  if (p.dropped) return "";
  std::string r = p.bound;
  size_t k = 0;
  for (char c : p.sep.empty() ? p.text : std::string(p.kids.size(), '$')) {
    if (c != '$' || k >= p.kids.size()) continue;
    const std::string more = bound_params(p.kids[k++]);
    if (!more.empty()) r += (r.empty() ? "" : " | ") + more;
  }
  return r;
}

Features Features::all() {
  Features f;
  f.outer_join = f.order_by_decimal = true;
  return f;
}

std::uint32_t Grammar::Rng::next() {
  s = s * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<std::uint32_t>(s >> 33);
}

Grammar::Grammar(std::uint64_t seed, Features f) : g_{seed * 2862933555777941757ULL + 3037000493ULL}, f_(f) {}

std::string Grammar::value(const World::Column& c, bool native, char backend) {
  if (g_.chance(15) && !c.serial) return "NULL";
  switch (c.type) {
    case 'i': {
      const char* v = kInts[g_.below(static_cast<int>(std::size(kInts)))];
      return c.decl == "smallint" || std::string(v) != "32000" ? v : "320";
    }
    case 'n': {
      std::string v = c.scale == 6 && f_.long_decimals && !native
                          ? kLongDecs[g_.below(static_cast<int>(std::size(kLongDecs)))]
                          : kDecs[g_.below(static_cast<int>(std::size(kDecs)))];
      // Another tool may write more places than the scale: PostgreSQL
      // rounds them away as it stores.
      if (native && backend == 's' && v.find('.') != std::string::npos) {
        const auto d = rt::Decimal::parse(v);
        if (d) v = d->rounded(c.scale).to_string();
      }
      return v;
    }
    case 'c': {
      std::string v = kChars[g_.below(static_cast<int>(std::size(kChars)))];
      if (c.decl.rfind("varchar", 0) == 0 && g_.chance(20)) v += " ";
      if (c.decl.rfind("char", 0) == 0) {
        // At most `width` characters (UTF-8: a byte 10xxxxxx goes on one).
        size_t end = 0;
        for (int n = 0; end < v.size() && n < c.width; ++n) {
          ++end;
          while (end < v.size() && (static_cast<unsigned char>(v[end]) & 0xC0) == 0x80) ++end;
        }
        v.resize(end);
      }
      return quoted(v);
    }
    default: {
      const int* d = kDates[g_.below(static_cast<int>(std::size(kDates)))];
      return quoted(native ? iso(d) : mdy(d));
    }
  }
}

World Grammar::world() {
  World w;
  ++worlds_;
  static const struct {
    const char* decl;
    char type;
    int scale, width;
  } kTypes[] = {{"integer", 'i', 0, 0},       {"smallint", 'i', 0, 0},     {"decimal(8,2)", 'n', 2, 0},
                {"decimal(12,4)", 'n', 4, 0}, {"money", 'n', 2, 0},        {"char(4)", 'c', 0, 4},
                {"char(10)", 'c', 0, 10},     {"varchar(12)", 'c', 0, 12}, {"date", 'd', 0, 0},
                {"decimal(30,6)", 'n', 6, 0}};
  const int ntables = 2 + g_.below(2);
  for (int t = 0; t < ntables; ++t) {
    World::Table tb;
    tb.name = std::string("t") + static_cast<char>('a' + t);
    tb.cols.push_back({"k", "integer", 'i', 0, 0, false});
    // One column of each kind, then a few more of any kind.
    const int kinds[] = {0, 2, 5, 8};
    std::vector<int> picks(std::begin(kinds), std::end(kinds));
    const int more = 1 + g_.below(3);
    for (int m = 0; m < more; ++m) picks.push_back(g_.below(f_.long_decimals ? 10 : 9));
    int n = 0;
    for (int p : picks) {
      World::Column c{std::string(1, kTypes[p].type) + std::to_string(++n),
                      kTypes[p].decl,
                      kTypes[p].type,
                      kTypes[p].scale,
                      kTypes[p].width,
                      false};
      tb.cols.push_back(c);
    }
    if (t == 0) tb.cols.push_back({"s", "serial", 'i', 0, 0, true});
    std::string create = "create table " + tb.name + " (";
    for (size_t k = 0; k < tb.cols.size(); ++k) create += (k ? ", " : "") + tb.cols[k].name + " " + tb.cols[k].decl;
    create += ")";
    Record r;
    r.kind = RecordKind::Setup;
    r.text = create;
    w.setup.push_back(r);
    tb.rows = g_.below(10);
    for (int row = 0; row < tb.rows; ++row) {
      const bool native = f_.native_rows && g_.chance(30);
      // A native row is written the same on both back ends: the values of
      // the PostgreSQL side are the SQLite side's too.
      std::string cols, vals;
      for (const World::Column& c : tb.cols) {
        if (c.serial) continue;
        cols += (cols.empty() ? "" : ", ") + c.name;
        const std::string v = c.name == "k" ? std::to_string(row + 1) : value(c, native, 's');
        vals += (vals.empty() ? "" : ", ") + v;
      }
      Record ins;
      ins.kind = native ? RecordKind::Native : RecordKind::Setup;
      ins.text = "insert into " + tb.name + " (" + cols + ") values (" + vals + ")";
      w.setup.push_back(ins);
    }
    w.tables.push_back(std::move(tb));
  }
  Record one;
  one.kind = RecordKind::Setup;
  one.text = "create table one (k integer)";
  w.setup.push_back(one);
  one.text = "insert into one values (1)";
  w.setup.push_back(one);
  return w;
}

Part Grammar::column(const Scope& s, char type) {
  std::vector<const std::string*> fit;
  for (const auto& [name, c] : s.cols)
    if (c->type == type) fit.push_back(&name);
  if (fit.empty()) return constant(type);
  return leaf(*fit[g_.below(static_cast<int>(fit.size()))], type);
}

Part Grammar::constant(char type, bool bare) {
  switch (type) {
    case 'i': return leaf(kInts[g_.below(8)], 'i');
    case 'n': return leaf(g_.chance(50) ? "12.50" : kDecs[1 + g_.below(5)], 'n');
    case 'c': return leaf(quoted(kChars[g_.below(static_cast<int>(std::size(kChars)))]), 'c');
    case 'd': {
      // A quoted date is a date only where it meets a DATE.
      const std::string q = quoted(mdy(kDates[g_.below(static_cast<int>(std::size(kDates)))]));
      return leaf(bare || !f_.date_functions ? q : "date(" + q + ")", 'd');
    }
    default: return leaf("1 = 1", 'b');
  }
}

// A value bound to a ?: a number or a text, whatever the operand it
// meets, each read as the same value written there would be.
// (A number bound where text is met stops the statement on a row of text
// that is no number, as a constant does: the corpus holds that family.)
Part Grammar::param(char type) {
  static const char* const kNumbers[] = {"integer 7",    "integer -3",      "decimal(8,2) 12.50", "decimal(8,2) 7",
                                         "char(10) '7'", "char(10) ' 12 '", "integer null"};
  static const char* const kTexts[] = {"char(10) '007'", "char(10) 'ab c'", "char(10) 'b'", "char(10) null"};
  Part p = leaf("?", type);
  p.bound = type == 'c' ? kTexts[g_.below(static_cast<int>(std::size(kTexts)))]
                        : kNumbers[g_.below(static_cast<int>(std::size(kNumbers)))];
  return p;
}

Part Grammar::expr(const Scope& s, char type, int depth) {
  if (type == 'b') return pred(s, depth);
  if (s.aggregate && (depth <= 0 || g_.chance(35)))
    return s.keys.empty() || g_.chance(30) ? constant(type) : column(s, type);
  if (depth <= 0 || g_.chance(35)) return g_.chance(75) ? column(s, type) : constant(type);
  const int d = depth - 1;
  auto e = [&](char t) { return expr(s, t, d); };
  if (s.aggregate && g_.chance(60)) {
    Scope inner = s;
    inner.aggregate = false;
    inner.cols = s.all;
    auto a = [&](char t) { return expr(inner, t, d); };
    switch (type) {
      case 'i': return g_.chance(50) ? leaf("count(*)", 'i') : node("count($)", {a("cdni"[g_.below(4)])}, 'i');
      case 'n': {
        const int k = g_.below(f_.quotients ? 4 : 3);
        return node(k == 0 ? "sum($)" : k == 1 ? "min($)" : k == 2 ? "max($)" : "avg($)", {a('n')}, 'n');
      }
      default: return node(g_.chance(50) ? "min($)" : "max($)", {a(type)}, type);
    }
  }
  switch (type) {
    case 'i': {
      // An outer aggregate inside a query used as one value is refused
      // (-294) on both back ends: none is generated there, nor where
      // the columns are unqualified (UPDATE, DELETE), which the query's
      // own table would take.
      const bool sub = !s.aggregate && !s.cols.empty() && s.cols[0].first.find('.') != std::string::npos;
      switch (g_.below(f_.date_functions ? (sub ? 12 : 10) : 7)) {
        case 0: return node("($ + $)", {e('i'), e('i')}, 'i');
        case 1: return node("($ - $)", {e('i'), e('i')}, 'i');
        case 2:
          // A product of two columns may pass the columns' range.
          return node("($ * $)", {e('i'), g_.chance(30) ? e('i') : leaf(kInts[g_.below(5)], 'i')}, 'i');
        case 10:
          // A query used as one value: no row or one (two are -284 on
          // both, but which rows come before the error is the back end's).
          return node("(select w.i1 from ta w where w.k = $)", {e('i')}, 'i');
        case 11: return node("length($ || '')", {column(s, 'n')}, 'i');
        case 3: return node("abs($)", {e('i')}, 'i');
        case 4: return node("length($)", {e('c')}, 'i');
        case 5: return node("nvl($, $)", {e('i'), constant('i')}, 'i');
        case 6: return node("case when $ then $ else $ end", {pred(s, d), e('i'), e('i')}, 'i');
        case 7: return node(g_.chance(50) ? "year($)" : "month($)", {e('d')}, 'i');
        case 8: return node(g_.chance(50) ? "day($)" : "weekday($)", {e('d')}, 'i');
        default: return node("($ - $)", {e('d'), e('d')}, 'i');
      }
    }
    case 'n':
      switch (g_.below(f_.quotients ? 8 : 7)) {
        case 0: return node("($ + $)", {e('n'), e('n')}, 'n');
        case 1: return node("($ - $)", {e('n'), e('n')}, 'n');
        case 2:
          // Two long decimals multiplied may pass 38 digits.
          return node("($ * $)", {e('n'), f_.long_decimals && g_.chance(30) ? e('n') : e('i')}, 'n');
        case 3: return node(g_.chance(50) ? "round($, 1)" : "trunc($, 1)", {e('n')}, 'n');
        case 4: return node("abs($)", {e('n')}, 'n');
        case 5: return node("nvl($, $)", {e('n'), constant('n')}, 'n');
        case 6: return node("($ + $)", {e('n'), e('i')}, 'n');
        default: return node(g_.chance(50) ? "($ / 4)" : "($ / 2.5)", {e('n')}, 'n');
      }
    case 'c':
      switch (g_.below(f_.dates_as_text ? 8 : 7)) {
        case 7: return node("($ || '')", {e('d')}, 'c');
        case 6: return node("($ || '')", {column(s, 'n')}, 'c');
        case 0: return node("($ || $)", {e('c'), e('c')}, 'c');
        case 1: return node("upper($)", {e('c')}, 'c');
        case 2: return node("lower($)", {e('c')}, 'c');
        case 3: return node("trim($)", {e('c')}, 'c');
        case 4: return node("nvl($, $)", {e('c'), constant('c')}, 'c');
        default: return node("case when $ then $ else $ end", {pred(s, d), e('c'), e('c')}, 'c');
      }
    default:
      switch (g_.below(f_.date_functions ? (f_.dates_as_text ? 6 : 5) : 3)) {
        case 5: return node("date($ || '')", {e('d')}, 'd');
        case 0: return node("($ + $)", {e('d'), leaf(kInts[g_.below(4)], 'i')}, 'd');
        case 1: return node("($ - $)", {e('d'), leaf(kInts[g_.below(4)], 'i')}, 'd');
        case 2: return node("nvl($, $)", {e('d'), constant('d')}, 'd');
        case 3:
          return node("mdy($, $, 2026)",
                      {leaf(std::to_string(1 + g_.below(12)), 'i'), leaf(std::to_string(1 + g_.below(28)), 'i')}, 'd');
        default: return node("date($)", {constant('d')}, 'd');
      }
  }
}

Part Grammar::pred(const Scope& s, int depth) {
  const int d = depth > 0 ? depth - 1 : 0;
  const char t = "incd"[g_.below(4)];
  auto e = [&](char ty) { return expr(s, ty, d); };
  switch (g_.below(depth > 0 ? 10 : 6)) {
    case 0:
    case 1: {
      // A number meets a number of either kind.
      const char u = (t == 'i' || t == 'n') ? "in"[g_.below(2)] : t;
      if (f_.parameters && t != 'd' && g_.chance(20))
        return node(std::string("$ ") + cmp_op(g_.below(7)) + " $", {e(t), param(u)}, 'b');
      return node(std::string("$ ") + cmp_op(g_.below(7)) + " $", {e(t), e(u)}, 'b');
    }
    case 2:
      return node(g_.chance(30) ? "$ not between $ and $" : "$ between $ and $",
                  {e(t), constant(t, true), constant(t, true)}, 'b');
    case 3: {
      std::vector<Part> items;
      const int n = 1 + g_.below(3);
      for (int k = 0; k < n; ++k)
        items.push_back(f_.parameters && t != 'd' && g_.chance(15) ? param(t) : constant(t, true));
      return node(g_.chance(30) ? "$ not in ($)" : "$ in ($)", {e(t), list(", ", std::move(items))}, 'b');
    }
    case 4: return node(g_.chance(50) ? "$ is null" : "$ is not null", {e(t)}, 'b');
    case 5:
      if (g_.chance(50)) return node("$ like " + quoted(kLikes[g_.below(8)]), {e('c')}, 'b');
      return node(std::string(g_.chance(20) ? "$ not" : "$") + " matches " + quoted(kMatches[g_.below(10)]), {e('c')},
                  'b');
    case 6: return node("not ($)", {pred(s, d)}, 'b');
    case 7: return node("($ and $)", {pred(s, d), pred(s, d)}, 'b');
    case 8: return node("($ or $)", {pred(s, d), pred(s, d)}, 'b');
    default: {
      // A value among those of another table's column.
      static const char* const kCols[] = {"i1", "c3", "d4"};
      const int u = g_.below(3);
      const std::string tb = std::string("t") + static_cast<char>('a' + g_.below(2));
      return node(std::string("$ in (select ") + kCols[u] + " from " + tb + ")", {e("icd"[u])}, 'b');
    }
  }
}

// The select list, FROM and WHERE of a query over one or two tables.
Part Grammar::select(const World& w, Scope* scope, std::string* fetch, bool* ordered, bool allow_group) {
  const World::Table& a = w.tables[g_.below(static_cast<int>(w.tables.size()))];
  const World::Table* b = g_.chance(35) ? &w.tables[g_.below(static_cast<int>(w.tables.size()))] : nullptr;
  for (const World::Column& c : a.cols) scope->cols.emplace_back("x." + c.name, &c);
  std::string from = a.name + " x";
  if (b) {
    for (const World::Column& c : b->cols) scope->cols.emplace_back("y." + c.name, &c);
    const int how = g_.below(f_.outer_join ? 5 : 3);
    from += how == 0   ? ", " + b->name + " y"
            : how == 1 ? " join " + b->name + " y on x.k = y.k"
            : how == 2 ? " left join " + b->name + " y on x.k = y.k"
                       : ", outer " + b->name + " y";
    if (how == 4) {
      // An outer group: y and z joined with each other, outer to x.
      const World::Table& c = w.tables[g_.below(static_cast<int>(w.tables.size()))];
      for (const World::Column& col : c.cols) scope->cols.emplace_back("z." + col.name, &col);
      from.replace(from.find(", outer ") + 8, std::string::npos, "(" + b->name + " y, " + c.name + " z)");
    }
  }
  const bool group = allow_group && g_.chance(25);
  std::vector<Part> items;
  fetch->clear();
  auto fetch_of = [&](char t) { return t == 'i' ? 'I' : t == 'n' ? 'N' : t == 'd' ? 'D' : 'T'; };
  Part group_by;
  if (group) {
    const Part key = column(*scope, "icd"[g_.below(3)]);
    items.push_back(key);
    fetch->push_back(fetch_of(key.type));
    group_by = node(" group by $", {key});
    scope->aggregate = true;
    scope->all = scope->cols;
    scope->cols.clear();
    for (const auto& [name, c] : scope->all)
      if (name == key.text) scope->cols.emplace_back(name, c);
    scope->keys = scope->cols;
    const char t = "incd"[g_.below(4)];
    items.push_back(expr(*scope, t, 2));
    fetch->push_back(fetch_of(t));
  } else {
    const int n = 1 + g_.below(3);
    for (int k = 0; k < n; ++k) {
      const char t = "incd"[g_.below(4)];
      items.push_back(expr(*scope, t, 2));
      fetch->push_back(fetch_of(t));
    }
  }
  Scope plain = *scope;
  plain.aggregate = false;
  if (group) plain.cols = plain.all;
  std::string where = " where $";
  if (b && from.find(", outer (") != std::string::npos)
    where = " where x.k = y.k and y.k = z.k + 1 and $";
  else if (b && from.find(", outer") != std::string::npos)
    where = " where x.k = y.k and $";
  else if (b && from.find(", ") != std::string::npos)
    where = " where x.k = y.k + 1 and $";
  Part wh = node(where, {pred(plain, 2)});
  if (where == " where $") wh.optional = true;
  std::string head = "select ";
  if (!group && g_.chance(10)) head += "distinct ";
  Part q = node(head + "$ from " + from + "$$", {list(", ", std::move(items)), wh, optional(group_by)});
  *ordered = false;
  if (!group && !head.ends_with("distinct ") && g_.chance(25)) {
    // Ordered by an expression, then the key: one order on both.
    const char t = f_.order_by_decimal ? "incd"[g_.below(4)] : "icd"[g_.below(3)];
    Part by = f_.order_by_expr ? expr(plain, t, 1) : column(plain, t);
    if (by.kids.empty()) by = column(plain, t);  // a constant orders nothing
    q.text += " order by $" + std::string(g_.chance(40) ? " desc" : "") + ", x.k" + (b ? ", y.k" : "");
    q.kids.push_back(by);
    *ordered = true;
    if (f_.first_n && g_.chance(30)) q.text.replace(0, 7, "select first " + std::to_string(1 + g_.below(4)) + " ");
  }
  return q;
}

Case Grammar::query(const World& w) {
  Case c;
  Scope s;
  c.stmt = select(w, &s, &c.fetch, &c.ordered, true);
  c.fetch_from_list = true;
  if (f_.temp_tables && g_.chance(10)) {
    // Made into a temporary table (records_of) whose columns keep the
    // items' types: each item named, as a table's columns must be.
    c.into_temp = true;
    std::vector<Part>& items = c.stmt.kids[0].kids;
    for (size_t k = 0; k < items.size(); ++k) {
      const char type = items[k].type;
      items[k] = node("$ q" + std::to_string(k + 1), {std::move(items[k])}, type);
    }
  }
  return c;
}

Case Grammar::partition(const World& w) {
  Case c;
  c.kind = Case::Partition;
  Scope s;
  bool ordered = false;
  // No grouping, no DISTINCT, no FIRST: the rows of the parts add up.
  do {
    s = Scope{};
    c.stmt = select(w, &s, &c.fetch, &ordered, false);
  } while (render(c.stmt).find("distinct") != std::string::npos ||
           render(c.stmt).find(", outer ") != std::string::npos || ordered);
  c.pred = pred(s, 2);
  c.fetch_from_list = true;
  return c;
}

Case Grammar::change(const World& w) {
  Case c;
  c.kind = Case::Change;
  const World::Table& t = w.tables[g_.below(static_cast<int>(w.tables.size()))];
  c.table = t.name;
  Scope s;
  for (const World::Column& col : t.cols) s.cols.emplace_back(col.name, &col);
  std::vector<const World::Column*> cols;
  for (const World::Column& col : t.cols)
    if (col.name != "k" && !col.serial) cols.push_back(&col);
  const World::Column& target = *cols[g_.below(static_cast<int>(cols.size()))];
  switch (g_.below(f_.insert_select ? 4 : 3)) {
    case 0: {
      std::vector<Part> vals;
      for (const World::Column* col : cols) vals.push_back(leaf(value(*col, false, 0), col->type));
      std::string names;
      for (const World::Column* col : cols) names += ", " + col->name;
      c.stmt = node("insert into " + t.name + " (k" + names + ") values (99, $)", {list(", ", std::move(vals))});
      break;
    }
    case 1:
      c.stmt = node("update " + t.name + " set " + target.name + " = $$",
                    {expr(s, target.type, 2), optional(node(" where $", {pred(s, 2)}))});
      break;
    case 2: c.stmt = node("delete from " + t.name + "$", {optional(node(" where $", {pred(s, 2)}))}); break;
    default: {
      // Rows of the table itself, the target column from an expression.
      Scope x;
      for (const World::Column& col : t.cols) x.cols.emplace_back("u." + col.name, &col);
      // The value depends on the row: PostgreSQL would refuse a constant
      // that does not fit the column before it reads any row.
      // A 0 for the serial asks for the next one, row by row. A statement
      // that fails may leave the serials it took unused on one back end
      // only: the rows are compared with serials above the table's own
      // (records_of).
      const bool zero = std::any_of(t.cols.begin(), t.cols.end(), [](const auto& col) { return col.serial; });
      // Text into a DATE is read as a date, row by row: a date shown as
      // text is read back.
      Part v = target.type == 'd' && f_.dates_as_text && g_.chance(40) ? node("$ || ''", {expr(x, 'd', 1)}, 'c')
                                                                       : expr(x, target.type, 2);
      c.stmt = node("insert into " + t.name + " (k, " + (zero ? "s, " : "") + target.name + ") select u.k + 100, " +
                        (zero ? "0, " : "") + "case when u.k > 0 then $ end from " + t.name + " u$",
                    {std::move(v), optional(node(" where $", {pred(x, 1)}))});
      break;
    }
  }
  for (const World::Column& col : t.cols)
    c.fetch += col.type == 'i' ? 'I' : col.type == 'n' ? 'N' : col.type == 'd' ? 'D' : 'T';
  return c;
}

// A constant expression and its documented result.
Case Grammar::constant_case() {
  Case c;
  c.kind = Case::Constant;
  const int a = g_.below(200) - 100, b = 1 + g_.below(50);
  const int* d = kDates[g_.below(static_cast<int>(std::size(kDates)))];
  const std::string dt = quoted(mdy(d));
  const rt::Date date = *rt::Date::from_mdy(d[1], d[2], d[0]);
  const int k = g_.below(f_.date_functions ? 12 : 7);
  auto decimal = [](const std::string& s) { return *rt::Decimal::parse(s); };
  std::string text;
  switch (k) {
    case 0:
      text = std::to_string(a) + " + " + std::to_string(b);
      c.expected = std::to_string(a + b);
      c.fetch = "I";
      break;
    case 1:
      text = std::to_string(a) + " * " + std::to_string(b);
      c.expected = std::to_string(a * b);
      c.fetch = "I";
      break;
    case 2: {
      const std::string x = std::to_string(a) + ".25", y = std::to_string(b) + ".5";
      text = x + " - " + y;
      c.expected = (decimal(x) - decimal(y)).to_string();
      c.fetch = "N";
      break;
    }
    case 3:
      text = "length('" + std::string(static_cast<size_t>(b % 9), 'x') + "')";
      c.expected = std::to_string(b % 9);
      c.fetch = "I";
      break;
    case 4:
      text = "upper('ab' || 'c" + std::to_string(b) + "')";
      c.expected = "ABC" + std::to_string(b);
      c.fetch = "T";
      break;
    case 5:
      text = "date(" + dt + ") + " + std::to_string(b);
      c.expected = rt::Date(date.days() + b).format(rt::DateFormat{});
      c.fetch = "D";
      break;
    case 6:
      text = "round(" + std::to_string(a) + ".125, 2)";
      c.expected = decimal(std::to_string(a) + ".125").rounded(2).to_string();
      c.fetch = "N";
      break;
    case 7:
      text = "year(" + dt + ")";
      c.expected = std::to_string(d[0]);
      c.fetch = "I";
      break;
    case 8:
      text = "month(" + dt + ")";
      c.expected = std::to_string(d[1]);
      c.fetch = "I";
      break;
    case 9:
      text = "day(" + dt + ")";
      c.expected = std::to_string(d[2]);
      c.fetch = "I";
      break;
    case 10:
      text = "weekday(" + dt + ")";
      c.expected = std::to_string(date.weekday());
      c.fetch = "I";
      break;
    default: {
      text = "mdy(" + std::to_string(d[1]) + ", " + std::to_string(d[2]) + ", " + std::to_string(d[0]) + ")";
      c.expected = date.format(rt::DateFormat{});
      c.fetch = "D";
      break;
    }
  }
  c.stmt = node("select $ from one", {leaf(text)});
  return c;
}

Case Grammar::next(const World& w) {
  const int k = g_.below(100);
  if (k < 55) return query(w);
  if (k < 75) return partition(w);
  if (k < 90) return change(w);
  return constant_case();
}

}  // namespace lunadesk::differential
