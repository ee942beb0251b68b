// The tax use group program's entry point, apart from its module so that
// a benchmark can link the module and run its Find, Next and Previous.
#include "program/program.h"
#include "screen/ui.h"
#include "tugedit.h"

namespace ui = rt::ui;

int main(int argc, char** argv) {
  rt::program::begin(argc, argv,
                     {"tugedit",
                      "Tax use group maintenance: find, browse, add, change and delete the tax use\n"
                      "groups of each product tax class, with the tax tables linked to each."},
                     {.input_wrap = false});
  init_state();
  tax_use();
  ui::close_form("f1");
  rt::program::end(0);
}
