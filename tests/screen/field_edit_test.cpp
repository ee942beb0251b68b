// One field's editing: typeover and insert, the limits of width and bytes,
// the first character replacing the field, sideways scrolling.
#include "screen/field_edit.h"

#include <gtest/gtest.h>

using rt::ui::FieldEdit;

namespace {
FieldEdit field(int width, int max_bytes = 0, std::string_view text = "") {
  FieldEdit e;
  e.configure(width, width, max_bytes, false);
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
  auto e = field(4, 4);  // 4 columns, CHAR(4)
  EXPECT_TRUE(e.type(U'é', false));  // 2 bytes
  EXPECT_TRUE(e.type(U'é', false));  // 4 bytes
  EXPECT_FALSE(e.type('a', false));  // a fifth byte does not fit CHAR(4)
  EXPECT_EQ(e.text(), "éé");
  auto w = field(3);
  EXPECT_TRUE(w.type(U'日', false));
  EXPECT_FALSE(w.type(U'本', false));  // would take columns 3 and 4
  EXPECT_TRUE(w.type('x', false));
  EXPECT_EQ(w.text(), "日x");
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
  EXPECT_EQ(e.text().substr(0, 1), "A");
}
