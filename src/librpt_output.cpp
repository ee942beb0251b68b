// The report output menu: a finished report printed at once, or offered
// for viewing, printing, mailing and export (see librpt.h).
#include "libparm.h"
#include "librpt.h"
#include "libshell.h"
#include "screen/ui.h"

namespace ui = rt::ui;
using rt::Value;

namespace {

// The report after "--": a name that starts with "-" is still the file.
constexpr const char* kPager = "less -M -S -PM'G=bottom g=top /=search h=help q=quit' -- ";

// Direct printing: the defaults of the invoice program for invoices, the
// print system's own choice for everything else.
void print_direct(std::string_view lv_tmpfile, std::string_view lv_options) {
  PrtParm prt;
  if (lv_options == "invoice") {
    prt = get_user_rpt_defaults("docprint.4ge", false).prt;
    if (prt.prtdest.is_null()) {
      if (std::optional<std::string> p = get_param(6210)) prt.prtdest.set_text(*p);
      prt.copies.set_int(1);
    }
  }
  do_print(lv_tmpfile, lv_options, prt.prtdest, prt.copies, prt.paper_tray);
}

void view_report(std::string_view lv_tmpfile) {
  std::optional<int> code = librpt::run_on_terminal(kPager + shell_quote(lv_tmpfile));
  if (code != 0) ui::error("Could not display report, make sure command 'less' is installed");
}

void remove_report(std::string_view lv_tmpfile, std::string_view lv_options) {
  librpt::run_quiet("rm -f -- " + shell_quote(lv_tmpfile));
  if (std::optional<std::string> macfile = get_macfile(lv_tmpfile, lv_options))
    librpt::run_quiet("rm -f -- " + shell_quote(*macfile));
}

}  // namespace

void output_report(std::string_view lv_tmpfile, int lv_rows, std::string_view lv_options) {
  const std::string report = rt::rtrim(lv_tmpfile);
  const std::string options = rt::rtrim(rt::cut_chars(lv_options, 40));
  if (lv_rows == -1) {
    print_direct(report, options);
    return;
  }
  ui::RingMenu menu("Output Options");
  menu.on_help([] { ui::show_help(106); });  // tells of the export's keys, which no line shows
  menu.option("View", "View report on screen", [&] { view_report(report); });
  menu.option("Print", "Print report", [&] {
    PrtParm prt = get_prtparm(options);
    if (!prt.prtdest.is_null()) do_print(report, options, prt.prtdest, prt.copies, prt.paper_tray);
    menu.exit_menu();
  });
  menu.option("eMail", "Email report", [&] { export_file(report, options, "M"); }, {'M', 'm'});
  // The export has no name: it is offered by its keys only.
  menu.option("", "", [&] { export_file(report, options, ""); }, {ui::key::f(9), ui::key::ctrl('o')});
  menu.option("Exit", "", [&] {
    remove_report(report, options);
    menu.exit_menu();
  });
  if (lv_rows == 0) {
    ui::error("No data found");
    menu.hide({"View", "Print", "eMail"});
  }
  menu.run();
}
