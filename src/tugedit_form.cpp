// The form of the tax use group program: the group row on lines 2 to 4,
// and the tax tables with their schedules in an 11-line screen array.
#include "tugedit.h"

using rt::char_t;
using rt::ui::FieldDef;

namespace {

// A column of the screen array sa_table: form lines 7 to 17.
FieldDef array_field(std::string tag, std::string table, std::string name, rt::Type type, int col, int width,
                     bool noentry) {
  return FieldDef{.tag = std::move(tag), .table = std::move(table), .name = std::move(name), .type = type,
                  .line = 7, .col = col, .width = width, .rows = 11, .upshift = !noentry, .noentry = noentry,
                  .comment = noentry ? "" : "Enter the tax schedule or form number to report the tax"};
}

}  // namespace

const rt::ui::FormDef kTugeditForm{
    .name = "tugedit",
    .database = "lunadesk",
    .lines = 21,
    .cols = 78,
    .labels = {{2, 1, "Tax"}, {2, 5, "Use"}, {2, 9, "Group"}, {2, 57, "Link"},
               {3, 1, "Tax"}, {3, 5, "Class"},
               {4, 1, "Description"},
               {5, 1, "================================"}, {5, 34, "Tax"}, {5, 38, "Tables"},
               {5, 45, "================================="},
               {6, 2, "Sched"}, {6, 9, "Code"}, {6, 15, "Lvl"}, {6, 19, "Where"}, {6, 30, "Rate"},
               {6, 39, "Date"}, {6, 47, "Chg"}, {6, 52, "Description"}, {6, 74, "Trn"}},
    .fields = {FieldDef{.tag = "f01", .table = "tx_use_g", .name = "tu_use_g", .type = char_t(8), .line = 2,
                        .col = 16, .width = 8, .upshift = true, .comment = "Enter a tax use group"},
               FieldDef{.tag = "f05", .table = "tx_use_g", .name = "tu_link", .type = rt::serial_t(), .line = 2,
                        .col = 63, .width = 11, .noentry = true},
               FieldDef{.tag = "f02", .table = "tx_use_g", .name = "tu_prodtcl", .type = char_t(5), .line = 3,
                        .col = 16, .width = 5, .upshift = true, .comment = "Enter a product tax class"},
               FieldDef{.tag = "f03", .table = "formonly", .name = "class_desc", .type = char_t(31), .line = 3,
                        .col = 25, .width = 31, .noentry = true},
               FieldDef{.tag = "f04", .table = "tx_use_g", .name = "tu_description", .type = char_t(40),
                        .line = 4, .col = 16, .width = 40, .comment = "Enter a tax use description"},
               array_field("a", "tx_use_link", "tul_sched", char_t(5), 2, 5, false),
               array_field("b", "tx_table", "tt_code", char_t(5), 9, 5, true),
               array_field("c", "tx_table", "tt_level", char_t(1), 16, 1, true),
               array_field("d", "tx_table", "tt_where", char_t(10), 19, 4, true),
               array_field("e", "tx_table", "tt_rate", rt::decimal_t(16, 6), 25, 9, true),
               array_field("f", "tx_table", "tt_date", rt::date_t(), 36, 10, true),
               array_field("g", "tx_table", "tt_charge", char_t(1), 48, 1, true),
               array_field("h", "tx_table", "tt_descr", char_t(30), 51, 19, true),
               array_field("i", "tx_table", "tt_trn", rt::serial_t(), 72, 5, true)},
    .records = {{"tx_use_g", 1, {"tu_use_g", "tu_prodtcl", "tu_description", "tu_link"}},
                {"tx_use_link", 1, {"tul_sched"}},
                {"tx_table", 1, {"tt_code", "tt_level", "tt_where", "tt_rate", "tt_date", "tt_charge", "tt_descr",
                                 "tt_trn"}},
                {"formonly", 1, {"class_desc"}},
                {"sa_table", 11, {"tul_sched", "tt_code", "tt_level", "tt_where", "tt_rate", "tt_date", "tt_charge",
                                  "tt_descr", "tt_trn"}}},
};
