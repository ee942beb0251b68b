// The fixture of the report services' end-to-end tests: see report_fixture.h.
#include "report_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using rt::Value;

namespace lunadesk::testing {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void ReportTest::SetUp() {
  ProgramTest::SetUp();
  if (IsSkipped() || HasFatalFailure()) return;
  for (auto [num, value] :
       {std::pair{7, "LASER1"}, {1010, "DISPATCH"}, {1011, "Y"}, {5007, "APCHECK"}, {6210, "INVOICE1"}})
    exec("INSERT INTO sys_parm VALUES (?, ?)", {Value::of_int(num, rt::smallint_t()), Value::of_char(value, 30)});
  home_ = db_->dir() + "/home";
  state_ = db_->dir() + "/state";
  fs::create_directories(home_);
  fs::create_directories(state_);
}

e2e::Terminal& ReportTest::probe(const std::vector<std::string>& steps, Commands commands,
                                 std::map<std::string, std::string> env) {
  e2e::Options opt;
  opt.argv = {std::string(LUNADESK_BIN_DIR) + "/report_probe"};
  opt.argv.insert(opt.argv.end(), steps.begin(), steps.end());
  opt.env = db_env();
  std::string path;
  if (commands != Commands::RealPrintSystem) path += std::string(STANDIN_BIN) + ":";
  if (commands == Commands::StandinsAndPrnt) path += std::string(STANDIN_PRNT_BIN) + ":";
  if (commands == Commands::Standins || commands == Commands::StandinsAndPrnt)
    path += std::string(STANDIN_MAIL_BIN) + ":";
  if (commands == Commands::MailThatCannotAttach) path += std::string(STANDIN_MAILX_BIN) + ":";
  opt.env["PATH"] = path + LUNADESK_BIN_DIR + ":/usr/bin:/bin";
  opt.env["HOME"] = home_;
  opt.env["LOGNAME"] = "tester";
  opt.env["STANDIN_LOG"] = log_path();
  opt.env["STANDIN_STATE"] = state_;
  if (!env.count("LDEMAIL")) opt.unset.push_back("LDEMAIL");
  for (auto& [k, v] : env) opt.env[k] = v;
  opt.unset.insert(opt.unset.end(), unset_.begin(), unset_.end());
  opt.cwd = db_->dir();
  term_ = std::make_unique<e2e::Terminal>(opt);
  EXPECT_TRUE(term_->wait_for("Report Probe")) << "the probe did not start";
  return *term_;
}

std::vector<std::string> ReportTest::results(e2e::Terminal& t) {
  EXPECT_TRUE(t.wait_for("probe finished"));
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  std::vector<std::string> out;
  for (int r = 1; r <= t.rows(); ++r) {
    std::string row = t.row(r);
    if (row.find(": ") != std::string::npos && row.rfind("Report Probe", 0) != 0) out.push_back(row);
  }
  return out;
}

void ReportTest::run_export(e2e::Terminal& t, const std::string& key, const std::string& name, const std::string& type,
                            const std::optional<std::string>& to, const std::function<bool()>& done) {
  t.key(key);
  ASSERT_TRUE(t.wait_for("Enter filename to save report into: "));
  EXPECT_EQ(t.text_at(4, 2, 1), "┌") << "the export window";
  t.type(name);
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Enter export file type T=text P=pdf: "));
  t.type(type);
  if (to) {
    ASSERT_TRUE(t.wait_for("Enter the to email address: "));
    t.type(*to);
    t.key("enter");
  }
  ASSERT_TRUE(t.wait_until(done)) << "the export did not finish";
  ASSERT_TRUE(t.wait_until([&] { return t.alt_screen() && t.row(4).find("┌") == std::string::npos; }));
}

void ReportTest::choose(e2e::Terminal& t, const std::string& option) {
  for (int i = 0; i < 5 && t.reverse_text(2) != option; ++i) {
    t.key("right");
    t.wait_settled();
  }
  ASSERT_EQ(t.reverse_text(2), option);
  t.key("enter");
}

}  // namespace lunadesk::testing
