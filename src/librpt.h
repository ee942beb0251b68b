// Report output and printing: what happens to a finished report file.
//
// Owns the print-parameters window `w_get_parm` with the form `prtparm`
// (prtparm_form.cpp), the defaults saved per program and login name in
// co_rpt_ctl, the printer list (the one pipe from the print system's list
// command, read into the temporary table t_printer for the lookup), the
// print command lines, the "Output Options" menu, the export window
// `w_export_file` and the e-mail of an export.
//
// Every operating-system command is started through the shell and waited
// for. Every file name, printer name and address joined into a command
// line is one quoted word (shell_quote), whoever typed it; the words of a
// report option are quoted one by one. Apart from the pager's and the PDF
// converter's, no exit status is read. Report files are removed once they
// are printed or the operator leaves the menu with "Exit".
//
// Never cuts a file name: a name cut to fit a CHAR width would name
// another file. Never runs a statement built from operator text: printer
// names, login names and search texts are bound parameters.
//
// Character values are CHAR values of the widths below; a result that may
// be NULL is an rt::Value or a std::optional (nullopt = NULL).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "screen/form.h"
#include "values/value.h"

// The print parameters `lv_rec_prt`: printer, copies and paper tray, where
// a NULL tray means the printer picks it.
struct PrtParm {
  rt::Value prtdest{rt::char_t(10)};
  rt::Value copies{rt::smallint_t()};
  rt::Value paper_tray{rt::smallint_t()};
};

// Saved defaults of one program and login name. `who` is the login name
// when it was asked for, NULL otherwise.
struct RptDefaults {
  rt::Value who{rt::char_t(10)};
  PrtParm prt;
};

// The form `prtparm`: printer, copies and tray (form-only fields).
extern const rt::ui::FormDef kPrtparmForm;

// --- Print parameters and printing -----------------------------------------

// The print-parameters window for the report option `lv_str` (CHAR(20)).
// Offers the defaults saved for this program (argument 0 without its
// directory, 15 characters) and login name, else the printer of parameter
// 7 (or of 6210, 1010, 5007 for "invoice", "dispatch", "apmacro") with one
// copy. F12 saves what the fields hold as the defaults, F5 or Ctrl-F in
// the printer field looks up the print system's printers. Returns what the
// operator accepted, or three NULLs when the operator cancels. Leaves
// input wrap on.
PrtParm get_prtparm(std::string_view lv_str);

// The saved defaults of program `lv_rpt_name` (CHAR(15)) for the login
// name of the operator; printer, copies and tray are NULL when none are
// saved. `who` is filled in when `lv_return_user` is TRUE.
RptDefaults get_user_rpt_defaults(std::string_view lv_rpt_name, bool lv_return_user);

// The macro file that goes to the printer before report `lv_tmpfile`:
// the report's name followed by "pymacro.pcl" or "apmacro.pcl" for the
// options "pymacro" and "apmacro" (CHAR(40)); NULL for any other option.
std::optional<std::string> get_macfile(std::string_view lv_tmpfile, std::string_view lv_options);

// Prints report `lv_tmpfile`: the macro file first, raw, then the report,
// through `lp` when the option holds "-o", else through the site script
// `prnt` (report, printer, copies, tray with 0 for automatic, then the
// option's words). Removes the report and the macro file afterwards,
// whatever the print commands did. A NULL printer prints on the print
// system's default destination; NULL copies print one.
void do_print(std::string_view lv_tmpfile, std::string_view lv_options, const rt::Value& prtdest,
              const rt::Value& copies, const rt::Value& paper_tray);

// Empties (or creates) t_printer and fills it with the printer names of
// the print system, those longer than 10 characters left out.
void openlp();
// The next line (at most 128 characters, without its line end) of the
// printer-list command; NULL at the end of its output or when no list
// command is running.
std::optional<std::string> fetchlp();
// Ends the printer-list command, if one runs.
void closelp();

// --- Report output menu, export and e-mail ----------------------------------

// What happens to report `lv_tmpfile` with `lv_rows` rows: -1 prints it at
// once without a menu (the saved defaults of "docprint.4ge", or parameter
// 6210, for "invoice"); any other count offers the "Output Options" menu:
// View, Print, eMail, F9 or Ctrl-O for an export, Exit. For 0 rows only
// the export and Exit are offered, after "No data found".
void output_report(std::string_view lv_tmpfile, int lv_rows, std::string_view lv_options);

// Asks for a file name and a type and saves a copy of report `lv_tmpfile`
// under HOME as "<name>.txt" or as "<name>.pdf" (beside a plain copy
// "<name>"); with `lv_output` "M" then asks for an address and mails it.
void export_file(std::string_view lv_tmpfile, std::string_view lv_options, std::string_view lv_output);

// Mails file `lv_file` as an attachment to `lv_email_addr_to` with subject
// `lv_subject` and an empty body, from LDEMAIL or else the company's
// address, through s-nail (as `mail` or as `s-nail`), and removes the file
// afterwards. Without a sender address, or where the only mail command
// would not attach the file (bsd-mailx, mailutils), the error line says
// so, nothing is sent and the file stays.
void send_mail(std::string_view lv_email_addr_to, std::string_view lv_subject, std::string_view lv_file);

// --- Commands, for the files of this module ---------------------------------

namespace librpt {

// Runs `cmd` through the shell and waits; the screen stays up, and is
// painted again when the command failed, since it may have said so on
// the terminal. For commands that are silent when they succeed.
// The command's exit code, or nullopt when it did not end by itself.
std::optional<int> run_quiet(std::string_view cmd);

// Runs `cmd` through the shell with the terminal handed over to it (line
// mode), for a command the operator works with; the screen is put back
// afterwards.
std::optional<int> run_on_terminal(std::string_view cmd);

}  // namespace librpt
