// The printer list: the print system's printers, read from its list
// command through one pipe into the temporary table t_printer, which the
// printer lookup searches (see librpt.h).
//
// Module state: the pipe, open from the start of openlp until its closelp.
#include <cstdio>

#include "librpt.h"
#include "libshell.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace {

ShellPipe mv_lp_pipe;

// One printer name per line: the first word of each line of the list,
// names longer than the 10 characters of t_printer.printer left out.
constexpr const char* kPrinterListCmd = "lpstat -a | awk 'length($1) <= 10 {print $1}'";
constexpr std::size_t kLineMax = 128;

}  // namespace

void openlp() {
  {
    // The delete fails before the table exists, the create once it does.
    rt::sql::ContinueOnError ignored;
    rt::sql::execute("DELETE FROM t_printer");
    rt::sql::execute("CREATE TEMP TABLE t_printer (   printer  CHAR (10),   descr  CHAR (1))");
  }
  closelp();
  mv_lp_pipe = shell_popen(kPrinterListCmd);
  for (;;) {
    std::optional<std::string> line = fetchlp();
    rt::Value printer(rt::char_t(10));
    if (line) printer.set_text(*line);
    if (printer.length() == 0) break;
    rt::sql::execute("INSERT INTO t_printer VALUES (   ?,   '')", {printer});
  }
  closelp();
  // A list command that is missing or fails says so on the terminal.
  if (rt::ui::started()) rt::ui::redraw();
}

std::optional<std::string> fetchlp() {
  if (mv_lp_pipe.out == nullptr) return std::nullopt;
  std::string line;
  int c;
  bool any = false;
  while ((c = std::getc(mv_lp_pipe.out)) != EOF) {
    any = true;
    if (c == '\n') break;
    // The rest of an over-long line is passed over, so that the next call
    // starts at the next line.
    if (line.size() < kLineMax) line += static_cast<char>(c);
  }
  if (!any) return std::nullopt;
  return line;
}

void closelp() { shell_pclose(mv_lp_pipe); }
