// The form of the clearing program: the cycle end date and the cycles,
// bound to ar_cycle (9 lines, 53 columns, "[" and "]" as delimiters).
#include "itemsclr.h"

using rt::ui::FieldDef;

const rt::ui::FormDef kItemsclrForm{
    .name = "itemsclr",
    .database = "lunadesk",
    .lines = 9,
    .cols = 53,
    .open_delim = '[',
    .close_delim = ']',
    .labels = {{3, 25, "Cycle"}, {3, 31, "End"}, {3, 35, "Date"}, {5, 25, "Cycle"}, {5, 31, "Code"}},
    .fields = {FieldDef{.tag = "a",
                        .table = "ar_cycle",
                        .name = "arcy_cutoff_date",
                        .type = rt::date_t(),
                        .line = 3,
                        .col = 42,
                        .width = 10,
                        .required = true,
                        .comment = "Enter the cycle ending date for processing"},
               FieldDef{.tag = "b",
                        .table = "ar_cycle",
                        .name = "arcy_code",
                        .type = rt::smallint_t(),
                        .line = 5,
                        .col = 42,
                        .width = 6,
                        .comment = "Enter the statement cycle(s) to process"}},
    .records = {{"ar_cycle", 1, {"arcy_cutoff_date", "arcy_code"}}, {"sr", 1, {"arcy_cutoff_date", "arcy_code"}}},
};
