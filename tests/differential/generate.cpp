// Seeded case generators. See generate.h.
#include "generate.h"

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>

namespace lunadesk::differential {
namespace {

// A 64-bit linear congruential generator: the same numbers everywhere.
class Rng {
 public:
  explicit Rng(unsigned long seed) : s_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  std::uint32_t next() {
    s_ = s_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(s_ >> 33);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  template <class T, size_t N>
  const T& pick(const T (&a)[N]) {
    return a[below(static_cast<int>(N))];
  }
  const char* pick(std::initializer_list<const char*> l) { return *(l.begin() + below(static_cast<int>(l.size()))); }

 private:
  std::uint64_t s_;
};

class Out {
 public:
  Out(const Record& where, const std::string& group, std::vector<Record>* out) : base_(where), out_(out) {
    base_.group = group;
  }
  void setup(const std::string& text, std::vector<Param> params = {}) {
    add(RecordKind::Setup, text, {}, false, std::move(params));
  }
  void query(const std::string& types, const std::string& text, bool ordered = false, std::vector<Param> params = {}) {
    std::vector<rt::Type> cols;
    for (char c : types) {
      cols.push_back(c == 'I'   ? rt::integer_t()
                     : c == 'N' ? rt::decimal_t(32, 10)
                     : c == 'D' ? rt::date_t()
                                : rt::char_t(255));
    }
    add(RecordKind::Query, text, cols, ordered, std::move(params));
  }

 private:
  void add(RecordKind kind, const std::string& text, std::vector<rt::Type> cols, bool ordered,
           std::vector<Param> params) {
    Record r = base_;
    r.kind = kind;
    r.text = text;
    r.columns = std::move(cols);
    r.ordered = ordered;
    r.params = std::move(params);
    out_->push_back(std::move(r));
  }
  Record base_;
  std::vector<Record>* out_;
};

Param param(rt::Type t, const char* text) {
  Param p;
  p.type = t;
  if (!text)
    p.null = true;
  else
    p.text = text;
  return p;
}

std::string quoted(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

// --- query by example ----------------------------------------------------

struct QbeRow {
  const char* c;
  const char* s;
  const char* i;
  const char* d;
  int y, m, day;  // y 0: null date
};

constexpr QbeRow kQbeRows[] = {
    {"abc", "1", "1", "1.50", 2026, 12, 31},
    {"abcd", "2", "35", "-2.25", 2026, 1, 1},
    {"ABC", "35", "100", "0.00", 2025, 2, 28},
    {"a", "-5", "-1", "10.00", 2024, 2, 29},
    {"ab c", "0", "0", "99999999.99", 2000, 1, 1},
    {" lead", "100", "2147483647", "0.01", 1999, 12, 31},
    {"", "32767", "-2147483647", "-99999999.99", 1900, 1, 1},
    {nullptr, nullptr, nullptr, nullptr, 0, 0, 0},
    {"x*y", "7", "7", "7.00", 2026, 6, 15},
    {"[a]", "8", "8", "1.55", 2026, 6, 16},
    {"a?c", "9", "9", "1.5", 2026, 7, 1},
    {"zz", "10", "10", "100", 2030, 12, 31},
    {"b", "-32767", "123456", "12.34", 2026, 3, 1},
    {"mno", "12", "12", "-0.01", 2026, 3, 2},
    {"\xc3\xa9t\xc3\xa9", "13", "13", "3.33", 2026, 4, 1},
    {"\xc3\x89T\xc3\x89", "14", "14", "6.67", 2026, 4, 2},
    {"\xe6\x97\xa5\xe6\x9c\xac", "15", "15", "2.00", 2026, 5, 1},
    {"a\\b", "16", "16", "2.50", 2026, 5, 2},
    {"abc*", "17", "17", "4.00", 2026, 5, 3},
    {"A1", "18", "18", "5.05", 2026, 5, 4},
};

std::string date_text(int y, int m, int d, const rt::DateFormat& f) {
  auto date = rt::Date::from_mdy(m, d, y);
  return date ? date->format(f) : "";
}

std::string char_value(Rng& g) {
  static const char* const kPool[] = {"abc",
                                      "abcd",
                                      "ABC",
                                      "a",
                                      "ab c",
                                      "lead",
                                      "zz",
                                      "b",
                                      "mno",
                                      "\xc3\xa9t\xc3\xa9",
                                      "\xc3\x89T\xc3\x89",
                                      "A1",
                                      "x",
                                      "m",
                                      "n",
                                      "\xe6\x97\xa5\xe6\x9c\xac"};
  return g.pick(kPool);
}

std::string char_pattern(Rng& g) {
  static const char* const kPieces[] = {"a",   "b",   "c",     "*",    "?",      "[a-c]", "[^a]", "[ab]",
                                        "\\*", "\\?", "[c-a]", "\\\\", "[é-ü]",  "é",     "ABC",  "[A-Z]",
                                        "[]",  "[*]", "*",     "?",    "[^a-z]", "m",     "日*",  "[0-9]"};
  std::string p;
  const int n = 1 + g.below(4);
  for (int k = 0; k < n; ++k) p += g.pick(kPieces);
  return p;
}

std::string char_criteria(Rng& g) {
  switch (g.below(12)) {
    case 0: return char_value(g);
    case 1: return char_pattern(g);
    case 2: return g.pick({"=", "<>", "!="});
    case 3: return std::string(g.pick({">", ">=", "<", "<=", "<>", "!=", "="})) + char_value(g);
    case 4: return char_value(g) + ":" + char_value(g);
    case 5: return char_value(g) + "|" + char_pattern(g) + "|" + char_value(g);
    case 6: return "=" + char_pattern(g);
    case 7: return g.pick({"[a]", "x\\*y", "a\\?c", "abc\\*", "a\\\\b", "\\ lead", "[a-z]"});
    case 8: return char_value(g) + "|" + char_value(g);
    case 9: return g.pick({"abc   ", "  abc", "ab c*", "* lead", "*c", "?"});
    default: return char_pattern(g) + "|" + char_pattern(g);
  }
}

std::string number_value(Rng& g, bool small) {
  static const char* const kSmall[] = {"1", "2",  "35",    "-5",  "0",   "100", "32767", "-32767",
                                       "7", "12", "99999", "1.5", "abc", "-0",  "+3"};
  static const char* const kInt[] = {"1",      "35",         "100", "-1",  "0",  "2147483647", "-2147483647",
                                     "123456", "2147483648", "7",   "1.0", "x1", "12"};
  return small ? g.pick(kSmall) : g.pick(kInt);
}

std::string decimal_value(Rng& g) {
  static const char* const kPool[] = {"1.5",   "1.50",  "-2.25", "0",     "10",           "99999999.99", "0.01",
                                      "1.555", "1.545", "-0.01", "12.34", "3.33",         "100",         "1e2",
                                      "1,5",   "7.000", "6.67",  "2.5",   "-99999999.99", "999999999.99"};
  return g.pick(kPool);
}

template <class V>
std::string ordered_criteria(Rng& g, V value) {
  switch (g.below(7)) {
    case 0: return value();
    case 1: return std::string(g.pick({">", ">=", "<", "<=", "<>", "!=", "="})) + value();
    case 2: return value() + ":" + value();
    case 3: return value() + "|" + value() + "|" + value();
    case 4: return g.pick({"=", "<>", "!="});
    case 5: return value() + ":" + value();
    default: return value() + "|" + value();
  }
}

void gen_qbe(Rng& g, int count, const rt::DateFormat& f, const std::string& t, Out& out) {
  out.setup("create table " + t + " (k integer, c char(10), s smallint, i integer, d decimal(10,2), t date)");
  int k = 0;
  for (const QbeRow& r : kQbeRows) {
    const std::string day = r.y ? date_text(r.y, r.m, r.day, f) : std::string();
    const std::string key = std::to_string(++k);
    out.setup("insert into " + t + " values (?, ?, ?, ?, ?, ?)",
              {param(rt::integer_t(), key.c_str()), param(rt::char_t(10), r.c), param(rt::smallint_t(), r.s),
               param(rt::integer_t(), r.i), param(rt::decimal_t(10, 2), r.d),
               param(rt::date_t(), r.y ? day.c_str() : nullptr)});
  }
  auto date_value = [&] {
    const QbeRow& r = kQbeRows[g.below(static_cast<int>(std::size(kQbeRows)))];
    if (!r.y || g.chance(15))
      return std::string(g.pick({"12/31/2026", "2026-12-31", "1/2/26", "13/13/2026", "31.12.2026"}));
    return date_text(r.y, r.m, r.day, f);
  };
  auto one = [&] {
    switch (g.below(5)) {
      case 0: return "{{" + t + ".c char(10) " + char_criteria(g) + "}}";
      case 1: return "{{" + t + ".s smallint " + ordered_criteria(g, [&] { return number_value(g, true); }) + "}}";
      case 2: return "{{" + t + ".i integer " + ordered_criteria(g, [&] { return number_value(g, false); }) + "}}";
      case 3: return "{{" + t + ".d decimal(10,2) " + ordered_criteria(g, [&] { return decimal_value(g); }) + "}}";
      default: return "{{" + t + ".t date " + ordered_criteria(g, date_value) + "}}";
    }
  };
  for (int n = 0; n < count; ++n) {
    std::string where = one();
    if (g.chance(30)) where += " and " + one();
    out.query("I", "select k from " + t + " where " + where);
  }
}

// --- MATCHES ---------------------------------------------------------------

void gen_matches(Rng& g, int count, Out& out) {
  out.setup("create table gm (k integer, c char(12))");
  static const char* const kValues[] = {"abc",
                                        "abd",
                                        "Abc",
                                        "a*c",
                                        "a?c",
                                        "[abc]",
                                        "a]b",
                                        "a\\c",
                                        "xyz",
                                        "x",
                                        "",
                                        "a b",
                                        "abc d",
                                        "\xc3\xa9t\xc3\xa9",
                                        "\xc3\xa0",
                                        "\xc3\xbc",
                                        "\xe6\x97\xa5\xe6\x9c\xac",
                                        "[",
                                        "]",
                                        "-",
                                        "^a",
                                        "a-c",
                                        "b",
                                        "zzz"};
  int k = 0;
  for (const char* v : kValues) {
    const std::string key = std::to_string(++k);
    out.setup("insert into gm values (?, ?)", {param(rt::integer_t(), key.c_str()), param(rt::char_t(12), v)});
  }
  out.setup("insert into gm values (99, NULL)");
  static const char* const kPieces[] = {"a",     "b",      "c",   "*",   "?",    "[abc]", "[a-c]", "[^a-c]",
                                        "[c-a]", "[^c-a]", "\\*", "\\?", "\\[",  "]",     "[]]",   "[[]",
                                        "[é-ü]", "[à-é]",  "é",   "日",  "\\\\", "[-a]",  "[a-]",  "[!a]",
                                        "[^]",   "x",      " ",   "[ ]", "[*?]", "[\\]]", "-",     "^"};
  for (int n = 0; n < count; ++n) {
    std::string p;
    const int len = 1 + g.below(4);
    for (int j = 0; j < len; ++j) p += g.pick(kPieces);
    const bool negate = g.chance(20);
    const std::string op = negate ? " not matches " : " matches ";
    if (g.chance(35)) {
      out.query("I", "select k from gm where c" + op + "?", false, {param(rt::char_t(20), p.c_str())});
    } else {
      out.query("I", "select k from gm where c" + op + quoted(p));
    }
  }
}

// --- DECIMAL ---------------------------------------------------------------

void gen_decimal(Rng& g, int count, Out& out) {
  out.setup(
      "create table gd (k integer, a decimal(12,2), b decimal(12,2), c decimal(12,2), r decimal(16,6), "
      "p decimal(7,4), w decimal(5,0), grp smallint)");
  static const char* const kA[] = {"0.10",  "0.20",          "0.30",           "1.10", "2.20", "3.30",  "10.00", "0.01",
                                   "-0.10", "9999999999.99", "-9999999999.99", "4.00", "1.15", "2.675", "0.00"};
  static const char* const kR[] = {"0.075000", "1.000000", "0.333333",  "9999999999.999999",
                                   "0.000001", "2.500000", "-1.125000", "0.100000"};
  static const char* const kP[] = {"0.0825", "1.0000", "0.3333", "999.9999", "0.0001", "-0.5000"};
  static const char* const kW[] = {"1", "3", "0", "99999", "-7", "10"};
  for (int k = 1; k <= 30; ++k) {
    const std::string key = std::to_string(k);
    const std::string grp = std::to_string(k % 4);
    const char* a = g.pick(kA);
    const char* b = g.pick(kA);
    // Often c = a + b, so that a+b-c=0 is a question with rows.
    std::string c = g.pick(kA);
    if (g.chance(50)) {
      auto da = rt::Decimal::parse(a);
      auto db = rt::Decimal::parse(b);
      if (da && db) c = (*da + *db).to_string();
    }
    out.setup("insert into gd values (?, ?, ?, ?, ?, ?, ?, ?)",
              {param(rt::integer_t(), key.c_str()), param(rt::decimal_t(12, 2), a), param(rt::decimal_t(12, 2), b),
               param(rt::decimal_t(12, 2), k % 11 == 0 ? nullptr : c.c_str()), param(rt::decimal_t(16, 6), g.pick(kR)),
               param(rt::decimal_t(7, 4), g.pick(kP)), param(rt::decimal_t(5, 0), g.pick(kW)),
               param(rt::smallint_t(), grp.c_str())});
  }
  static const char* const kCols[] = {"a", "b", "c", "r", "p", "w"};
  static const char* const kConst[] = {"0",      "1", "0.1",   "0.30", "2.675",         "100",
                                       "3",      "4", "0.005", "1.15", "9999999999.99", "1234567890123456",
                                       "0.0825", "-1"};
  static const char* const kOps[] = {"+", "-", "*", "/"};
  auto operand = [&] { return g.chance(70) ? std::string(g.pick(kCols)) : std::string(g.pick(kConst)); };
  auto expr = [&] {
    std::string e = operand();
    const int n = 1 + g.below(2);
    for (int j = 0; j < n; ++j) e += std::string(" ") + g.pick(kOps) + " " + operand();
    return e;
  };
  for (int n = 0; n < count; ++n) {
    switch (g.below(8)) {
      case 0:
        out.query("I", "select k from gd where " + expr() + " " + g.pick({"=", "<", ">=", "<>"}) + " " + operand());
        break;
      case 1: out.query("IN", "select k, " + expr() + " from gd"); break;
      case 2: out.query("IT", "select k, " + expr() + " from gd"); break;
      case 3: {
        const std::string col = g.pick(kCols);
        const std::string agg = g.pick({"sum", "avg", "min", "max"});
        out.query(g.chance(50) ? "IT" : "IN", "select grp, " + agg + "(" + col + ") from gd group by grp");
        break;
      }
      case 4: {
        const std::string col = g.pick(kCols);
        out.query("TTTT", "select sum(" + col + "), avg(" + col + "), min(" + col + "), max(" + col + ") from gd");
        break;
      }
      case 5:
        out.query("IN",
                  "select k, round(" + std::string(g.pick(kCols)) + ", " + std::to_string(g.below(4)) + ") from gd");
        break;
      case 6:
        out.query("I", "select grp from gd group by grp having sum(" + std::string(g.pick(kCols)) + ") " +
                           g.pick({"=", ">", "<"}) + " " + g.pick(kConst));
        break;
      default:
        out.query("I", "select k from gd where " + std::string(g.pick(kCols)) + " " +
                           g.pick({"=", "<", ">", "<=", ">=", "<>"}) + " " + g.pick(kConst));
        break;
    }
  }
}

// --- CHAR ------------------------------------------------------------------

void gen_chars(Rng& g, int count, Out& out) {
  out.setup("create table gc (k integer, c char(8), v varchar(8), n char(8))");
  static const char* const kValues[] = {"abc",
                                        "abc  ",
                                        "  abc",
                                        "ABC",
                                        "",
                                        " ",
                                        "a b",
                                        "abcdefgh",
                                        "\xc3\xa9t\xc3\xa9",
                                        "\xc3\x89T\xc3\x89",
                                        "\xe6\x97\xa5\xe6\x9c\xac",
                                        "Zeta",
                                        "zeta",
                                        "a",
                                        "b ",
                                        "\xc3\xbc",
                                        "10",
                                        "9",
                                        "-1",
                                        "x y "};
  int k = 0;
  for (const char* v : kValues) {
    const std::string key = std::to_string(++k);
    out.setup("insert into gc values (?, ?, ?, ?)", {param(rt::integer_t(), key.c_str()), param(rt::char_t(8), v),
                                                     param(rt::char_t(8), v), param(rt::char_t(8), v)});
  }
  out.setup("insert into gc values (99, NULL, NULL, NULL)");
  static const char* const kConsts[] = {"abc",
                                        "abc ",
                                        "abc   ",
                                        " abc",
                                        "",
                                        " ",
                                        "ABC",
                                        "a b",
                                        "\xc3\xa9t\xc3\xa9",
                                        "\xc3\x89T\xc3\x89",
                                        "Zeta",
                                        "b",
                                        "10",
                                        "9",
                                        "\xe6\x97\xa5\xe6\x9c\xac"};
  static const char* const kCols[] = {"c", "v"};
  for (int n = 0; n < count; ++n) {
    const std::string col = g.pick(kCols);
    const std::string lit = quoted(g.pick(kConsts));
    switch (g.below(10)) {
      case 0:
        out.query("I",
                  "select k from gc where " + col + " " + g.pick({"=", "<", ">", "<=", ">=", "<>", "!="}) + " " + lit);
        break;
      case 1: out.query("II", "select k, length(" + col + ") from gc"); break;
      case 2: out.query("IT", "select k, " + col + " || " + lit + " from gc"); break;
      case 3: out.query("IT", "select k, " + std::string(g.pick({"upper", "lower"})) + "(" + col + ") from gc"); break;
      case 4: out.query("TI", "select " + col + ", k from gc order by " + col + ", k", true); break;
      case 5: out.query("TI", "select " + col + ", k from gc order by " + col + " desc, k", true); break;
      case 6:
        out.query("I", "select k from gc where " + col + " like " + quoted(std::string(g.pick(kConsts)) + "%"));
        break;
      case 7:
        out.query("I", "select k from gc where " + col + " in (" + lit + ", " + quoted(g.pick(kConsts)) + ")");
        break;
      case 8:
        out.query("I", "select k from gc where " + col + " = ?", false, {param(rt::char_t(8), g.pick(kConsts))});
        break;
      default: out.query("II", "select length(" + lit + "), count(*) from gc where " + col + " is not null"); break;
    }
  }
}

}  // namespace

bool generate(const std::string& name, unsigned long seed, int count, const rt::DateFormat& fmt, const Record& where,
              std::vector<Record>* out) {
  Rng g(seed);
  Out o(where, name, out);
  if (name == "qbe")
    gen_qbe(g, count, fmt, "gq" + std::to_string(seed), o);
  else if (name == "matches")
    gen_matches(g, count, o);
  else if (name == "decimal")
    gen_decimal(g, count, o);
  else if (name == "chars")
    gen_chars(g, count, o);
  else
    return false;
  return true;
}

}  // namespace lunadesk::differential
