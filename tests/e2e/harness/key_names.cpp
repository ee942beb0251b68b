// Reading key names and UTF-8 text into what libvterm's keyboard takes.
#include "key_names.h"

#include <charconv>
#include <string>

#include "e2e/terminal.h"

namespace e2e::detail {
namespace {

struct Named {
  std::string_view name;
  VTermKey key;
};

constexpr Named kNamed[] = {
    {"enter", VTERM_KEY_ENTER},
    {"return", VTERM_KEY_ENTER},
    {"tab", VTERM_KEY_TAB},
    {"backspace", VTERM_KEY_BACKSPACE},
    {"esc", VTERM_KEY_ESCAPE},
    {"escape", VTERM_KEY_ESCAPE},
    {"up", VTERM_KEY_UP},
    {"down", VTERM_KEY_DOWN},
    {"left", VTERM_KEY_LEFT},
    {"right", VTERM_KEY_RIGHT},
    {"insert", VTERM_KEY_INS},
    {"delete", VTERM_KEY_DEL},
    {"home", VTERM_KEY_HOME},
    {"end", VTERM_KEY_END},
    {"pgup", VTERM_KEY_PAGEUP},
    {"pageup", VTERM_KEY_PAGEUP},
    {"pgdn", VTERM_KEY_PAGEDOWN},
    {"pagedown", VTERM_KEY_PAGEDOWN},
    {"kp-enter", VTERM_KEY_KP_ENTER},
};

[[noreturn]] void unknown(std::string_view name) { throw Error("unknown key name '" + std::string(name) + "'"); }

}  // namespace

std::uint32_t take_utf8(std::string_view& s) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (s.empty()) throw Error("empty text where a character was expected");
  unsigned char b0 = byte(0);
  std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || len > s.size()) throw Error("malformed UTF-8 in typed text");
  std::uint32_t cp = len == 1 ? b0 : b0 & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i) {
    if ((byte(i) & 0xC0) != 0x80) throw Error("malformed UTF-8 in typed text");
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  s.remove_prefix(len);
  return cp;
}

KeySpec parse_key(std::string_view name) {
  KeySpec ks;
  std::string_view rest = name;
  // Modifier prefixes; a lone "-" or a name ending in "-" is the minus key.
  for (;;) {
    auto strip = [&](std::string_view prefix, VTermModifier mod) {
      if (rest.size() > prefix.size() && rest.substr(0, prefix.size()) == prefix) {
        rest.remove_prefix(prefix.size());
        ks.mods = static_cast<VTermModifier>(ks.mods | mod);
        return true;
      }
      return false;
    };
    if (!strip("ctrl-", VTERM_MOD_CTRL) && !strip("shift-", VTERM_MOD_SHIFT) && !strip("alt-", VTERM_MOD_ALT) &&
        !strip("meta-", VTERM_MOD_ALT))
      break;
  }
  if (rest == "backtab") {
    ks.key = VTERM_KEY_TAB;
    ks.mods = static_cast<VTermModifier>(ks.mods | VTERM_MOD_SHIFT);
    return ks;
  }
  if (rest == "space") {
    ks.codepoint = ' ';
    return ks;
  }
  for (const auto& n : kNamed)
    if (n.name == rest) {
      ks.key = n.key;
      return ks;
    }
  if (rest.size() >= 2 && rest[0] == 'f' && rest[1] >= '1' && rest[1] <= '9') {
    int n = 0;
    auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), n);
    if (ec != std::errc() || end != rest.data() + rest.size() || n < 1 || n > 63) unknown(name);
    // Past F12, xterm's numbering: each further dozen is F1..F12 with
    // shift, ctrl, ctrl-shift, alt, alt-shift.
    static constexpr int kDozen[] = {VTERM_MOD_NONE, VTERM_MOD_SHIFT,
                                     VTERM_MOD_CTRL, VTERM_MOD_CTRL | VTERM_MOD_SHIFT,
                                     VTERM_MOD_ALT,  VTERM_MOD_ALT | VTERM_MOD_SHIFT};
    ks.key = static_cast<VTermKey>(VTERM_KEY_FUNCTION((n - 1) % 12 + 1));
    ks.mods = static_cast<VTermModifier>(ks.mods | kDozen[(n - 1) / 12]);
    return ks;
  }
  std::string_view ch = rest;
  if (ch.empty()) unknown(name);
  ks.codepoint = take_utf8(ch);
  if (!ch.empty()) unknown(name);  // more than one character
  // Ctrl-W and Ctrl-w are the same byte on a classic terminal.
  if ((ks.mods & VTERM_MOD_CTRL) && ks.codepoint >= 'A' && ks.codepoint <= 'Z') ks.codepoint += 'a' - 'A';
  return ks;
}

}  // namespace e2e::detail
