// The installation as an installer meets it: every program and tool
// answers --help and --version without a terminal or a database, a program
// without a database says how to make one, the manual pages render cleanly
// and document every environment variable the code reads, and a program
// installed by "cmake --install" or from the Debian package starts from
// there and finds its help file.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "e2e/files.h"
#include "e2e/terminal.h"
#include "pg_server.h"

namespace fs = std::filesystem;
using lunadesk::testing::run_command;

namespace {

const std::vector<std::string> kPrograms{"repnamedt", "tugedit", "itemsclr"};
const std::vector<std::string> kTools{"lunadesk-db", "txt2pdf", "prnt"};
const std::vector<std::string> kManPages{"repnamedt.1", "tugedit.1", "itemsclr.1", "lunadesk-db.1",
                                         "txt2pdf.1",   "prnt.1",    "lunadesk.7", "lunadesk-sql.7"};

struct Ran {
  int status;
  std::string out, err;
};

// `argv` run with a bare environment: no terminal, no database settings
// but those given.
Ran run(std::vector<std::string> argv, const std::vector<std::string>& env = {}) {
  std::vector<std::string> full{"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
  full.insert(full.end(), env.begin(), env.end());
  full.insert(full.end(), argv.begin(), argv.end());
  Ran r;
  r.status = run_command(full, &r.out, &r.err);
  return r;
}

std::string bin(const std::string& name) { return std::string(LUNADESK_BIN_DIR) + "/" + name; }

bool one_line(const std::string& s) { return !s.empty() && s.find('\n') == s.size() - 1; }

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(CommandLine, EveryProgramAndToolAnswersHelpAndVersion) {
  std::vector<std::string> all = kPrograms;
  all.insert(all.end(), kTools.begin(), kTools.end());
  for (const std::string& name : all) {
    Ran help = run({bin(name), "--help"}, {"LUNADESK_DB=/nonexistent/lunadesk.db"});
    EXPECT_EQ(help.status, 0) << name << ": " << help.err;
    EXPECT_TRUE(help.out.starts_with("usage: " + name)) << help.out;
    EXPECT_NE(help.out.find(name + "(1)"), std::string::npos) << "points to the manual: " << help.out;
    Ran version = run({bin(name), "--version"});
    EXPECT_EQ(version.status, 0) << name;
    EXPECT_EQ(version.out, name + " (lunadesk) " LUNADESK_VERSION "\n");
  }
  for (const std::string& name : kPrograms) {
    Ran other = run({bin(name), "--versoin"});
    EXPECT_EQ(other.status, 2) << name;
    EXPECT_NE(other.err.find("usage: " + name), std::string::npos) << other.err;
    EXPECT_EQ(other.out, "");
  }
}

// Missing, or an empty file: one line naming the file and both commands
// that make a database, status 1, and the file left as it was.
TEST(CommandLine, AProgramWithoutADatabaseSaysHowToMakeOne) {
  e2e::TempDir dir;
  std::ofstream(dir.file("empty.db")).flush();
  for (const std::string& name : kPrograms) {
    for (const std::string db : {"none.db", "empty.db"}) {
      Ran r = run({bin(name)}, {"LUNADESK_DB=" + dir.file(db), "TERM=xterm"});
      EXPECT_EQ(r.status, 1) << name;
      EXPECT_TRUE(one_line(r.err)) << r.err;
      for (const std::string& part : {dir.file(db), std::string("lunadesk-db init"), std::string("lunadesk-db demo")})
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    }
  }
  EXPECT_FALSE(fs::exists(dir.file("none.db")));
  EXPECT_EQ(fs::file_size(dir.file("empty.db")), 0u);
}

// A4GL_SQLTYPE names PostgreSQL in any of its spellings, or is refused in
// one line: a program never opens a SQLite file in its place.
TEST(CommandLine, EverySpellingOfTheBackEndIsTakenOrRefused) {
  e2e::TempDir dir;
  const std::string file = dir.file("lunadesk.db");
  for (const std::string& name : kPrograms) {
    for (const std::string value : {"mysql", "informix", "psql"}) {
      Ran r = run({bin(name)}, {"A4GL_SQLTYPE=" + value, "LUNADESK_DB=" + file, "TERM=xterm"});
      EXPECT_EQ(r.status, 1) << name << " " << value;
      EXPECT_TRUE(one_line(r.err) &&
                  r.err.find("A4GL_SQLTYPE \"" + value + "\" names no database back end") != std::string::npos)
          << r.err;
    }
    // A server that is not there: the error names it, whatever the spelling.
    for (const std::string value : {"PG", "postgres", "PostgreSQL", "pgsql"}) {
      Ran r = run({bin(name)},
                  {"A4GL_SQLTYPE=" + value, "LUNADESK_DB=" + file, "PGHOST=" + dir.file("no-server"), "TERM=xterm"});
      EXPECT_EQ(r.status, 1) << name << " " << value;
      EXPECT_NE(r.err.find(dir.file("no-server")), std::string::npos) << value << ": " << r.err;
    }
  }
  Ran tool = run({bin("lunadesk-db"), "init"}, {"A4GL_SQLTYPE=sqlite3x", "LUNADESK_DB=" + file});
  EXPECT_EQ(tool.status, 0) << "a value beginning with sqlite: " << tool.err;
  EXPECT_NE(tool.out.find(file), std::string::npos) << tool.out;
  fs::remove(file);
  tool = run({bin("lunadesk-db"), "init"}, {"A4GL_SQLTYPE=Postgre", "LUNADESK_DB=" + file});
  EXPECT_EQ(tool.status, 1);
  EXPECT_TRUE(one_line(tool.err)) << tool.err;
  EXPECT_FALSE(fs::exists(file)) << "no SQLite file is made in place of the server";
}

// The PostgreSQL set-up of README.md and lunadesk(7), followed on the test
// server as written: the role made by the server's superuser (on Debian
// `su postgres` reaches it), then createdb and lunadesk-db as that role
// (as the login of that name reaches it). The server starts with a
// database "lunadesk" of its own, dropped first as on a fresh machine.
TEST(PostgresSetUp, TheCommandsOfTheManualWorkAsWritten) {
  lunadesk::testing::PgServer& server = lunadesk::testing::PgServer::instance();
  if (!server.running()) {
    if (lunadesk::testing::in_ci()) FAIL() << server.error();
    GTEST_SKIP() << server.error();
  }
  const std::vector<std::string> steps{"su postgres -c 'createuser --createdb alice'", "createdb lunadesk",
                                       "export A4GL_SQLTYPE=pg", "lunadesk-db demo"};
  const std::string readme = read_file(fs::path(LUNADESK_SOURCE_DIR) / "README.md");
  const std::string manual = read_file(fs::path(LUNADESK_SOURCE_DIR) / "docs/lunadesk.7.scd");
  std::string script = "su() { [ \"$1 $2\" = 'postgres -c' ] && PGUSER=postgres sh -c \"$3\"; }\nexport PGUSER=alice\n";
  for (const std::string& step : steps) {
    EXPECT_NE(readme.find("    " + step + "\n"), std::string::npos) << "README.md: " << step;
    EXPECT_NE(manual.find("\t" + step), std::string::npos) << "lunadesk(7): " << step;
    script += step + "\n";
  }
  script += "lunadesk-db list\n";
  const std::vector<std::string> env{"PGHOST=" + server.socket_dir(), "PGPORT=" + std::to_string(server.port()),
                                     "PATH=" + std::string(LUNADESK_BIN_DIR) + ":/usr/bin:/bin"};
  Ran drop = run({"/usr/bin/dropdb", "--force", "lunadesk"}, [&] {
    auto e = env;
    e.push_back("PGUSER=postgres");
    return e;
  }());
  ASSERT_EQ(drop.status, 0) << drop.err;
  Ran r = run({"/bin/sh", "-ec", script}, env);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Demo data added to database 'lunadesk' on the PostgreSQL server at " + server.socket_dir()),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("as role 'alice'"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Salesmen: 12"), std::string::npos) << r.out;
}

// The environment variables the code reads: getenv("X"), getenv_str("X")
// and getenv_text("X") in the sources of the runtime, the programs and the
// tools, and the run's settings as core/settings.* name them.
std::set<std::string> variables_read() {
  std::set<std::string> names;
  const auto scan = [&](const std::string& text, const std::string& before) {
    for (std::size_t at = text.find(before); at != std::string::npos; at = text.find(before, at + 1)) {
      const std::size_t open = at + before.size();
      const std::size_t close = text.find('"', open);
      const std::string name = text.substr(open, close - open);
      if (!name.empty() && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string::npos)
        names.insert(name);
    }
  };
  for (const char* part : {"runtime", "src", "tools"}) {
    for (const auto& e : fs::recursive_directory_iterator(fs::path(LUNADESK_SOURCE_DIR) / part)) {
      if (!e.is_regular_file()) continue;
      const std::string text = read_file(e.path());
      for (const char* call : {"getenv(\"", "getenv_str(\"", "getenv_text(\""}) scan(text, call);
      if (e.path().stem() == "settings") {
        scan(text, "var(h, \"");
        scan(text, "{\"");
      }
    }
  }
  return names;
}

TEST(ManPages, RenderWithoutWarningsAndDocumentEveryVariable) {
  std::string lunadesk7;
  for (const std::string& page : kManPages) {
    const std::string path = std::string(LUNADESK_BUILD_DIR) + "/man/" + page + ".gz";
    ASSERT_TRUE(fs::exists(path)) << path;
    Ran r = run({"/usr/bin/man", "--warnings", "-l", path}, {"MANWIDTH=80"});
    EXPECT_EQ(r.status, 0) << page << ": " << r.err;
    EXPECT_EQ(r.err, "") << page;
    EXPECT_NE(r.out.find("NAME"), std::string::npos) << page;
    if (page == "lunadesk.7") lunadesk7 = r.out;
  }
  const std::set<std::string> vars = variables_read();
  for (const char* v : {"A4GL_SQLTYPE", "DBDATE", "LUNADESK_CURSOR_IDLE_MS", "HOME", "LDEMAIL"})
    EXPECT_TRUE(vars.count(v)) << "the scan finds " << v;
  for (const std::string& v : vars) EXPECT_NE(lunadesk7.find(v), std::string::npos) << v << " is not in lunadesk(7)";
}

// Files an installation holds under its prefix.
const std::vector<std::string> kInstalled{"bin/repnamedt",
                                          "bin/tugedit",
                                          "bin/itemsclr",
                                          "bin/lunadesk-db",
                                          "bin/txt2pdf",
                                          "bin/prnt",
                                          "share/lunadesk/help.hlp",
                                          "share/man/man1/repnamedt.1.gz",
                                          "share/man/man1/tugedit.1.gz",
                                          "share/man/man1/itemsclr.1.gz",
                                          "share/man/man1/lunadesk-db.1.gz",
                                          "share/man/man1/txt2pdf.1.gz",
                                          "share/man/man1/prnt.1.gz",
                                          "share/man/man7/lunadesk.7.gz",
                                          "share/man/man7/lunadesk-sql.7.gz",
                                          "share/doc/lunadesk/copyright",
                                          "share/doc/lunadesk/changelog.Debian.gz",
                                          "share/lintian/overrides/lunadesk"};

// From an installation's bin/: a demo database made by its lunadesk-db,
// then `program` in a terminal, in a directory without a help file; the
// help of Find shows, and Exit ends the program with status 0.
void run_installed(const fs::path& bindir, const std::string& program, const std::string& title) {
  e2e::TempDir work;
  const std::string db = work.file("lunadesk.db");
  Ran demo = run({(bindir / "lunadesk-db").string(), "demo"}, {"LUNADESK_DB=" + db});
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_NE(demo.out.find("Demo data added"), std::string::npos) << demo.out;
  e2e::Options opt;
  opt.argv = {(bindir / program).string()};
  opt.env["LUNADESK_DB"] = db;
  opt.env["PATH"] = bindir.string() + ":/usr/bin:/bin";
  opt.unset.push_back("A4GL_SQLTYPE");
  opt.cwd = work.path();
  e2e::Terminal t(opt);
  ASSERT_TRUE(t.wait_for(title)) << program;
  t.key("f");
  t.wait_settled();
  t.key("ctrl-w");
  ASSERT_TRUE(t.wait_for("SEARCHING: type what you are looking for")) << "the installed help file";
  t.key("r");  // Resume: back to the query
  ASSERT_TRUE(t.wait_gone("SEARCHING"));
  t.wait_settled();
  t.key("esc");
  ASSERT_TRUE(t.wait_until([&] { return t.row(2).find("Next") != std::string::npos; })) << "the demo rows found";
  t.wait_settled();
  t.key("e");
  EXPECT_EQ(t.wait_exit(), e2e::ExitStatus::exited_with(0));
}

TEST(Install, AProgramRunsFromATemporaryPrefix) {
  e2e::TempDir prefix;
  Ran r = run({CMAKE_COMMAND_PATH, "--install", LUNADESK_BUILD_DIR, "--prefix", prefix.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& f : kInstalled) EXPECT_TRUE(fs::exists(prefix.file(f))) << f;
  for (const char* p : {"bin/repnamedt", "bin/txt2pdf", "bin/prnt"})
    EXPECT_EQ(::access(prefix.file(p).c_str(), X_OK), 0) << p;
  run_installed(prefix.file("bin"), "repnamedt", "Salesman Name Maintenance");
}

// The package: its files under /usr, the dependencies it declares, and a
// program started from the unpacked tree (dpkg-deb -x into a temporary
// root: nothing is installed on this machine).
TEST(Package, HoldsTheInstallationDeclaresItsNeedsAndStarts) {
  e2e::TempDir out;
  Ran r =
      run({CPACK_COMMAND_PATH, "--config", std::string(LUNADESK_BUILD_DIR) + "/CPackConfig.cmake", "-B", out.path()});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string deb;
  for (const auto& e : fs::directory_iterator(out.path()))
    if (e.path().extension() == ".deb") deb = e.path().string();
  ASSERT_FALSE(deb.empty()) << r.out;
  EXPECT_NE(fs::path(deb).filename().string().find("lunadesk_" LUNADESK_VERSION "-1_"), std::string::npos) << deb;

  // lintian, as Debian's archive would check it: no error and no warning.
  Ran lint = run({"/usr/bin/lintian", "--allow-root", "--no-tag-display-limit", deb});
  EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
  std::istringstream hints(lint.out);
  for (std::string line; std::getline(hints, line);)
    EXPECT_FALSE(line.starts_with("E: ") || line.starts_with("W: ")) << line;

  Ran contents = run({"/usr/bin/dpkg-deb", "-c", deb});
  ASSERT_EQ(contents.status, 0) << contents.err;
  std::set<std::string> files, expected;
  std::istringstream lines(contents.out);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find(" ./");
    if (at != std::string::npos && line.back() != '/') files.insert(line.substr(at + 3));
  }
  for (const std::string& f : kInstalled) expected.insert("usr/" + f);
  EXPECT_EQ(files, expected) << contents.out;

  Ran depends = run({"/usr/bin/dpkg-deb", "-f", deb, "Package", "Version", "Depends", "Recommends"});
  ASSERT_EQ(depends.status, 0) << depends.err;
  for (const std::string need :
       {"Package: lunadesk", "Version: " LUNADESK_VERSION "-1", "libsqlite3-0", "libpq5", "libncursesw6", "libc6",
        "Recommends: less, enscript, ghostscript", "s-nail", "ncurses-term"})
    EXPECT_NE(depends.out.find(need), std::string::npos) << need << " in\n" << depends.out;

  e2e::TempDir root;
  Ran x = run({"/usr/bin/dpkg-deb", "-x", deb, root.path()});
  ASSERT_EQ(x.status, 0) << x.err;
  Ran version = run({root.file("usr/bin/tugedit"), "--version"});
  EXPECT_EQ(version.out, "tugedit (lunadesk) " LUNADESK_VERSION "\n");
  run_installed(root.file("usr/bin"), "tugedit", "Tax Use Group Maintenance");
}

}  // namespace
