// Printing through a real CUPS scheduler (a private one, see
// cups_server.h): the site script's lp command lines are accepted by the
// real lp, the printer lookup reads the real lpstat, and a report printed
// from the output menu becomes a job of the scheduler.
#include <filesystem>
#include <fstream>

#include "cups_server.h"
#include "e2e/files.h"
#include "report_fixture.h"

using namespace lunadesk::testing;

namespace {

#define NEED_CUPS(server)                                     \
  do {                                                        \
    if (!(server).ready()) GTEST_SKIP() << (server).reason(); \
  } while (0)

int prnt(const std::vector<std::string>& args, std::string* err) {
  std::vector<std::string> argv{std::string(LUNADESK_BIN_DIR) + "/prnt"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string out;
  return run_command(argv, &out, err);
}

// Every option word the script knows, a tray and copies, on a named
// printer and on the default destination.
TEST(RealScheduler, AcceptsTheSitePrintScriptsJobs) {
  CupsServer cups;
  NEED_CUPS(cups);
  ASSERT_TRUE(cups.add_printer("testprn")) << cups.reason();
  e2e::TempDir dir;
  std::ofstream(dir.file("report")) << "LUNADESK REPORT line 1\n";
  std::string err;
  EXPECT_EQ(
      prnt({dir.file("report"), "testprn", "2", "3", "10.5cpi", "epson", "landscape", "media=a4", "invoice"}, &err), 0)
      << err;
  EXPECT_NE(cups.jobs().find("testprn-1 "), std::string::npos) << cups.jobs();
  // No printer and no default destination: lp refuses, and says so.
  EXPECT_NE(prnt({dir.file("report"), "", "1", "0", "10cpi"}, &err), 0);
  EXPECT_NE(err.find("default destination"), std::string::npos) << err;
  std::string out;
  ASSERT_EQ(run_command({"/usr/sbin/lpadmin", "-d", "testprn"}, &out, &err), 0) << err;
  EXPECT_EQ(prnt({dir.file("report"), "", "1", "0", "10cpi"}, &err), 0) << err;
  EXPECT_NE(cups.jobs().find("testprn-2 "), std::string::npos) << cups.jobs();
}

using RealPrintSystem = ReportTest;

// The lookup offers the scheduler's one printer with a short enough name
// (so it is taken without a list), and printing from the menu queues the
// report there.
TEST_P(RealPrintSystem, LookupAndPrintFromTheMenu) {
  CupsServer cups;
  NEED_CUPS(cups);
  ASSERT_TRUE(cups.add_printer("testprn")) << cups.reason();
  ASSERT_TRUE(cups.add_printer("elevenchars")) << cups.reason();
  auto& t =
      probe({"write", "r1", "3", "output", "r1", "3", ""}, Commands::RealPrintSystem, {{"CUPS_SERVER", cups.socket()}});
  ASSERT_TRUE(t.wait_for("View report on screen"));
  t.key("p");
  ASSERT_TRUE(t.wait_for("Enter the printer name"));
  t.key("f5");
  ASSERT_TRUE(t.wait_for("Find"));
  t.wait_settled();
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kPrinterLine, kFieldCol, "testprn   "));
  t.key("esc");
  EXPECT_EQ(results(t), std::vector<std::string>{"output: removed"});
  EXPECT_NE(cups.jobs().find("testprn-1 "), std::string::npos) << cups.jobs();
  EXPECT_FALSE(std::filesystem::exists(file("r1")));
}

INSTANTIATE_TEST_SUITE_P(Backends, RealPrintSystem, all_backends(), backend_name);

}  // namespace
