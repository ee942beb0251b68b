// Printing a finished report: the macro file, the print command and the
// removal of both files afterwards (see librpt.h). The command lines are
// those of the site: "lp" for an option with lp's own "-o" words, the
// site script "prnt" for everything else.
#include <cstddef>
#include <vector>

#include "libparm.h"
#include "librpt.h"
#include "libshell.h"

namespace {

// The option's words, each one quoted: a report option carries several
// print options ("-o cpi=12 -o landscape"), but never shell syntax.
std::string quoted_words(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) {
      if (!out.empty()) out += ' ';
      out += shell_quote(text.substr(start, i - start));
    }
  }
  return out;
}

// " -d<printer>" as one word, or nothing for a NULL or blank printer: lp
// then prints on its default destination instead of taking the next word
// for the printer's name.
std::string destination(const rt::Value& prtdest) {
  std::string name = prtdest.str();
  return name.empty() ? std::string() : " -d" + shell_quote(name);
}

std::string whole_number(const rt::Value& v, int if_null) {
  return v.is_null() ? std::to_string(if_null) : std::to_string(v.as_int());
}

}  // namespace

std::optional<std::string> get_macfile(std::string_view lv_tmpfile, std::string_view lv_options) {
  std::string option = rt::rtrim(rt::cut_chars(lv_options, 40));
  if (option == "pymacro") return rt::rtrim(lv_tmpfile) + "pymacro.pcl";
  if (option == "apmacro") return rt::rtrim(lv_tmpfile) + "apmacro.pcl";
  return std::nullopt;
}

namespace {

// The command lines of do_print, in order, the removals included.
std::vector<std::string> print_commands(std::string_view lv_tmpfile, std::string_view lv_options,
                                        const rt::Value& prtdest, const rt::Value& copies,
                                        const rt::Value& paper_tray) {
  std::vector<std::string> cmds;
  const std::string report = rt::rtrim(lv_tmpfile);
  std::string option = rt::rtrim(rt::cut_chars(lv_options, 40));
  if (option == "dispatch") {
    std::optional<std::string> cpi = get_param(1011);
    option = cpi && !cpi->empty() && (*cpi)[0] == 'Y' ? "10cpi" : "epson";
  }
  if (std::optional<std::string> macfile = get_macfile(report, option)) {
    // The macro file goes to the printer unchanged, before the report.
    cmds.push_back("lp -s -o raw" + destination(prtdest) + " " + shell_quote(*macfile));
    cmds.push_back("rm -f -- " + shell_quote(*macfile));
    option = "10.5cpi";
  }
  if (option.find("-o") != std::string::npos) {
    cmds.push_back("lp -s " + quoted_words(option) + " -n" + whole_number(copies, 1) + destination(prtdest) +
                   " " + shell_quote(report));
  } else {
    std::string cmd = "prnt " + shell_quote(report) + " " + shell_quote(prtdest.str()) + " " +
                      whole_number(copies, 1) + " " + whole_number(paper_tray, 0);
    std::string words = quoted_words(option);
    if (!words.empty()) cmd += " " + words;
    cmds.push_back(cmd);
  }
  cmds.push_back("rm -f -- " + shell_quote(report));
  return cmds;
}

}  // namespace

void do_print(std::string_view lv_tmpfile, std::string_view lv_options, const rt::Value& prtdest,
              const rt::Value& copies, const rt::Value& paper_tray) {
  for (const std::string& cmd : print_commands(lv_tmpfile, lv_options, prtdest, copies, paper_tray))
    librpt::run_quiet(cmd);
}
