// A small program that calls the lookup windows with given arguments and
// shows what they return, so that the end-to-end tests drive the real
// findit and zoom in the real terminal runtime.
//
//   findit_probe CALL...
//     findit:<text>            findit(<text>): a statement, a search name, "-"
//     list:<c>=<t>|<c>=<t>...  stores the rows in the shared list, then
//                              findit("-")
//     zoom:<column>[=<value>]  zoom(<column>, <value>); no "=": a NULL value
//     key                      waits for one key and returns its name, so
//                              that a test can read the result of a call
//                              that needs no key before the next one runs
//
// It starts as the programs do (input wrap on), then runs the calls in
// order. After call k it shows on line 20 "call k: [<result>]" (or
// "call k: NULL"), on line 21 the interrupt flag, mv_cnt, the display
// count and the input wrap option, and on line 22 the code of the last row
// of the list shown. After the last call it waits for one key and ends.
#include <string>
#include <string_view>

#include "core/runtime.h"
#include "findit.h"
#include "lib.h"
#include "program/program.h"
#include "screen/ui.h"

namespace ui = rt::ui;

namespace {

void store_list(std::string_view rows) {
  int n = 0;
  while (!rows.empty()) {
    std::size_t bar = rows.find('|');
    std::string_view row = rows.substr(0, bar);
    rows = bar == std::string_view::npos ? std::string_view() : rows.substr(bar + 1);
    std::size_t eq = row.find('=');
    FinditRec& r = mv_rec(++n);
    r.code.set_text(row.substr(0, eq));
    r.text.set_text(eq == std::string_view::npos ? std::string_view() : row.substr(eq + 1));
  }
  mv_cnt = n;
}

std::optional<std::string> run_call(std::string_view call) {
  if (call.starts_with("findit:")) return findit(call.substr(7));
  if (call.starts_with("list:")) {
    store_list(call.substr(5));
    return findit("-");
  }
  if (call.starts_with("zoom:")) {
    std::string_view arg = call.substr(5);
    std::size_t eq = arg.find('=');
    if (eq == std::string_view::npos) return zoom(arg, std::nullopt);
    return zoom(arg.substr(0, eq), arg.substr(eq + 1));
  }
  if (call == "key") return ui::key_name(ui::read_key());
  ui::error("Unknown call: " + std::string(call));
  return std::nullopt;
}

void show_result(int k, const std::optional<std::string>& result) {
  std::string head = "call " + std::to_string(k) + ": ";
  ui::display_at("", 20, 1);
  ui::display_at(head + (result ? "[" + *result + "]" : "NULL"), 20, 1);
  int count = ui::arr_count();
  ui::display_at("", 21, 1);
  ui::display_at("int_flag " + std::to_string(rt::int_flag) + "  mv_cnt " + std::to_string(mv_cnt) + "  count " +
                     std::to_string(count) + "  wrap " + (ui::input_wrap() ? "on" : "off"),
                 21, 1);
  ui::display_at("", 22, 1);
  if (count >= 1 && count <= kFinditRows) ui::display_at("last [" + mv_rec(count).code.str() + "]", 22, 1);
}

}  // namespace

int main(int argc, char** argv) {
  rt::program::start(argc, argv);
  rt::program::connect();
  rt::program::defer_interrupt();
  ui::set_menu_line(2);
  ui::set_comment_line(23);
  ui::set_input_wrap(true);
  banner("Lookup probe", 80);
  for (int k = 1; k < argc; ++k) show_result(k, run_call(argv[k]));
  ui::display_at("done", 19, 1);
  ui::read_key();
  rt::program::end(0);
}
