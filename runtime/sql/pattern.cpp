// MATCHES patterns. See pattern.h.
#include "sql/pattern.h"

#include <optional>
#include <vector>

namespace rt::sql {
namespace {

// Decodes UTF-8 leniently: a byte that does not start a valid sequence
// stands for itself, so that no input is ever lost or refused.
std::u32string decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
    bool ok = true;
    for (int k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xc0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3f);
    }
    if (!ok) {
      out.push_back(c);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

void encode(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xc0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xe0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else {
    out->push_back(static_cast<char>(0xf0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  }
}

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
  const std::u32string p = decode(pattern);
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

bool elem_accepts(const Elem& e, char32_t c) {
  switch (e.kind) {
    case Elem::Lit: return e.ch == c;
    case Elem::Any: return true;
    case Elem::Star: return true;
    case Elem::Set: {
      bool in = false;
      for (auto [lo, hi] : e.ranges) in = in || (c >= lo && c <= hi);
      return in != e.negated;
    }
  }
  return false;
}

}  // namespace

bool matches(std::string_view value, std::string_view pattern) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  const std::u32string v = decode(value);
  const std::vector<Elem> p = parse(pattern);
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

std::string matches_to_regex(std::string_view pattern) {
  auto literal = [](char32_t c, std::string* out) {
    static constexpr std::string_view special = "\\^$.|?*+()[]{}";
    if (c < 0x80 && special.find(static_cast<char>(c)) != std::string_view::npos) out->push_back('\\');
    encode(c, out);
  };
  auto in_set = [](char32_t c, std::string* out) {
    // Inside a bracket expression only these need care; a backslash is an
    // escape in PostgreSQL's advanced regular expressions.
    if (c == U'\\' || c == U']' || c == U'[' || c == U'^' || c == U'-') out->push_back('\\');
    encode(c, out);
  };
  // The value keeps the blank padding of its CHAR column here, so a
  // one-character element must never take a blank of the trailing run: the
  // lookahead refuses a position where only blanks are left.
  static constexpr std::string_view not_trailing = "(?! +$)";
  std::string out = "^";
  for (const Elem& e : parse(pattern)) {
    if (e.kind == Elem::Any || e.kind == Elem::Set || (e.kind == Elem::Lit && e.ch == U' ')) out += not_trailing;
    switch (e.kind) {
      case Elem::Lit: literal(e.ch, &out); break;
      case Elem::Any: out += "."; break;
      case Elem::Star: out += ".*"; break;
      case Elem::Set:
        out += e.negated ? "[^" : "[";
        for (auto [lo, hi] : e.ranges) {
          in_set(lo, &out);
          if (hi != lo) {
            out += "-";
            in_set(hi, &out);
          }
        }
        out += "]";
        break;
    }
  }
  out += " *$";
  return out;
}

}  // namespace rt::sql
