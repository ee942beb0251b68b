// Key names and codes.
#include "screen/keys.h"

#include <cctype>
#include <string>

#include "core/ascii.h"
#include "screen/utf8.h"

namespace rt::ui {

namespace {
struct Named {
  const char* name;
  int code;
};
// The first name of a code is the one key_name() gives.
constexpr Named kNames[] = {
    {"up", key::kUp},
    {"down", key::kDown},
    {"left", key::kLeft},
    {"right", key::kRight},
    {"accept", key::kAccept},
    {"escape", key::kEsc},
    {"esc", key::kEsc},
    {"interrupt", key::kInterrupt},
    {"help", key::kHelp},
    {"return", key::kReturn},
    {"enter", key::kReturn},
    {"tab", key::kTab},
    {"home", key::kHome},
    {"end", key::kEnd},
    {"pgup", key::kPgUp},
    {"pgdn", key::kPgDn},
    {"insert", key::kInsert},
    {"delete", key::kDelete},
    {"backspace", key::kBackspace},
    {"backtab", key::kBacktab},
    {"nextpage", key::kNextPage},
    {"prevpage", key::kPrevPage},
    {"space", key::kSpace},
};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}
}  // namespace

int key_code(std::string_view name) {
  std::string n = lower(name);
  for (const auto& k : kNames)
    if (n == k.name) return k.code;
  if (n.size() >= 2 && n[0] == 'f' && std::isdigit(static_cast<unsigned char>(n[1]))) {
    int v = 0;
    for (std::size_t i = 1; i < n.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(n[i]))) return key::kNone;
      v = v * 10 + (n[i] - '0');
      if (v > 64) return key::kNone;
    }
    return v >= 1 ? key::f(v) : key::kNone;
  }
  for (const char* prefix : {"control-", "ctrl-"}) {
    std::string p(prefix);
    if (n.size() == p.size() + 1 && n.compare(0, p.size(), p) == 0 &&
        std::isalpha(static_cast<unsigned char>(n.back())))
      return key::ctrl(n.back());
  }
  // A single character names itself (as typed, so "A" is 65).
  if (!name.empty()) {
    char32_t cp;
    if (static_cast<std::size_t>(utf8_decode(name, 0, cp)) == name.size() && cp != 0xFFFD && !rt::text::is_raw_byte(cp))
      return static_cast<int>(cp);
  }
  return key::kNone;
}

std::string key_name(int code) {
  if (code == key::kEsc) return "accept";
  for (const auto& k : kNames)
    if (code == k.code) return k.name;
  if (code > key::kF0 && code <= key::kF0 + 64) return "f" + std::to_string(code - key::kF0);
  if (code >= 1 && code <= 26) return std::string("control-") + static_cast<char>('a' + code - 1);
  if (code >= 32 && code < key::kSpecial) return utf8_encode(static_cast<char32_t>(code));
  return "key-" + std::to_string(code);
}

}  // namespace rt::ui
