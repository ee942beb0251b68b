// The form of the print-parameters window: printer, copies and paper tray,
// all form-only; the form names co_rpt_ctl but binds none of its columns.
#include "librpt.h"

using rt::char_t;
using rt::integer_t;
using rt::ui::FieldDef;

const rt::ui::FormDef kPrtparmForm{
    .name = "prtparm",
    .database = "lunadesk",
    .lines = 8,
    .cols = 42,
    .labels = {{1, 12, "Printer"}, {1, 20, "Name"},
               {3, 12, "Number"}, {3, 19, "of"}, {3, 22, "Copies"},
               {5, 12, "Paper"}, {5, 18, "Tray"}},
    .fields = {FieldDef{.tag = "f01", .table = "formonly", .name = "prtdest", .type = char_t(10),
                        .line = 1, .col = 31, .width = 10, .required = true,
                        .comment = "Enter the printer name"},
               FieldDef{.tag = "f02", .table = "formonly", .name = "copies", .type = integer_t(),
                        .line = 3, .col = 31, .width = 3, .required = true,
                        .include = {{.low = "1", .high = "999"}},
                        .comment = "Enter the number of copies to be printed"},
               FieldDef{.tag = "f03", .table = "formonly", .name = "paper_tray", .type = integer_t(),
                        .line = 5, .col = 31, .width = 3,
                        .include = {{.low = "1", .high = "5"}, {.null = true}},
                        .comment = "Enter the source paper tray (1 to 5) or blank for auto"}},
    .records = {{"formonly", 1, {"prtdest", "copies", "paper_tray"}}, {"co_rpt_ctl", 1, {}}},
};
