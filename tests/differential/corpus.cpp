// Reading a corpus file. See corpus.h for the format.
#include "corpus.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "generate.h"
#include "values/text.h"

namespace lunadesk::differential {
namespace {

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

bool parse_columns(const std::string& types, std::vector<rt::Type>* out) {
  if (types.find_first_of("(,") == std::string::npos && !types.empty() &&
      types.find_first_not_of("TISND") == std::string::npos) {
    for (char c : types) {
      switch (c) {
        case 'T': out->push_back(rt::char_t(255)); break;
        case 'I': out->push_back(rt::integer_t()); break;
        case 'S': out->push_back(rt::smallint_t()); break;
        case 'N': out->push_back(rt::decimal_t(32, 10)); break;
        default: out->push_back(rt::date_t()); break;
      }
    }
    return true;
  }
  // A comma list; commas inside "decimal(8,2)" belong to the type.
  std::string cur;
  int depth = 0;
  for (size_t i = 0; i <= types.size(); ++i) {
    const char c = i < types.size() ? types[i] : ',';
    if (c == ',' && depth == 0) {
      rt::Type t;
      if (!parse_type(trim(cur), &t)) return false;
      out->push_back(t);
      cur.clear();
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    cur += c;
  }
  return true;
}

}  // namespace

// "char(10) 'ab  ' | integer 5 | date null"
bool parse_params(const std::string& line, std::vector<Param>* out) {
  size_t i = 0;
  const std::string s = line;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '|')) ++i;
    if (i >= s.size()) break;
    size_t t = i;
    int depth = 0;
    while (t < s.size() && (depth > 0 || s[t] != ' ')) {
      if (s[t] == '(') ++depth;
      if (s[t] == ')') --depth;
      ++t;
    }
    Param p;
    if (!parse_type(s.substr(i, t - i), &p.type)) return false;
    while (t < s.size() && s[t] == ' ') ++t;
    if (t < s.size() && s[t] == '\'') {
      ++t;
      for (; t < s.size(); ++t) {
        if (s[t] == '\'') {
          if (t + 1 < s.size() && s[t + 1] == '\'') {
            p.text += '\'';
            ++t;
            continue;
          }
          break;
        }
        p.text += s[t];
      }
      if (t >= s.size()) return false;
      ++t;
    } else {
      const size_t e = s.find('|', t);
      p.text = trim(s.substr(t, e == std::string::npos ? std::string::npos : e - t));
      if (lower(p.text) == "null") {
        p.null = true;
        p.text.clear();
      }
      t = e == std::string::npos ? s.size() : e;
    }
    out->push_back(p);
    i = t;
  }
  return true;
}

std::string collapse(const std::string& text) { return rt::text::one_line(text); }

bool parse_type(const std::string& name, rt::Type* out) {
  const std::string n = lower(trim(name));
  auto args = [&](int* a, int* b) {
    const size_t open = n.find('(');
    if (open == std::string::npos) return 0;
    return std::sscanf(n.c_str() + open, "(%d,%d)", a, b);
  };
  int a = 0, b = 0;
  if (n.rfind("char", 0) == 0 || n.rfind("varchar", 0) == 0) {
    *out = rt::char_t(args(&a, &b) >= 1 ? a : 1);
  } else if (n == "smallint") {
    *out = rt::smallint_t();
  } else if (n == "integer" || n == "int") {
    *out = rt::integer_t();
  } else if (n == "serial") {
    *out = rt::serial_t();
  } else if (n == "date") {
    *out = rt::date_t();
  } else if (n.rfind("decimal", 0) == 0 || n.rfind("money", 0) == 0) {
    const int k = args(&a, &b);
    *out = rt::decimal_t(k >= 1 ? a : 16, k >= 2 ? b : (k == 1 ? 0 : 2));
  } else {
    return false;
  }
  return true;
}

Corpus read_corpus(const std::string& path) {
  Corpus c;
  std::ifstream in(path);
  if (!in) {
    c.errors.push_back("cannot read " + path);
    return c;
  }
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  const std::string file = path.substr(path.rfind('/') + 1);
  std::string group = "general";
  rt::DateFormat fmt;  // the DBDATE in force where a generator is expanded
  auto err = [&](size_t at, const std::string& what) {
    c.errors.push_back(file + ":" + std::to_string(at + 1) + ": " + what);
  };
  size_t i = 0;
  while (i < lines.size()) {
    const std::string line = trim(lines[i]);
    if (line.empty() || line[0] == '#') {
      ++i;
      continue;
    }
    const std::vector<std::string> w = words(line);
    const std::string head = lower(w[0]);
    Record r;
    r.file = file;
    r.line = static_cast<int>(i + 1);
    r.group = group;
    const size_t at = i++;
    // The body: the lines up to the next blank line.
    std::vector<std::string> body;
    auto read_body = [&] {
      while (i < lines.size() && !trim(lines[i]).empty()) {
        if (trim(lines[i])[0] != '#') body.push_back(lines[i]);
        ++i;
      }
    };
    auto take_params = [&]() {
      if (!body.empty() && trim(body.back()).rfind("? ", 0) == 0) {
        if (!parse_params(trim(body.back()).substr(2), &r.params)) err(at, "unreadable parameters");
        body.pop_back();
      }
    };
    auto joined = [&] {
      std::string t;
      for (const std::string& b : body) t += (t.empty() ? "" : "\n") + b;
      return t;
    };
    if (head == "group" && w.size() >= 2) {
      group = w[1];
    } else if (head == "dbdate" && w.size() >= 2) {
      r.kind = RecordKind::DbDate;
      r.text = lower(w[1]) == "default" ? "" : w[1];
      fmt = rt::DateFormat::from_dbdate(r.text);
      c.records.push_back(r);
    } else if (head == "setup" || head == "statement" || head == "query") {
      r.kind = head == "setup" ? RecordKind::Setup : head == "query" ? RecordKind::Query : RecordKind::Statement;
      if (r.kind == RecordKind::Query) {
        if (w.size() < 2 || !parse_columns(w[1], &r.columns)) err(at, "query needs its column types");
        r.ordered = w.size() >= 3 && lower(w[2]) == "ordered";
      }
      read_body();
      take_params();
      r.text = joined();
      if (r.text.empty()) err(at, "empty " + head);
      c.records.push_back(r);
    } else if (head == "statements" || head == "queries" || head == "native") {
      r.kind = head == "queries" ? RecordKind::Query : head == "native" ? RecordKind::Native : RecordKind::Statement;
      if (r.kind == RecordKind::Query) {
        if (w.size() < 2 || !parse_columns(w[1], &r.columns)) err(at, "queries needs their column types");
        r.ordered = w.size() >= 3 && lower(w[2]) == "ordered";
      }
      if (r.kind == RecordKind::Native && w.size() >= 2) r.native_for = lower(w[1]);
      const size_t first = i;
      read_body();
      for (size_t k = 0; k < body.size(); ++k) {
        Record one = r;
        one.line = static_cast<int>(first + 1 + k);
        one.text = body[k];
        c.records.push_back(one);
      }
    } else if (head == "generate" && w.size() == 4) {
      if (!generate(w[1], std::strtoul(w[2].c_str(), nullptr, 10), std::atoi(w[3].c_str()), fmt, r, &c.records))
        err(at, "no generator " + w[1]);
    } else if (head == "pending" && w.size() >= 3) {
      Known k;
      k.pending = true;
      k.owner = w[1];
      k.line = static_cast<int>(at + 1);
      const size_t pos = line.find(w[1], line.find(w[0]) + w[0].size()) + w[1].size();
      c.known[collapse(line.substr(pos))] = k;
    } else if (head == "decided") {
      const size_t sep = line.find(" ## ");
      if (sep == std::string::npos) {
        err(at, "a decided difference needs its reason after ' ## '");
      } else {
        Known k;
        k.reason = trim(line.substr(sep + 4));
        k.line = static_cast<int>(at + 1);
        c.known[collapse(line.substr(w[0].size(), sep - w[0].size()))] = k;
      }
    } else {
      err(at, "unknown record '" + head + "'");
    }
  }
  return c;
}

}  // namespace lunadesk::differential
