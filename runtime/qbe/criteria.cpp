// Reading of the criteria syntax into condition text (see criteria.h).
#include "qbe/criteria.h"

#include <array>
#include <optional>
#include <utility>

#include "qbe/constant.h"
#include "qbe/lex.h"
#include "qbe/pattern.h"

namespace rt::qbe {

using detail::Units;

namespace {

Condition refused() {
  Condition c;
  c.ok = false;
  c.error_code = err::kInField;
  c.error_message = std::string(err::text(err::kInField));
  return c;
}

Condition accepted(std::string text) {
  Condition c;
  c.text = std::move(text);
  return c;
}

// Comparison operators in the order they are tried: two-character ones
// first, so that ">=5" is not read as ">" and "=5". `!=` is written `<>`.
struct Operator {
  std::string_view typed;
  std::string_view sql;
};
constexpr std::array<Operator, 7> kOperators{{
    {">=", ">="},
    {"<=", "<="},
    {"<>", "<>"},
    {"!=", "<>"},
    {">", ">"},
    {"<", "<"},
    {"=", "="},
}};

// A value taken as it stands (wildcards literal).
std::optional<std::string> value_of(const Units& u, const Type& type, const DateFormat& fmt) {
  if (u.empty()) return std::nullopt;
  return detail::constant(detail::plain(u), type, fmt);
}

// One element of an equality or a list: in a CHAR field, a pattern when it
// holds a wildcard; `pattern` tells the caller which it became.
std::optional<std::string> element_of(const Units& u, const Type& type, const DateFormat& fmt, bool* pattern) {
  *pattern = type.kind == Kind::Char && detail::is_pattern(u);
  if (*pattern) return detail::pattern_constant(u);
  return value_of(u, type, fmt);
}

Condition list(std::string_view col, const std::vector<Units>& items, const Type& type, const DateFormat& fmt) {
  std::vector<std::pair<std::string, bool>> elems;  // constant, is a pattern
  bool any_pattern = false;
  for (const Units& raw : items) {
    const Units item = detail::trim(raw);
    // A range has no place inside a list.
    if (detail::has_unescaped(item, ':')) return refused();
    bool pattern = false;
    std::optional<std::string> k = element_of(item, type, fmt, &pattern);
    if (!k) return refused();
    any_pattern = any_pattern || pattern;
    elems.emplace_back(std::move(*k), pattern);
  }
  std::string t;
  if (any_pattern) {
    t = "(";
    for (std::size_t i = 0; i < elems.size(); ++i) {
      if (i > 0) t += " or ";
      t.append(col);
      t += elems[i].second ? " matches " : "=";
      t += elems[i].first;
    }
    t += ")";
  } else {
    t.append(col);
    t += " in (";
    for (std::size_t i = 0; i < elems.size(); ++i) {
      if (i > 0) t += ",";
      t += elems[i].first;
    }
    t += ")";
  }
  return accepted(std::move(t));
}

}  // namespace

Condition field_condition(std::string_view column, const Type& type, std::string_view criteria, const DateFormat& fmt) {
  Units all;
  if (!detail::lex(criteria, &all)) return refused();
  const Units u = detail::trim(all);
  const std::string col(column);
  if (u.empty()) return accepted("");
  if (detail::is_unescaped(u, "=")) return accepted(col + " is null");
  if (detail::is_unescaped(u, "<>") || detail::is_unescaped(u, "!=")) return accepted(col + " is not null");

  for (const Operator& op : kOperators) {
    if (!detail::starts_unescaped(u, op.typed)) continue;
    const Units rest = detail::trim(Units(u.begin() + static_cast<std::ptrdiff_t>(op.typed.size()), u.end()));
    const std::optional<std::string> k = value_of(rest, type, fmt);
    if (!k) return refused();
    return accepted(col + std::string(op.sql) + *k);
  }

  const std::vector<Units> items = detail::split(u, '|');
  if (items.size() > 1) return list(col, items, type, fmt);

  const std::vector<Units> ends = detail::split(u, ':');
  if (ends.size() == 2) {
    const std::optional<std::string> lo = value_of(detail::trim(ends[0]), type, fmt);
    const std::optional<std::string> hi = value_of(detail::trim(ends[1]), type, fmt);
    if (!lo || !hi) return refused();
    return accepted(col + " between " + *lo + " and " + *hi);
  }
  if (ends.size() > 2) return refused();

  bool pattern = false;
  const std::optional<std::string> k = element_of(u, type, fmt, &pattern);
  if (!k) return refused();
  return accepted(col + (pattern ? " matches " : "=") + *k);
}

std::string condition_date(Date d, const DateFormat& fmt) { return detail::date_text(d, fmt); }

std::string join_conditions(const std::vector<std::string>& parts) {
  std::string t;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!t.empty()) t += " and ";
    t += p;
  }
  return t.empty() ? "1=1" : t;
}

Condition construct_element(std::string_view criteria, const Type& type, int size, std::string_view table,
                            std::string_view column, const DateFormat& fmt) {
  Type t = type;
  if (t.kind == Kind::Char && size > 0) t.len = size;
  std::string col(table);
  if (!col.empty()) col += '.';
  col.append(column);
  Condition c = field_condition(col, t, criteria, fmt);
  // A caller that asks for one element always gets a condition it can use.
  if (c.ok && c.text.empty()) c.text = "1=1";
  return c;
}

}  // namespace rt::qbe
