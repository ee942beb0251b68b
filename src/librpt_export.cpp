// Export of a report under the home directory, as text or PDF, and the
// e-mail of an export (see librpt.h). The file name and the address are
// typed by the operator and reach their commands as single quoted words.
#include "core/runtime.h"
#include "librpt.h"
#include "libshell.h"
#include "screen/ui.h"
#include "sql/sql.h"

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

}  // namespace

void export_file(std::string_view lv_tmpfile, std::string_view lv_options, std::string_view lv_output) {
  const std::string report = rt::rtrim(lv_tmpfile);
  const std::string options = rt::rtrim(rt::cut_chars(lv_options, 40));
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
  std::string lv_type = ui::prompt_char("Enter export file type T=text P=pdf: ");
  std::string lv_export = rt::getenv_str("HOME") + "/" + lv_filename;
  if (lv_type == "P" || lv_type == "p") {
    // The converter writes the PDF beside the plain copy, which stays.
    librpt::run_quiet("cp -- " + shell_quote(report) + " " + shell_quote(lv_export));
    std::string flag = options == "xpnd" ? "''" : "-c";
    std::optional<int> code = librpt::run_quiet("txt2pdf " + flag + " " + shell_quote(lv_export) + " >/dev/null 2>&1");
    if (code != 0) ui::error("Export failed, install commands 'enscript' and 'ps2pdf'");
    lv_export += ".pdf";
  } else {
    // Straight to "<name>.txt": a copy to "<name>" first, renamed after,
    // would overwrite and carry off a file of the operator's of that name.
    lv_export += ".txt";
    librpt::run_quiet("cp -- " + shell_quote(report) + " " + shell_quote(lv_export));
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
  // No address, or one that mail would read as an option: nothing is sent
  // and the export stays where it is.
  if (to.empty() || to[0] == '-') {
    ui::error("No valid email address entered, nothing sent");
    return;
  }
  std::string cmd = "mail -r " + shell_quote(from.str()) + " -s " + shell_quote(rt::rtrim(rt::cut_chars(lv_subject, 80))) +
                    " -a " + shell_quote(file) + " " + shell_quote(to) + " < .";
  librpt::run_on_terminal(cmd);
  librpt::run_quiet("rm -f -- " + shell_quote(file));
}
