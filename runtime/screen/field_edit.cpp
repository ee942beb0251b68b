// Editing one field's text.
#include "screen/field_edit.h"

#include "values/text.h"

namespace rt::ui {

void FieldEdit::configure(int width, int max_cols, int max_chars, bool upshift) {
  width_ = width < 1 ? 1 : width;
  max_cols_ = max_cols;
  max_chars_ = max_chars;
  upshift_ = upshift;
}

void FieldEdit::start(std::string_view text) {
  g_.clear();
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    int n = rt::text::decode(text, i, &cp);
    g_.push_back({std::string(text.substr(i, static_cast<std::size_t>(n))), rt::text::width(cp)});
    i += static_cast<std::size_t>(n);
  }
  // Trailing blanks are padding, not text.
  while (!g_.empty() && g_.back().bytes == " ") g_.pop_back();
  cur_ = 0;
  scroll_ = 0;
  fresh_ = true;
  touched_ = false;
}

std::string FieldEdit::text() const {
  std::string s;
  for (const auto& c : g_) s += c.bytes;
  return s;
}

int FieldEdit::cols_of(int from, int to) const {
  int w = 0;
  for (int i = from; i < to; ++i) w += g_[static_cast<std::size_t>(i)].width;
  return w;
}

// No further character fits.
bool FieldEdit::full() const {
  return (max_chars_ > 0 && static_cast<int>(g_.size()) >= max_chars_) || (max_cols_ > 0 && total_cols() >= max_cols_);
}

int FieldEdit::cursor_col() const { return cols_of(scroll_, cur_); }

void FieldEdit::follow() {
  // A text that fits the field is shown whole; when the field is full,
  // the cursor waits just past its end rather than scrolling the text.
  const int n = static_cast<int>(g_.size());
  if (total_cols() <= width_ && (cur_ < n || total_cols() < width_ || full())) {
    scroll_ = 0;
    return;
  }
  if (cur_ < scroll_) scroll_ = cur_;
  // Keep the cursor cell inside the field: the columns from scroll_ to the
  // cursor, plus the cursor's own cell, fit the width.
  auto cell_w = [&] { return cur_ < static_cast<int>(g_.size()) ? g_[static_cast<std::size_t>(cur_)].width : 1; };
  while (scroll_ < cur_ && cols_of(scroll_, cur_) + cell_w() > width_) ++scroll_;
}

bool FieldEdit::type(char32_t ch, bool insert_mode) {
  if (upshift_) ch = rt::text::upper(ch);
  Glyph gl{rt::text::encode(ch), rt::text::width(ch)};
  if (gl.width == 0) return false;  // a lone combining mark is not a character
  if (fresh_ && cur_ == 0) g_.clear();
  fresh_ = false;
  int n = static_cast<int>(g_.size());
  int new_cols = total_cols() + gl.width;
  int new_chars = n + 1;
  bool replace = !insert_mode && cur_ < n;
  if (replace) {
    new_cols -= g_[static_cast<std::size_t>(cur_)].width;
    --new_chars;
  }
  if ((max_cols_ > 0 && new_cols > max_cols_) || (max_chars_ > 0 && new_chars > max_chars_)) return false;
  if (replace)
    g_[static_cast<std::size_t>(cur_)] = gl;
  else
    g_.insert(g_.begin() + cur_, gl);
  ++cur_;
  touched_ = true;
  follow();
  return true;
}

bool FieldEdit::left() {
  fresh_ = false;
  if (cur_ == 0) return false;
  --cur_;
  follow();
  return true;
}

bool FieldEdit::right() {
  fresh_ = false;
  if (cur_ >= static_cast<int>(g_.size())) return false;
  ++cur_;
  follow();
  return true;
}

void FieldEdit::home() {
  fresh_ = false;
  cur_ = 0;
  follow();
}

void FieldEdit::end() {
  fresh_ = false;
  cur_ = static_cast<int>(g_.size());
  follow();
}

bool FieldEdit::backspace() {
  fresh_ = false;
  if (cur_ == 0) return false;
  g_.erase(g_.begin() + cur_ - 1);
  --cur_;
  touched_ = true;
  follow();
  return true;
}

bool FieldEdit::del() {
  fresh_ = false;
  if (cur_ >= static_cast<int>(g_.size())) return false;
  g_.erase(g_.begin() + cur_);
  touched_ = true;
  follow();
  return true;
}

void FieldEdit::clear_to_end() {
  fresh_ = false;
  g_.erase(g_.begin() + cur_, g_.end());
  touched_ = true;
  follow();
}

}  // namespace rt::ui
