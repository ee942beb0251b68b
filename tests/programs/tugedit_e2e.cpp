// The tax use group program end to end, on both back ends: browsing with
// the class description and the links, Delete refused for every kind of
// reference, Add with the class check, the lookup and the description
// default, Change in tax-table order, saves that leave the previous state
// when interrupted part-way, two operators adding the same pair, and lists
// longer than the 200-row array.
#include <signal.h>

#include <algorithm>
#include <set>

#include "program_fixture.h"

using lunadesk::testing::menu_shows;
using lunadesk::testing::ProgramTest;
using rt::Value;

namespace {

// Screen places of the form (form line 0 on screen line 3, form column 0
// on screen column 1).
constexpr int kGroupLine = 5, kClassLine = 6, kDescLine = 7, kFieldCol = 17;
constexpr int kLinkCol = 64, kClassDescCol = 26;
constexpr int kFirstRow = 10;  // array row 1; 11 rows
constexpr int kSchedCol = 3, kCodeCol = 10;
constexpr int kCommentLine = 23, kErrorLine = 24;

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class Tugedit : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (auto [code, type, desc] : {std::tuple{"TX1", "T", "Taxable goods"}, std::tuple{"TX2", "T", "Food"},
                                    std::tuple{"EXM", "T", "Exempt goods"}, std::tuple{"NT", "N", "Not a tax class"}})
      exec("INSERT INTO inv_classes VALUES (?, ?, ?)",
           {Value::of_char(code, 5), Value::of_char(type, 1), Value::of_char(desc, 30)});
    // Stored out of list order: the list sorts by level, where and code.
    trn_st_ = add_tax("ST", "1", "OHIO", "0.055", "Ohio sales tax");
    trn_ci_ = add_tax("CI", "3", "COLUMBUS", "0.01", "Columbus city tax");
    trn_co_ = add_tax("CO", "2", "FRANKLIN", "0.0125", "Franklin county tax");
    trn_fe_ = add_tax("FE", "1", "AAA", "0.02", "Excise");
    retail_tx1_ = add_group("RETAIL", "TX1", "Retail sales");
    add_group("RETAIL", "TX2", "Retail food");
    add_group("WHOLE", "TX1", "Wholesale");
    add_link(retail_tx1_, trn_st_, "S1");
    add_link(retail_tx1_, trn_ci_, "S3");
  }

  long add_tax(const char* code, const char* level, const char* where, const char* rate, const char* descr) {
    Value r(rt::decimal_t(16, 6));
    r.set_text(rate);
    exec("INSERT INTO tx_table VALUES (?, ?, ?, ?, ?, 'Y', ?, 0)",
         {Value::of_char(code, 5), Value::of_char(level, 1), Value::of_char(where, 10), r,
          Value::of_date(*rt::Date::parse_iso("2026-01-01")), Value::of_char(descr, 30)});
    return rt::sql::last_serial();
  }
  long add_group(const char* group, const char* cls, const char* desc) {
    exec("INSERT INTO tx_use_g VALUES (?, ?, ?, 0)",
         {Value::of_char(group, 8), Value::of_char(cls, 5), Value::of_char(desc, 40)});
    return rt::sql::last_serial();
  }
  void add_link(long link, long trn, const char* sched) {
    exec("INSERT INTO tx_use_link VALUES (?, ?, ?)", {Value::of_int(link), Value::of_int(trn), Value::of_char(sched, 5)});
  }

  e2e::Terminal& run() { return start("tugedit", "Tax Use Group Maintenance"); }

  // A second program on the same database, beside the one of start().
  std::unique_ptr<e2e::Terminal> run_another() {
    e2e::Options opt;
    opt.argv = {std::string(LUNADESK_BIN_DIR) + "/tugedit"};
    opt.env = db_env();
    opt.cwd = db_->dir();
    auto t = std::make_unique<e2e::Terminal>(opt);
    EXPECT_TRUE(t->wait_for("Tax Use Group Maintenance"));
    t->wait_settled(50);
    return t;
  }

  // Find with criteria typed into the group and class fields.
  void find(e2e::Terminal& t, const std::string& group = "", const std::string& cls = "") {
    t.key("f");
    ASSERT_TRUE(t.wait_for("Ctrl-W: Help"));
    if (!group.empty()) t.type(group);
    if (!cls.empty()) {
      t.key("tab");
      t.type(cls);
    }
    t.key("esc");
    t.wait_settled();
  }

  // Starts Add and types the group code and class; the cursor is then in
  // the description, which holds the group's default.
  void add_header(e2e::Terminal& t, const std::string& group, const std::string& cls) {
    t.key("a");
    ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel"));
    t.type(group);
    t.key("enter");
    ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));
    t.type(cls);
    t.key("enter");
    ASSERT_TRUE(t.wait_cursor(kDescLine, kFieldCol));
    t.wait_settled();
  }

  std::string group(e2e::Terminal& t) { return rtrim(t.text_at(kGroupLine, kFieldCol, 8)); }
  std::string cls(e2e::Terminal& t) { return rtrim(t.text_at(kClassLine, kFieldCol, 5)); }
  std::string class_desc(e2e::Terminal& t) { return rtrim(t.text_at(kClassLine, kClassDescCol, 31)); }
  std::string desc(e2e::Terminal& t) { return rtrim(t.text_at(kDescLine, kFieldCol, 40)); }
  std::string link(e2e::Terminal& t) {
    std::string s = rtrim(t.text_at(kGroupLine, kLinkCol, 11));
    return s.substr(s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
  }
  // Array row r (1..11): the schedule, then the tax code.
  std::string sched(e2e::Terminal& t, int r) { return rtrim(t.text_at(kFirstRow + r - 1, kSchedCol, 5)); }
  std::string code(e2e::Terminal& t, int r) { return rtrim(t.text_at(kFirstRow + r - 1, kCodeCol, 5)); }
  // The array rows on screen as "sched/code", up to the first empty row.
  std::vector<std::string> shown_rows(e2e::Terminal& t) {
    std::vector<std::string> out;
    for (int r = 1; r <= 11 && !code(t, r).empty(); ++r) out.push_back(sched(t, r) + "/" + code(t, r));
    return out;
  }

  // The links of a group row as "sched/code", sorted.
  std::vector<std::string> links_of(long tu_link) {
    auto got = rows("select tul_sched, tt_code from tx_use_link, tx_table where tul_trn = tt_trn and tul_link = ?", 2,
                    {Value::of_int(tu_link)});
    for (auto& s : got) std::replace(s.begin(), s.end(), '|', '/');
    std::sort(got.begin(), got.end());
    return got;
  }
  std::vector<std::string> groups() {
    return rows("select tu_use_g, tu_prodtcl, tu_description from tx_use_g order by 1, 2", 3);
  }

  long trn_st_ = 0, trn_ci_ = 0, trn_co_ = 0, trn_fe_ = 0, retail_tx1_ = 0;
};

TEST_P(Tugedit, BrowsingShowsTheClassAndTheLinksOfEachRow) {
  auto& t = run();
  EXPECT_EQ(t.text_at(1, 27, 25), "Tax Use Group Maintenance");
  EXPECT_TRUE(t.cell(1, 1).reverse && t.cell(1, 80).reverse);
  std::string menu = t.row(2);
  EXPECT_EQ(menu.rfind("Code", 0), 0u) << menu;
  EXPECT_TRUE(menu_shows(menu, "Find") && menu_shows(menu, "Add") && menu_shows(menu, "Exit")) << menu;
  for (const char* hidden : {"Next", "Previous", "Change", "Delete"}) EXPECT_FALSE(menu_shows(menu, hidden)) << menu;
  EXPECT_EQ(t.row(3), "Find a record");
  EXPECT_EQ(t.text_at(kGroupLine, 2, 13), "Tax Use Group");
  EXPECT_EQ(t.text_at(kGroupLine, 58, 4), "Link");
  EXPECT_EQ(t.row(9), "  Sched  Code  Lvl Where      Rate     Date    Chg  Description           Trn");
  std::printf("[ figure ] first screen after %.1f ms\n", t.ms_since(t.spawned()));

  find(t);
  EXPECT_EQ(group(t), "RETAIL");
  EXPECT_EQ(cls(t), "TX1");
  EXPECT_EQ(class_desc(t), "Taxable goods");
  EXPECT_EQ(desc(t), "Retail sales");
  EXPECT_EQ(link(t), std::to_string(retail_tx1_));
  std::vector<std::string> shown = shown_rows(t);
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (std::vector<std::string>{"S1/ST", "S3/CI"}));
  EXPECT_EQ(t.reverse_text(2), "Next");
  EXPECT_TRUE(menu_shows(t.row(2), "Previous") && menu_shows(t.row(2), "Delete"));

  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "TX2"));
  EXPECT_EQ(class_desc(t), "Food");
  EXPECT_TRUE(shown_rows(t).empty()) << "a row without links shows an empty array";
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "WHOLE"));
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No more rows in that direction"));
  EXPECT_EQ(group(t), "WHOLE");
  EXPECT_EQ(class_desc(t), "Taxable goods");

  // Interrupted criteria leave the query and its position.
  t.key("f");
  ASSERT_TRUE(t.wait_for("Ctrl-W: Help"));
  t.type("ZZZ");
  t.key("ctrl-c");
  t.wait_settled();
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "TX2"));
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "TX1"));
  EXPECT_EQ(shown_rows(t).size(), 2u);
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No more rows in that direction"));

  // A class that is no tax class shows no description; criteria on the link.
  exec("UPDATE tx_use_g SET tu_prodtcl = 'NT' WHERE tu_use_g = 'WHOLE'");
  t.key("f");
  ASSERT_TRUE(t.wait_for("Ctrl-W: Help"));
  t.key("tab");
  t.key("tab");
  t.key("tab");
  t.type(">" + std::to_string(retail_tx1_ + 1));
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "WHOLE"));
  EXPECT_EQ(class_desc(t), "");
  t.key("f");
  ASSERT_TRUE(t.wait_for("Ctrl-W: Help"));
  t.type("x' or '1'='1");
  t.key("esc");
  ASSERT_TRUE(t.wait_for("No rows found"));
  EXPECT_EQ(group(t), "");
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Tugedit, DeleteIsRefusedWhileAnyTableRefersToTheRow) {
  const long d1 = add_group("D1", "TX1", "with a link");
  const long d2 = add_group("D2", "TX1", "invoice history");
  add_group("D3", "TX1", "free");
  const long d4 = add_group("D4", "TX1", "current invoices");
  const long d5 = add_group("D5", "TX1", "bills of lading");
  const long d6 = add_group("D6", "TX1", "shift sales");
  add_link(d1, trn_st_, "S1");
  exec("INSERT INTO sih_inv_tax VALUES (1, 1, ?, ?, 10, 1)", {Value::of_int(d2), Value::of_int(trn_st_)});
  exec("INSERT INTO si_inv_tax VALUES (1, 1, ?, ?, 10, 1)", {Value::of_int(d4), Value::of_int(trn_st_)});
  exec("INSERT INTO fm_lad_tax VALUES (1, 1, ?, ?, 1)", {Value::of_int(d5), Value::of_int(trn_st_)});
  exec("INSERT INTO rs_taxes VALUES (1, ?, ?, 10, 1)", {Value::of_int(d6), Value::of_int(trn_st_)});
  const long before = count("tx_use_g");

  auto& t = run();
  t.key("d");
  t.wait_settled();
  EXPECT_FALSE(t.contains("Are you sure")) << "Delete is not offered before a Find";
  find(t, "D*");
  auto refused = [&](const char* g) {
    ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, g));
    t.key("d");
    ASSERT_TRUE(t.wait_for("Are you sure you want to delete this?"));
    t.key("y");
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Can not delete this record, it is referenced elsewhere")) << g;
    EXPECT_EQ(group(t), g) << "the screen is unchanged";
    EXPECT_EQ(count("tx_use_g"), before);
  };
  refused("D1");
  t.key("n");
  refused("D2");
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "D3"));
  t.key("d");
  ASSERT_TRUE(t.wait_for("Are you sure you want to delete this?"));
  EXPECT_EQ(t.reverse_text(2), "No");
  t.key("enter");
  t.wait_settled();
  EXPECT_EQ(count("tx_use_g"), before);
  t.key("d");
  ASSERT_TRUE(t.wait_for("Are you sure"));
  t.key("y");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "        "));
  EXPECT_EQ(count("tx_use_g", "tu_use_g = 'D3'"), 0);
  std::string menu = t.row(2);
  EXPECT_FALSE(menu_shows(menu, "Previous") || menu_shows(menu, "Change")) << menu;
  EXPECT_TRUE(menu_shows(menu, "Next") && menu_shows(menu, "Delete")) << menu;
  t.key("n");
  refused("D4");
  t.key("n");
  refused("D5");
  t.key("n");
  refused("D6");
  EXPECT_EQ(count("tx_use_g"), before - 1);
}

TEST_P(Tugedit, AddRefusesAnUnknownClassAndAnExistingPair) {
  auto& t = run();
  find(t);
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "RETAIL"));
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel"));
  EXPECT_EQ(t.row(3), "") << "the menu's help line is cleared";
  EXPECT_EQ(group(t), "") << "Add starts from a blank form";
  EXPECT_EQ(rtrim(t.row(kCommentLine)), "Enter a tax use group");
  const std::string row4 = t.row(4);
  t.type("retail");
  t.key("f5");  // no lookup in the group field
  t.key("ctrl-f");
  t.wait_settled();
  EXPECT_EQ(t.row(4), row4);
  EXPECT_EQ(t.cursor().first, kGroupLine);
  EXPECT_EQ(group(t), "RETAIL") << "typed in lower case, shown in upper case";
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));

  // An unknown class cannot be left either way, nor can an empty one.
  t.type("zz");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Invalid value"));
  EXPECT_EQ(t.cursor(), std::make_pair(kClassLine, kFieldCol));
  t.key("up");
  t.wait_settled();
  EXPECT_EQ(t.row(kErrorLine), "Invalid value");
  EXPECT_EQ(t.cursor().first, kClassLine);
  t.type("nt");  // a class of another type
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Invalid value"));
  EXPECT_EQ(t.cursor().first, kClassLine);
  t.key("ctrl-d");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Invalid value"));
  EXPECT_EQ(t.cursor().first, kClassLine);

  // A cancelled lookup empties the class.
  t.type("tx2");
  t.key("f5");
  ASSERT_TRUE(t.wait_for("Text Search :"));
  t.wait_settled();
  t.key("ctrl-c");
  t.wait_settled();
  EXPECT_EQ(cls(t), "");
  EXPECT_EQ(t.cursor().first, kClassLine);
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Invalid value"));

  // A pair that exists sends the cursor to the group code, at leaving the
  // class and again at accept after the code is changed.
  t.type("tx1");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "This code is already in the system and can not be re-entered"));
  EXPECT_EQ(t.cursor(), std::make_pair(kGroupLine, kFieldCol));
  EXPECT_EQ(class_desc(t), "Taxable goods");
  t.type("WHOLE");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "This code is already in the system and can not be re-entered"));
  EXPECT_EQ(t.cursor().first, kGroupLine);
  t.type("NEWGRP");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "You must enter a value"));
  EXPECT_EQ(t.cursor().first, kDescLine) << "the description is the first value missing";

  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "RETAIL"));
  EXPECT_EQ(cls(t), "TX1") << "a cancelled Add shows the query's row again";
  EXPECT_EQ(shown_rows(t).size(), 2u);
  EXPECT_TRUE(menu_shows(t.row(2), "Next")) << "with a query active the options stay";
  EXPECT_EQ(groups().size(), 3u);
}

TEST_P(Tugedit, AddStoresTheGroupWithItsSchedulesAndShowsTheNewSerial) {
  const long last = add_group("ZLAST", "TX1", "the highest serial so far");
  auto& t = run();
  find(t);
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "RETAIL"));
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel"));
  t.type("retail");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("Ctrl-F: Find"));
  // The lookup: one class matches, so it comes back without a list.
  t.key("f5");
  ASSERT_TRUE(t.wait_for("Text Search :"));
  t.wait_settled();
  t.type("ex");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "EXM"));
  EXPECT_EQ(t.cursor().first, kClassLine);
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kDescLine, kFieldCol, "Retail food")) << "the smallest description of the group";
  EXPECT_EQ(class_desc(t), "Exempt goods");

  // Back to the class and out again: what was typed gives way to the default.
  t.type("Typed over");
  t.key("up");
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kClassLine);
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kDescLine, kFieldCol, "Retail food  "));
  const std::string forty = "Forty characters of description, exactly";
  ASSERT_EQ(forty.size(), 40u);
  t.key("ctrl-d");
  t.type(forty);
  const int bells = t.bells();
  t.type("!");
  t.wait_settled();
  EXPECT_EQ(desc(t), forty);
  EXPECT_GT(t.bells(), bells) << "the 41st character is refused";

  t.key("esc");
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  EXPECT_EQ(shown_rows(t), (std::vector<std::string>{"/FE", "/ST", "/CO", "/CI"})) << "every tax table, none linked";
  EXPECT_EQ(t.row(kFirstRow + 4), "") << "no row past the tax tables";
  t.type("a1");
  t.key("down");
  t.type("   ");  // blanks only: not a schedule
  t.key("down");
  t.type(" b2");  // leading blanks are kept
  t.key("down");
  t.key("down");
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kFirstRow + 3) << "no row can be added past the list";
  t.key("f1");
  t.wait_settled();
  EXPECT_EQ(t.row(kFirstRow + 4), "") << "no row can be inserted";
  t.key("esc");
  ASSERT_TRUE(t.wait_until([&] { return !link(t).empty(); }));
  t.wait_settled();

  auto stored = rows("select tu_use_g, tu_prodtcl, tu_description, tu_link from tx_use_g where tu_prodtcl = 'EXM'", 4);
  ASSERT_EQ(stored.size(), 1u);
  const long added = std::stol(stored[0].substr(stored[0].rfind('|') + 1));
  EXPECT_EQ(stored[0], "RETAIL|EXM|" + forty + "|" + std::to_string(added));
  EXPECT_GT(added, last);
  EXPECT_EQ(link(t), std::to_string(added)) << "the Link field shows the serial the row was given";
  EXPECT_EQ(links_of(added), (std::vector<std::string>{" B2/CO", "A1/FE"}));
  std::vector<std::string> shown = shown_rows(t);
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (std::vector<std::string>{" B2/CO", "A1/FE"})) << "the stored links are shown";
  std::string menu = t.row(2);
  for (const char* hidden : {"Next", "Previous", "Change", "Delete"}) EXPECT_FALSE(menu_shows(menu, hidden)) << menu;

  // A group row with every schedule blank is stored alone.
  add_header(t, "solo", "tx2");
  EXPECT_EQ(desc(t), "");
  t.type("Alone");
  t.key("esc");
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  t.key("esc");
  ASSERT_TRUE(t.wait_until([&] { return !link(t).empty(); }));
  const long solo = std::stol(link(t));
  EXPECT_EQ(solo, added + 1);
  EXPECT_EQ(rows("select tu_use_g, tu_description from tx_use_g where tu_link = ?", 2, {Value::of_int(solo)}),
            std::vector<std::string>{"SOLO|Alone"});
  EXPECT_TRUE(links_of(solo).empty());
}

TEST_P(Tugedit, ChangeListsEveryTaxTableInOrderWithTheStoredSchedules) {
  auto& t = run();
  find(t, "RETAIL", "TX1");
  ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "TX1"));
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel"));
  EXPECT_EQ(t.cursor(), std::make_pair(kDescLine, kFieldCol)) << "a change starts in the description";
  t.key("up");  // moves on, never back to the class
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  EXPECT_EQ(shown_rows(t), (std::vector<std::string>{"/FE", "S1/ST", "/CO", "S3/CI"}));
  t.key("down");
  t.key("ctrl-d");  // unlinks ST
  t.key("down");
  t.type("s2");
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(links_of(retail_tx1_), (std::vector<std::string>{"S2/CO", "S3/CI"}));
  EXPECT_EQ(shown_rows(t).size(), 2u);
  EXPECT_FALSE(menu_shows(t.row(2), "Previous")) << "a change hides Previous";
  EXPECT_TRUE(menu_shows(t.row(2), "Change"));

  // Cancelled in the array: nothing stored, the form blank.
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("ctrl-d");
  t.type("Changed");
  t.key("esc");
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  t.type("zz");
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(kGroupLine, kFieldCol, "        "));
  EXPECT_TRUE(shown_rows(t).empty());
  EXPECT_EQ(groups().at(0), "RETAIL|TX1|Retail sales");
  EXPECT_EQ(links_of(retail_tx1_), (std::vector<std::string>{"S2/CO", "S3/CI"}));

  // The next Change starts from what was typed; accepted unchanged, it
  // writes the same links again.
  t.key("c");
  ASSERT_TRUE(t.wait_for_at(kDescLine, kFieldCol, "Changed"));
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(groups().at(0), "RETAIL|TX1|Changed");
  EXPECT_EQ(links_of(retail_tx1_), (std::vector<std::string>{"S2/CO", "S3/CI"}));

  // Blanking every schedule removes every link; then the row may go.
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("enter");
  ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
  t.key("down");
  t.key("down");
  t.key("ctrl-d");
  t.key("down");
  t.key("f2");  // the delete-row key unlinks as well
  t.key("esc");
  t.wait_settled();
  EXPECT_TRUE(links_of(retail_tx1_).empty());
  t.key("d");
  ASSERT_TRUE(t.wait_for("Are you sure"));
  t.key("y");
  t.wait_settled();
  EXPECT_EQ(count("tx_use_g", "tu_link = " + std::to_string(retail_tx1_)), 0);
}

TEST_P(Tugedit, ASaveStoppedPartWayLeavesThePreviousState) {
  // A Change whose link delete fails under the default rule: the program
  // stops with the runtime's report after the row was already updated.
  {
    auto& t = run();
    find(t, "RETAIL", "TX1");
    ASSERT_TRUE(t.wait_for_at(kClassLine, kFieldCol, "TX1"));
    t.key("c");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    t.key("ctrl-d");
    t.type("Half saved");
    t.key("enter");
    ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
    t.type("N1");
    exec("ALTER TABLE tx_use_link RENAME TO tx_use_link_gone");
    t.key("esc");
    auto st = t.wait_exit();
    ASSERT_TRUE(st);
    EXPECT_EQ(*st, e2e::ExitStatus::exited_with(1));
    EXPECT_TRUE(t.contains("Program stopped at")) << t.screen_text();
    exec("ALTER TABLE tx_use_link_gone RENAME TO tx_use_link");
    EXPECT_EQ(groups().at(0), "RETAIL|TX1|Retail sales") << "the update is rolled back";
    EXPECT_EQ(links_of(retail_tx1_), (std::vector<std::string>{"S1/ST", "S3/CI"}));
  }
  // An Add hung up while it pauses after a link that could not be stored:
  // the group row inserted before it is not kept either.
  {
    auto& t = run();
    add_header(t, "HALF", "TX1");
    t.type("Half added");
    t.key("esc");
    ASSERT_TRUE(t.wait_cursor(kFirstRow, kSchedCol));
    t.type("A1");
    t.key("down");
    t.type("A2");
    exec("ALTER TABLE tx_use_link RENAME TO tx_use_link_gone");
    t.key("esc");
    ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Could not insert new record ..."));
    t.signal(SIGHUP);
    auto st = t.wait_exit();
    ASSERT_TRUE(st);
    EXPECT_TRUE(st->exited() && st->code != 0) << *st;
    exec("ALTER TABLE tx_use_link_gone RENAME TO tx_use_link");
    EXPECT_EQ(count("tx_use_g", "tu_use_g = 'HALF'"), 0);
    EXPECT_EQ(groups().size(), 3u);
  }
}

TEST_P(Tugedit, TwoOperatorsAddingTheSamePairStoreOneRow) {
  auto& a = run();
  auto b_term = run_another();
  auto& b = *b_term;
  for (e2e::Terminal* t : {&a, b_term.get()}) {
    add_header(*t, "TWIN", "TX1");
    t->type(t == &a ? "First" : "Second");
    t->key("esc");
    ASSERT_TRUE(t->wait_cursor(kFirstRow, kSchedCol));
    t->type(t == &a ? "A" : "B");
  }
  a.key("esc");
  ASSERT_TRUE(a.wait_until([&] { return !link(a).empty(); }));
  b.key("esc");
  ASSERT_TRUE(b.wait_for_at(kErrorLine, 1, "Could not insert new record ..."));
  b.wait_settled();
  EXPECT_EQ(link(b), "") << "no serial is shown for a row that was not stored";
  EXPECT_TRUE(shown_rows(b).empty());
  auto twins = rows("select tu_description, tu_link from tx_use_g where tu_use_g = 'TWIN'", 2);
  ASSERT_EQ(twins.size(), 1u);
  EXPECT_EQ(twins[0], "First|" + link(a));
  EXPECT_EQ(count("tx_use_link"), 3) << "the two seeded links and the first operator's one";
  EXPECT_EQ(links_of(std::stol(link(a))), std::vector<std::string>{"A/FE"});
  // The second operator's program goes on.
  b.key("f");
  ASSERT_TRUE(b.wait_for("Ctrl-W: Help"));
  b.type("TWIN");
  b.key("esc");
  ASSERT_TRUE(b.wait_for_at(kDescLine, kFieldCol, "First"));
}

TEST_P(Tugedit, ListsLongerThanTheArrayAreCutAndNothingUnseenIsLost) {
  // 205 tax tables: the four above, then T001..T201 after them in the list.
  // The group BIG is linked to all of T001..T201.
  std::vector<long> trns;
  rt::sql::begin_work();
  for (int i = 1; i <= 201; ++i) {
    char c[6];
    std::snprintf(c, sizeof c, "T%03d", i);
    trns.push_back(add_tax(c, "5", "W", "0.001", "Generated"));
  }
  const long big = add_group("BIG", "TX1", "Many links");
  for (long trn : trns) add_link(big, trn, "X");
  rt::sql::commit_work();

  auto& t = run();
  auto m = t.mark();
  find(t, "BIG");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "This group has more than 200 tax links: only the first 200 are shown"));
  std::printf("[ figure ] Find showing a row with 201 links: %.1f ms (sanitized build)\n", t.ms_since(m));
  EXPECT_EQ(shown_rows(t).size(), 11u) << "only the first 11 rows while browsing";
  EXPECT_EQ(t.row(kFirstRow + 11), "");

  m = t.mark();
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "There are more than 200 tax tables: only the first 200 are listed"));
  std::printf("[ figure ] Change reaching the list of 205 tax tables: %.1f ms (sanitized build)\n", t.ms_since(m));
  EXPECT_EQ(shown_rows(t).at(4), "X/T001");
  t.type("N1");  // links FE
  t.key("esc");
  t.wait_settled();
  // T197..T201 were not listed: their links stay as they were.
  EXPECT_EQ(count("tx_use_link", "tul_link = " + std::to_string(big)), 202);
  EXPECT_EQ(count("tx_use_link", "tul_link = " + std::to_string(big) + " and tul_trn = " + std::to_string(trns.back())),
            1);
  EXPECT_EQ(count("tx_use_link", "tul_link = " + std::to_string(big) + " and tul_sched = 'N1'"), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, Tugedit, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
