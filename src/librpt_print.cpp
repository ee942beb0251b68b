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

// The option's words (split as the shell would split them, quotes kept
// together), each one quoted: a report option carries several print
// options ("-o cpi=12 -o 'page-label=Draft copy'"), but never shell syntax.
std::string quoted_words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) {
    if (!out.empty()) out += ' ';
    out += shell_quote(w);
  }
  return out;
}

// The "-o" options among the option's words, each as "-o" and its value:
// "-o name=value" and "-oname=value". Any other word is left out, so that
// no option text can name another file for lp to print or another option
// (a destination, a user, a copy count) that the print parameters set.
std::vector<std::string> lp_options(const std::vector<std::string>& words) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string value;
    if (words[i] == "-o" && i + 1 < words.size()) {
      value = words[++i];
    } else if (words[i].size() > 2 && words[i].starts_with("-o")) {
      value = words[i].substr(2);
    } else {
      continue;
    }
    out.push_back("-o");
    out.push_back(value);
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
    cmds.push_back("lp -s -o raw" + destination(prtdest) + " -- " + shell_quote(*macfile));
    cmds.push_back("rm -f -- " + shell_quote(*macfile));
    option = "10.5cpi";
  }
  if (option.find("-o") != std::string::npos) {
    // The report comes after "--": its name is a file name whatever it
    // starts with.
    std::string opts = quoted_words(lp_options(shell_words(option)));
    cmds.push_back("lp -s " + (opts.empty() ? "" : opts + " ") + "-n" + whole_number(copies, 1) + destination(prtdest) +
                   " -- " + shell_quote(report));
  } else {
    // prnt takes the report as its first word, a name whatever it holds.
    std::string cmd = "prnt " + shell_quote(report) + " " + shell_quote(prtdest.str()) + " " + whole_number(copies, 1) +
                      " " + whole_number(paper_tray, 0);
    std::string words = quoted_words(shell_words(option));
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
