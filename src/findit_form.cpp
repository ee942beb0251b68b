// The form of the search list window: the search text on line 1, the
// column heads on line 3 and seven list rows of code and text below. Line 0
// is left free for the window's title bar. Form-only fields, no table.
#include "findit.h"

using rt::char_t;
using rt::ui::FieldDef;

const rt::ui::FormDef kFinditForm{
    .name = "findit",
    .lines = 12,
    .cols = 58,
    .labels = {{1, 3, "Text"}, {1, 8, "Search"}, {1, 14, ":"}, {3, 3, "Code"}, {3, 17, "Text"}},
    .fields =
        {FieldDef{
             .tag = "a", .table = "formonly", .name = "srch", .type = char_t(40), .line = 1, .col = 17, .width = 40},
         FieldDef{.tag = "b",
                  .table = "formonly",
                  .name = "code",
                  .type = char_t(12),
                  .line = 4,
                  .col = 3,
                  .width = 12,
                  .rows = 7},
         FieldDef{.tag = "c",
                  .table = "formonly",
                  .name = "text",
                  .type = char_t(40),
                  .line = 4,
                  .col = 17,
                  .width = 40,
                  .rows = 7}},
    .records = {{"formonly", 1, {"srch", "code", "text"}}, {"s_array", 7, {"code", "text"}}},
};
