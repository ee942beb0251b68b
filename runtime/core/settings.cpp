// The run's settings: see settings.h.
#include "core/settings.h"

#include <charconv>

namespace rt {
namespace {

// The whole number the text is, within [min, max]; nullopt for anything
// else (a sign, blanks, a fraction, more digits than a long holds).
std::optional<long> in_range(std::string_view text, const NumericSetting& s) {
  long v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || text[0] == '+' || ec != std::errc() || ptr != end) return std::nullopt;
  if (v < s.min || v > s.max) return std::nullopt;
  return v;
}

std::string var(const Host& h, std::string_view name) { return h.env(std::string(name).c_str()).value_or(""); }

}  // namespace

Settings read_settings(const Host& h) {
  Settings out;
  out.dbdate = var(h, "DBDATE");
  out.sqltype = var(h, "A4GL_SQLTYPE");
  out.database = var(h, "LUNADESK_DB");
  for (const NumericSetting& s : kNumericSettings) {
    if (const std::optional<long> v = in_range(var(h, s.name), s)) out.*s.field = *v;
  }
  return out;
}

std::optional<std::string> unusable_setting(const Host& h) {
  for (const NumericSetting& s : kNumericSettings) {
    const std::string v = var(h, s.name);
    if (v.empty() || in_range(v, s)) continue;
    return std::string(s.name) + " \"" + v + "\" is not a whole number from " + std::to_string(s.min) + " to " +
           std::to_string(s.max) + ".";
  }
  return std::nullopt;
}

}  // namespace rt
