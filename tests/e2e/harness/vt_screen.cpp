// The libvterm terminal: drawing, reading cells, encoding keys.
#include "vt_screen.h"

#include <vterm.h>

#include "key_names.h"

namespace e2e::detail {

struct VtCallbacks {
  static void output(const char* s, std::size_t len, void* user) {
    static_cast<VtScreen*>(user)->outgoing_.append(s, len);
  }
  static int prop(VTermProp prop, VTermValue* val, void* user) {
    auto* self = static_cast<VtScreen*>(user);
    if (prop == VTERM_PROP_CURSORVISIBLE) self->cursor_visible_ = val->boolean != 0;
    if (prop == VTERM_PROP_ALTSCREEN) self->alt_screen_ = val->boolean != 0;
    return 1;
  }
  static int bell(void* user) {
    ++static_cast<VtScreen*>(user)->bells_;
    return 1;
  }
};

namespace {

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int colour_of(const VTermColor& c, bool background) {
  if (background ? VTERM_COLOR_IS_DEFAULT_BG(&c) : VTERM_COLOR_IS_DEFAULT_FG(&c)) return -1;
  if (VTERM_COLOR_IS_INDEXED(&c)) return c.indexed.idx;
  return -2;
}

const VTermScreenCallbacks kScreenCallbacks = {
    nullptr,  // damage
    nullptr,  // moverect
    nullptr,  // movecursor
    &VtCallbacks::prop,
    &VtCallbacks::bell,
    nullptr,  // resize
    nullptr,  // sb_pushline
    nullptr,  // sb_popline
};

}  // namespace

VtScreen::VtScreen(int rows, int cols) : rows_(rows), cols_(cols) {
  vt_ = vterm_new(rows, cols);
  if (vt_ == nullptr) throw Error("vterm_new failed");
  vterm_set_utf8(vt_, 1);
  vterm_output_set_callback(vt_, &VtCallbacks::output, this);
  screen_ = vterm_obtain_screen(vt_);
  vterm_screen_set_callbacks(screen_, &kScreenCallbacks, this);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);
}

VtScreen::~VtScreen() { vterm_free(vt_); }

void VtScreen::feed(std::string_view bytes) {
  if (!bytes.empty()) vterm_input_write(vt_, bytes.data(), bytes.size());
}

void VtScreen::resize(int rows, int cols) {
  vterm_set_size(vt_, rows, cols);
  rows_ = rows;
  cols_ = cols;
}

void VtScreen::key_name(std::string_view name) {
  KeySpec ks = parse_key(name);
  if (ks.key != VTERM_KEY_NONE)
    vterm_keyboard_key(vt_, ks.key, ks.mods);
  else
    vterm_keyboard_unichar(vt_, ks.codepoint, ks.mods);
}

void VtScreen::text(std::string_view utf8) {
  while (!utf8.empty()) {
    std::uint32_t cp = take_utf8(utf8);
    // Control characters in text are what the keyboard sends for them.
    if (cp < 0x20 || cp == 0x7F)
      outgoing_ += static_cast<char>(cp);
    else
      vterm_keyboard_unichar(vt_, cp, VTERM_MOD_NONE);
  }
}

std::string VtScreen::take_outgoing() {
  std::string out;
  out.swap(outgoing_);
  return out;
}

Cell VtScreen::cell(int row, int col) const {
  Cell out;
  VTermScreenCell c{};
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_ || !vterm_screen_get_cell(screen_, VTermPos{row, col}, &c)) {
    out.text = "";
    out.width = 0;
    return out;
  }
  if (c.chars[0] == 0xFFFFFFFFu) {  // right half of a wide character
    out.width = 0;
  } else if (c.chars[0] == 0) {
    out.text = " ";
    out.width = 1;
  } else {
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0; ++i) append_utf8(out.text, c.chars[i]);
    out.width = c.width;
  }
  out.bold = c.attrs.bold;
  out.underline = c.attrs.underline != 0;
  out.italic = c.attrs.italic;
  out.blink = c.attrs.blink;
  out.reverse = c.attrs.reverse;
  out.fg = colour_of(c.fg, false);
  out.bg = colour_of(c.bg, true);
  return out;
}

std::string VtScreen::row_text(int row, int col, int ncells) const {
  std::string out;
  for (int c = col; c < col + ncells && c < cols_; ++c) out += cell(row, c).text;
  return out;
}

std::pair<int, int> VtScreen::cursor() const {
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return {pos.row, pos.col};
}

}  // namespace e2e::detail
