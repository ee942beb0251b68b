// A small program on the screen runtime for the end-to-end tests: a
// title, a ring menu, a form with three fields, an input and a query by
// example, run on a real terminal.
#include "core/runtime.h"
#include "screen/ui.h"

namespace ui = rt::ui;

namespace {
const ui::FormDef kForm{
    .name = "demo",
    .lines = 8,
    .cols = 60,
    .labels = {{1, 2, "Code"}, {3, 2, "Name"}, {5, 2, "Count"}},
    .fields =
        {ui::FieldDef{.tag = "a",
                      .table = "t",
                      .name = "code",
                      .type = rt::char_t(4),
                      .line = 1,
                      .col = 10,
                      .width = 4,
                      .upshift = true,
                      .required = true,
                      .comment = "Enter a code"},
         ui::FieldDef{.tag = "b",
                      .table = "t",
                      .name = "name",
                      .type = rt::char_t(20),
                      .line = 3,
                      .col = 10,
                      .width = 20,
                      .comment = "Enter a name"},
         ui::FieldDef{
             .tag = "c", .table = "t", .name = "cnt", .type = rt::smallint_t(), .line = 5, .col = 10, .width = 5}},
    .records = {{"t", 1, {"code", "name", "cnt"}}}};

rt::Value code(rt::char_t(4)), name(rt::char_t(20)), cnt(rt::smallint_t());

// Results stand on line 20: the message line is the menu's line.
void result(const std::string& text) {
  ui::display_at("", 20, 1);
  ui::display_at(text, 20, 1);
}

void do_input() {
  ui::Events ev;
  ev.before_input = [](ui::Dialog&) {
    ui::message("Esc: Accept  Ctrl-C: Cancel");
    ui::display_at("", 3, 1);
  };
  ev.on_key.push_back({{ui::key::f(5), ui::key::ctrl('f')}, [](ui::Dialog& d) {
                         if (d.infield("name")) ui::display_field("name", std::string_view("Looked up"));
                       }});
  rt::int_flag = 0;
  bool ok = ui::input({{"code", &code}, {"name", &name}, {"cnt", &cnt}}, ev);
  if (!ok) {
    rt::int_flag = 0;
    ui::error("Cancelled");
    return;
  }
  result("Stored " + code.str() + "/" + name.str() + "/" + cnt.str() + " key " + ui::key_name(ui::last_key()));
}

void do_query() {
  rt::int_flag = 0;
  ui::clear_form();
  ui::Events ev;
  ev.help_number = 101;
  const std::optional<std::string> c = ui::construct({{"code", ""}, {"name", ""}, {"cnt", ""}}, ev, 200);
  rt::int_flag = 0;
  result("Where " + c.value_or(""));
}
}  // namespace

int main(int argc, char** argv) {
  rt::set_args(argc, argv);
  rt::defer_interrupts();
  ui::set_menu_line(2);
  ui::set_input_wrap(true);
  ui::set_help_file("help.hlp");
  ui::open_form("f", kForm);
  ui::display_form("f");
  ui::display_at("              Screen Demo", 1, 1, ui::kReverse);
  ui::RingMenu m("Demo");
  m.option("Input", "Enter a record", do_input)
      .option("Query", "Search by example", do_query)
      .option("Key", "Show the next key's name", [] { result("Key " + ui::key_name(ui::read_key())); })
      .option("Exit", "Leave the demo", [&] { m.exit_menu(); });
  m.run();
  rt::exit_program(0);
}
