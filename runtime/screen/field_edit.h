// One field's edit buffer: the characters typed, the cursor, typeover or
// insert, and the limits of the field.
//
// The buffer holds whole characters (values/text.h). It never grows past
// `max_cols` display columns or `max_chars` characters (0: no limit); a key
// that would do so is refused, and the caller rings the bell. When the text
// is wider than the field, the view scrolls sideways by display columns so
// that the cursor stays visible (a wide character is never cut in half). The first character typed while the field is fresh (the cursor
// has just entered it and nothing else was pressed) replaces the whole
// text. Owns no screen: the caller draws visible() at the field.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt::ui {

class FieldEdit {
 public:
  // width: columns the field shows; max_cols/max_chars: limits of the text.
  void configure(int width, int max_cols, int max_chars, bool upshift);
  // Starts editing `text` with the cursor at the start; fresh again.
  void start(std::string_view text);

  std::string text() const;
  bool touched() const { return touched_; }
  int cursor() const { return cur_; }     // in characters
  int cursor_col() const;                 // within the field
  int scroll() const { return scroll_; }  // characters hidden at the left

  // Returns false when the key is refused (the bell's business).
  bool type(char32_t ch, bool insert_mode);
  bool left();
  bool right();
  void home();
  void end();
  bool backspace();
  bool del();
  void clear_to_end();
  // Any key that is not a character ends the fresh state.
  void not_fresh() { fresh_ = false; }
  // No further character fits.
  bool full() const;

 private:
  struct Glyph {
    std::string bytes;
    int width;
  };
  int cols_of(int from, int to) const;
  int total_cols() const { return cols_of(0, static_cast<int>(g_.size())); }
  void follow();

  std::vector<Glyph> g_;
  int cur_ = 0;
  int scroll_ = 0;
  int width_ = 1, max_cols_ = 0, max_chars_ = 0;
  bool upshift_ = false;
  bool fresh_ = true;
  bool touched_ = false;
};

}  // namespace rt::ui
