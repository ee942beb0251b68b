// The report services end to end, on both back ends, through report_probe
// in a pseudo-terminal: the print-parameters window with its defaults and
// saving, the printer lookup, the print command lines, the output menu,
// export as text and PDF, and e-mail. The print system, the pager and
// mail are recording stand-ins first on PATH, but where the system's
// s-nail sends to a capture; txt2pdf and prnt are ours.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "report_fixture.h"

using namespace lunadesk::testing;
using rt::Value;
namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path) { return fs::exists(path); }

using Report = ReportTest;

// The window's defaults: parameter 7, or the printer of the report kind,
// one copy and no tray, until F12 saves what the fields hold; then the
// saved values whatever the kind. F12, then Ctrl-S (the same for a
// terminal whose F12 does not arrive), leave one row; a value the
// input would refuse is not saved; Ctrl-C returns three NULLs.
TEST_P(Report, PrintWindowOffersDefaultsAndSavesOneRow) {
  auto& t = probe(
      {"prtparm", "", "prtparm", "invoice", "prtparm", "dispatch", "prtparm", "invoice", "defaults", "report_probe"});
  ASSERT_TRUE(t.wait_for_at(kTitleLine, 31, "Print Parameters"));
  ASSERT_TRUE(t.wait_for("Enter the printer name")) << "the input runs";
  EXPECT_TRUE(t.cell(kTitleLine, 12).reverse && t.cell(kTitleLine, 67).reverse) << "the title spans the window";
  EXPECT_EQ(t.text_at(kPrinterLine, 24, 12), "Printer Name");
  EXPECT_EQ(t.text_at(kPrinterLine, kFieldCol - 1, 12), "[LASER1    ]");
  EXPECT_EQ(t.text_at(kCopiesLine, kFieldCol - 1, 5), "[  1]");
  EXPECT_EQ(t.text_at(kTrayLine, kFieldCol - 1, 5), "[   ]");
  EXPECT_EQ(t.text_at(14, 12, 22), "Enter the printer name");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kPrinterLine, kFieldCol, "INVOICE1  "));
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kPrinterLine, kFieldCol, "DISPATCH  "));
  t.key("enter");
  t.type("0");
  t.key("f12");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "This value is not among the valid possibilities."));
  EXPECT_EQ(count("co_rpt_ctl"), 0) << "neither accepting nor a refused save stores anything";
  t.key("backspace");
  t.type("3");
  t.wait_settled();
  t.key("f12");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Defaults saved"));
  t.key("enter");
  t.type("2");
  t.wait_settled();
  t.key("ctrl-s");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Defaults saved"));
  EXPECT_EQ(rows("select corc_rpt_name, corc_who, corc_lp_name, corc_paper_tray, corc_copies from co_rpt_ctl", 5),
            std::vector<std::string>{"report_probe|tester|DISPATCH|2|3"});
  EXPECT_NE(rows("select corc_rpt_num from co_rpt_ctl", 1), std::vector<std::string>{"0"});
  t.key("ctrl-c");
  // The fourth window: the saved defaults, although "invoice" has a printer.
  ASSERT_TRUE(t.wait_until([&] {
    return t.text_at(kTrayLine, kFieldCol, 3) == "  2" && t.cursor() == std::pair{kPrinterLine, kFieldCol};
  }));
  EXPECT_EQ(t.text_at(kPrinterLine, kFieldCol, 10), "DISPATCH  ");
  EXPECT_EQ(t.text_at(kCopiesLine, kFieldCol, 3), "  3");
  t.key("esc");
  EXPECT_EQ(results(t),
            (std::vector<std::string>{"prtparm: LASER1|1|NULL", "prtparm: INVOICE1|1|NULL", "prtparm: NULL|NULL|NULL",
                                      "prtparm: DISPATCH|3|2", "defaults: tester|DISPATCH|3|2"}));
  EXPECT_EQ(count("co_rpt_ctl"), 1);
}

// F5 lists the print system's printers: all of them for an empty search
// (their descriptions are empty), none for any other text, never one with
// a name longer than 10 characters. Ctrl-F outside the printer field does
// nothing, and input wrap stays on.
TEST_P(Report, PrinterLookupListsThePrintSystemsPrinters) {
  std::ofstream(state_ + "/printers") << "LASER1\nELEVENCHARS\nINVOICE1\nTEN_CHARSX\n";
  auto& t = probe({"prtparm", ""});
  ASSERT_TRUE(t.wait_for("Print Parameters"));
  t.key("f5");
  ASSERT_TRUE(t.wait_for("Find"));
  t.wait_settled();
  t.key("enter");
  ASSERT_TRUE(t.wait_for("TEN_CHARSX"));
  t.wait_settled();
  EXPECT_TRUE(t.contains("LASER1") && t.contains("INVOICE1")) << t.screen_text();
  EXPECT_FALSE(t.contains("ELEVEN")) << "an 11-character name is never listed";
  int first = 0, wanted = 0;
  for (int r = 1; r <= t.rows(); ++r) {
    std::string row = t.row(r);
    if (!first && (row.find("LASER1") != std::string::npos || row.find("INVOICE1") != std::string::npos ||
                   row.find("TEN_CHARSX") != std::string::npos))
      first = r;
    if (row.find("TEN_CHARSX") != std::string::npos) wanted = r;
  }
  for (int r = first; r < wanted; ++r) t.key("down");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kPrinterLine, kFieldCol, "TEN_CHARSX"));
  t.key("ctrl-f");
  ASSERT_TRUE(t.wait_for("Find"));
  t.wait_settled();
  t.type("las");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("No rows found"));
  ASSERT_TRUE(t.wait_settled());  // the search input is back: Ctrl-C is pressed in it
  t.key("ctrl-c");
  // The lookup returned nothing, and the printer field holds that.
  ASSERT_TRUE(t.wait_for_at(kPrinterLine, kFieldCol, "          "));
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(kCopiesLine, kFieldCol));
  t.key("ctrl-f");
  t.wait_settled();
  EXPECT_FALSE(t.contains("Find")) << "no lookup outside the printer field";
  t.key("enter");
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(kPrinterLine, kFieldCol)) << "input wrap is on again after the lookup";
  t.type("LASER1");
  t.key("esc");
  EXPECT_EQ(results(t), std::vector<std::string>{"prtparm: LASER1|1|NULL"});
  EXPECT_EQ(log(), "lpstat [-a]\nlpstat [-a]\n");
}

// do_print's words as prnt and lp receive them, and both files removed:
// the macro file raw first, then the report at 10.5 cpi; lp for an "-o"
// option; 0 for a NULL tray; direct printing of invoices on parameter
// 6210 and of anything else on the default destination. File and printer
// names are one word each, whatever they hold; the file comes after "--"
// and an option text adds nothing but "-o" options, split as the shell
// splits them.
TEST_P(Report, PrintCommandLines) {
  const std::string hostile = "a b;$(touch pwned)";
  auto& t = probe({"write",
                   "r1",
                   "2",
                   "write",
                   "r1pymacro.pcl",
                   "1",
                   "print",
                   "r1",
                   "pymacro",
                   "LASER1",
                   "2",
                   "NULL",
                   "write",
                   "r2",
                   "1",
                   "print",
                   "r2",
                   "-o landscape -o cpi=12",
                   "LASER1",
                   "3",
                   "1",
                   "write",
                   "r3",
                   "1",
                   "print",
                   "r3",
                   "dispatch",
                   "DISPATCH",
                   "1",
                   "NULL",
                   "write",
                   hostile,
                   "1",
                   "print",
                   hostile,
                   "statement",
                   "x'y;id",
                   "1",
                   "5",
                   "write",
                   "r5",
                   "1",
                   "output",
                   "r5",
                   "-1",
                   "invoice",
                   "write",
                   "r6",
                   "1",
                   "output",
                   "r6",
                   "-1",
                   "statement",
                   "write",
                   "-r7",
                   "1",
                   "print",
                   "-r7",
                   "-o x -- /etc/hostname -dother",
                   "LASER1",
                   "1",
                   "NULL",
                   "write",
                   "r8",
                   "1",
                   "print",
                   "r8",
                   "-o 'page-label=Draft copy' -ocpi=12",
                   "LASER1",
                   "1",
                   "NULL",
                   "write",
                   "r9",
                   "1",
                   "print",
                   "r9",
                   "landscape 'a=b c' $HOME",
                   "LASER1",
                   "1",
                   "NULL"},
                  Commands::StandinsAndPrnt);
  EXPECT_EQ(results(t).size(), 9u);
  const std::string line1 = "  file: LUNADESK REPORT line 1\n";
  EXPECT_EQ(log(), "lp [-s] [-o] [raw] [-dLASER1] [--] [r1pymacro.pcl]\n" + line1 +
                       "prnt [r1] [LASER1] [2] [0] [10.5cpi]\n" + line1 +
                       "lp [-s] [-o] [landscape] [-o] [cpi=12] [-n3] [-dLASER1] [--] [r2]\n" + line1 +
                       "prnt [r3] [DISPATCH] [1] [0] [10cpi]\n" + line1 + "prnt [" + hostile +
                       "] [x'y;id] [1] [5] [statement]\n" + line1 + "prnt [r5] [INVOICE1] [1] [0] [invoice]\n" + line1 +
                       "prnt [r6] [] [1] [0] [statement]\n" + line1 + "lp [-s] [-o] [x] [-n1] [-dLASER1] [--] [-r7]\n" +
                       line1 + "lp [-s] [-o] [page-label=Draft copy] [-o] [cpi=12] [-n1] [-dLASER1] [--] [r8]\n" +
                       line1 + "prnt [r9] [LASER1] [1] [0] [landscape] [a=b c] [$HOME]\n" + line1);
  for (const std::string& f :
       std::vector<std::string>{"r1", "r1pymacro.pcl", "r2", "r3", hostile, "r5", "r6", "-r7", "r8", "r9"})
    EXPECT_FALSE(exists(file(f))) << f << " is removed after printing";
  EXPECT_FALSE(exists(file("pwned")));
}

// The menu: View runs the pager and says when it fails; Print ends the
// menu, printing nothing when the window is cancelled; Exit removes the
// report. For 0 rows only Exit is named, and F9 still exports.
TEST_P(Report, OutputMenu) {
  auto& t = probe({"write", "r1",     "3",  "output", "r1", "3",     "",   "output", "r1",     "3",  "",  "write", "r2",
                   "0",     "output", "r2", "0",      "",   "write", "r3", "2",      "output", "r3", "2", ""});
  ASSERT_TRUE(t.wait_for("View report on screen"));
  EXPECT_EQ(t.row(2), "Output Options: View  Print  eMail  Exit") << "the export option is not on the line";
  EXPECT_EQ(t.row(3), "View report on screen");
  t.key("v");
  const std::string pager =
      "less [-M] [-S] [-PMG=bottom g=top /=search h=help q=quit] [--] [r1]\n  file: LUNADESK REPORT line 1\n";
  EXPECT_TRUE(t.wait_until([&] { return log() == pager; })) << log();
  EXPECT_TRUE(t.wait_until([&] {
    return t.alt_screen() && t.row(1).find("Report Probe") != std::string::npos &&
           t.row(2) == "Output Options: View  Print  eMail  Exit";
  })) << "the screen is back after the pager";
  std::ofstream(state_ + "/less_status") << "1\n";
  t.key("v");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Could not display report, make sure command 'less' is installed"));
  t.key("p");
  // Ctrl-C in the window's input; pressed before it began, it would only
  // set the flag, which the window sets back to 0 as its input begins.
  ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel  Ctrl-F: Find"));
  t.key("ctrl-c");
  // The second menu on the same report: Exit, reached by going left from
  // View past the export option, which is not on the line.
  ASSERT_TRUE(t.wait_gone("Print Parameters"));
  ASSERT_TRUE(t.wait_for("Output Options"));
  t.key("left");
  ASSERT_TRUE(t.wait_until([&] { return t.reverse_text(2) == "Exit"; }));
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No data found"));
  ASSERT_TRUE(t.wait_until([&] { return t.row(2) == "Output Options: Exit"; })) << t.row(2);
  run_export(t, "f9", "empty1", "t", std::nullopt, [&] { return exists(home_ + "/empty1.txt"); });
  t.key("e");
  ASSERT_TRUE(t.wait_until([&] { return t.row(2) == "Output Options: View  Print  eMail  Exit"; }));
  t.key("p");
  ASSERT_TRUE(t.wait_for("Print Parameters"));
  t.key("esc");
  EXPECT_EQ(results(t),
            (std::vector<std::string>{"output: kept", "output: removed", "output: removed", "output: removed"}));
  // The real prnt turned the words into lp's.
  EXPECT_NE(log().find("lp [-s] [-d] [LASER1] [-n] [1] [--] [r3]\n  file: LUNADESK REPORT line 1\n"), std::string::npos)
      << log();
  EXPECT_EQ(fs::file_size(home_ + "/empty1.txt"), 0u);
}

// Export under HOME: as text "<name>.txt"; as PDF a real PDF beside the
// plain copy; a name full of shell syntax is just a strange file name;
// cancelling the name prompt exports nothing.
TEST_P(Report, ExportAsTextAndPdf) {
  auto& t = probe({"write", "r1", "3", "output", "r1", "3", "", "write", "r2", "1", "output", "r2", "1", "xpnd"});
  ASSERT_TRUE(t.wait_for("Output Options"));
  auto export_as = [&](const std::string& key, const std::string& name, const std::string& type,
                       const std::string& made) {
    run_export(t, key, name, type, std::nullopt, [&] { return exists(home_ + "/" + made); });
  };
  export_as("ctrl-o", "report1", "t", "report1.txt");
  EXPECT_EQ(read_file(home_ + "/report1.txt"), read_file(file("r1")));
  EXPECT_FALSE(exists(home_ + "/report1"));
  export_as("f9", "report1", "P", "report1.pdf");
  EXPECT_EQ(read_file(home_ + "/report1.pdf").substr(0, 5), "%PDF-");
  EXPECT_NE(read_file(home_ + "/report1.pdf").find("/Rotate 90"), std::string::npos) << "condensed: landscape";
  EXPECT_EQ(read_file(home_ + "/report1"), read_file(file("r1")));
  std::string text;
  if (lunadesk::testing::run_command(
          {"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=txtwrite", "-sOutputFile=-", home_ + "/report1.pdf"},
          &text, nullptr) == 0) {
    EXPECT_NE(text.find("LUNADESK REPORT line 3"), std::string::npos) << text;
  }
  const std::string hostile = "a;touch pwned $(touch pwned2)";
  export_as("f9", hostile, "t", hostile + ".txt");
  EXPECT_TRUE(exists(home_ + "/" + hostile + ".txt"));
  t.key("f9");
  ASSERT_TRUE(t.wait_for("Enter filename to save report into: "));
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_until([&] { return t.row(4).find("┌") == std::string::npos; }));
  t.key("left");
  ASSERT_TRUE(t.wait_until([&] { return t.reverse_text(2) == "Exit"; }));
  t.key("enter");
  // The second report, "xpnd": the converter is given an empty flag
  // instead of "-c", and sets the text upright.
  ASSERT_TRUE(t.wait_until([&] { return t.reverse_text(2) == "View"; }));
  export_as("f9", "wide", "p", "wide.pdf");
  EXPECT_EQ(read_file(home_ + "/wide.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(read_file(home_ + "/wide.pdf").find("/Rotate 90"), std::string::npos) << "not condensed: portrait";
  choose(t, "Exit");
  EXPECT_EQ(results(t), (std::vector<std::string>{"output: removed", "output: removed"}));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(home_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{hostile + ".txt", "report1", "report1.pdf", "report1.txt", "wide", "wide.pdf"}));
  EXPECT_FALSE(exists(file("pwned")) || exists(file("pwned2")) || exists(home_ + "/pwned"));
}

// E-mail of an export: from LDEMAIL before the company's address, the
// export attached and removed afterwards; an address is one word; without
// an address nothing is sent and the export stays.
TEST_P(Report, MailFromTheEnvironmentsSender) {
  exec("INSERT INTO co_company_name (con_name, con_email_address) VALUES (?, ?)",
       {Value::of_char("Luna", 40), Value::of_char("office@example.com", 80)});
  auto& t =
      probe({"write", "r1", "3", "output", "r1", "3", ""}, Commands::Standins, {{"LDEMAIL", "reports@example.com"}});
  ASSERT_TRUE(t.wait_for("Output Options"));
  auto gone = [&](const std::string& name) { return [this, name] { return !exists(home_ + "/" + name); }; };
  run_export(t, "m", "mail1", "t", "boss@example.com", gone("mail1.txt"));
  run_export(t, "m", "mail2", "p", "x@y.z; touch pwned", gone("mail2.pdf"));
  run_export(t, "m", "mail3", "t", "",
             [&] { return t.row(kErrorLine) == "No valid email address entered, nothing sent"; });
  choose(t, "Exit");
  EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});
  EXPECT_EQ(log(), "mail [-r] [reports@example.com] [-s] [File Attached] [-a] [" + home_ +
                       "/mail1.txt] [boss@example.com]\n  attachment: LUNAD\n"
                       "mail [-r] [reports@example.com] [-s] [File Attached] [-a] [" +
                       home_ + "/mail2.pdf] [x@y.z; touch pwned]\n  attachment: %PDF-\n");
  EXPECT_FALSE(exists(home_ + "/mail1.txt") || exists(home_ + "/mail2.pdf")) << "a mailed export is removed";
  EXPECT_TRUE(exists(home_ + "/mail2")) << "the plain copy beside the PDF stays";
  EXPECT_TRUE(exists(home_ + "/mail3.txt")) << "an export that was not mailed stays";
  EXPECT_FALSE(exists(file("pwned")) || exists(home_ + "/pwned"));
}

// An export goes under a home directory that exists, and stays there: a
// HOME unset, empty or not a directory refuses the export before anything
// is asked, a name that climbs out of HOME (or names no file) is refused,
// and a copy that cannot be written is said to have failed.
TEST_P(Report, ExportStaysWithinAWritableHome) {
  auto& t = probe({"write", "r1", "3", "output", "r1", "3", ""});
  ASSERT_TRUE(t.wait_for("Output Options"));
  auto refused = [&](const std::string& name, const std::string& why, const std::string& type = "") {
    t.key("f9");
    ASSERT_TRUE(t.wait_for("Enter filename to save report into: "));
    t.type(name);
    t.key("enter");
    if (!type.empty()) {
      ASSERT_TRUE(t.wait_for("Enter export file type T=text P=pdf: "));
      t.type(type);
    }
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, why)) << name;
    ASSERT_TRUE(t.wait_until([&] { return t.row(4).find("┌") == std::string::npos; }));
  };
  const std::string outside = "The file name must name a file within the home directory";
  for (const std::string name : {"../../x", "../x", "/../x", "a/../../x", "sub/", "a/..", "."}) refused(name, outside);
  refused("nosuch/r", "Export failed, cannot write the file in the home directory", "t");
  fs::create_directories(home_ + "/sub");
  run_export(t, "f9", "sub/../sub/r", "t", std::nullopt, [&] { return exists(home_ + "/sub/r.txt"); });
  choose(t, "Exit");
  EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});
  for (const auto& e : fs::directory_iterator(db_->dir()))
    EXPECT_NE(e.path().filename().string().substr(0, 1), "x") << "nothing was written beside HOME";

  fs::path plain_file = home_ + "/plain";
  std::ofstream(plain_file) << "not a directory\n";
  for (const auto& [home, why] : std::vector<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, "HOME is not set, cannot export report"},
           {"", "HOME is not set, cannot export report"},
           {plain_file.string(), "HOME is not a directory, cannot export report"},
           {home_ + "/missing", "HOME is not a directory, cannot export report"}}) {
    unset_.clear();
    std::map<std::string, std::string> env;
    if (home)
      env["HOME"] = *home;
    else
      unset_.push_back("HOME");
    auto& p = probe({"write", "r2", "1", "output", "r2", "1", ""}, Commands::Standins, env);
    ASSERT_TRUE(p.wait_for("Output Options"));
    p.key("ctrl-o");
    ASSERT_TRUE(p.wait_for_at(kErrorLine, 1, why)) << why;
    EXPECT_FALSE(p.contains("Enter filename")) << "nothing is asked";
    p.key("left");
    ASSERT_TRUE(p.wait_until([&] { return p.reverse_text(2) == "Exit"; }));
    p.key("enter");
    EXPECT_EQ(results(p), std::vector<std::string>{"output: removed"});
  }
}

// A sender address with a line end (another header line) or a leading
// "-" (an option of mail) is refused; nothing is sent and the export stays.
TEST_P(Report, MailRefusesASenderThatIsNotOneAddress) {
  for (const std::string sender : {"reports@example.com\nBcc: all@example.com", "-oQ/tmp/x@example.com"}) {
    auto& t = probe({"write", "r1", "3", "output", "r1", "3", ""}, Commands::Standins, {{"LDEMAIL", sender}});
    ASSERT_TRUE(t.wait_for("Output Options"));
    run_export(t, "m", "mail1", "t", "boss@example.com",
               [&] { return t.row(kErrorLine) == "From email address is not valid, cannot send email"; });
    choose(t, "Exit");
    EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});
    EXPECT_TRUE(exists(home_ + "/mail1.txt"));
    fs::remove(home_ + "/mail1.txt");
  }
  EXPECT_EQ(log(), "") << "mail was never started";
}

// One MIME part of a message as captured: its header lines and content.
struct Part {
  std::string headers, content;
};

// The parts of a multipart message (LF line ends, as s-nail hands it to
// its mail transfer agent).
std::vector<Part> mime_parts(const std::string& message) {
  std::vector<Part> parts;
  const std::size_t b = message.find("boundary=\"");
  if (b == std::string::npos) return parts;
  const std::string boundary = "\n--" + message.substr(b + 10, message.find('"', b + 10) - b - 10);
  for (std::size_t at = message.find(boundary); at != std::string::npos;) {
    const std::size_t start = message.find('\n', at + 1) + 1;
    if (message.compare(at + boundary.size(), 2, "--") == 0 || start == 0) break;
    const std::size_t next = message.find(boundary, start);
    const std::size_t body = message.find("\n\n", start);
    if (next == std::string::npos || body == std::string::npos || body > next) break;
    parts.push_back({message.substr(start, body - start), message.substr(body + 2, next - body - 2)});
    at = next;
  }
  return parts;
}

// The bytes of a part's content, decoded as its headers say.
std::string decoded(const Part& p) {
  std::string out;
  auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  if (p.headers.find("Content-Transfer-Encoding: quoted-printable") != std::string::npos) {
    for (std::size_t i = 0; i < p.content.size(); ++i) {
      if (p.content[i] != '=') {
        out += p.content[i];
      } else if (p.content.compare(i + 1, 1, "\n") == 0) {
        i += 1;  // a soft line break
      } else if (i + 2 < p.content.size()) {
        out += static_cast<char>(hex(p.content[i + 1]) * 16 + hex(p.content[i + 2]));
        i += 2;
      }
    }
  } else if (p.headers.find("Content-Transfer-Encoding: base64") != std::string::npos) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned bits = 0;
    int n = 0;
    for (char c : p.content) {
      const std::size_t v = digits.find(c);
      if (v == std::string::npos) continue;  // line ends and padding
      bits = (bits << 6) | static_cast<unsigned>(v);
      if ((n += 6) >= 8) out += static_cast<char>((bits >> (n -= 8)) & 0xff);
    }
  } else {
    out = p.content;
  }
  return out;
}

// The real s-nail, sending to a capture that its mta setting names: each
// export arrives as the mail's one part, an attachment of the file's
// name, byte for byte, with no body beside it. A mail of bsd-mailx's kind
// without s-nail is refused on the error line, and the export stays.
TEST_P(Report, MailAttachesTheExportThroughTheRealCommand) {
  const std::string captured = state_ + "/message.";
  {
    std::ofstream capture(state_ + "/capture");
    capture << "#!/bin/sh\nn=0\nwhile [ -e '" << captured << "'$n ]; do n=$((n+1)); done\ncat >'" << captured
            << "'$n\n";
  }
  fs::permissions(state_ + "/capture", fs::perms::owner_all);
  std::ofstream(state_ + "/mailrc") << "set mta=" << state_ << "/capture\n";
  // s-nail warns of a LOGNAME that is not the user running it.
  const passwd* user = ::getpwuid(::geteuid());
  ASSERT_NE(user, nullptr);
  auto& t = probe({"write", "r1", "3", "output", "r1", "3", ""}, Commands::RealMail,
                  {{"LDEMAIL", "reports@example.com"}, {"MAILRC", state_ + "/mailrc"}, {"LOGNAME", user->pw_name}});
  ASSERT_TRUE(t.wait_for("Output Options"));
  run_export(t, "f9", "kept", "t", std::nullopt, [&] { return exists(home_ + "/kept.txt"); });
  auto gone = [&](const std::string& name) { return [this, name] { return !exists(home_ + "/" + name); }; };
  run_export(t, "m", "mailed", "t", "boss@example.com", gone("mailed.txt"));
  run_export(t, "m", "paper", "p", "boss@example.com", gone("paper.pdf"));
  choose(t, "Exit");
  EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});

  const std::string text = read_file(home_ + "/kept.txt");
  ASSERT_FALSE(text.empty());
  for (int n : {0, 1}) {
    SCOPED_TRACE(n ? "PDF" : "text");
    const std::string message = read_file(captured + std::to_string(n));
    EXPECT_NE(message.find("\nTo: boss@example.com\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\nFrom: reports@example.com\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\nSubject: File Attached\n"), std::string::npos) << message;
    const std::vector<Part> parts = mime_parts(message);
    ASSERT_EQ(parts.size(), 1u) << "the attachment alone, no body: " << message;
    EXPECT_NE(parts[0].headers.find(n ? "attachment; filename=\"paper.pdf\"" : "attachment; filename=\"mailed.txt\""),
              std::string::npos)
        << parts[0].headers;
    const std::string file = decoded(parts[0]);
    if (n == 0) {
      EXPECT_EQ(file, text);
    } else {
      EXPECT_TRUE(file.starts_with("%PDF-") && file.ends_with("%%EOF\n")) << file.size() << " bytes";
    }
  }
  EXPECT_FALSE(exists(captured + "2"));

  auto& p = probe({"write", "r1", "3", "output", "r1", "3", ""}, Commands::MailThatCannotAttach,
                  {{"LDEMAIL", "reports@example.com"}});
  ASSERT_TRUE(p.wait_for("Output Options"));
  run_export(p, "m", "unsent", "t", "boss@example.com",
             [&] { return p.row(kErrorLine) == "The mail command cannot attach files, install s-nail; nothing sent"; });
  choose(p, "Exit");
  EXPECT_EQ(results(p), std::vector<std::string>{"output: removed"});
  EXPECT_TRUE(exists(home_ + "/unsent.txt")) << "nothing was sent, so the export stays";
  EXPECT_EQ(log(), "") << "mail was never started to send";
}

TEST_P(Report, MailFromTheCompanysAddressOrNotAtAll) {
  exec("INSERT INTO co_company_name (con_name, con_email_address) VALUES (?, ?)",
       {Value::of_char("Luna", 40), Value::of_char("office@example.com", 80)});
  auto& t = probe({"write", "r1", "3", "output", "r1", "3", ""});
  ASSERT_TRUE(t.wait_for("Output Options"));
  run_export(t, "m", "mail1", "t", "boss@example.com", [&] { return !exists(home_ + "/mail1.txt"); });
  EXPECT_EQ(log(), "mail [-r] [office@example.com] [-s] [File Attached] [-a] [" + home_ +
                       "/mail1.txt] [boss@example.com]\n  attachment: LUNAD\n");
  EXPECT_FALSE(exists(home_ + "/mail1.txt"));
  exec("DELETE FROM co_company_name");
  run_export(t, "m", "mail2", "t", "boss@example.com",
             [&] { return t.row(kErrorLine) == "From email address is not set, cannot send email"; });
  EXPECT_TRUE(exists(home_ + "/mail2.txt")) << "nothing was sent, so the export stays";
  EXPECT_EQ(log().find("mail2"), std::string::npos);
  choose(t, "Exit");
  EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Backends, Report, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);
