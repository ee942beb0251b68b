// One field's editing: typeover and insert, the limits of width and
// characters, the first character replacing the field, sideways scrolling
// by display columns.
#include "screen/field_edit.h"

#include <gtest/gtest.h>

using rt::ui::FieldEdit;

namespace {
FieldEdit field(int width, int max_chars = 0, std::string_view text = "") {
  FieldEdit e;
  e.configure(width, width, max_chars, false);
  e.start(text);
  return e;
}
}  // namespace

TEST(FieldEdit, FirstCharacterAtTheStartReplacesTheText) {
  auto e = field(10, 0, "Smith");
  e.type('J', false);
  EXPECT_EQ(e.text(), "J");
  auto k = field(10, 0, "Smith");
  k.right();
  k.left();
  k.type('J', false);  // the field is no longer fresh: typeover
  EXPECT_EQ(k.text(), "Jmith");
}

TEST(FieldEdit, TypeoverAndInsert) {
  auto e = field(10, 0, "abcd");
  e.right();
  e.type('X', false);
  EXPECT_EQ(e.text(), "aXcd");
  e.type('Y', true);
  EXPECT_EQ(e.text(), "aXYcd");
  EXPECT_EQ(e.cursor(), 3);
}

TEST(FieldEdit, DeletingKeys) {
  auto e = field(10, 0, "abcdef");
  e.right();
  e.right();
  e.backspace();
  EXPECT_EQ(e.text(), "acdef");
  e.del();
  EXPECT_EQ(e.text(), "adef");
  e.clear_to_end();
  EXPECT_EQ(e.text(), "a");
  EXPECT_TRUE(e.touched());
  EXPECT_FALSE(field(5, 0, "x").touched());
}

TEST(FieldEdit, NothingPassesTheFieldWidth) {
  auto e = field(3);
  EXPECT_TRUE(e.type('a', false));
  EXPECT_TRUE(e.type('b', false));
  EXPECT_TRUE(e.type('c', false));
  EXPECT_FALSE(e.type('d', false));
  EXPECT_EQ(e.text(), "abc");
  e.home();
  e.not_fresh();
  EXPECT_FALSE(e.type('z', true));  // insert into a full field
  EXPECT_TRUE(e.type('z', false));  // typeover still fits
  EXPECT_EQ(e.text(), "zbc");
  EXPECT_EQ(e.scroll(), 0);
}

TEST(FieldEdit, WideAndMultiByteCharactersStayWhole) {
  auto e = field(4, 2);  // 4 columns, CHAR(2)
  EXPECT_TRUE(e.type(U'é', false));
  EXPECT_TRUE(e.type(U'é', false));
  EXPECT_FALSE(e.type('a', false));  // a third character does not fit CHAR(2)
  EXPECT_EQ(e.text(), "éé");
  auto w = field(3);
  EXPECT_TRUE(w.type(U'日', false));
  EXPECT_FALSE(w.type(U'本', false));  // would take columns 3 and 4
  EXPECT_TRUE(w.type('x', false));
  EXPECT_EQ(w.text(), "日x");
}

// A CHAR field takes as many characters as its column holds, whatever
// their width: wider than the field, the view scrolls by columns and never
// shows half of a wide character.
TEST(FieldEdit, CharactersWiderThanTheFieldScrollByColumns) {
  FieldEdit e;
  e.configure(5, 0, 4, false);  // 5 columns, CHAR(4)
  e.start("");
  for (char32_t c : std::u32string(U"日本語x")) EXPECT_TRUE(e.type(c, false));
  EXPECT_FALSE(e.type(U'y', false));
  EXPECT_EQ(e.text(), "日本語x");
  // 7 columns: the cursor past the end needs a column of its own, so the
  // first two characters scroll out (本 would leave only 4 visible).
  EXPECT_EQ(e.scroll(), 2);
  EXPECT_EQ(e.cursor_col(), 3);
  e.home();
  EXPECT_EQ(e.scroll(), 0);
  EXPECT_EQ(e.cursor_col(), 0);
  e.right();
  EXPECT_EQ(e.scroll(), 0);
  EXPECT_EQ(e.cursor_col(), 2);
  e.right();
  EXPECT_EQ(e.scroll(), 1) << "語 needs columns 5 and 6: 日 scrolls out";
  EXPECT_EQ(e.cursor_col(), 2);
  e.right();
  EXPECT_EQ(e.scroll(), 1);
  EXPECT_EQ(e.cursor_col(), 4);
  // A text that fits shows whole; a full one keeps the cursor past its end.
  FieldEdit f;
  f.configure(4, 0, 2, false);
  f.start("日本");
  f.end();
  EXPECT_EQ(f.scroll(), 0);
  EXPECT_EQ(f.cursor_col(), 4);
}

TEST(FieldEdit, LongCriteriaScrollSideways) {
  FieldEdit e;
  e.configure(10, 0, 255, false);  // a 10-column field that holds more
  e.start("");
  for (char c : std::string("<=12/31/2026")) e.type(static_cast<char32_t>(c), false);
  EXPECT_EQ(e.text(), "<=12/31/2026");
  EXPECT_EQ(e.scroll(), 3);
  EXPECT_EQ(e.cursor_col(), 9);
  e.home();
  EXPECT_EQ(e.scroll(), 0);
}

TEST(FieldEdit, UpshiftAsTyped) {
  FieldEdit e;
  e.configure(5, 5, 5, true);
  e.start("");
  e.type('a', false);
  e.type(U'ä', false);
  e.type(U'ÿ', false);
  EXPECT_EQ(e.text(), "AÄŸ");
}
