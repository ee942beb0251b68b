// Export of a report under the home directory, as text or PDF, and the
// e-mail of an export (see librpt.h). The file name and the address are
// typed by the operator and reach their commands as single quoted words.
#include <sys/stat.h>

#include <algorithm>

#include "core/host.h"
#include "core/runtime.h"
#include "librpt.h"
#include "libshell.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "values/text.h"

namespace ui = rt::ui;
using rt::Value;

namespace {

// The export window, open for the life of the object: closed on every
// way out of export_file.
struct ExportWindow {
  ExportWindow() { ui::open_window("w_export_file", 5, 3, 5, 76, true); }
  ~ExportWindow() { ui::close_window("w_export_file"); }
  ExportWindow(const ExportWindow&) = delete;
  ExportWindow& operator=(const ExportWindow&) = delete;
};

// The home directory that exports go to, or the reason there is none.
std::optional<std::string> export_dir(std::string* why) {
  std::string home = rt::getenv_str("HOME");
  struct stat st;
  if (home.empty()) {
    *why = "HOME is not set, cannot export report";
  } else if (stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = "HOME is not a directory, cannot export report";
  } else {
    return home;
  }
  return std::nullopt;
}

// Whether the name typed names a file within the home directory: no ".."
// that climbs out of it, and a last part that is a name (not empty, "." or
// ".."), since the suffixes are added to it and the plain copy of a PDF
// export takes it as it is.
bool stays_home(std::string_view name) {
  int depth = 0;
  std::string_view last;
  std::size_t i = 0;
  while (i <= name.size()) {
    std::size_t end = name.find('/', i);
    if (end == std::string_view::npos) end = name.size();
    last = name.substr(i, end - i);
    if (last == "..") {
      if (--depth < 0) return false;
    } else if (!last.empty() && last != ".") {
      ++depth;
    }
    i = end + 1;
  }
  return !last.empty() && last != "." && last != "..";
}

// A sender or recipient that mail takes as one address: not empty, not
// an option, no line ends or other control characters (which would add
// header lines).
bool valid_address(std::string_view a) {
  if (a.empty() || a[0] == '-') return false;
  return std::none_of(a.begin(), a.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// The mail command whose -a attaches a file: mail when it is s-nail, or
// else s-nail itself; nullopt when neither is there. bsd-mailx and GNU
// mailutils take -a for a header line and would send the file's path in
// the body of a mail without an attachment; they do not call themselves
// s-nail when asked for their version.
std::optional<std::string> attaching_mail() {
  for (const char* cmd : {"mail", "s-nail"}) {
    const std::optional<std::string> version = rxshell(std::string(cmd) + " -V </dev/null 2>/dev/null");
    if (version && version->starts_with("s-nail")) return cmd;
  }
  return std::nullopt;
}

}  // namespace

void export_file(std::string_view lv_tmpfile, std::string_view lv_options, std::string_view lv_output) {
  const std::string report = rt::rtrim(lv_tmpfile);
  const std::string options = rt::rtrim(rt::cut_chars(lv_options, 40));
  std::string why;
  const std::optional<std::string> home = export_dir(&why);
  if (!home) {
    ui::error(why);
    return;
  }
  ExportWindow window;
  ui::set_prompt_line(2);
  std::string lv_filename = ui::prompt("Enter filename to save report into: ", 80);
  if (rt::int_flag) {
    rt::int_flag = 0;
    return;
  }
  // Without a name the export would land on the home directory itself.
  if (lv_filename.empty()) {
    ui::error("You must enter a value");
    return;
  }
  if (!stays_home(lv_filename)) {
    ui::error("The file name must name a file within the home directory");
    return;
  }
  std::string lv_type = ui::prompt_char("Enter export file type T=text P=pdf: ");
  std::string lv_export = *home + "/" + lv_filename;
  // The converter writes the PDF beside a plain copy, which stays; a text
  // export goes straight to "<name>.txt": a copy to "<name>" first, renamed
  // after, would overwrite and carry off a file of the operator's of that
  // name.
  const bool pdf = lv_type == "P" || lv_type == "p";
  const std::string copy = pdf ? lv_export : lv_export + ".txt";
  if (librpt::run_quiet("cp -- " + shell_quote(report) + " " + shell_quote(copy)) != 0) {
    ui::error("Export failed, cannot write the file in the home directory");
    return;
  }
  if (pdf) {
    std::string flag = options == "xpnd" ? "''" : "-c";
    std::optional<int> code =
        librpt::run_quiet("txt2pdf " + flag + " -- " + shell_quote(lv_export) + " >/dev/null 2>&1");
    if (code != 0) ui::error("Export failed, install commands 'enscript' and 'ps2pdf'");
    lv_export += ".pdf";
  } else {
    lv_export += ".txt";
  }
  if (lv_output == "M") {
    std::string lv_to = ui::prompt("Enter the to email address: ", 80);
    send_mail(lv_to, "File Attached", lv_export);
  }
}

void send_mail(std::string_view lv_email_addr_to, std::string_view lv_subject, std::string_view lv_file) {
  const std::string to = rt::rtrim(rt::cut_chars(lv_email_addr_to, 80));
  const std::string file = rt::rtrim(lv_file);
  Value from(rt::char_t(80));
  bool bad_sender = false;
  from.set_text(rt::getenv_text("LDEMAIL", &bad_sender));
  if (bad_sender) {
    ui::error("LDEMAIL is not valid UTF-8, cannot send email");
    return;
  }
  if (from.length() == 0) rt::sql::select_into("SELECT con_email_address  FROM co_company_name", {}, {&from});
  if (from.length() == 0) {
    ui::error("From email address is not set, cannot send email");
    return;
  }
  // A sender that mail would read as an option, or with a line end that
  // would start another header line: nothing is sent, the export stays.
  if (!valid_address(from.str())) {
    ui::error("From email address is not valid, cannot send email");
    return;
  }
  // The same for the address typed.
  if (!valid_address(to)) {
    ui::error("No valid email address entered, nothing sent");
    return;
  }
  const std::optional<std::string> mail = attaching_mail();
  if (!mail) {
    ui::error("The mail command cannot attach files, install s-nail; nothing sent");
    return;
  }
  // The body is empty: the mail is its attachment.
  std::string cmd = *mail + " -r " + shell_quote(from.str()) + " -s " +
                    shell_quote(rt::rtrim(rt::cut_chars(lv_subject, 80))) + " -a " + shell_quote(file) + " " +
                    shell_quote(to) + " </dev/null";
  librpt::run_on_terminal(cmd);
  librpt::run_quiet("rm -f -- " + shell_quote(file));
}
