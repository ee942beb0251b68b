// The grid keeps whole characters: wide characters take two cells and are
// never left half-written; accented text counts by columns, not bytes.
#include "screen/grid.h"

#include <gtest/gtest.h>

using rt::ui::Grid;

TEST(Grid, AccentedAndWideTextCountColumns) {
  Grid g(2, 10);
  EXPECT_EQ(g.put(0, 0, "Jörg"), 4);
  EXPECT_EQ(g.put(1, 0, "日本x"), 5);
  EXPECT_EQ(g.row_text(0), "Jörg");
  EXPECT_EQ(g.row_text(1), "日本x");
  EXPECT_TRUE(g.at(1, 1).cont);
}

TEST(Grid, OverwritingHalfAWideCharacterBlanksTheOtherHalf) {
  Grid g(1, 6);
  g.put(0, 0, "日本");
  g.put(0, 1, "a");  // the right half of 日
  EXPECT_EQ(g.row_text(0), " a本");
  g.put(0, 2, "b");  // the left half of 本
  EXPECT_EQ(g.row_text(0), " ab");
}

TEST(Grid, WideCharacterThatDoesNotFitBecomesBlank) {
  Grid g(1, 5);
  EXPECT_EQ(g.put(0, 0, "ab日", rt::ui::kNormal, 3), 3);
  EXPECT_EQ(g.row_text(0, true), "ab   ");
}

TEST(Grid, InvalidBytesAndControlsShowAsPlaceholders) {
  Grid g(1, 6);
  g.put(0, 0,
        "a\xff"
        "b\tc");
  EXPECT_EQ(g.row_text(0), "a?b c");
}

TEST(Grid, BlitClipsAndRepairsCutWideCharacters) {
  Grid back(1, 6);
  back.put(0, 0, "日本語");
  Grid top(1, 2);
  top.put(0, 0, "xy");
  back.blit(top, 0, 1);
  EXPECT_EQ(back.row_text(0), " xy 語");  // both cut halves blanked
}
