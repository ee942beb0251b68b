// The numeric settings: see settings.h.
#include "core/settings.h"

#include <charconv>

#include "core/host.h"

namespace rt {
namespace {

const NumericSetting* find(std::string_view name) {
  for (const NumericSetting& s : kNumericSettings)
    if (s.name == name) return &s;
  return nullptr;
}

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

}  // namespace

long numeric_setting(std::string_view name) {
  const NumericSetting* s = find(name);
  if (!s) return 0;
  const std::string v = getenv_str(std::string(name).c_str());
  if (v.empty()) return s->fallback;
  return in_range(v, *s).value_or(s->fallback);
}

std::optional<std::string> unusable_setting() {
  for (const NumericSetting& s : kNumericSettings) {
    const std::string v = getenv_str(std::string(s.name).c_str());
    if (v.empty() || in_range(v, s)) continue;
    return std::string(s.name) + " \"" + v + "\" is not a whole number from " + std::to_string(s.min) + " to " +
           std::to_string(s.max) + ".";
  }
  return std::nullopt;
}

}  // namespace rt
