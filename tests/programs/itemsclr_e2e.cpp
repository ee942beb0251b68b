// The clearing program end to end, on both back ends: runs with and
// without cycles, the netting (up to the date, exact, signed by type), two
// runs in one program, the date warning, the cycle lookup and refused
// cycle criteria, interrupted and dateless criteria, the interrupt key at
// the warning, at the menu and during a run, the error log, a terminal
// closed under the program, and runs stopped part-way (an SQL error, a
// kill, a hang-up) that must leave the database as it was.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "program_fixture.h"

using lunadesk::testing::Db;
using lunadesk::testing::menu_shows;
using lunadesk::testing::ProgramTest;
using rt::Value;

namespace {

// Screen lines of the form's fields (form line 3 on screen line 3) and
// their first column; the key help is on the message line.
constexpr int kDateLine = 6, kCycleLine = 8, kFieldCol = 43;
constexpr int kMessageLine = 2, kCommentLine = 23, kErrorLine = 24;

constexpr const char* kCleared = "All matched transactions have been cleared";
constexpr const char* kWarning = "Are you sure this is the correct date";
constexpr const char* kInterrupted = "Run interrupted - nothing was cleared";
constexpr const char* kMenuHelp = "Enter new processing criteria";
constexpr const char* kToday = "2026-12-08";

// Open items of one customer in scope of a run, as "invoice|seq", before
// any run and after runs up to 11/30/2026 and up to 12/31/2026. Invoice
// j of customer c is c*10+j:
//   1  100.00 charge, 100.00 payment on 11/20          nets to zero
//   2   50.00 charge, 50.00 payment on 12/05           only by 12/31
//   3   0.10 + 0.20 - 0.30                             exactly zero
//   4   0.10 + 0.20 - 0.29                             0.01, kept
//   5   80.00 charge, 80.00 credit, 10.00 on 12/03     the 10.00 stays
//   6   30.00 charge, 30.00 debit memo ("+")           60.00, kept
//   7   25.00 charge open, its payment no longer open  kept
std::vector<std::string> open_items_before(int c) {
  std::vector<std::string> v;
  for (auto [j, n] : {std::pair{1, 2}, {2, 2}, {3, 3}, {4, 3}, {5, 3}, {6, 2}, {7, 1}})
    for (int s = 1; s <= n; ++s) v.push_back(std::to_string(c * 10 + j) + "|" + std::to_string(s));
  return v;
}
std::vector<std::string> open_items_after_november(int c) {
  const std::string p = std::to_string(c);
  return {p + "2|1", p + "2|2", p + "4|1", p + "4|2", p + "4|3", p + "5|3", p + "6|1", p + "6|2", p + "7|1"};
}
std::vector<std::string> open_items_after_december(int c) {
  const std::string p = std::to_string(c);
  return {p + "4|1", p + "4|2", p + "4|3", p + "5|3", p + "6|1", p + "6|2", p + "7|1"};
}

class Itemsclr : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (auto [code, oper] : {std::pair{"IN", "+"}, {"DM", "+"}, {"PY", "-"}, {"CM", "-"}})
      exec("INSERT INTO ar_type VALUES (?, ?, ?)",
           {Value::of_char(code, 2), Value::of_char(oper, 1), Value::of_char(code, 30)});
    const char* names[] = {"First cycle", "Second cycle", "Third cycle", "Fourth cycle"};
    for (int k = 1; k <= 4; ++k) {
      exec("INSERT INTO ar_cycle VALUES (?, ?, ?, ?)",
           {Value::of_int(k, rt::smallint_t()), Value::of_char(names[k - 1], 30), date(2026, 10, 31),
            date(2026, 10, 31)});
      const int c = customer(k);
      exec("INSERT INTO ar_customer (cust_customer, cust_name, cust_stmt_cycle) VALUES (?, ?, ?)",
           {Value::of_int(c), Value::of_char("Customer " + std::to_string(c), 30), Value::of_int(k, rt::smallint_t())});
      item(c, 1, 1, "IN", "100.00", 11, 2);
      item(c, 1, 2, "PY", "100.00", 11, 20);
      item(c, 2, 1, "IN", "50.00", 11, 5);
      item(c, 2, 2, "PY", "50.00", 12, 5);
      item(c, 3, 1, "IN", "0.10", 11, 3);
      item(c, 3, 2, "DM", "0.20", 11, 4);
      item(c, 3, 3, "PY", "0.30", 11, 6);
      item(c, 4, 1, "IN", "0.10", 11, 3);
      item(c, 4, 2, "DM", "0.20", 11, 4);
      item(c, 4, 3, "PY", "0.29", 11, 6);
      item(c, 5, 1, "IN", "80.00", 11, 1);
      item(c, 5, 2, "CM", "80.00", 11, 10);
      item(c, 5, 3, "IN", "10.00", 12, 3);
      item(c, 6, 1, "IN", "30.00", 11, 1);
      item(c, 6, 2, "DM", "30.00", 11, 2);
      item(c, 7, 1, "IN", "25.00", 11, 1);
      item(c, 7, 2, "PY", "25.00", 11, 2, /*open=*/false);
    }
  }

  bool pg() const { return GetParam() == Db::Postgres; }
  static int customer(int cycle) { return 100 * cycle + 1; }
  static Value date(int y, int m, int d) { return Value::of_date(*rt::Date::from_mdy(m, d, y)); }

  void item(int c, int j, int seq, const char* type, const char* amount, int m, int d, bool open = true) {
    item_of(c, c * 10 + j, seq, type, amount, m, d, open);
  }
  void item_of(int c, int invoice, int seq, const char* type, const char* amount, int m, int d, bool open = true) {
    Value amt(rt::decimal_t(12, 2));
    amt.set_text(amount);
    const Value cust = Value::of_int(c), inv = Value::of_int(invoice), s = Value::of_int(seq, rt::smallint_t());
    exec("INSERT INTO ar_item VALUES (?, ?, ?, ?, ?, ?, ?)",
         {cust, inv, s, Value::of_char(type, 2), amt, date(2026, m, d), Value::of_char("ref", 12)});
    if (open) exec("INSERT INTO ar_openitem VALUES (?, ?, ?)", {cust, inv, s});
  }

  e2e::Terminal& run() { return start("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}}); }

  // One run from the menu: the date typed, Return, the cycle criteria
  // typed, Esc; waits until the run has finished. `warned`: the date
  // brings the warning, which must show.
  void clear(e2e::Terminal& t, const std::string& date, const std::string& cycles = "", bool warned = false) {
    enter_criteria(t, date, cycles, warned);
    finished(t);
  }

  // The criteria of clear(), without waiting for what follows.
  void enter_criteria(e2e::Terminal& t, const std::string& date, const std::string& cycles, bool warned = false) {
    t.key("n");
    ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
    t.type(date);
    t.key("enter");
    if (warned) {
      ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kWarning));
    }
    ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel  Ctrl-F: Find  Ctrl-W: Help"));
    if (!cycles.empty()) t.type(cycles);
    t.key("esc");
  }

  // The menu is back after a run (its help line was cleared as the run
  // began) with the final message on the last line.
  void finished(e2e::Terminal& t) {
    ASSERT_TRUE(t.wait_for_at(3, 1, "Enter new processing criteria")) << "the run did not finish";
    EXPECT_EQ(t.row(kErrorLine), kCleared);
  }

  std::vector<std::string> open_items(int c) {
    return rows("select aroi_invoice_nbr, aroi_seq_nbr from ar_openitem where aroi_customer = ? order by 1, 2", 2,
                {Value::of_int(c)});
  }
  // The last clearing date of cycles 1 to 4, as "code|date".
  std::vector<std::string> cycle_dates() {
    return rows("select arcy_code, arcy_last_date from ar_cycle order by 1", 2);
  }
  static std::vector<std::string> dates(const char* d1, const char* d2, const char* d3, const char* d4) {
    return {std::string("1|") + d1, std::string("2|") + d2, std::string("3|") + d3, std::string("4|") + d4};
  }

  std::string log_path() const { return db_->dir() + "/itemsclr.log"; }

  void expect_untouched() {
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_before(customer(k))) << "cycle " << k;
    EXPECT_EQ(cycle_dates(), dates("10/31/2026", "10/31/2026", "10/31/2026", "10/31/2026"));
  }
};

TEST_P(Itemsclr, ClearsUpToTheDateAndAgainInTheSameProgram) {
  auto& t = run();
  EXPECT_EQ(t.text_at(1, 27, 26), "Clear Matched Transactions");
  EXPECT_TRUE(t.cell(1, 1).reverse && t.cell(1, 80).reverse) << "the title bar spans the line";
  EXPECT_TRUE(menu_shows(t.row(2), "New") && menu_shows(t.row(2), "Exit")) << t.row(2);
  EXPECT_EQ(t.row(3), "Enter new processing criteria");
  EXPECT_EQ(t.text_at(kDateLine, 26, 14), "Cycle End Date");
  EXPECT_EQ(t.text_at(kCycleLine, 26, 10), "Cycle Code");

  // The last day of the previous month brings no warning; no cycle means
  // every customer and every cycle.
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
  EXPECT_EQ(t.row(3), "") << "the menu's help line is cleared";
  EXPECT_EQ(t.row(kCommentLine), "Enter the cycle ending date for processing");
  t.type("11/30/2026");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));
  EXPECT_EQ(t.row(kCommentLine), "Enter the statement cycle(s) to process");
  const int bells = t.bells();
  t.key("esc");
  finished(t);
  EXPECT_EQ(t.bells(), bells) << "no warning for the last day of the previous month";
  EXPECT_EQ(t.text_at(kDateLine, kFieldCol, 10), "11/30/2026") << "the date alone, without its criterion";
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/30/2026", "11/30/2026"));
  EXPECT_EQ(count("ar_item"), 4 * 17) << "the history stays";
  if (!pg()) {
    EXPECT_GT(count("sqlite_stat1", "tbl = 'ar_openitem'"), 0) << "the statistics were refreshed";
  }

  // A second run drops the first run's tables; the last day of the
  // current month is warned about and processed all the same.
  clear(t, "12/31/2026", "", /*warned=*/true);
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_december(customer(k)));
  EXPECT_EQ(cycle_dates(), dates("12/31/2026", "12/31/2026", "12/31/2026", "12/31/2026"));

  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  EXPECT_FALSE(std::filesystem::exists(log_path())) << "the empty error log is removed";
}

// Each date format DBDATE may name: the end date is typed and shown in it,
// the condition keeps its date and cycle criteria apart, and the run clears
// and dates exactly the cycle asked for. A format the runtime cannot read
// back is refused before the first screen.
TEST_P(Itemsclr, EveryDateFormatClearsTheCycleAskedFor) {
  struct Form {
    const char* dbdate;
    const char* typed;
  };
  const Form forms[] = {{"MDY2/", "11/30/26"}, {"DMY4/", "30/11/2026"}, {"Y4MD-", "2026-11-30"}, {"DMY40", "30112026"}};
  for (int k = 1; k <= 4; ++k) {
    const Form& f = forms[k - 1];
    SCOPED_TRACE(f.dbdate);
    auto& t = start("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}, {"DBDATE", f.dbdate}});
    clear(t, f.typed, std::to_string(k));
    EXPECT_EQ(t.text_at(kDateLine, kFieldCol, 10), std::string(f.typed) + std::string(10 - std::strlen(f.typed), ' '));
    t.key("e");
    EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
    EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));
  }
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/30/2026", "11/30/2026"));
  for (const char* bad : {"MDY4|", "DMY4:", "YMDD/", "MDY4//"}) {
    auto& t = start("itemsclr", "is not a date format", {{"DBDATE", bad}});
    EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(1)) << bad;
  }
  // So is a numeric setting out of its range, rather than wrapped.
  for (const auto& [name, bad] :
       {std::pair{"LUNADESK_LOCK_TIMEOUT_MS", "4294967297"}, std::pair{"LUNADESK_CURSOR_IDLE_MS", "-1"},
        std::pair{"LUNADESK_PG_SPIN_US", "2e6"}}) {
    auto& t = start("itemsclr", "is not a whole number from", {{name, bad}});
    EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(1)) << name;
    EXPECT_NE(t.row(1).find(std::string(name) + " \"" + bad + "\""), std::string::npos) << t.row(1);
  }
}

TEST_P(Itemsclr, CyclesChooseTheCustomersAndTheCyclesDated) {
  auto& t = run();
  clear(t, "11/30/2026", "3");
  for (int k = 1; k <= 4; ++k)
    EXPECT_EQ(open_items(customer(k)),
              k == 3 ? open_items_after_november(customer(k)) : open_items_before(customer(k)));
  EXPECT_EQ(cycle_dates(), dates("10/31/2026", "10/31/2026", "11/30/2026", "10/31/2026"));

  clear(t, "11/30/2026", "1|2");
  for (int k = 1; k <= 2; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));
  EXPECT_EQ(open_items(customer(4)), open_items_before(customer(4)));
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/30/2026", "10/31/2026"));

  clear(t, "11/29/2026", "3:4");
  EXPECT_EQ(open_items(customer(4)), open_items_after_november(customer(4)));
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/29/2026", "11/29/2026"));

  // A cycle criterion that is not numbers is refused in the field; the
  // lookup puts the code picked there, and input wrap is on again after it.
  enter_criteria(t, "11/30/2026", "4 or 1=1");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Error in field."));
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kCycleLine);
  t.key("home");
  t.key("ctrl-d");
  t.key("f5");
  ASSERT_TRUE(t.wait_for("Search"));
  // A search text no character can match finds nothing; it stops nothing.
  t.type("[z-a]");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No rows found"));
  t.type("fou");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kCycleLine, kFieldCol, "4"));
  EXPECT_TRUE(t.wait_until([&] { return t.cursor().first == kCycleLine; })) << "back in the cycle field";
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(kDateLine, kFieldCol)) << "Return in the last field wraps to the first";
  t.key("esc");
  finished(t);
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/29/2026", "11/30/2026"));
  EXPECT_EQ(count("ar_openitem"), 4 * 9);
}

TEST_P(Itemsclr, InterruptedOrDatelessCriteriaProcessNothing) {
  {
    std::ofstream log(log_path());
    log << "an earlier run's entry\n";
  }
  auto& t = run();
  t.key("n");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "You must enter a date"));
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kDateLine);
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(3, 1, "Enter new processing criteria")) << "back in the menu";

  t.key("n");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("11/30/2026");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));
  t.type("2");
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(3, 1, "Enter new processing criteria"));
  t.wait_settled();
  expect_untouched();

  // The menu goes on working after the interrupts.
  clear(t, "11/30/2026", "2");
  EXPECT_EQ(open_items(customer(2)), open_items_after_november(customer(2)));
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  std::ifstream log(log_path());
  std::stringstream content;
  content << log.rdbuf();
  EXPECT_EQ(content.str(), "an earlier run's entry\n") << "a log with content is kept as it is";
}

TEST_P(Itemsclr, CtrlCAtTheDateWarningProcessesNothing) {
  auto& t = run();
  // Esc in the date field: the warning and its pause come as the input is
  // accepted; Return: as the cursor leaves for the cycle field.
  for (const char* leave : {"esc", "enter"}) {
    SCOPED_TRACE(leave);
    t.key("n");
    ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
    t.type("12/31/2026");
    t.key(leave);
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kWarning));
    // Typed during the pause, before Ctrl-C: cancelled with the input, never
    // read by the menu (where "e" is Exit).
    t.key("e");
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp)) << "back in the menu";
    t.wait_settled();
    EXPECT_TRUE(t.running()) << "a key typed before Ctrl-C reached the menu";
    EXPECT_NE(t.row(kErrorLine), kCleared);
    expect_untouched();
  }

  // Not interrupted, the run goes ahead after the warning, and its final
  // message replaces the warning without another key.
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
  t.type("12/31/2026");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kWarning));
  ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp, 10000)) << "the run did not finish";
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(t.row(kErrorLine), kCleared);
  EXPECT_FALSE(t.cell(kErrorLine, 1).reverse) << "the message is not the error line's";
  // Without a November run first, invoice 5 nets to 10.00 by December.
  for (int k = 1; k <= 4; ++k) {
    const std::string p = std::to_string(customer(k));
    EXPECT_EQ(open_items(customer(k)), (std::vector<std::string>{p + "4|1", p + "4|2", p + "4|3", p + "5|1", p + "5|2",
                                                                 p + "5|3", p + "6|1", p + "6|2", p + "7|1"}));
  }
}

TEST_P(Itemsclr, CtrlCAtTheMenuNeverSwallowsTheNextRunNorLeavesAnOldMessage) {
  auto& t = run();
  t.key("ctrl-c");
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_settled());
  EXPECT_TRUE(t.running()) << "the program ended";
  EXPECT_TRUE(menu_shows(t.row(2), "New")) << t.row(2);

  // The Ctrl-C belonged to the menu: the criteria that follow are run.
  clear(t, "11/30/2026");
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));

  // A New that processes nothing leaves no earlier success standing.
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
  EXPECT_EQ(t.row(kErrorLine), "");
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp));
  ASSERT_TRUE(t.wait_settled());
  EXPECT_NE(t.row(kErrorLine), kCleared);
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

// Amounts another tool wrote into the embedded database that are no
// number: their invoices are left open and named, the others cleared.
TEST_P(Itemsclr, AmountsThatAreNoNumberLeaveTheirInvoicesOpenAndNamed) {
  if (pg()) GTEST_SKIP() << "the server's numeric columns hold only numbers";
  const int c = customer(1);
  // Invoices 1 and 3 net to zero, 6 does not: each of their items here is
  // given an amount that is no number, of every kind a tool can write.
  const std::pair<std::string, const char*> planted[] = {
      {"1 AND ar_seq_nbr = 1", "'10,00'"}, {"1 AND ar_seq_nbr = 2", "'abc'"},
      {"3 AND ar_seq_nbr = 1", "1e40"},    {"3 AND ar_seq_nbr = 2", "x'0102'"},
      {"3 AND ar_seq_nbr = 3", "9e999"},   {"6 AND ar_seq_nbr = 1", "'123456789012345678901234567890123456789'"},
  };
  std::string sql = "PRAGMA ignore_check_constraints = ON; ";
  for (const auto& [where, amount] : planted)
    sql += "UPDATE ar_item SET ar_amount = " + std::string(amount) +
           " WHERE ar_invoice_nbr = " + std::to_string(c * 10) + " + " + where + "; ";
  outside(sql);
  auto& t = run();
  clear(t, "11/30/2026", "1");
  ASSERT_TRUE(t.wait_for_at(kCommentLine, 1,
                            "Left open, amount no number: customer " + std::to_string(c) + " invoice " +
                                std::to_string(c * 10 + 1) + " and 2 more"));
  std::vector<std::string> expected = open_items_after_november(c);
  for (const char* kept : {"1|1", "1|2", "3|1", "3|2", "3|3"}) expected.push_back(std::to_string(c) + kept);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(open_items(c), expected);
  EXPECT_EQ(open_items(customer(2)), open_items_before(customer(2))) << "another cycle";
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  std::ifstream log(log_path());
  std::stringstream content;
  content << log.rdbuf();
  for (const auto& [invoice, seq, shown] :
       {std::tuple{1, 1, "('10,00')"}, {1, 2, "('abc')"}, {3, 1, ""}, {3, 2, ""}, {3, 3, ""}, {6, 1, ""}}) {
    const std::string named =
        "invoice " + std::to_string(c * 10 + invoice) + " item " + std::to_string(seq) + " is no number " + shown;
    EXPECT_NE(content.str().find(named), std::string::npos) << named << "\n" << content.str();
  }
}

// A server that waits for a standby before it confirms a commit, and a
// standby that never answers: Ctrl-C ends the wait, and the server keeps
// the commit. The run is reported as what the server did, the server's
// warning goes to the error log.
TEST_P(Itemsclr, ACommitTheServerKeepsIsReportedAsDoneAfterCtrlC) {
  if (!pg()) GTEST_SKIP() << "only a server waits for a standby";
  // Started first: its session's own set-up commits too.
  auto env = db_env();
  auto& t = start("itemsclr", "Clear Matched Transactions",
                  {{"LUNADESK_TODAY", kToday}, {"PGOPTIONS", env["PGOPTIONS"] + " -c synchronous_commit=on"}});
  outside("ALTER SYSTEM SET synchronous_standby_names = 'standby_that_never_answers'");
  outside("SELECT pg_reload_conf()");
  struct Reset {
    std::function<void()> undo;
    ~Reset() { undo(); }
  } reset{[this] {
    outside("ALTER SYSTEM RESET synchronous_standby_names");
    outside("SELECT pg_reload_conf()");
  }};
  const std::vector<std::string> standby{"standby_that_never_answers"};
  for (int i = 0; i < 600 && rows("select current_setting('synchronous_standby_names')", 1) != standby; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  enter_criteria(t, "11/30/2026", "");
  bool waiting = false;
  for (int i = 0; i < 600 && !waiting; ++i) {
    waiting =
        rows("select count(*) from pg_stat_activity where wait_event = 'SyncRep'", 1) == std::vector<std::string>{"1"};
    if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(waiting) << "the run's COMMIT never waited for the standby";
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kCleared));
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/30/2026", "11/30/2026"));
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  std::ifstream log(log_path());
  std::stringstream content;
  content << log.rdbuf();
  EXPECT_NE(content.str().find("committed locally"), std::string::npos) << content.str();
}

TEST_P(Itemsclr, ATerminalClosedWithoutAHangUpSignalEndsTheProgram) {
  // At the menu and in the criteria input: the program ends as on a
  // hang-up, and the database is as it was.
  for (bool in_input : {false, true}) {
    SCOPED_TRACE(in_input ? "in the criteria" : "at the menu");
    auto& t = start("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}},
                    /*controlling_terminal=*/false);
    if (in_input) {
      t.key("n");
      ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept"));
      t.type("11/30");
    }
    ASSERT_TRUE(t.wait_settled());
    t.hangup();
    const std::optional<e2e::ExitStatus> st = t.wait_exit();
    ASSERT_TRUE(st.has_value()) << "the program went on after its terminal was gone";
    EXPECT_EQ(*st, e2e::ExitStatus::exited_with(2));
    expect_untouched();
  }
}

// A run that stops part-way: the database stays as it was before it.
class ItemsclrStopped : public Itemsclr {
 protected:
  bool slow_rows_ = false;

  // Makes the dating of the cycles, the run's last statement before its
  // commit, fail.
  void make_dating_fail() {
    if (pg()) {
      exec(
          "CREATE FUNCTION fail_dating() RETURNS trigger AS 'BEGIN RAISE EXCEPTION ''injected failure''; END' "
          "LANGUAGE plpgsql");
      exec("CREATE TRIGGER fail_dating BEFORE UPDATE ON ar_cycle FOR EACH ROW EXECUTE FUNCTION fail_dating()");
    } else {
      exec("CREATE TRIGGER fail_dating BEFORE UPDATE ON ar_cycle BEGIN SELECT RAISE(ABORT, 'injected failure'); END");
    }
  }
  void drop_dating_failure() { exec("DROP TRIGGER fail_dating" + std::string(pg() ? " ON ar_cycle" : "")); }

  // Makes the dating of the cycles wait, with every open item of the run
  // deleted but not committed: on PostgreSQL for a lock the test holds on
  // ar_cycle, on the embedded back end (where one writer holds the whole
  // file) in a trigger that computes for minutes.
  void hold_dating() {
    if (pg()) {
      rt::sql::begin_work();
      exec("LOCK TABLE ar_cycle IN EXCLUSIVE MODE");
    } else {
      if (!slow_rows_) {
        exec("CREATE TABLE slow_rows (n INTEGER)");
        for (int i = 0; i < 200; ++i) exec("INSERT INTO slow_rows VALUES (?)", {Value::of_int(i)});
        slow_rows_ = true;
      }
      exec(
          "CREATE TRIGGER slow_dating BEFORE UPDATE ON ar_cycle BEGIN SELECT count(*) FROM slow_rows a, "
          "slow_rows b, slow_rows c, slow_rows d; END");
    }
  }
  void release_dating() {
    if (pg())
      rt::sql::rollback_work();
    else
      exec("DROP TRIGGER slow_dating");
  }

  // CPU time the process has used, from /proc.
  static double cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream rest(all.substr(all.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
      if (i >= 14) ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

  // Waits until the run sits in its dating step: the program's session
  // waits for the lock (while the statement is being prepared, so the
  // session's query text is still the one before), or the program computes inside the trigger (its
  // steps before take milliseconds; a second of computing is the trigger).
  // `program`: the program's process when it is not the terminal's child.
  bool wait_dating_held(e2e::Terminal& t, pid_t program = -1) {
    if (program < 0) program = t.pid();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const double cpu0 = cpu_seconds(program);
    while (std::chrono::steady_clock::now() < until && t.running()) {
      if (pg() ? count("pg_stat_activity", "pid <> pg_backend_pid() and wait_event_type = 'Lock'") == 1
               : cpu_seconds(program) - cpu0 > 1.0)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::string state();

  // Starts a run over every cycle up to 11/30/2026 and waits until it has
  // shown that it is processing.
  e2e::Terminal& start_run() { return start_run(run()); }
  e2e::Terminal& start_run(e2e::Terminal& t) {
    t.key("n");
    EXPECT_TRUE(t.wait_for("Esc: Accept"));
    t.type("11/30/2026");
    t.key("esc");
    EXPECT_TRUE(t.wait_for("Processing... Please wait"));
    return t;
  }
};

TEST_P(ItemsclrStopped, ByAnErrorAKillOrAHangUpLeavesEverythingAsBefore) {
  // An SQL error at the last statement: the runtime's report, exit 1, the
  // report kept in the error log, and nothing of the run stored.
  make_dating_fail();
  {
    auto& t = start_run();
    ASSERT_TRUE(t.wait_for("Program stopped at"));
    EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(1));
  }
  expect_untouched();
  std::ifstream log(log_path());
  std::stringstream content;
  content << log.rdbuf();
  EXPECT_NE(content.str().find("SQL statement error number"), std::string::npos) << content.str();
  drop_dating_failure();

  // Killed, and hung up, while the run holds its transaction with every
  // DELETE done.
  for (bool kill : {true, false}) {
    SCOPED_TRACE(kill ? "killed" : "hung up");
    hold_dating();
    auto& t = start_run();
    ASSERT_TRUE(wait_dating_held(t)) << "the run never reached the dating of the cycles";
    if (kill) {
      t.signal(SIGKILL);
      EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::killed_by(SIGKILL));
      release_dating();
    } else {
      // The hang-up cuts the waiting statement short (the lock is still
      // held), and the clean-up rolls back on the program's connection.
      t.hangup();
      const std::optional<e2e::ExitStatus> st = t.wait_exit(10000);
      release_dating();
      ASSERT_TRUE(st.has_value()) << "the program did not end after the hang-up";
      EXPECT_EQ(*st, e2e::ExitStatus::exited_with(2));
    }
    expect_untouched();
  }

  // The database takes the next run as if nothing had happened.
  auto& t = run();
  clear(t, "11/30/2026");
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(open_items(customer(k)), open_items_after_november(customer(k)));
  EXPECT_EQ(cycle_dates(), dates("11/30/2026", "11/30/2026", "11/30/2026", "11/30/2026"));
}

// Type codes written by other tools with and without trailing blanks, in
// ar_type and in ar_item either way round, sign and net the same on both
// back ends; the cycle lookup finds accented descriptions from either case.
TEST_P(Itemsclr, TypeCodesPaddedWithBlanksNetAsWithout) {
  outside("INSERT INTO ar_type VALUES ('P ', '-', 'payment, padded'), ('Q', '-', 'credit')");
  outside(
      "INSERT INTO ar_cycle VALUES (5, 'Été, premier', '2026-10-31', '2026-10-31'), "
      "(6, 'ÉTÉ, second', '2026-10-31', '2026-10-31')");
  exec("INSERT INTO ar_customer (cust_customer, cust_name, cust_stmt_cycle) VALUES (102, 'Padded', 1)");
  // Invoice 1021 pays with "P" as the programs write it, 1022 with "Q "
  // and 1023 with "P " as another tool writes them; 1024 is short.
  item(102, 1, 1, "IN", "40.00", 11, 2);
  item(102, 1, 2, "P", "40.00", 11, 10);
  item(102, 2, 1, "IN", "15.00", 11, 2);
  item(102, 3, 1, "IN", "7.00", 11, 2);
  item(102, 4, 1, "IN", "9.00", 11, 2);
  outside(
      "INSERT INTO ar_item VALUES (102, 1022, 2, 'Q ', 15.00, '2026-11-10', 'ref'), "
      "(102, 1023, 2, 'P ', 7.00, '2026-11-10', 'ref'), (102, 1024, 2, 'Q ', 8.00, '2026-11-10', 'ref')");
  outside("INSERT INTO ar_openitem VALUES (102, 1022, 2), (102, 1023, 2), (102, 1024, 2)");
  auto& t = run();
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
  t.type("11/30/2026");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));
  for (const char* typed : {"ÉTÉ", "été"}) {
    t.key("f5");
    ASSERT_TRUE(t.wait_for("Search") && t.wait_settled());
    t.type(typed);
    t.key("enter");
    ASSERT_TRUE(t.wait_for("Été, premier") && t.wait_for("ÉTÉ, second")) << typed;
    t.key("ctrl-c");
    t.wait_settled();
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_gone("Search")) << typed;
  }
  t.type("1");
  t.key("esc");
  finished(t);
  EXPECT_EQ(open_items(102), (std::vector<std::string>{"1024|1", "1024|2"}));
  EXPECT_EQ(open_items(customer(1)), open_items_after_november(customer(1)));
}

// One customer with many invoices, and two others whose invoices bear the
// same numbers (one of them in another cycle): each run deletes exactly
// the gathered items of the invoices that net to zero, customer by
// customer.
TEST_P(Itemsclr, ALargeAccountClearsExactlyItsMatchedInvoices) {
  struct Item {
    const char* type;
    const char* amount;
    int month, day;
  };
  // Kinds of invoice, and whether each clears by 11/30.
  const std::vector<std::pair<std::vector<Item>, bool>> kinds{
      {{{"IN", "12.34", 11, 2}, {"DM", "0.66", 11, 3}, {"PY", "13.00", 11, 9}}, true},
      {{{"IN", "12.34", 11, 2}, {"DM", "0.66", 11, 3}, {"PY", "12.99", 11, 9}}, false},
      {{{"IN", "20.00", 11, 2}, {"PY", "20.00", 12, 5}}, false},
      {{{"IN", "5.00", 11, 1}, {"CM", "3.00", 11, 4}, {"IN", "1.00", 11, 5}, {"PY", "3.00", 11, 8}}, true},
  };
  const int large = 501, same_cycle = 502, other_cycle = 601;
  for (auto [c, cycle] : {std::pair{large, 1}, {same_cycle, 1}, {other_cycle, 2}})
    exec("INSERT INTO ar_customer (cust_customer, cust_name, cust_stmt_cycle) VALUES (?, ?, ?)",
         {Value::of_int(c), Value::of_char("Account", 30), Value::of_int(cycle, rt::smallint_t())});
  std::map<int, std::vector<std::string>> all, kept;
  for (int i = 0; i < 80; ++i) {
    for (auto [c, shift] : {std::pair{large, 0}, {same_cycle, 1}, {other_cycle, 2}}) {
      if (c != large && i % 2) continue;
      const auto& [items, clears] = kinds[static_cast<std::size_t>((i + shift) % 4)];
      for (std::size_t s = 0; s < items.size(); ++s) {
        const Item& it = items[s];
        item_of(c, 9000 + i, static_cast<int>(s) + 1, it.type, it.amount, it.month, it.day);
        const std::string key = std::to_string(9000 + i) + "|" + std::to_string(s + 1);
        all[c].push_back(key);
        if (!clears) kept[c].push_back(key);
      }
    }
  }
  auto& t = run();
  clear(t, "11/30/2026", "1");
  EXPECT_EQ(open_items(large), kept[large]);
  EXPECT_EQ(open_items(same_cycle), kept[same_cycle]);
  EXPECT_EQ(open_items(other_cycle), all[other_cycle]) << "not in the cycle";
  clear(t, "11/30/2026");
  EXPECT_EQ(open_items(other_cycle), kept[other_cycle]);
  EXPECT_EQ(open_items(large), kept[large]);
}

// Every open item and the cycles' dates, summed up.
std::string ItemsclrStopped::state() {
  const auto items = rows("select count(*), sum(aroi_invoice_nbr), sum(aroi_seq_nbr) from ar_openitem", 3);
  const auto cycles = rows("select arcy_code, arcy_last_date from ar_cycle order by 1", 2);
  std::string s = items.empty() ? "" : items[0];
  for (const auto& c : cycles) s += " " + c;
  return s;
}

TEST_P(ItemsclrStopped, CtrlCDuringARunRollsItAllBack) {
  // Over 130,000 items in scope: gathering, netting and the 24,000
  // DELETEs take a while, and the interrupt cuts in somewhere.
  for (int k = 0; k < 11; ++k) {
    const std::string offset = std::to_string(10000 << k);
    exec("INSERT INTO ar_item SELECT ar_customer, ar_invoice_nbr + " + offset +
         ", ar_seq_nbr, ar_tran_type, ar_amount, ar_tran_dt, ar_reference FROM ar_item");
    exec("INSERT INTO ar_openitem SELECT aroi_customer, aroi_invoice_nbr + " + offset +
         ", aroi_seq_nbr FROM ar_openitem");
  }
  ASSERT_EQ(count("ar_item"), 68L << 11);
  const std::string before = state();
  {
    auto& t = start_run();
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kInterrupted, 30000)) << "the run was not interrupted";
    ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp));
    EXPECT_TRUE(t.running());
    EXPECT_EQ(state(), before);
  }

  // Held where every DELETE is done and the cycles are being dated: the
  // statement waiting there is cut short, the deletions go with it, and
  // the interrupt does not cancel the next criteria.
  exec("DELETE FROM ar_openitem WHERE aroi_invoice_nbr > 10000");
  exec("DELETE FROM ar_item WHERE ar_invoice_nbr > 10000");
  hold_dating();
  auto& t = start_run();
  ASSERT_TRUE(wait_dating_held(t)) << "the run never reached the dating of the cycles";
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kInterrupted, 10000)) << "the run was not interrupted";
  release_dating();
  expect_untouched();
  clear(t, "11/30/2026", "2");
  EXPECT_EQ(open_items(customer(2)), open_items_after_november(customer(2)));
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

// Started from a site's menu script, a plain /bin/sh that does no job
// control, the program takes the terminal for a process group of its own:
// Ctrl-C at the menu, in the criteria and during a run reaches the program
// alone, and the script goes on after Exit and after a stop report, with
// the terminal its own again (its `read` reads what is typed). Under an
// interactive shell the shell's job control stays as it was.
TEST_P(ItemsclrStopped, AMenuScriptGoesOnAfterCtrlCAndAfterAStopReport) {
  for (bool job_control : {false, true}) {
    SCOPED_TRACE(job_control ? "sh -i" : "sh");
    hold_dating();
    auto& t = start_from_menu("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}}, job_control);
    const pid_t program = program_pid(t);
    ASSERT_GT(program, 0);
    EXPECT_EQ(getpgid(program), program) << "a process group of its own";
    EXPECT_EQ(t.foreground_group(), program) << "the terminal's foreground group";
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_settled());
    t.key("n");
    ASSERT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept"));
    t.type("11/30");
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp));
    start_run(t);
    ASSERT_TRUE(wait_dating_held(t, program)) << "the run never reached the dating of the cycles";
    t.key("ctrl-c");
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, kInterrupted, 10000)) << "the run was not interrupted";
    release_dating();
    t.key("e");
    ASSERT_TRUE(t.wait_for("back in the menu 0"));
    EXPECT_EQ(t.foreground_group(), t.pid()) << "the terminal is the script's again";
    t.type("yes");
    t.key("enter");
    EXPECT_TRUE(t.wait_for("read yes"));
    expect_untouched();
  }

  make_dating_fail();
  auto& t = start_run(start_from_menu("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}}));
  ASSERT_TRUE(t.wait_for("Program stopped at"));
  ASSERT_TRUE(t.wait_for("back in the menu 1"));
  EXPECT_EQ(t.foreground_group(), t.pid());
  t.type("on");
  t.key("enter");
  EXPECT_TRUE(t.wait_for("read on"));
  expect_untouched();
}

// The oldest database an earlier release made, upgraded: a run nets and
// clears its items as on a new one (invoice 5001 nets to zero, 5002 keeps
// its 0.01) and dates its cycle.
class ItemsclrUpgraded : public ProgramTest {
 protected:
  bool upgraded() const override { return true; }
  // Starts the program and a run up to 11/30/2026 over every cycle.
  e2e::Terminal& run_november() {
    auto& t = start("itemsclr", "Clear Matched Transactions", {{"LUNADESK_TODAY", kToday}});
    t.key("n");
    EXPECT_TRUE(t.wait_for_at(kMessageLine, 1, "Esc: Accept  Ctrl-C: Cancel"));
    t.type("11/30/2026");
    t.key("enter");
    EXPECT_TRUE(t.wait_for("Ctrl-F: Find"));
    t.key("esc");
    return t;
  }
};

TEST_P(ItemsclrUpgraded, ClearsTheMatchedItemsOfAnUpgradedDatabase) {
  auto& t = run_november();
  ASSERT_TRUE(t.wait_for_at(3, 1, kMenuHelp)) << "the run did not finish";
  EXPECT_EQ(t.row(kErrorLine), kCleared);
  EXPECT_EQ(rows("select aroi_invoice_nbr, aroi_seq_nbr from ar_openitem order by 1, 2", 2),
            std::vector<std::string>{"5002|1"});
  EXPECT_EQ(rows("select arcy_code, arcy_last_date from ar_cycle", 2), std::vector<std::string>{"1|11/30/2026"});
}

// A user who may only read the database is told so, and nothing changes.
TEST_P(ItemsclrUpgraded, AReadOnlyUserIsToldNothingWasCleared) {
  read_only_user();
  auto& t = run_november();
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "The database is read-only for this user: nothing was cleared"));
  EXPECT_EQ(count("ar_openitem"), 3);
  EXPECT_EQ(rows("select arcy_last_date from ar_cycle", 1), std::vector<std::string>{"NULL"});
}

INSTANTIATE_TEST_SUITE_P(Backends, Itemsclr, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);
INSTANTIATE_TEST_SUITE_P(Backends, ItemsclrUpgraded, lunadesk::testing::all_backends(),
                         lunadesk::testing::backend_name);
INSTANTIATE_TEST_SUITE_P(Backends, ItemsclrStopped, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
