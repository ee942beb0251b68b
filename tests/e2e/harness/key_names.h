// Key names as tests write them ("f1", "ctrl-w", "shift-tab") and the
// libvterm key or character with modifiers that each one means. Never sends
// anything: the screen encodes the key as its terminal would.
#pragma once

#include <cstdint>
#include <string_view>
#include <vterm_keycodes.h>

namespace e2e::detail {

struct KeySpec {
  VTermKey key = VTERM_KEY_NONE;  // a named key, or
  std::uint32_t codepoint = 0;    // a character when key is VTERM_KEY_NONE
  VTermModifier mods = VTERM_MOD_NONE;
};

// Throws Error for a name it does not know.
KeySpec parse_key(std::string_view name);

// Decodes one UTF-8 character at the front of s and removes it; throws
// Error on malformed input.
std::uint32_t take_utf8(std::string_view& s);

}  // namespace e2e::detail
