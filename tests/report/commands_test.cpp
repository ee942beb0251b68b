// The commands shipped beside the programs, run as the report services run
// them: the site print script prnt turning its words into lp's (the
// recording lp stand-in first on PATH), and txt2pdf making a PDF beside a
// text file, never leaving a broken one behind.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "e2e/files.h"
#include "report_fixture.h"

using namespace lunadesk::testing;
namespace fs = std::filesystem;

namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

int run_tool(const std::string& tool, const std::vector<std::string>& args, std::string* err = nullptr) {
  std::vector<std::string> argv{std::string(LUNADESK_BIN_DIR) + "/" + tool};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string out, e;
  int rc = run_command(argv, &out, &e);
  if (err) *err = e;
  return rc;
}

TEST(SitePrintScript, TurnsItsWordsIntoLpOptions) {
  e2e::TempDir dir;
  ScopedEnv path("PATH", std::string(STANDIN_BIN) + ":/usr/bin:/bin");
  ScopedEnv log("STANDIN_LOG", dir.file("log"));
  const std::string report = dir.file("rep");
  std::ofstream(report) << "LUNADESK REPORT line 1\n";
  EXPECT_EQ(run_tool("prnt", {report, "LASER1", "2", "0", "10.5cpi"}), 0);
  EXPECT_EQ(run_tool("prnt", {report, "", "1", "3", "epson", "invoice", "x;y", "6lpi", "landscape", "a=b c", "*"}), 0);
  EXPECT_EQ(
      read_file(dir.file("log")),
      "lp [-s] [-d] [LASER1] [-n] [2] [-o] [cpi=10.5] [--] [" + report +
          "]\n  file: LUNADESK REPORT line 1\n"
          "lp [-s] [-n] [1] [-o] [media-source=tray-3] [-o] [raw] [-o] [lpi=6] [-o] [landscape] [-o] [a=b c] [--] [" +
          report + "]\n  file: LUNADESK REPORT line 1\n");
  // Words it cannot use are refused before anything is printed.
  std::string err;
  EXPECT_EQ(run_tool("prnt", {report, "LASER1", "0", "0"}, &err), 2);
  EXPECT_NE(err.find("copies"), std::string::npos) << err;
  EXPECT_EQ(run_tool("prnt", {report, "LASER1", "1", "6"}, &err), 2);
  EXPECT_NE(err.find("tray"), std::string::npos) << err;
  EXPECT_EQ(run_tool("prnt", {dir.file("missing"), "LASER1", "1", "0"}, &err), 1);
  EXPECT_EQ(run_tool("prnt", {report, "LASER1"}, &err), 2);
  EXPECT_EQ(read_file(dir.file("log")).find("missing"), std::string::npos) << "nothing more was printed";
}

TEST(Txt2pdf, WritesAPdfBesideTheTextOrNothing) {
  e2e::TempDir dir;
  const std::string text = dir.file("report 1");
  std::ofstream(text) << "LUNADESK REPORT line 1\n\fLUNADESK REPORT page 2 \xc3\xa9\n";
  for (const std::string flag : {"-c", ""}) {
    fs::remove(text + ".pdf");
    EXPECT_EQ(run_tool("txt2pdf", {flag, text}), 0) << "flag '" << flag << "'";
    EXPECT_EQ(read_file(text + ".pdf").substr(0, 5), "%PDF-");
  }
  std::string pages;
  if (run_command({"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=txtwrite", "-sOutputFile=-", text + ".pdf"},
                  &pages, nullptr) == 0) {
    EXPECT_NE(pages.find("page 2 \xc3\xa9"), std::string::npos) << pages;
  }
  // An empty report still makes a PDF.
  std::ofstream(dir.file("empty"));
  EXPECT_EQ(run_tool("txt2pdf", {dir.file("empty")}, nullptr), 0);
  EXPECT_EQ(read_file(dir.file("empty.pdf")).substr(0, 5), "%PDF-");
  // A file it cannot read, or wrong usage: a failure status and no PDF.
  EXPECT_EQ(run_tool("txt2pdf", {"-c", dir.file("missing")}, nullptr), 1);
  EXPECT_FALSE(fs::exists(dir.file("missing.pdf")));
  EXPECT_EQ(run_tool("txt2pdf", {"-x", text}, nullptr), 2);
  EXPECT_EQ(run_tool("txt2pdf", std::vector<std::string>{}, nullptr), 2);
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 4) << "no working files are left behind";
}

// The text of page `page` of a PDF, as Ghostscript reads it.
std::string pdf_page(const std::string& pdf, int page) {
  std::string text;
  const std::string n = std::to_string(page);
  run_command({"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=txtwrite", "-dFirstPage=" + n, "-dLastPage=" + n,
               "-sOutputFile=-", pdf},
              &text, nullptr);
  return text;
}

// A line printer's page is 66 lines of 132 columns: each one is one PDF
// page, upright or condensed, whether the pages end with a form feed or
// only by being full, and a form feed after a full page adds no empty one.
TEST(Txt2pdf, KeepsEachPrinterPageOnOnePdfPage) {
  e2e::TempDir dir;
  const std::string text = dir.file("wide");
  {
    std::ofstream out(text);
    for (int page = 1; page <= 3; ++page) {
      if (page == 2) out << '\f';
      for (int line = 1; line <= 66; ++line) {
        char head[16];
        std::snprintf(head, sizeof head, "P%d L%02d ", page, line);
        out << head << std::string(131 - std::string(head).size(), '.') << "E\n";
      }
    }
    out << "\f";
  }
  for (const std::string flag : {"-c", ""}) {
    ASSERT_EQ(run_tool("txt2pdf", {flag, text}), 0) << "flag '" << flag << "'";
    for (int page = 1; page <= 3; ++page) {
      const std::string p = pdf_page(text + ".pdf", page), head = "P" + std::to_string(page) + " L";
      EXPECT_NE(p.find(head + "01 ....."), std::string::npos) << "flag '" << flag << "' page " << page << "\n" << p;
      EXPECT_NE(p.find(head + "66 ....."), std::string::npos) << "flag '" << flag << "' page " << page << "\n" << p;
      EXPECT_EQ(p.find("P" + std::to_string(page + 1) + " L"), std::string::npos) << "flag '" << flag << "'";
      std::size_t ends = 0;
      for (std::size_t at = p.find(".E"); at != std::string::npos; at = p.find(".E", at + 1)) ++ends;
      EXPECT_EQ(ends, 66u) << "every line whole on its page, flag '" << flag << "'";
    }
    std::string pages;
    run_command({"/usr/bin/gs", "-q", "-dNODISPLAY", "-dNOSAFER", "-c",
                 "(" + text + ".pdf) (r) file runpdfbegin pdfpagecount = quit"},
                &pages, nullptr);
    EXPECT_EQ(pages, "3\n") << "flag '" << flag << "'";
  }
}

}  // namespace
