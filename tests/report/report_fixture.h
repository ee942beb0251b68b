// The fixture of the report services' end-to-end tests: a fresh database
// on either back end with the site's print parameters, a home directory
// and a state directory for the stand-ins, and report_probe started there
// in a pseudo-terminal with the commands it should find first on PATH.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "program_fixture.h"

namespace lunadesk::testing {

// The print-parameters window at line 5, column 12: its title on screen
// line 5, the form from line 7, fields at column 43.
inline constexpr int kTitleLine = 5, kPrinterLine = 8, kCopiesLine = 10, kTrayLine = 12, kFieldCol = 43;
inline constexpr int kErrorLine = 24;

std::string read_file(const std::string& path);

// Which commands the probe finds first on PATH.
enum class Commands {
  Standins,              // recording lp, lpstat, mail and less; our prnt and txt2pdf
  StandinsAndPrnt,       // the same with a recording prnt instead of ours
  RealPrintSystem,       // the system's own lp and lpstat; our prnt and txt2pdf
  RealMail,              // the stand-ins but for mail: the system's s-nail
  MailThatCannotAttach,  // the stand-ins with a mail of bsd-mailx's kind, and no s-nail
};

class ReportTest : public ProgramTest {
 protected:
  // Parameters 7, 1010, 1011, 5007 and 6210 name LASER1, DISPATCH, "Y",
  // APCHECK and INVOICE1.
  void SetUp() override;

  // report_probe with the steps given, in the test's directory, with HOME,
  // LOGNAME "tester", LDEMAIL unset unless `env` sets it; the variables
  // named in `unset_` are removed.
  e2e::Terminal& probe(const std::vector<std::string>& steps, Commands commands = Commands::Standins,
                       std::map<std::string, std::string> env = {});
  // The probe's result lines ("step: values"), once it has ended.
  std::vector<std::string> results(e2e::Terminal& t);
  // An export from the output menu: `key` opens it, then the name, the
  // type and, for e-mail, the address are typed. Returns once `done` holds
  // (the files are as the export leaves them) and the window is gone.
  void run_export(e2e::Terminal& t, const std::string& key, const std::string& name, const std::string& type,
                  const std::optional<std::string>& to, const std::function<bool()>& done);
  // Moves the menu's highlight to `option` and chooses it.
  void choose(e2e::Terminal& t, const std::string& option);

  // What the stand-ins recorded, one command a line, each word in [].
  std::string log() const { return read_file(log_path()); }
  std::string log_path() const { return state_ + "/commands.log"; }
  std::string file(const std::string& name) const { return db_->dir() + "/" + name; }

  std::string home_, state_;
  std::vector<std::string> unset_;
};

}  // namespace lunadesk::testing
