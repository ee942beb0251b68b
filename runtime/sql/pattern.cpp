// MATCHES patterns. See pattern.h.
#include "sql/pattern.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "values/text.h"

namespace rt::sql {
namespace {

// One element of a parsed pattern.
struct Elem {
  enum Kind { Lit, Any, Star, Set } kind;
  char32_t ch = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // Set

  static Elem lit(char32_t c) { return make(Lit, c); }
  static Elem make(Kind k, char32_t c = 0) {
    Elem e;
    e.kind = k;
    e.ch = c;
    return e;
  }
};

// A "[" without its "]" is an ordinary character, as is an empty set.
std::optional<Elem> parse_set(const std::u32string& p, size_t* i) {
  size_t j = *i + 1;
  Elem e = Elem::make(Elem::Set);
  if (j < p.size() && p[j] == U'^') {
    e.negated = true;
    ++j;
  }
  bool first = true;
  while (j < p.size() && (p[j] != U']' || first)) {
    char32_t lo = p[j];
    if (lo == U'\\' && j + 1 < p.size()) lo = p[++j];
    char32_t hi = lo;
    if (j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']') {
      hi = p[j + 2];
      if (hi == U'\\' && j + 3 < p.size()) {
        hi = p[j + 3];
        ++j;
      }
      j += 2;
    }
    e.ranges.emplace_back(lo, hi);
    ++j;
    first = false;
  }
  if (j >= p.size() || e.ranges.empty()) return std::nullopt;
  *i = j;  // on the "]"
  return e;
}

std::vector<Elem> parse(std::string_view pattern) {
  const std::u32string p = text::decode_all(pattern);
  std::vector<Elem> out;
  for (size_t i = 0; i < p.size(); ++i) {
    const char32_t c = p[i];
    if (c == U'\\' && i + 1 < p.size()) {
      out.push_back(Elem::lit(p[++i]));
    } else if (c == U'*') {
      if (out.empty() || out.back().kind != Elem::Star) out.push_back(Elem::make(Elem::Star));
    } else if (c == U'?') {
      out.push_back(Elem::make(Elem::Any));
    } else if (c == U'[') {
      if (auto set = parse_set(p, &i)) {
        out.push_back(std::move(*set));
      } else {
        out.push_back(Elem::lit(c));
      }
    } else {
      out.push_back(Elem::lit(c));
    }
  }
  return out;
}

bool in_ranges(const Elem& e, char32_t c) {
  for (auto [lo, hi] : e.ranges)
    if (c >= lo && c <= hi) return true;
  return false;
}

bool elem_accepts(const Elem& e, char32_t c) {
  switch (e.kind) {
    case Elem::Lit: return e.ch == c;
    case Elem::Any: return true;
    case Elem::Star: return true;
    case Elem::Set: return in_ranges(e, c) != e.negated;
  }
  return false;
}

bool match_elems(const std::u32string& v, const std::vector<Elem>& p) {
  // Greedy matching with one backtrack point per star: linear in practice,
  // never exponential.
  size_t vi = 0, pi = 0;
  size_t star_p = std::string::npos, star_v = 0;
  while (vi < v.size()) {
    if (pi < p.size() && p[pi].kind == Elem::Star) {
      star_p = pi++;
      star_v = vi;
    } else if (pi < p.size() && elem_accepts(p[pi], v[vi])) {
      ++pi;
      ++vi;
    } else if (star_p != std::string::npos) {
      pi = star_p + 1;
      vi = ++star_v;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == Elem::Star) ++pi;
  return pi == p.size();
}

void encode(char32_t c, std::string* out) { text::append(*out, c); }

// Inside a bracket expression only these need care; a backslash is an
// escape in PostgreSQL's advanced regular expressions.
void in_set(char32_t c, std::string* out) {
  if (c == U'\\' || c == U']' || c == U'[' || c == U'^' || c == U'-') out->push_back('\\');
  encode(c, out);
}

// A bracket expression of single characters, runs written as ranges.
std::string bracket(std::vector<char32_t> cs) {
  std::string out = "[";
  for (std::size_t k = 0; k < cs.size();) {
    std::size_t j = k;
    while (j + 1 < cs.size() && cs[j + 1] == cs[j] + 1) ++j;
    in_set(cs[k], &out);
    if (j > k) {
      if (j > k + 1) out += "-";
      in_set(cs[j], &out);
    }
    k = j + 1;
  }
  return out + "]";
}

// The characters whose fold differs from themselves, with their folds.
const std::vector<std::pair<char32_t, char32_t>>& folds(Fold f) { return text::case_pairs(f == Fold::Upper); }

// A regular expression for one character x such that e accepts fold(x).
// Characters without a case are judged as themselves; those with one by
// their fold, which adds the characters that fold into the element and
// removes those that fold out of it.
std::string folded_element(const Elem& e, Fold f, const std::string& plain) {
  std::vector<char32_t> add, remove;
  for (auto [x, m] : folds(f)) {
    const bool as_is = elem_accepts(e, x);
    const bool folded = elem_accepts(e, m);
    if (folded && !as_is) add.push_back(x);
    if (as_is && !folded) remove.push_back(x);
  }
  std::string out;
  if (!remove.empty()) out += "(?!" + bracket(remove) + ")";
  if (add.empty()) return out + plain;
  return out + "(?:" + plain + "|" + bracket(add) + ")";
}

}  // namespace

bool matches(std::string_view value, std::string_view pattern) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return match_elems(text::decode_all(value), parse(pattern));
}

bool like(std::string_view value, std::string_view pattern, char32_t escape) {
  const std::u32string v = text::decode_all(value);
  const std::u32string raw = text::decode_all(pattern);
  std::vector<Elem> p;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == escape && i + 1 < raw.size())
      p.push_back(Elem::lit(raw[++i]));
    else if (raw[i] == U'%')
      p.push_back(Elem::make(Elem::Star));
    else if (raw[i] == U'_')
      p.push_back(Elem::make(Elem::Any));
    else
      p.push_back(Elem::lit(raw[i]));
  }
  return match_elems(v, p);
}

std::string matches_to_regex(std::string_view pattern, Fold fold) {
  auto literal = [](char32_t c, std::string* out) {
    static constexpr std::string_view special = "\\^$.|?*+()[]{}";
    if (c < 0x80 && special.find(static_cast<char>(c)) != std::string_view::npos) out->push_back('\\');
    encode(c, out);
  };
  // Inside a bracket expression every member is written as its code point
  // (\uXXXX or \UXXXXXXXX): no member can then close, negate or range the
  // set by accident, whatever the operator typed.
  auto code_point = [](char32_t c, std::string* out) {
    char buf[16];
    if (c <= 0xffff)
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    else
      std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(c));
    *out += buf;
  };
  // The value keeps the blank padding of its CHAR column here, so a
  // one-character element must never take a blank of the trailing run: the
  // lookahead refuses a position where only blanks are left.
  static constexpr std::string_view not_trailing = "(?! +$)";
  // A set with no character in it (every range reversed) matches nothing,
  // and so does the whole pattern.
  static constexpr std::string_view nothing = "[^\\u0001-\\U0010FFFF]";
  std::string out = "^";
  for (const Elem& e : parse(pattern)) {
    if (e.kind == Elem::Any || e.kind == Elem::Set || (e.kind == Elem::Lit && e.ch == U' ')) out += not_trailing;
    std::string one;
    switch (e.kind) {
      case Elem::Lit: literal(e.ch, &one); break;
      case Elem::Any: one = "."; break;
      case Elem::Star: one = ".*"; break;
      case Elem::Set: {
        std::string members;
        for (auto [lo, hi] : e.ranges) {
          if (lo > hi || lo == 0) continue;  // a reversed range holds nothing
          code_point(lo, &members);
          if (hi != lo) {
            members += "-";
            code_point(hi, &members);
          }
        }
        if (members.empty()) {
          one = e.negated ? "." : std::string(nothing);
        } else {
          one = (e.negated ? "[^" : "[") + members + "]";
        }
        break;
      }
    }
    const bool single = e.kind == Elem::Lit || e.kind == Elem::Set;
    out += fold != Fold::None && single ? folded_element(e, fold, one) : one;
  }
  out += " *$";
  return out;
}

}  // namespace rt::sql
