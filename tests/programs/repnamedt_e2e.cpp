// The salesman program end to end, on both back ends: the menu and its
// visibility rules, query by example and browsing, Add and Change with
// their checks, Delete with its confirmation, the interrupt key at the
// menus.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "program_fixture.h"

using lunadesk::testing::Db;
using lunadesk::testing::menu_shows;
using lunadesk::testing::ProgramTest;
using rt::Value;

namespace {

// Screen lines of the form's fields (form line 3 on screen line 3) and
// their first column.
constexpr int kCodeLine = 6, kNameLine = 8, kLoginLine = 10, kFieldCol = 30;
constexpr int kErrorLine = 24;

class Repnamedt : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (auto [code, name, login] : {std::tuple{"A1", "Alice Anders", "alice"}, std::tuple{"B2", "Bob Brown", ""},
                                     std::tuple{"C3", "Carol Chen", "carol"}}) {
      Value l(rt::char_t(10));
      if (*login) l.set_text(login);
      exec("INSERT INTO iq_salesman_name VALUES (?, ?, ?)", {Value::of_char(code, 4), Value::of_char(name, 35), l});
    }
  }

  e2e::Terminal& run() { return start("repnamedt", "Salesman Name Maintenance"); }

  // Find with criteria typed into the code and name fields.
  void find(e2e::Terminal& t, const std::string& code = "", const std::string& name = "") {
    t.key("f");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    if (!code.empty()) t.type(code);
    if (!name.empty()) {
      t.key("tab");
      t.type(name);
    }
    t.key("esc");
    t.wait_settled();
  }

  std::string field(e2e::Terminal& t, int line, int width) { return t.text_at(line, kFieldCol, width); }
  // A save or a cancel has ended when the menu is back in place of the key
  // help.
  static bool saved(e2e::Terminal& t) { return t.wait_for_at(2, 1, "Salesman:") && t.wait_settled(); }
  // Starts a Change and types a new name over the old one.
  void change_name(e2e::Terminal& t, const std::string& name) {
    t.key("c");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    t.key("ctrl-d");
    t.type(name);
  }

  std::vector<std::string> table() {
    return rows("select iqsn_code, iqsn_name, iqsn_userlogin from iq_salesman_name order by 1", 3);
  }
};

TEST_P(Repnamedt, StartScreenOffersFindAddExit) {
  auto& t = start("repnamedt", "Find a record");
  EXPECT_EQ(t.text_at(1, 27, 25), "Salesman Name Maintenance");
  EXPECT_TRUE(t.cell(1, 1).reverse && t.cell(1, 80).reverse) << "the title bar spans the line";
  std::string menu = t.row(2);
  EXPECT_TRUE(menu_shows(menu, "Find") && menu_shows(menu, "Add") && menu_shows(menu, "Exit")) << menu;
  for (const char* hidden : {"Next", "Previous", "Change", "Delete"}) EXPECT_FALSE(menu_shows(menu, hidden)) << menu;
  EXPECT_EQ(t.row(3), "Find a record");
  EXPECT_EQ(t.reverse_text(2), "Find");
  EXPECT_EQ(t.text_at(kCodeLine, 14, 13), "Salesman Code");
  std::printf("[ figure ] first screen after %.1f ms\n", first_screen_ms_);
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Repnamedt, BrowsingStopsAtBothEnds) {
  auto& t = run();
  find(t);
  EXPECT_EQ(field(t, kCodeLine, 4), "A1  ");
  EXPECT_EQ(t.reverse_text(2), "Next");
  EXPECT_TRUE(menu_shows(t.row(2), "Previous"));
  t.key("n");
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "C3"));
  t.key("n");
  ASSERT_TRUE(t.wait_for("No more rows in that direction"));
  EXPECT_EQ(field(t, kNameLine, 10), "Carol Chen");
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2"));
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "A1"));
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "No more rows in that direction"));
  EXPECT_EQ(field(t, kCodeLine, 2), "A1");
}

TEST_P(Repnamedt, FindMatchingNothingSaysSoAndChangesNoOptions) {
  auto& t = run();
  find(t, "Z*");
  ASSERT_TRUE(t.wait_for("No rows found"));
  EXPECT_EQ(field(t, kCodeLine, 4), "    ");
  EXPECT_FALSE(menu_shows(t.row(2), "Next"));
  // A quote in the criteria is part of the value, never SQL.
  find(t, "", "x' or '1'='1");
  ASSERT_TRUE(t.wait_for("No rows found"));
  EXPECT_EQ(count("iq_salesman_name"), 3);
  find(t, "", "*Chen");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "C3"));
}

// A name that looks like a date is found as the text it is, under every
// date format; a pattern no character can match is refused in the field,
// and the program goes on, also on a server configured to read
// backslashes the old way.
TEST_P(Repnamedt, DateShapedNamesAndUnmatchablePatterns) {
  exec("INSERT INTO iq_salesman_name VALUES (?, ?, ?)",
       {Value::of_char("D4", 4), Value::of_char("01/02/2026", 35), Value(rt::char_t(10))});
  exec("INSERT INTO iq_salesman_name VALUES (?, ?, ?)",
       {Value::of_char("E5", 4), Value::of_char("2026-01-02", 35), Value(rt::char_t(10))});
  for (const char* dbdate : {"MDY4/", "DMY4/", "MDY2/", "Y4MD-"}) {
    SCOPED_TRACE(dbdate);
    std::map<std::string, std::string> env{{"DBDATE", dbdate}};
    if (GetParam() == Db::Postgres) {
      const char* options = std::getenv("PGOPTIONS");
      env["PGOPTIONS"] = std::string(options ? options : "") + " -c standard_conforming_strings=off";
    }
    auto& t = start("repnamedt", "Salesman Name Maintenance", env);
    find(t, "", "01/02/2026");
    ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "D4"));
    t.key("n");
    ASSERT_TRUE(t.wait_for("No more rows in that direction")) << "only the name that is that text";
    EXPECT_EQ(field(t, kCodeLine, 4), "D4  ");
    find(t, "", "[z-a]*");
    ASSERT_TRUE(t.wait_for_at(24, 1, "Error in field."));
    t.key("ctrl-c");
    t.wait_settled();
    find(t, "", "\\\\' or 1=1 --");
    ASSERT_TRUE(t.wait_for("No rows found"));
    t.key("e");
    EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
  }
}

TEST_P(Repnamedt, AddRefusesADuplicateCodeAndAForeignLogin) {
  auto& t = run();
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept  Ctrl-C: Cancel"));
  t.wait_settled();
  EXPECT_EQ(t.row(3), "") << "the menu's help line is cleared";
  t.type("a1");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("This code is already in the system and can not be re-entered"));
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kCodeLine);
  t.key("ctrl-d");
  t.type("d4");
  t.key("enter");
  t.type("Dan Dunn");
  t.key("enter");
  t.type("alice");
  t.key("enter");
  ASSERT_TRUE(t.wait_for("This user login name is already assigned to another salesman"));
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kLoginLine);
  t.key("ctrl-d");
  t.type("dan");
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(table().at(3), "D4|Dan Dunn|dan") << "the code is stored upshifted";
  EXPECT_FALSE(menu_shows(t.row(2), "Next"));
  EXPECT_EQ(field(t, kNameLine, 8), "Dan Dunn") << "the added values stay on the form";
  // Salesmen without a login name do not collide.
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("E5");
  t.key("enter");
  t.type("Eve East");
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(table().at(4), "E5|Eve East|NULL");
}

TEST_P(Repnamedt, AddWithoutANameStoresNothing) {
  auto& t = run();
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("F6");
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kNameLine) << "the input goes on in the empty name field";
  EXPECT_EQ(count("iq_salesman_name"), 3);
  t.key("ctrl-c");
  t.wait_settled();
  EXPECT_EQ(count("iq_salesman_name"), 3);
  EXPECT_EQ(field(t, kCodeLine, 4), "    ") << "a cancelled add with no query leaves a blank form";
  EXPECT_TRUE(menu_shows(t.row(2), "Find"));
}

TEST_P(Repnamedt, ChangeNeverEntersTheCodeAndCancelShowsTheRowAsStored) {
  auto& t = run();
  find(t, "B2");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2"));
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.wait_settled();
  EXPECT_EQ(t.cursor(), std::make_pair(kNameLine, kFieldCol));
  t.key("up");  // the code field moves on at once to the next field: the name
  t.wait_settled();
  EXPECT_EQ(t.cursor(), std::make_pair(kNameLine, kFieldCol));
  t.key("enter");
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kLoginLine);
  t.key("enter");  // wraps past the code field to the name
  t.wait_settled();
  EXPECT_EQ(t.cursor().first, kNameLine);
  t.key("ctrl-d");
  t.type("Robert Brown");
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(table().at(1), "B2|Robert Brown|NULL");
  EXPECT_FALSE(menu_shows(t.row(2), "Previous")) << "a change hides Previous";
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("ctrl-d");
  t.type("Nobody");
  // Ctrl-C overtakes keys not yet read: wait until the name is typed.
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Nobody "));
  t.key("ctrl-c");
  // The row comes back as stored, by this program's own save: not the
  // cursor's copy read before it.
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Robert Brown "));
  EXPECT_EQ(table().at(1), "B2|Robert Brown|NULL") << "the cancelled edit stored nothing";
  // A cancelled Add shows it the same way.
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("Z9");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "Z9"));
  t.key("ctrl-c");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Robert Brown ") && t.wait_settled());
  EXPECT_EQ(field(t, kCodeLine, 4), "B2  ");
  // A Change of the login alone never writes the name's older value back.
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("enter");
  t.type("bob");
  t.key("esc");
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(t.row(kErrorLine), "");
  EXPECT_EQ(table().at(1), "B2|Robert Brown|bob");
}

// The server goes away under a running program: a save says so in words
// and keeps the typing; a statement the program does not test stops it
// with the cause in words, the database library's own text kept off the
// screen.
TEST_P(Repnamedt, AServerGoneIsToldInWordsAndASaveKeepsTheTyping) {
  if (GetParam() != Db::Postgres) GTEST_SKIP() << "a server that goes away";
  auto& t = run();
  find(t, "B2");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2"));
  change_name(t, "Kept typing");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Kept typing"));
  const std::string mine = rows("select pg_backend_pid() from iq_salesman_name where iqsn_code = 'A1'", 1).at(0);
  outside("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'lunadesk' AND pid <> " +
          mine);
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "The database server cannot be reached: nothing was saved"));
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(field(t, kNameLine, 11), "Kept typing") << "the typing is kept";
  EXPECT_EQ(table().at(1), "B2|Bob Brown|NULL");
  t.key("ctrl-c");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(1));
  const std::string screen = t.screen_text();
  EXPECT_NE(screen.find("SQL statement error number -25582."), std::string::npos) << screen;
  EXPECT_NE(screen.find("The connection to the database server was lost"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("terminating connection"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("server closed the connection"), std::string::npos) << screen;
}

// A disk of its own (a small tmpfs, which only root may mount), made full
// by a file that takes every block left until it is removed.
class SmallDisk {
 public:
  SmallDisk() {
    char templ[] = "/tmp/lunadesk-disk.XXXXXX";
    if (::geteuid() != 0 || !::mkdtemp(templ)) return;
    dir_ = templ;
    mounted_ = ::mount("tmpfs", templ, "tmpfs", 0, "size=4m,mode=0777") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    if (!dir_.empty()) ::rmdir(dir_.c_str());
  }
  bool ready() const { return mounted_; }
  const std::string& dir() const { return dir_; }
  void fill() {
    const int fd = ::open(filler().c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    static const char zeros[4096] = {};
    while (fd >= 0 && ::write(fd, zeros, sizeof zeros) > 0) {}
    if (fd >= 0) ::close(fd);
  }
  void make_room() { ::unlink(filler().c_str()); }

 private:
  std::string filler() const { return dir_ + "/filler"; }
  std::string dir_;
  bool mounted_ = false;
};

// The disk that holds the database fills up: an Add says so in words,
// stores nothing and keeps the typing; once there is room again the same
// Esc stores it. SQLite: the database file on that disk; PostgreSQL: the
// table in a tablespace there, its pages full, so that the row needs a new
// one.
TEST_P(Repnamedt, AFullDiskIsToldInWordsAndASaveKeepsTheTyping) {
  SmallDisk disk;
  if (!disk.ready()) GTEST_SKIP() << "a disk of its own needs root, to mount a tmpfs";
  std::map<std::string, std::string> env;
  std::function<void()> undo = [] {};
  if (GetParam() == Db::Sqlite) {
    outside("VACUUM INTO '" + disk.dir() + "/lunadesk.db'");
    env["LUNADESK_DB"] = disk.dir() + "/lunadesk.db";
  } else {
    // The server runs as this user when the tests run as root.
    const passwd* server = ::getpwnam("nobody");
    ASSERT_NE(server, nullptr);
    const std::string space = "ts_" + db_->where(), where = disk.dir() + "/pg";
    ASSERT_EQ(::mkdir(where.c_str(), 0700), 0);
    ASSERT_EQ(::chown(where.c_str(), server->pw_uid, server->pw_gid), 0);
    outside("CREATE TABLESPACE " + space + " LOCATION '" + where + "'");
    undo = [this, space, &disk] {
      term_.reset();
      disk.make_room();
      outside("ALTER TABLE iq_salesman_name SET TABLESPACE pg_default");
      outside("DROP TABLESPACE " + space);
    };
    outside("ALTER TABLE iq_salesman_name SET TABLESPACE " + space);
  }
  struct Undo {
    std::function<void()>& undo;
    ~Undo() { undo(); }
  } at_end{undo};
  auto& t = start("repnamedt", "Salesman Name Maintenance", env);
  disk.fill();
  if (GetParam() == Db::Postgres) {
    // Rows as long as the one typed below, until the table needs a page
    // more: every page is left with less room than one more row.
    outside(
        "DO $$ BEGIN FOR g IN 1000..9999 LOOP BEGIN INSERT INTO iq_salesman_name VALUES (g::text, 'Filler', "
        "lpad(g::text, 10, 'u')); EXCEPTION WHEN disk_full THEN EXIT; END; END LOOP; END $$");
  }
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("Z9");
  t.key("enter");
  t.type("Zoe Zeta");
  t.key("enter");
  t.type("zoe");
  ASSERT_TRUE(t.wait_for_at(kLoginLine, kFieldCol, "zoe"));
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "The disk of the database is full: nothing was saved"));
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(field(t, kNameLine, 8), "Zoe Zeta") << "the typing is kept";
  disk.make_room();
  t.key("esc");
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(t.row(kErrorLine), "") << "the row was not there yet: its code is not refused";
  find(t, "Z9");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Zoe Zeta"));
  EXPECT_EQ(field(t, kLoginLine, 3), "zoe");
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST_P(Repnamedt, DeleteAsksFirstAndStartsOnNo) {
  auto& t = run();
  find(t);
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "A1"));
  t.key("d");
  ASSERT_TRUE(t.wait_for("Are you sure you want to delete this?"));
  EXPECT_EQ(t.reverse_text(2), "No");
  t.key("ctrl-c");  // only sets the flag: the question stays
  ASSERT_TRUE(t.wait_settled());
  EXPECT_TRUE(t.contains("Are you sure you want to delete this?"));
  t.key("enter");
  t.wait_settled();
  EXPECT_EQ(count("iq_salesman_name"), 3);
  t.key("d");
  ASSERT_TRUE(t.wait_for("Are you sure"));
  t.key("y");
  t.wait_settled();
  EXPECT_EQ(count("iq_salesman_name", "iqsn_code='A1'"), 0);
  EXPECT_EQ(field(t, kCodeLine, 4), "    ");
  std::string menu = t.row(2);
  EXPECT_FALSE(menu_shows(menu, "Previous") || menu_shows(menu, "Change")) << menu;
  EXPECT_TRUE(menu_shows(menu, "Next") && menu_shows(menu, "Delete")) << menu;
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2")) << "the deleted row's neighbour comes next";
}

// Keys typed in one burst with Ctrl-C behind them: what the program has
// not read when Ctrl-C arrives goes with the input it cancels. Read by the
// menu, "Nobody" would be Next, Delete and "y"es.
TEST_P(Repnamedt, KeysTypedBeforeCtrlCNeverReachTheMenu) {
  auto& t = run();
  find(t);
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2"));
  for (int i = 0; i < 10; ++i) {
    t.key("c");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    // In one write, or Ctrl-C on its own just behind the keys: then it may
    // empty the input between the program's wait for a key and its read.
    if (i % 2 == 0) {
      t.send("\x04Nobody yes\x03");
    } else {
      t.send("\x04Nobody yes");
      t.send("\x03");
    }
    ASSERT_TRUE(saved(t));
    EXPECT_FALSE(t.contains("Are you sure")) << "typed keys reached the menu";
    EXPECT_EQ(table(), (std::vector<std::string>{"A1|Alice Anders|alice", "B2|Bob Brown|NULL", "C3|Carol Chen|carol"}));
    EXPECT_EQ(field(t, kNameLine, 10), "Bob Brown ");
  }
  // The key right after Ctrl-C is the next one the menu reads.
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.send("Nobody\x03n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "C3")) << "Next after the cancelled change";
  EXPECT_EQ(count("iq_salesman_name"), 3);
}

TEST_P(Repnamedt, CtrlCAtTheMenuLeavesTheProgramRunning) {
  auto& t = run();
  for (int i = 0; i < 3; ++i) t.key("ctrl-c");
  ASSERT_TRUE(t.wait_settled());
  EXPECT_TRUE(t.running()) << "the program ended";
  EXPECT_EQ(t.reverse_text(2), "Find");
  // Add and Find set the flag back to 0 before their inputs: both work.
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("G7");
  t.key("enter");
  t.type("Gus Grey");
  t.key("esc");
  ASSERT_TRUE(t.wait_settled());
  EXPECT_EQ(count("iq_salesman_name", "iqsn_code='G7'"), 1);
  t.key("ctrl-c");
  find(t, "C3");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Carol Chen"));
}

TEST_P(Repnamedt, TypingACharacterWritesLittleAndHangupRestoresTheTerminal) {
  auto& t = run();
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.wait_settled();
  auto before = t.mark();
  t.type("Q");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "Q"));
  t.wait_settled();
  std::printf("[ figure ] one typed character: %zu bytes to the terminal\n", t.bytes_since(before));
  EXPECT_LT(t.bytes_since(before), 64u);
  t.signal(SIGHUP);
  auto st = t.wait_exit();
  ASSERT_TRUE(st);
  EXPECT_TRUE(st->exited() && st->code != 0) << *st;
  EXPECT_FALSE(t.alt_screen()) << "the terminal is restored";
  EXPECT_EQ(count("iq_salesman_name"), 3);
}

std::string times(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Names written by another tool, of as many characters as the column holds
// but more bytes: shown whole, and a Change that edits nothing stores them
// unchanged. The code field upshifts "é" to "É", in the search too.
TEST_P(Repnamedt, AChangeThatEditsNothingChangesNothing) {
  const std::string accents = times("é", 35), cjk = times("日", 12) + "x";
  outside("INSERT INTO iq_salesman_name VALUES ('É1', '" + accents + "', 'élise')");
  outside("INSERT INTO iq_salesman_name VALUES ('Z9', '" + cjk + "', NULL)");
  const std::vector<std::string> before = table();
  auto& t = run();
  for (const auto& [code, name] : {std::pair{std::string("é1"), accents}, std::pair{std::string("Z9"), cjk}}) {
    find(t, code);
    ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, name)) << code;
    t.key("c");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    t.key("esc");
    t.wait_settled();
    EXPECT_EQ(table(), before) << code;
  }
  EXPECT_NE(std::find(before.begin(), before.end(), "É1|" + accents + "|élise"), before.end());
}

// As many characters as the column holds can be typed, however wide they
// are: a name wider than its field scrolls by display columns while it is
// edited, and what is stored is what was typed.
TEST_P(Repnamedt, NamesAreTypedInFullAndScrollByColumns) {
  const std::string accents = times("é", 35), wide = times("日", 35), mixed = times("日", 12) + "x";
  auto& t = run();
  int code = 0;
  for (const std::string& name : {accents, mixed, wide}) {
    t.key("a");
    ASSERT_TRUE(t.wait_for("Esc: Accept"));
    t.type("é" + std::to_string(++code));
    t.key("enter");
    const int bells = t.bells();
    t.type(name);
    t.wait_settled();
    EXPECT_EQ(t.bells(), bells) << "every character is taken: " << name;
    const auto [row, col] = t.cursor();
    EXPECT_EQ(row, kNameLine);
    EXPECT_LE(col, kFieldCol + 35) << "the cursor stays within the field";
    if (name != mixed) {
      t.type("é");
      t.wait_settled();
      EXPECT_GT(t.bells(), bells) << "a 36th character is refused";
    }
    t.key("esc");
    t.wait_settled();
  }
  EXPECT_EQ(table().at(3), "É1|" + accents + "|NULL");
  EXPECT_EQ(table().at(4), "É2|" + mixed + "|NULL");
  EXPECT_EQ(table().at(5), "É3|" + wide + "|NULL");
  // Shown from its start: 17 wide characters and a blank where half of
  // the 18th would go.
  find(t, "é3");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, times("日", 17)));
  EXPECT_EQ(t.text_at(kNameLine, kFieldCol, 35), times("日", 17) + " ");
  t.key("c");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.key("end");
  t.wait_settled();
  EXPECT_EQ(t.text_at(kNameLine, kFieldCol, 34), times("日", 17)) << "the end in view";
  EXPECT_EQ(t.cursor(), std::make_pair(kNameLine, kFieldCol + 34));
  t.key("home");
  t.wait_settled();
  EXPECT_EQ(t.cursor(), std::make_pair(kNameLine, kFieldCol));
  t.key("esc");
  t.wait_settled();
  EXPECT_EQ(table().at(5), "É3|" + wide + "|NULL");
}

TEST_P(Repnamedt, AChangeOverAnotherUsersSaveIsRefused) {
  auto& a = run();
  auto b = start_another("repnamedt", "Salesman Name Maintenance");
  find(a, "B2");
  find(*b, "B2");
  change_name(*b, "Name by B");
  change_name(a, "Name by A");
  a.key("esc");
  ASSERT_TRUE(saved(a));
  b->key("esc");
  ASSERT_TRUE(b->wait_for_at(kErrorLine, 1, "This record was changed by another user: nothing was saved"));
  ASSERT_TRUE(saved(*b));
  EXPECT_EQ(table().at(1), "B2|Name by A|NULL");
  EXPECT_EQ(field(*b, kNameLine, 9), "Name by A") << "the row is shown as it now stands";

  // From the row as it now stands, B's change is stored; A, who has not
  // seen it, is refused in turn.
  change_name(*b, "Name by B");
  b->key("esc");
  ASSERT_TRUE(saved(*b));
  EXPECT_EQ(table().at(1), "B2|Name by B|NULL");
  change_name(a, "Name by A again");
  a.key("esc");
  ASSERT_TRUE(a.wait_for_at(kErrorLine, 1, "This record was changed by another user"));
  EXPECT_EQ(table().at(1), "B2|Name by B|NULL");

  // A row deleted meanwhile stores nothing either.
  change_name(a, "Name by A");
  exec("DELETE FROM iq_salesman_name WHERE iqsn_code = 'B2'");
  a.key("esc");
  ASSERT_TRUE(a.wait_for_at(kErrorLine, 1, "This record no longer exists: nothing was saved"));
  ASSERT_TRUE(saved(a));
  EXPECT_EQ(field(a, kCodeLine, 4), "    ");
  EXPECT_EQ(count("iq_salesman_name"), 2);
}

TEST_P(Repnamedt, ASaveWaitsForALockShownAndCtrlCGivesItUpKeepingTheTyping) {
  auto& t = start("repnamedt", "Salesman Name Maintenance", {{"LUNADESK_LOCK_TIMEOUT_MS", "60000"}});
  find(t, "B2");
  change_name(t, "Held Name");
  hold_lock("iq_salesman_name", "iqsn_name", "iqsn_code = 'B2'");
  t.key("esc");
  ASSERT_TRUE(lock_waited(t));
  EXPECT_EQ(field(t, kNameLine, 10), "Held Name ");
  EXPECT_EQ(t.cursor(), std::make_pair(kNameLine, kFieldCol)) << "back in the input";

  // Accepted again while the lock is still held, then the lock goes: the
  // save finishes.
  t.key("esc");
  ASSERT_TRUE(lock_waited(t, false));
  EXPECT_EQ(table().at(1), "B2|Bob Brown|NULL");
  release();
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(table().at(1), "B2|Held Name|NULL");
  EXPECT_EQ(t.row(kErrorLine), "");
}

TEST_P(Repnamedt, AnAddWaitingForTheSameCodeEndsAtTheLockTimeoutKeepingTheTyping) {
  auto& t = start("repnamedt", "Salesman Name Maintenance", {{"LUNADESK_LOCK_TIMEOUT_MS", "1500"}});
  // Another program is adding the same code and has not committed yet.
  rt::sql::begin_work();
  exec("INSERT INTO iq_salesman_name VALUES ('Z9', 'Someone else', NULL)");
  t.key("a");
  ASSERT_TRUE(t.wait_for("Esc: Accept"));
  t.type("Z9");
  t.key("enter");
  t.type("Zed");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "This record is locked by another user: nothing was saved"));
  t.wait_settled();
  EXPECT_EQ(field(t, kCodeLine, 4), "Z9  ");
  EXPECT_EQ(field(t, kNameLine, 4), "Zed ");
  release();
  t.key("esc");
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(rows("select iqsn_name from iq_salesman_name where iqsn_code = 'Z9'", 1), std::vector<std::string>{"Zed"});
}

// A Delete takes the row shown by its key, whatever another operator did
// to it since; one that waits for a lock is shown and may be given up,
// deleting nothing.
TEST_P(Repnamedt, DeleteTakesTheRowByKeyAndALockedRowStays) {
  auto& t = start("repnamedt", "Salesman Name Maintenance", {{"LUNADESK_LOCK_TIMEOUT_MS", "60000"}});
  auto delete_shown = [&] {
    t.key("d");
    ASSERT_TRUE(t.wait_for("Are you sure"));
    t.key("y");
  };
  find(t);
  exec("UPDATE iq_salesman_name SET iqsn_name = 'Changed elsewhere' WHERE iqsn_code = 'A1'");
  delete_shown();
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(t.row(kErrorLine), "");
  EXPECT_EQ(count("iq_salesman_name", "iqsn_code = 'A1'"), 0);

  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "B2"));
  exec("DELETE FROM iq_salesman_name WHERE iqsn_code = 'B2'");
  delete_shown();
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(t.row(kErrorLine), "");
  EXPECT_EQ(field(t, kCodeLine, 4), "    ");
  EXPECT_EQ(table(), (std::vector<std::string>{"C3|Carol Chen|carol"}));

  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kCodeLine, kFieldCol, "C3"));
  hold_lock("iq_salesman_name", "iqsn_name", "iqsn_code = 'C3'");
  delete_shown();
  ASSERT_TRUE(lock_waited(t, true, "deleted"));
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(field(t, kCodeLine, 4), "C3  ") << "the row is still shown";
  release();
  EXPECT_EQ(count("iq_salesman_name"), 1);
  delete_shown();
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(count("iq_salesman_name"), 0);
}

// A user who may only read the database finds and browses; a save says in
// one line that the database is read-only, stores nothing and keeps what
// was typed.
TEST_P(Repnamedt, AReadOnlyUserBrowsesAndASaveKeepsTheTyping) {
  read_only_user();
  auto& t = run();
  find(t);
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Alice Anders"));
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Bob Brown"));
  change_name(t, "Read Only");
  t.key("esc");
  ASSERT_TRUE(t.wait_for_at(kErrorLine, 1, "The database is read-only for this user: nothing was saved"));
  EXPECT_TRUE(t.wait_cursor(kNameLine, kFieldCol)) << "back in the input";
  EXPECT_EQ(field(t, kNameLine, 10), "Read Only ");
  EXPECT_EQ(table().at(1), "B2|Bob Brown|NULL");
}

// A server with no connection to spare (here: a role allowed one): the
// program that has the one browses on it alone, and a second program says
// in one line that it cannot connect, and ends having done nothing.
TEST_P(Repnamedt, OneConnectionIsEnoughAndAProgramWithoutOneSaysSoInOneLine) {
  if (GetParam() != Db::Postgres) GTEST_SKIP() << "connections of a server";
  reading_role("lunadesk_one", "CONNECTION LIMIT 1");
  auto& t = run();
  find(t);
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Alice Anders"));
  t.key("n");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Bob Brown"));
  t.key("p");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Alice Anders"));

  auto second = start_another("repnamedt", "too many connections");
  EXPECT_EQ(second->wait_exit(), e2e::ExitStatus::exited_with(1));
  // One line, which the 80 columns wrap: every row of it but the last is
  // full.
  std::vector<std::string> said;
  for (int r = 1; r <= 24; ++r)
    if (second->row(r).find_first_not_of(' ') != std::string::npos) said.push_back(second->row(r));
  ASSERT_FALSE(said.empty());
  for (size_t i = 0; i + 1 < said.size(); ++i) EXPECT_EQ(said[i].size(), 80u) << second->screen_text();
  EXPECT_EQ(said[0].rfind("repnamedt: cannot connect to database 'lunadesk'", 0), 0u) << said[0];
  EXPECT_EQ(table().at(0), "A1|Alice Anders|alice");
}

// The oldest database an earlier release made, upgraded: its rows are
// found as the current rules keep them (the blanks another tool left are
// gone) and a Change saves.
class RepnamedtUpgraded : public Repnamedt {
 protected:
  bool upgraded() const override { return true; }
};

TEST_P(RepnamedtUpgraded, FindsAndChangesTheRowsOfAnUpgradedDatabase) {
  auto& t = run();
  find(t, "CD");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Carl Dunn"));
  change_name(t, "Carl Dunne");
  t.key("esc");
  ASSERT_TRUE(saved(t));
  EXPECT_EQ(rows("select iqsn_code, iqsn_name from iq_salesman_name where iqsn_code = 'CD'", 2),
            std::vector<std::string>{"CD|Carl Dunne"});
  find(t, "Z*");
  ASSERT_TRUE(t.wait_for_at(kNameLine, kFieldCol, "Zoë Ünal"));
}

INSTANTIATE_TEST_SUITE_P(Backends, Repnamedt, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);
INSTANTIATE_TEST_SUITE_P(Backends, RepnamedtUpgraded, lunadesk::testing::all_backends(),
                         lunadesk::testing::backend_name);

}  // namespace
