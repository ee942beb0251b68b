// The form of the salesman program: three fields of iq_salesman_name.
#include "repnamedt.h"

using rt::char_t;
using rt::ui::FieldDef;

const rt::ui::FormDef kRepnamedtForm{
    .name = "repnamedt",
    .database = "lunadesk",
    .lines = 11,
    .cols = 65,
    .labels = {{3, 13, "Salesman"}, {3, 22, "Code"},
               {5, 13, "Salesman"}, {5, 22, "Name"},
               {7, 13, "Salesman"}, {7, 22, "Login"}},
    .fields = {FieldDef{.tag = "a", .table = "iq_salesman_name", .name = "iqsn_code", .type = char_t(4),
                        .line = 3, .col = 29, .width = 4, .upshift = true, .required = true,
                        .comment = "Enter a salesman code"},
               FieldDef{.tag = "b", .table = "iq_salesman_name", .name = "iqsn_name", .type = char_t(35),
                        .line = 5, .col = 29, .width = 35, .required = true,
                        .comment = "Enter a salesman name"},
               FieldDef{.tag = "c", .table = "iq_salesman_name", .name = "iqsn_userlogin",
                        .type = char_t(10), .line = 7, .col = 29, .width = 10,
                        .comment = "Enter the salesman login name"}},
    .records = {{"iq_salesman_name", 1, {"iqsn_code", "iqsn_name", "iqsn_userlogin"}}},
};
