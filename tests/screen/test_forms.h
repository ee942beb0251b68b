// Forms shared by the screen tests: a three-field form like the salesman
// screen, and a form with a screen array of 3 lines.
#pragma once

#include "screen/fake_terminal.h"
#include "screen/ui.h"

namespace screen_test {

inline rt::ui::FormDef person_form() {
  using rt::ui::FieldDef;
  return rt::ui::FormDef{.name = "person",
                         .lines = 8,
                         .cols = 60,
                         .labels = {{1, 2, "Code"}, {3, 2, "Name"}, {5, 2, "Count"}},
                         .fields = {FieldDef{.tag = "a",
                                             .table = "t",
                                             .name = "code",
                                             .type = rt::char_t(4),
                                             .line = 1,
                                             .col = 10,
                                             .width = 4,
                                             .upshift = true,
                                             .required = true,
                                             .comment = "Enter a code"},
                                    FieldDef{.tag = "b",
                                             .table = "t",
                                             .name = "name",
                                             .type = rt::char_t(20),
                                             .line = 3,
                                             .col = 10,
                                             .width = 20,
                                             .comment = "Enter a name"},
                                    FieldDef{.tag = "c",
                                             .table = "t",
                                             .name = "cnt",
                                             .type = rt::smallint_t(),
                                             .line = 5,
                                             .col = 10,
                                             .width = 5,
                                             .include = {{"1", "5"}, {"", "", true}}}},
                         .records = {{"t", 1, {"code", "name", "cnt"}}}};
}

inline rt::ui::FormDef list_form() {
  using rt::ui::FieldDef;
  return rt::ui::FormDef{.name = "list",
                         .lines = 6,
                         .cols = 40,
                         .labels = {{0, 1, "Sched Code"}},
                         .fields = {FieldDef{.tag = "a",
                                             .table = "l",
                                             .name = "sched",
                                             .type = rt::char_t(5),
                                             .line = 1,
                                             .col = 1,
                                             .width = 5,
                                             .rows = 3,
                                             .upshift = true},
                                    FieldDef{.tag = "b",
                                             .table = "l",
                                             .name = "code",
                                             .type = rt::char_t(5),
                                             .line = 1,
                                             .col = 8,
                                             .width = 5,
                                             .rows = 3,
                                             .noentry = true}},
                         .records = {{"sa", 3, {"sched", "code"}}}};
}

// A fresh fake terminal with the person form displayed on the screen.
inline rt::ui::FakeTerminal* start_with(const rt::ui::FormDef& f) {
  auto* t = rt::ui::install_fake_terminal();
  rt::ui::open_form(f.name, f);
  rt::ui::display_form(f.name);
  return t;
}

}  // namespace screen_test
