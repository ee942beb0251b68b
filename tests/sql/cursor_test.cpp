// Scroll cursors as a browse uses them, on both back ends: the rows stay
// those of the open whatever the program and others change meanwhile, the
// cursor outlives the program's saves and schema changes, and on
// PostgreSQL an idle or closed browse stops holding back the server's
// clean-up of old rows.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "core/runtime.h"
#include "pg_server.h"
#include "sql/sql.h"

namespace rt::sql {
namespace {

using lunadesk::testing::Db;
using lunadesk::testing::ScopedDatabase;

// Another program on the same database: a second libpq session or SQLite
// handle, for changes the tested program did not make and for looking at
// the server's sessions.
class Other {
 public:
  explicit Other(const ScopedDatabase& db) {
    if (db.which() == Db::Postgres) {
      pg_ = PQconnectdb("dbname=lunadesk");
    } else {
      sqlite3_open(db.where().c_str(), &lite_);
    }
  }
  ~Other() {
    if (pg_) PQfinish(pg_);
    if (lite_) sqlite3_close(lite_);
  }
  // Runs `sql`; the first value of the last result, "" when none.
  std::string run(const std::string& sql) {
    std::string value;
    if (pg_) {
      PGresult* r = PQexec(pg_, sql.c_str());
      const ExecStatusType st = PQresultStatus(r);
      EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(pg_);
      if (st == PGRES_TUPLES_OK && PQntuples(r) > 0) value = PQgetvalue(r, 0, 0);
      PQclear(r);
    } else {
      char* err = nullptr;
      auto first = [](void* out, int, char** values, char**) {
        if (values[0]) *static_cast<std::string*>(out) = values[0];
        return 0;
      };
      EXPECT_EQ(sqlite3_exec(lite_, sql.c_str(), first, &value, &err), SQLITE_OK) << sql << ": " << (err ? err : "");
      sqlite3_free(err);
    }
    return value;
  }
  // Sessions of the programs (not this one) whose snapshot holds back the
  // server's clean-up.
  int holding_back() {
    return std::stoi(
        run("select count(*) from pg_stat_activity where application_name = 'lunadesk' "
            "and (backend_xmin is not null or state like 'idle in transaction%')"));
  }

 private:
  PGconn* pg_ = nullptr;
  sqlite3* lite_ = nullptr;
};

class ScrollCursor : public ::testing::TestWithParam<Db> {
 protected:
  void SetUp() override {
    db_.emplace(GetParam());
    LUNADESK_NEED_DATABASE(*db_);
    settings_ = db_->settings();
    settings_.cursor_idle_ms = 300;
    settings_.lock_timeout_ms = 2000;
    reconnect();
    continue_.emplace();
    ok("create table br (k integer, name char(10))");
    for (int k = 1; k <= 6; ++k)
      ok("insert into br values (?, ?)", {Value::of_int(k), Value::of_char("r" + std::to_string(k), 10)});
    other_.emplace(*db_);
  }
  void TearDown() override {
    other_.reset();
    continue_.reset();
    disconnect();
    db_.reset();
  }
  // Connects again with settings_.
  void reconnect() {
    disconnect();
    std::string why;
    ASSERT_TRUE(try_connect("lunadesk", &why, {settings_})) << why;
  }
  bool pg() const { return GetParam() == Db::Postgres; }
  void ok(std::string_view text, const Params& p = {}) {
    execute(text, p);
    EXPECT_EQ(rt::status, 0) << text << ": " << last_error_message();
  }
  // The row the fetch delivers as "k name", or "status N".
  std::string at(Cursor& c, Fetch how, long n = 1) {
    Value k(integer_t()), name(char_t(10));
    fetch(c, how, n, {&k, &name});
    if (rt::status != 0) return "status " + std::to_string(rt::status);
    return std::to_string(k.as_int()) + " " + name.str();
  }
  // Waits until `pred` holds (the watcher works in its own time).
  template <class P>
  bool eventually(P pred) {
    for (int i = 0; i < 200; ++i) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
  }

  std::optional<ScopedDatabase> db_;
  Settings settings_;
  std::optional<ContinueOnError> continue_;
  std::optional<Other> other_;
};

// What the browse saw at the open stays: the program's own save (a change,
// a delete, a new first row) and another program's change are not seen,
// whether the row was read already or not; the next open sees them all.
TEST_P(ScrollCursor, KeepsTheRowsOfItsOpenAcrossSaves) {
  Cursor c;
  declare(c, "select k, name from br order by k", true);
  open(c);
  ASSERT_EQ(rt::status, 0) << last_error_message();
  EXPECT_EQ(at(c, Fetch::Next), "1 r1");
  EXPECT_EQ(at(c, Fetch::Next), "2 r2");

  begin_work();
  ok("update br set name = 'changed' where k = 2");
  ok("delete from br where k = 3");
  ok("insert into br values (0, 'new')");
  commit_work();
  ok("delete from br where k = 6");
  other_->run("update br set name = 'other' where k = 5");

  EXPECT_EQ(at(c, Fetch::Relative, 0), "2 r2");
  EXPECT_EQ(at(c, Fetch::Next), "3 r3");
  EXPECT_EQ(at(c, Fetch::Next), "4 r4");
  EXPECT_EQ(at(c, Fetch::Next), "5 r5");
  EXPECT_EQ(at(c, Fetch::Next), "6 r6");
  EXPECT_EQ(at(c, Fetch::Next), "status 100");
  EXPECT_EQ(at(c, Fetch::Previous), "5 r5");
  EXPECT_EQ(at(c, Fetch::First), "1 r1");
  EXPECT_EQ(at(c, Fetch::Last), "6 r6");

  open(c);
  EXPECT_EQ(at(c, Fetch::Next), "0 new");
  EXPECT_EQ(at(c, Fetch::Next), "1 r1");
  EXPECT_EQ(at(c, Fetch::Next), "2 changed");
  EXPECT_EQ(at(c, Fetch::Last), "5 other");
}

// A browse left idle lets the server clean up (on PostgreSQL) yet keeps
// its rows and its place; a schema change while a browse is open neither
// waits for the browse nor ends it.
TEST_P(ScrollCursor, OutlivesIdleTimeAndSchemaChanges) {
  // Long enough that the snapshot is still held when first looked at on a
  // slow machine.
  settings_.cursor_idle_ms = 1500;
  reconnect();
  Cursor c;
  declare(c, "select k, name from br where k > ? order by k", true);
  open(c, {Value::of_int(1)});
  EXPECT_EQ(at(c, Fetch::Next), "2 r2");
  if (pg()) {
    EXPECT_EQ(other_->holding_back(), 1);
    EXPECT_TRUE(eventually([&] { return other_->holding_back() == 0; }));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  }
  ok("delete from br where k = 3");
  EXPECT_EQ(at(c, Fetch::Next), "3 r3");
  EXPECT_EQ(at(c, Fetch::Previous), "2 r2");
  EXPECT_EQ(at(c, Fetch::Last), "6 r6");

  open(c, {Value::of_int(1)});
  EXPECT_EQ(at(c, Fetch::Next), "2 r2");
  ok("create index br_k on br (k)");
  ok("create table br2 (a integer)");
  ok("drop table br2");
  ok("delete from br where k = 4");
  EXPECT_EQ(at(c, Fetch::Next), "4 r4");
  EXPECT_EQ(at(c, Fetch::Last), "6 r6");
  EXPECT_EQ(at(c, Fetch::Absolute, 1), "2 r2");
}

// On PostgreSQL the browse reads on a session whose snapshot holds back
// the clean-up of rows deleted since; it lets go once the last browse is
// closed, and a browse opened inside a transaction, or over a temporary
// table, is read where the program's changes are seen.
TEST_P(ScrollCursor, LetsTheServerCleanUpWhenClosed) {
  settings_.cursor_idle_ms = 600000;
  reconnect();
  Cursor a, b;
  declare(a, "select k, name from br order by k", true);
  declare(b, "select k, name from br order by k desc", true);
  open(a);
  open(b);
  EXPECT_EQ(at(a, Fetch::Next), "1 r1");
  EXPECT_EQ(at(b, Fetch::Next), "6 r6");
  if (pg()) {
    EXPECT_EQ(other_->holding_back(), 1);
  }
  close(a);
  EXPECT_EQ(at(b, Fetch::Next), "5 r5");
  close(b);
  if (pg()) {
    EXPECT_EQ(other_->holding_back(), 0);
  }

  begin_work();
  ok("insert into br values (7, 'pending')");
  Cursor in_txn;
  declare(in_txn, "select k, name from br order by k desc", true);
  open(in_txn);
  EXPECT_EQ(at(in_txn, Fetch::Next), "7 pending");
  commit_work();
  EXPECT_EQ(at(in_txn, Fetch::Next), "6 r6");

  ok("select k, name from br where k < 3 into temp t_br with no log");
  Cursor temp;
  declare(temp, "select k, name from t_br order by k", true);
  open(temp);
  EXPECT_EQ(at(temp, Fetch::Last), "2 r2");

  // A browse that folds case: beside another one, and alone.
  Cursor plain, folded;
  declare(plain, "select k, name from br order by k", true);
  declare(folded, "select k, upper(name) from br where k > ? order by k", true);
  open(plain);
  open(folded, {Value::of_int(1)});
  EXPECT_EQ(at(folded, Fetch::Next), "2 R2");
  EXPECT_EQ(at(plain, Fetch::Next), "1 r1");
  close(plain);
  open(folded, {Value::of_int(4)});
  EXPECT_EQ(at(folded, Fetch::Next), "5 R5");
  EXPECT_EQ(at(folded, Fetch::Last), "7 PENDING");
}

// What the program lets go of is let go of in the database too, before its
// next statement: a cursor dropped without a close (as when the connection
// goes) no longer keeps its table from being dropped, and a freed
// statement leaves no prepared statement on the server. Once the server
// has ended the program's sessions, letting go of what is left asks
// nothing of it, and the program connects again.
TEST_P(ScrollCursor, LetsGoOfWhatItDropsAlsoWhenTheServerIsGone) {
  auto prepared = [&] {
    Value n(integer_t());
    select_into("select count(*) from pg_prepared_statements", {}, {&n});
    EXPECT_EQ(rt::status, 0) << last_error_message();
    return n.as_int();
  };
  ok("create table gone (k integer)");
  ok("insert into gone values (1)");
  begin_work();
  {
    Cursor f;
    declare(f, "select k from gone", false);
    open(f);
    Value k(integer_t());
    fetch_next(f, {&k});
    EXPECT_EQ(k.as_int(), 1);
  }
  ok("drop table gone");
  commit_work();
  if (pg()) {
    const std::int64_t before = prepared();
    Statement s;
    prepare(s, "select k from br where k = ?");
    EXPECT_EQ(prepared(), before + 1);
    free_statement(s);
    EXPECT_EQ(prepared(), before);

    Cursor lazy, forward;
    declare(lazy, "select k, name from br order by k", true);
    declare(forward, "select k, name from br order by k", false);
    open(lazy);
    open(forward);
    EXPECT_EQ(at(lazy, Fetch::Next), "1 r1");
    other_->run("select count(pg_terminate_backend(pid)) from pg_stat_activity where application_name = 'lunadesk'");
    ASSERT_TRUE(eventually([&] {
      return other_->run("select count(*) from pg_stat_activity where application_name = 'lunadesk'") == "0";
    }));
    EXPECT_NE(at(lazy, Fetch::Next), "2 r2");
    reconnect();
  }
  Cursor again;
  declare(again, "select k, name from br order by k", true);
  open(again);
  EXPECT_EQ(at(again, Fetch::Last), "6 r6");
}

// A browse too large to read into the program when idle stays on the
// server, held, with its rows and its place; the second session goes once
// it is closed (on PostgreSQL).
TEST_P(ScrollCursor, ALargeIdleBrowseStaysHeldUntilClosed) {
  auto sessions = [&] {
    return other_->run("select count(*) from pg_stat_activity where application_name = 'lunadesk'");
  };
  ok("create table many (k integer)");
  begin_work();
  for (int k = 1; k <= 2100; ++k) ok("insert into many values (?)", {Value::of_int(k)});
  commit_work();
  Cursor c;
  declare(c, "select k, 'x' from many order by k", true);
  open(c);
  EXPECT_EQ(at(c, Fetch::Next), "1 x");
  if (pg()) {
    EXPECT_TRUE(eventually([&] { return other_->holding_back() == 0; }));
    EXPECT_EQ(sessions(), "2");
  }
  ok("delete from many where k > 1000");
  EXPECT_EQ(at(c, Fetch::Absolute, 1500), "1500 x");
  EXPECT_EQ(at(c, Fetch::Last), "2100 x");
  close(c);
  if (pg()) {
    EXPECT_TRUE(eventually([&] { return sessions() == "1"; }));
  }
}

// What the hook is told, and on which thread (only the program's own may
// draw or read keys).
struct HookSeen {
  std::thread::id program;
  int polls = 0, longs = 0, overs = 0, elsewhere = 0;
  std::function<void()> at_long;
};
HookSeen* hook_seen = nullptr;
void count_waits(LockWait w) {
  HookSeen& h = *hook_seen;
  if (std::this_thread::get_id() != h.program) ++h.elsewhere;
  if (w == LockWait::Poll) ++h.polls;
  if (w == LockWait::Over) ++h.overs;
  if (w == LockWait::Long && ++h.longs == 1 && h.at_long) h.at_long();
}

// A save that waits for another program's lock while the browse's idle
// time runs out: the reader lets go of its session meanwhile (on
// PostgreSQL), the wait is told only on the program's thread, the save
// ends as the lock decides (done once it is let go of, refused with -154
// when it is held past the lock timeout), and the browse goes on with the
// rows of its open.
TEST_P(ScrollCursor, IdleBrowseDuringALockWait) {
  struct Case {
    bool released;  // the other program lets go of its lock while the save waits
    int status;
    const char* stored;
  };
  for (const Case& t : {Case{false, err::kLocked, "r2"}, Case{true, 0, "mine"}}) {
    SCOPED_TRACE(t.released ? "lock let go of" : "lock held");
    Other holder(*db_);
    HookSeen seen;
    seen.program = std::this_thread::get_id();
    std::string sessions_at_long;
    std::thread letting_go;
    seen.at_long = [&] {
      if (pg())
        sessions_at_long = other_->run("select count(*) from pg_stat_activity where application_name = 'lunadesk'");
      if (t.released) letting_go = std::thread([&] { holder.run("commit"); });
    };
    hook_seen = &seen;
    set_lock_wait_hook(&count_waits);

    Cursor c;
    declare(c, "select k, name from br order by k", true);
    open(c);
    EXPECT_EQ(at(c, Fetch::Next), "1 r1");
    holder.run(pg() ? "begin; update br set name = 'other' where k = 2" : "begin immediate");
    {
      ContinueOnLock scope;
      begin_work();
      execute("update br set name = 'mine' where k = 2");
      const int status = rt::status;
      if (status == 0)
        commit_work();
      else
        rollback_work();
      EXPECT_EQ(status, t.status) << last_error_message();
    }
    if (letting_go.joinable())
      letting_go.join();
    else
      holder.run("rollback");
    set_lock_wait_hook(nullptr);
    hook_seen = nullptr;

    EXPECT_GT(seen.polls, 0);
    EXPECT_GE(seen.longs, 1);
    EXPECT_EQ(seen.overs, seen.longs);
    EXPECT_EQ(seen.elsewhere, 0);
    if (pg()) {
      EXPECT_EQ(sessions_at_long, "1");
    }
    EXPECT_EQ(at(c, Fetch::Next), "2 r2");
    EXPECT_EQ(at(c, Fetch::Last), "6 r6");
    EXPECT_EQ(at(c, Fetch::Previous), "5 r5");
    open(c);
    EXPECT_EQ(at(c, Fetch::Absolute, 2), std::string("2 ") + t.stored);
    close(c);
  }
}

// The program's hook runs before every call that reaches the database, the
// screen's last drawing is sent there: a statement, a cursor's open and
// fetches, the start and end of a transaction.
int calls_before = 0;
void count_call() { ++calls_before; }

TEST_P(ScrollCursor, TheProgramsHookRunsBeforeEachCallToTheDatabase) {
  set_before_call_hook(&count_call);
  calls_before = 0;
  Cursor c;
  declare(c, "select k, name from br order by k", true);
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"open", [&] { open(c); }},
      {"fetch", [&] { EXPECT_EQ(at(c, Fetch::Next), "1 r1"); }},
      {"fetch from the server", [&] { EXPECT_EQ(at(c, Fetch::Last), "6 r6"); }},
      {"begin", [] { begin_work(); }},
      {"statement", [] { execute("update br set name = 'hooked' where k = 3"); }},
      {"commit", [] { commit_work(); }},
  };
  for (const auto& [what, call] : calls) {
    const int before = calls_before;
    call();
    EXPECT_EQ(rt::status, 0) << what << ": " << last_error_message();
    EXPECT_GE(calls_before, before + 1) << what;
  }
  set_before_call_hook(nullptr);
  const int hooked = calls_before;
  execute("update br set name = 'r3' where k = 3");
  EXPECT_EQ(calls_before, hooked) << "a hook taken away is not called";
}

INSTANTIATE_TEST_SUITE_P(Backends, ScrollCursor, lunadesk::testing::all_backends(), lunadesk::testing::backend_name);

}  // namespace
}  // namespace rt::sql
