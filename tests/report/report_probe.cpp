// A stand-in report program for the tests of the report services: it runs
// the steps given on its command line in order, each calling one service
// as a report program would, and prints what each returned once the
// terminal is restored, one line per step.
//
//   report_probe STEP ARGS... [STEP ARGS...]...
//
//   write    FILE LINES                 a report file of LINES lines
//   output   FILE ROWS OPTIONS          output_report; then whether FILE is left
//   prtparm  OPTION                     get_prtparm: printer|copies|tray
//   print    FILE OPTIONS PRINTER COPIES TRAY   do_print ("NULL" for NULL)
//   defaults NAME                       get_user_rpt_defaults(NAME, TRUE)
//
// Results read "<step>: <values>", NULL values as "NULL".
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "lib.h"
#include "librpt.h"
#include "program/program.h"
#include "screen/ui.h"

namespace ui = rt::ui;
using rt::Value;

namespace {

std::vector<std::string> mv_results;

std::string shown(const Value& v) { return v.is_null() ? "NULL" : v.str(); }

std::string shown(const PrtParm& p) { return shown(p.prtdest) + "|" + shown(p.copies) + "|" + shown(p.paper_tray); }

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

Value arg_value(const std::string& text, rt::Type type) {
  Value v(type);
  if (text != "NULL") v.set_text(text);
  return v;
}

void write_report(const std::string& file, int lines) {
  std::ofstream out(file);
  for (int i = 1; i <= lines; ++i) out << "LUNADESK REPORT line " << i << "\n";
}

[[noreturn]] void usage(const std::string& why) {
  std::fprintf(stderr, "report_probe: %s\n", why.c_str());
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  rt::program::start(argc, argv);
  rt::program::connect();
  rt::program::defer_interrupt();
  ui::set_menu_line(2);
  ui::set_comment_line(23);
  ui::set_help_file("help.hlp");
  banner("Report Probe", 80);

  const std::vector<std::string>& a = rt::args();
  std::size_t i = 0;
  auto take = [&](std::size_t n) {
    if (i + n > a.size()) usage("step " + a[i - 1] + " needs " + std::to_string(n) + " arguments");
    std::vector<std::string> out(a.begin() + static_cast<long>(i), a.begin() + static_cast<long>(i + n));
    i += n;
    return out;
  };
  while (i < a.size()) {
    const std::string step = a[i++];
    if (step == "write") {
      auto p = take(2);
      write_report(p[0], std::atoi(p[1].c_str()));
    } else if (step == "output") {
      auto p = take(3);
      output_report(p[0], std::atoi(p[1].c_str()), p[2]);
      mv_results.push_back("output: " + std::string(exists(p[0]) ? "kept" : "removed"));
    } else if (step == "prtparm") {
      auto p = take(1);
      mv_results.push_back("prtparm: " + shown(get_prtparm(p[0])));
    } else if (step == "print") {
      auto p = take(5);
      do_print(p[0], p[1], arg_value(p[2], rt::char_t(10)), arg_value(p[3], rt::smallint_t()),
               arg_value(p[4], rt::smallint_t()));
      mv_results.push_back("print: done");
    } else if (step == "defaults") {
      auto p = take(1);
      RptDefaults d = get_user_rpt_defaults(p[0], true);
      mv_results.push_back("defaults: " + shown(d.who) + "|" + shown(d.prt));
    } else {
      usage("unknown step " + step);
    }
  }
  ui::stop();
  for (const std::string& line : mv_results) std::printf("%s\n", line.c_str());
  std::printf("probe finished\n");
  rt::program::end(0);
}
