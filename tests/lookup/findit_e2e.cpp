// The search list window and the code zoom end to end, on both back ends:
// findit_probe calls them with the arguments of each test and shows what
// they return (see findit_probe.cpp), in a real pseudo-terminal.
#include <string>
#include <vector>

#include "program_fixture.h"

using lunadesk::testing::ProgramTest;
using rt::Value;

namespace {

// Where the window lies: w_findit at line 4, column 4 inside its border,
// so form line l, column c is screen line 4 + l, column 4 + c.
constexpr int kTitleLine = 4, kSearchLine = 5, kSearchCol = 21;
constexpr int kFirstRow = 8, kCodeCol = 7, kTextCol = 21;
constexpr int kErrorLine = 24;

// The probe's report lines.
constexpr int kResultLine = 20, kStateLine = 21, kLastLine = 22;

const char* const kItems = "select lk_code, lk_text from lk_item where lk_text matches ? order by lk_code";

class Findit : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    exec("CREATE TABLE lk_item (lk_n INTEGER, lk_code CHAR(10), lk_text CHAR(60))");
  }

  void item(int n, const std::string& code, const std::string& text) {
    exec("INSERT INTO lk_item VALUES (?, ?, ?)",
         {Value::of_int(n), Value::of_char(code, 10), Value::of_char(text, 60)});
  }

  // Starts the probe with its calls and waits for its first screen.
  e2e::Terminal& run(const std::vector<std::string>& calls) {
    e2e::Options opt;
    opt.argv = {std::string(LUNADESK_BIN_DIR) + "/findit_probe"};
    opt.argv.insert(opt.argv.end(), calls.begin(), calls.end());
    opt.env = db_env();
    opt.cwd = db_->dir();
    term_ = std::make_unique<e2e::Terminal>(opt);
    EXPECT_TRUE(term_->wait_for("Lookup probe")) << "the probe did not start";
    return *term_;
  }

  // Waits for the search text input of the window.
  static bool at_search(e2e::Terminal& t) {
    auto ready = [&] {
      return t.text_at(kSearchLine, 7, 12) == "Text Search:" && t.cursor() == std::pair{kSearchLine, kSearchCol};
    };
    if (!t.wait_until(ready)) return false;
    t.wait_settled(30);
    return ready();
  }

  // The result of call k, as the probe shows it, once it is there.
  static std::string result(e2e::Terminal& t, int k, int timeout_ms = e2e::Terminal::kTimeoutMs) {
    std::string head = "call " + std::to_string(k) + ": ";
    if (!t.wait_for_at(kResultLine, 1, head, timeout_ms)) return "(no result)";
    t.wait_settled(30);
    return t.row(kResultLine).substr(head.size());
  }

  // The code column of the seven list rows, blank-trimmed.
  static std::vector<std::string> codes(e2e::Terminal& t) {
    std::vector<std::string> out;
    for (int line = kFirstRow; line < kFirstRow + 7; ++line) {
      std::string c = t.text_at(line, kCodeCol, 12);
      out.push_back(c.substr(0, c.find_last_not_of(' ') + 1));
    }
    return out;
  }
  static std::string text_of(e2e::Terminal& t, int row) {
    std::string s = t.text_at(kFirstRow + row - 1, kTextCol, 40);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  // The list is up when its current row shows in reverse video and the
  // program has drawn the rest.
  static bool list_shows(e2e::Terminal& t, const std::string& current) {
    auto shows = [&] {
      for (int line = kFirstRow; line < kFirstRow + 7; ++line)
        if (t.cell(line, kCodeCol).reverse) return t.reverse_text(line).starts_with(current);
      return false;
    };
    if (!t.wait_until(shows)) return false;
    t.wait_settled(30);
    return shows();
  }
};

TEST_P(Findit, SearchTextIsACaseBlindPrefixBoundAsAParameter) {
  item(1, "A01", "Abbot and Sons");
  item(2, "A02", "abacus supplies");
  item(3, "A03", "ABC Hardware");
  item(4, "C01", "Cable works");
  item(5, "Q01", "O'Brien Tools");
  item(6, "B01", "[Bracket] Parts");
  item(7, "P01", "%");
  item(8, "X01", std::string(45, 'X'));
  item(9, "Z01", "Zebra Crossing");
  // The statement as a program writes it, with a line-break marker.
  const std::string marked = "findit:select lk_code, lk_text from lk_item \\n where lk_text matches ? order by 1";
  const std::string sql = std::string("findit:") + kItems;
  auto& t = run({marked, sql, sql, sql, sql, sql, sql, sql, sql});

  // 1: the window, and a prefix typed in lower case.
  ASSERT_TRUE(at_search(t));
  EXPECT_EQ(t.text_at(kTitleLine, 31, 4), "Find");
  EXPECT_TRUE(t.cell(kTitleLine, 4).reverse && t.cell(kTitleLine, 61).reverse) << "the title bar spans the window";
  EXPECT_FALSE(t.cell(kTitleLine, 63).reverse) << "and ends at its edge";
  EXPECT_EQ(t.text_at(7, 7, 4), "Code");
  EXPECT_EQ(t.text_at(7, 21, 4), "Text");
  EXPECT_NE(t.text_at(3, 3, 1), " ") << "bordered";
  t.type("ab");
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "A01"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"A01", "A02", "A03", "", "", "", ""}));
  EXPECT_EQ(text_of(t, 2), "abacus supplies");
  t.key("down");
  ASSERT_TRUE(list_shows(t, "A02"));
  t.key("enter");
  EXPECT_EQ(result(t, 1), "[A02]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 2  count 3  wrap off");

  // 2: the same prefix in capitals gives the same list; Esc chooses.
  ASSERT_TRUE(at_search(t));
  t.type("AB");
  t.key("esc");
  ASSERT_TRUE(list_shows(t, "A01"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"A01", "A02", "A03", "", "", "", ""}));
  t.key("esc");
  EXPECT_EQ(result(t, 2), "[A01]");

  // 3-7: one match comes back at once, without a list to choose from;
  // quotes and brackets are text, "(" searches with "%", and typing stops
  // at the field's 40 characters.
  ASSERT_TRUE(at_search(t));
  t.type("zeb");
  t.key("enter");
  EXPECT_EQ(result(t, 3), "[Z01]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 1  count 3  wrap off");
  ASSERT_TRUE(at_search(t));
  t.type("o'b");
  t.key("enter");
  EXPECT_EQ(result(t, 4), "[Q01]");
  ASSERT_TRUE(at_search(t));
  t.type("[b");
  t.key("enter");
  EXPECT_EQ(result(t, 5), "[B01]");
  ASSERT_TRUE(at_search(t));
  t.type("a(b");
  t.key("enter");
  EXPECT_EQ(result(t, 6), "[P01]");
  ASSERT_TRUE(at_search(t));
  int bells = t.bells();
  t.type(std::string(60, 'x'));
  t.key("enter");
  EXPECT_EQ(result(t, 7), "[X01]");
  EXPECT_GT(t.bells(), bells) << "the characters past the field's width are refused";

  // 8: no match says so and asks again.
  ASSERT_TRUE(at_search(t));
  t.type("nothing");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No rows found"));
  ASSERT_TRUE(at_search(t));
  EXPECT_EQ(t.text_at(kSearchLine, kSearchCol, 7), "       ") << "the search text starts empty";
  t.type("cab");
  t.key("enter");
  EXPECT_EQ(result(t, 8), "[C01]");

  // 9: a blank search lists every row; Ctrl-C in the list goes back to the
  // search text, Ctrl-C there returns NULL with the flag reset.
  ASSERT_TRUE(at_search(t));
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "A01"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"A01", "A02", "A03", "B01", "C01", "P01", "Q01"}));
  t.key("ctrl-c");
  ASSERT_TRUE(at_search(t));
  t.key("ctrl-c");
  EXPECT_EQ(result(t, 9), "NULL");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 9  count 9  wrap off");
  ASSERT_TRUE(t.wait_for("done"));
  EXPECT_FALSE(t.contains("Text Search")) << "the window is closed";
  t.key("q");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Findit, KeepsTheFirst200RowsInTheStatementsOrder) {
  rt::sql::begin_work();
  for (int n = 1; n <= 201; ++n) {
    char code[8];
    std::snprintf(code, sizeof code, "R%03d", n);
    item(n, code, "Row " + std::string(code + 1));
  }
  rt::sql::commit_work();
  const std::string head = "findit:select lk_code, lk_text from lk_item where lk_text matches ? ";
  auto& t = run({head + "and lk_n <= 199 order by 1", head + "and lk_n <= 200 order by 1", head + "order by 1 desc"});

  ASSERT_TRUE(at_search(t));
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "R001"));
  EXPECT_EQ(t.row(kErrorLine), "") << "199 rows fit";
  t.key("esc");
  EXPECT_EQ(result(t, 1), "[R001]");
  EXPECT_EQ(t.row(kLastLine), "last [R199]");

  ASSERT_TRUE(at_search(t));
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Too many values - only first 200 are displayed"));
  ASSERT_TRUE(list_shows(t, "R001"));
  t.key("esc");
  EXPECT_EQ(result(t, 2), "[R001]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 1  count 200  wrap off");
  EXPECT_EQ(t.row(kLastLine), "last [R200]");

  ASSERT_TRUE(at_search(t));
  t.type("row");
  t.key("enter");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "Too many values - only first 200 are displayed"));
  ASSERT_TRUE(list_shows(t, "R201"));
  t.key("pgdn");
  ASSERT_TRUE(list_shows(t, "R194"));
  EXPECT_EQ(codes(t).front(), "R194");
  t.key("enter");
  EXPECT_EQ(result(t, 3), "[R194]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 8  count 200  wrap off");
  EXPECT_EQ(t.row(kLastLine), "last [R002]") << "the 200 rows first in the statement's order";
  t.key("q");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Findit, CallersListsAndTheCodeZoom) {
  exec("INSERT INTO ar_fnc_table VALUES (?, ?, ?, ?, ?)",
       {Value::of_char("ST", 4), Value::of_char("Standard 1.5%", 30), Value(rt::decimal_t(7, 4)),
        Value(rt::decimal_t(12, 2)), Value(rt::smallint_t())});
  exec("INSERT INTO ar_fnc_table VALUES (?, ?, ?, ?, ?)",
       {Value::of_char("NONE", 4), Value::of_char("No finance charge", 30), Value(rt::decimal_t(7, 4)),
        Value(rt::decimal_t(12, 2)), Value(rt::smallint_t())});
  auto& t = run({"list:K1=Only row", "list:A=One|B=Two|C=Three|D=Four|E=Five", "zoom:glm_group=XX", "zoom:cust_status",
                 "zoom:cust_ach_flag=P", "zoom:cust_fnc_code=ZZ", "zoom:cust_name=abc", "zoom:CUST_STATUS=q", "key",
                 "findit:-", "key", "list:"});

  // 1: a list of one row returns it at once; without a search the input
  // wrap option is left as the program set it.
  EXPECT_EQ(result(t, 1), "[K1]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 1  count 0  wrap on");

  // 2: five rows are shown with no search field to type into; Ctrl-C
  // shows the same list again.
  ASSERT_TRUE(list_shows(t, "A"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"A", "B", "C", "D", "E", "", ""}));
  EXPECT_EQ(text_of(t, 5), "Five");
  t.key("down");
  ASSERT_TRUE(list_shows(t, "B"));
  t.key("ctrl-c");
  ASSERT_TRUE(list_shows(t, "A"));
  for (int i = 0; i < 3; ++i) t.key("down");
  ASSERT_TRUE(list_shows(t, "D"));
  t.key("enter");
  EXPECT_EQ(result(t, 2), "[D]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 4  count 5  wrap on");

  // 3: the 16 account groups, seven at a time.
  ASSERT_TRUE(list_shows(t, "AS"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"AS", "CA", "FA", "LA", "LI", "CL", "LL"}));
  EXPECT_EQ(text_of(t, 7), "Long Term Liabilities");
  t.key("pgdn");
  ASSERT_TRUE(list_shows(t, "EQ"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"EQ", "CS", "PC", "RE", "PR", "PE", "EX"}));
  EXPECT_EQ(text_of(t, 1), "Stockholders Equity");
  t.key("pgdn");
  ASSERT_TRUE(list_shows(t, "OI"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"OI", "OE", "", "", "", "", ""}));
  t.key("down");
  ASSERT_TRUE(list_shows(t, "OE"));
  EXPECT_EQ(text_of(t, 2), "Other Expenses");
  t.key("down");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "There are no more rows in the direction you are going."));
  t.key("enter");
  EXPECT_EQ(result(t, 3), "[OE]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 16  count 16  wrap on");

  // 4: the fourth status.
  ASSERT_TRUE(list_shows(t, "OI"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"OI", "OH", "BF", "BH", "CL", "", ""}));
  EXPECT_EQ(text_of(t, 2), "Open Item - Account on Hold");
  for (int i = 0; i < 3; ++i) t.key("down");
  ASSERT_TRUE(list_shows(t, "BH"));
  t.key("enter");
  EXPECT_EQ(result(t, 4), "[BH]");

  // 5: four ways to send, "N" last.
  ASSERT_TRUE(list_shows(t, "P"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"P", "F", "M", "N", "", "", ""}));
  EXPECT_EQ(text_of(t, 4), "None");
  t.key("esc");
  EXPECT_EQ(result(t, 5), "[P]");

  // 6: the finance-charge codes are searched by prefix, in any case.
  ASSERT_TRUE(at_search(t));
  t.type("n");
  t.key("enter");
  EXPECT_EQ(result(t, 6), "[NONE]");
  EXPECT_EQ(t.row(kStateLine), "int_flag 0  mv_cnt 1  count 4  wrap off");

  // 7, 8: a column without a list, and names compared with their case:
  // the message stands 4 seconds and the value comes back.
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No search for : cust_name defined"));
  e2e::Mark shown = t.mark();
  EXPECT_EQ(result(t, 7, 8000), "[abc]");
  // The pause is part of the behaviour; only its lower end is checked.
  EXPECT_GE(t.ms_since(shown), 3500.0);
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No search for : CUST_STATUS defined"));
  EXPECT_EQ(result(t, 8, 8000), "[q]");

  // 10: the shared list outlives the calls: the finance-charge search left
  // its one row there. (Calls 9 and 11 wait for a key, so that each result
  // stands until it is read.)
  t.key("x");
  EXPECT_EQ(result(t, 10), "[NONE]");
  // 12: a caller's list without a row has nothing to choose from.
  t.key("y");
  EXPECT_EQ(result(t, 12), "NULL");
  EXPECT_EQ(t.row(kErrorLine), "No rows found");
  t.key("q");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Findit, NamedSearchesBuildTheirListTexts) {
  auto ch = [](const char* s, int n) { return s ? Value::of_char(s, n) : Value(rt::char_t(n)); };
  for (auto [alt, name, first, company, addr, key] :
       {std::tuple{501, "Smith", "John", (const char*)nullptr, "12 Elm St", "SMITH JOHN 12 ELM ST"},
        std::tuple{502, "Jones", "Mary", "Jones Supply", "4 Oak Ave", "JONES SUPPLY 4 OAK AVE"},
        std::tuple{503, "Smythe", (const char*)nullptr, (const char*)nullptr, "9 Pine Rd", "SMYTHE 9 PINE RD"}}) {
    exec("INSERT INTO p_altname VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
         {Value::of_int(alt), ch(name, 30), ch(first, 30), ch(company, 30), ch(addr, 30), ch("Springfield", 30),
          ch("IL", 5), ch("62701", 5), ch(nullptr, 14), ch(key, 180)});
  }
  for (auto [code, desc, uom] : {std::tuple{"NUT-10", "Nut 10mm", "EA"}, std::tuple{"BOLT-12", "Bolt 12mm", "BOX"},
                                 std::tuple{"BOLT-10", "Bolt 10mm", "EA"}}) {
    exec("INSERT INTO inv_header VALUES (?, ?, ?, ?, ?, ?)",
         {ch(code, 16), ch(desc, 40), ch(uom, 5), ch("HW", 5), ch("T1", 5), Value(rt::decimal_t(12, 4))});
  }
  for (auto [cust, name, first, company, addr, key] :
       {std::tuple{1002, "Doe", "Jane", (const char*)nullptr, "5 Hill Rd", "DOE JANE 5 HILL RD"},
        std::tuple{1001, "Roe", "Rick", "Acme Corp", "1 Main St", "ACME CORP 1 MAIN ST"}}) {
    rt::sql::Params row = {Value::of_int(cust), Value::of_int(0), ch(key, 180)};
    for (int n : {4, 14, 1, 1, 10, 1, 24, 14}) row.push_back(ch(nullptr, n));
    for (const char* s : {name, first, company, "Attn", addr, "Springfield"}) row.push_back(ch(s, 30));
    for (int n : {5, 5, 1}) row.push_back(ch(nullptr, n));
    row.push_back(Value::of_date(*rt::Date::from_mdy(1, 2, 2026)));
    row.push_back(Value(rt::date_t()));
    exec("INSERT INTO ar_altname VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", row);
  }
  for (auto [no, last, first] :
       {std::tuple{"E003", "Young", "Cy"}, std::tuple{"E002", "Walker", "Bob"}, std::tuple{"E001", "Walker", "Ann"}}) {
    exec("INSERT INTO pymemp VALUES (?, ?, ?, ?, ?, ?)",
         {ch(no, 6), ch(last, 25), ch(first, 16), ch("OPS", 4), Value(rt::date_t()), ch("A", 1)});
  }
  auto& t = run({"findit:alt", "findit:product", "findit:cust", "findit:cust", "findit:empno"});

  ASSERT_TRUE(at_search(t));
  t.type("sm");
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "501"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"501", "503", "", "", "", "", ""}));
  EXPECT_EQ(text_of(t, 1), "Smith, John: 12 Elm St");
  EXPECT_EQ(text_of(t, 2), "Smythe: 9 Pine Rd");
  t.key("esc");
  EXPECT_EQ(result(t, 1), "[501]");

  ASSERT_TRUE(at_search(t));
  t.type("bolt");
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "BOLT-10"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"BOLT-10", "BOLT-12", "", "", "", "", ""}));
  EXPECT_EQ(text_of(t, 2), "Bolt 12mm: BOX");
  t.key("down");
  t.key("enter");
  EXPECT_EQ(result(t, 2), "[BOLT-12]");

  ASSERT_TRUE(at_search(t));
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "1001"));
  EXPECT_EQ(codes(t), (std::vector<std::string>{"1001", "1002", "", "", "", "", ""}));
  EXPECT_EQ(text_of(t, 1), "Acme Corp: 1 Main St");
  EXPECT_EQ(text_of(t, 2), "Doe, Jane: 5 Hill Rd");
  t.key("esc");
  EXPECT_EQ(result(t, 3), "[1001]");
  ASSERT_TRUE(at_search(t));
  t.type("doe j");
  t.key("enter");
  EXPECT_EQ(result(t, 4), "[1002]");

  ASSERT_TRUE(at_search(t));
  t.type("WAL");
  t.key("enter");
  ASSERT_TRUE(list_shows(t, "E001"));
  EXPECT_EQ(text_of(t, 1), "Walker Ann");
  EXPECT_EQ(text_of(t, 2), "Walker Bob");
  t.key("down");
  t.key("enter");
  EXPECT_EQ(result(t, 5), "[E002]");
  t.key("q");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Findit, AStatementTheDatabaseRejectsStopsTheProgram) {
  auto& t = run({"findit:select lk_code, lk_text from no_such_table where lk_text matches ?"});
  ASSERT_TRUE(at_search(t));
  t.key("enter");
  auto st = t.wait_exit();
  EXPECT_EQ(st, e2e::ExitStatus::exited_with(1));
  EXPECT_FALSE(t.alt_screen()) << "the terminal is restored";
  EXPECT_TRUE(t.contains("Program stopped at 'findit.cpp', line number")) << t.screen_text();
  EXPECT_TRUE(t.contains("SQL statement error number -206.")) << t.screen_text();
}

INSTANTIATE_TEST_SUITE_P(Backends, Findit, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
