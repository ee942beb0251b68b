// Salesman name maintenance: one table (iq_salesman_name), one form, one
// ring menu. Find runs a query by example and opens a scroll cursor; Next
// and Previous move it one row; Add and Change edit the current record
// through one form input with the program's own checks; Delete asks first.
//
// Several operators may work on one table at once. A Change stores only
// over the row as this program last saw it (checked with the row locked,
// inside the save's unit of work); a save or a delete that waits for another
// program's lock shows the wait and may be given up, and what the
// operator typed is never lost to a lock.
//
// Module state: the current record, the query flag, and the browse cursor.
// There is no list of rows in memory: the cursor is the list.
#include "repnamedt.h"

#include <map>
#include <string>

#include "core/runtime.h"
#include "lib.h"
#include "libsave.h"
#include "program/program.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

namespace {

struct SalesmanRecord {
  Value iqsn_code{rt::char_t(4)};
  Value iqsn_name{rt::char_t(35)};
  Value iqsn_userlogin{rt::char_t(10)};
};

SalesmanRecord mv_iq_salesman_name;
int mv_queried = 0;
// The current row as stored when this program last read or stored it:
// what a Change must find unchanged to store over it. The browse cursor
// delivers rows as they were when the query ran, so a row this program
// stored or read again since then is known by that (by code, until the
// next Find).
SalesmanRecord mv_seen;
std::map<std::string, SalesmanRecord> mv_stored;
sql::Statement p_maint;
sql::Cursor c_maint;

// The statement text holds 512 characters; the condition must leave room
// for the select in front of it.
constexpr const char* kSelectHead = "select * from iq_salesman_name where ";
constexpr std::size_t kStatementSize = 512;

void set_record_null() {
  mv_iq_salesman_name.iqsn_code.set_null();
  mv_iq_salesman_name.iqsn_name.set_null();
  mv_iq_salesman_name.iqsn_userlogin.set_null();
}

// The current record as stored now, read by its code, shown and kept:
// what an input that was given up leaves on the form. A row gone meanwhile
// is told and the form cleared.
void show_stored() {
  SalesmanRecord lv_now;
  sql::select_into("SELECT iqsn_code, iqsn_name, iqsn_userlogin FROM iq_salesman_name WHERE iqsn_code=? ",
                   {mv_iq_salesman_name.iqsn_code}, {&lv_now.iqsn_code, &lv_now.iqsn_name, &lv_now.iqsn_userlogin});
  ui::clear_form();
  if (rt::status == 100) {
    ui::error("This record no longer exists");
    return;
  }
  mv_iq_salesman_name = lv_now;
  mv_seen = lv_now;
  mv_stored[mv_seen.iqsn_code.str()] = mv_seen;
  display_data();
}

bool same_record(const SalesmanRecord& lv_a, const SalesmanRecord& lv_b) {
  return same_value(lv_a.iqsn_code, lv_b.iqsn_code) && same_value(lv_a.iqsn_name, lv_b.iqsn_name) &&
         same_value(lv_a.iqsn_userlogin, lv_b.iqsn_userlogin);
}

// The save of a Change, one unit of work: the row is read and locked, and
// the UPDATE runs only when the row is still the one this program last
// saw. Otherwise nothing is stored, the operator is told, and the row is
// shown as it now stands (or the form cleared when it is gone). False when
// a lock held by another program kept it from saving.
bool save_change() {
  sql::ContinueOnLock locks;
  sql::begin_work();
  if (lock_refused()) return false;
  SalesmanRecord lv_now;
  sql::select_into("SELECT iqsn_code, iqsn_name, iqsn_userlogin FROM iq_salesman_name WHERE iqsn_code=? FOR UPDATE",
                   {mv_iq_salesman_name.iqsn_code}, {&lv_now.iqsn_code, &lv_now.iqsn_name, &lv_now.iqsn_userlogin});
  if (lock_refused()) return false;
  if (rt::status == 100) {
    refuse_gone();
    ui::clear_form();
    return true;
  }
  if (!same_record(lv_now, mv_seen)) {
    refuse_changed();
    mv_iq_salesman_name = lv_now;
    mv_seen = lv_now;
    mv_stored[mv_seen.iqsn_code.str()] = mv_seen;
    ui::clear_form();
    display_data();
    return true;
  }
  sql::execute("UPDATE iq_salesman_name SET iqsn_code=? ,iqsn_name=? ,iqsn_userlogin=? WHERE iqsn_code=? ",
               {mv_iq_salesman_name.iqsn_code, mv_iq_salesman_name.iqsn_name, mv_iq_salesman_name.iqsn_userlogin,
                mv_iq_salesman_name.iqsn_code});
  if (lock_refused()) return false;
  sql::commit_work();
  if (lock_refused()) return false;
  mv_seen = mv_iq_salesman_name;
  mv_stored[mv_seen.iqsn_code.str()] = mv_seen;
  return true;
}

}  // namespace

void salesman_maint() {
  ui::open_form("repnamedt", kRepnamedtForm);
  ui::display_form("repnamedt");
  banner("Salesman Name Maintenance", 80);

  ui::RingMenu menu("Salesman");
  menu.option("Find", "Find a record", [&] {
    find();
    if (mv_queried == 1) {
      menu.show({"Next", "Previous", "Change", "Delete"});
      menu.next_option("Next");
    }
  });
  menu.option("Next", "Display the next record", [] {
    if (!fetch_data(1)) ui::error("No more rows in that direction");
  });
  menu.option("Previous", "Display the previous record", [] {
    if (!fetch_data(-1)) ui::error("No more rows in that direction");
  });
  menu.option("Add", "Add a new record", [&] {
    add();
    if (mv_queried == 0) menu.hide({"Next", "Previous", "Change", "Delete"});
  });
  menu.option("Change", "Change current record", [&] {
    upd();
    menu.hide({"Previous"});
  });
  menu.option("Delete", "Delete current record", [&] {
    if (mv_queried == 0) return;
    if (!confirm("Are you sure you want to delete this?")) return;
    {
      sql::ContinueOnLock locks;
      sql::execute("DELETE FROM iq_salesman_name WHERE iqsn_code=? ", {mv_iq_salesman_name.iqsn_code});
      if (lock_refused("deleted")) return;
    }
    menu.hide({"Previous", "Change"});
    ui::clear_form();
  });
  menu.option("Exit", "Exit program", [&] { menu.exit_menu(); });
  menu.hide({"Next", "Previous", "Change", "Delete"});
  menu.run();
}

void find() {
  ui::clear_form();
  rt::int_flag = 0;
  ui::Events events;
  events.help_number = 101;
  events.before_input = [](ui::Dialog&) {
    active_keys("acw");
    ui::display_at("", 3, 1);
  };
  const std::optional<std::string> condition = ui::construct({{"iqsn_code", "iq_salesman_name.iqsn_code"},
                                                              {"iqsn_name", "iq_salesman_name.iqsn_name"},
                                                              {"iqsn_userlogin", "iq_salesman_name.iqsn_userlogin"}},
                                                             events, kStatementSize - std::string(kSelectHead).size());
  if (!condition) {
    rt::int_flag = 0;
    return;
  }
  declare_cursor(kSelectHead + rt::rtrim(*condition));
}

void declare_cursor(const std::string& lv_sql) {
  mv_stored.clear();
  sql::prepare(p_maint, lv_sql);
  sql::declare(c_maint, p_maint, true);
  sql::open(c_maint);
  if (fetch_data(1)) {
    mv_queried = 1;
  } else {
    mv_queried = 0;
    // The criteria typed are no row: the form is left blank.
    ui::clear_form();
    ui::error("No rows found");
  }
}

bool fetch_data(int lv_dir) {
  if (!c_maint.valid()) return false;
  sql::fetch(c_maint, sql::Fetch::Relative, lv_dir,
             {&mv_iq_salesman_name.iqsn_code, &mv_iq_salesman_name.iqsn_name, &mv_iq_salesman_name.iqsn_userlogin});
  if (rt::status == 0) {
    // A row this program stored or read again since the Find is shown as
    // it knows it, not as the cursor's older copy: a Change of one field
    // never writes another field's older value.
    auto stored = mv_stored.find(mv_iq_salesman_name.iqsn_code.str());
    if (stored != mv_stored.end()) mv_iq_salesman_name = stored->second;
    mv_seen = mv_iq_salesman_name;
    ui::clear_form();
    display_data();
    return true;
  }
  if (rt::status < 0) {
    ui::error("SQL error:" + std::to_string(rt::status));
    ui::sleep_seconds(2);
  }
  return false;
}

void display_data() {
  ui::display_field("iqsn_code", mv_iq_salesman_name.iqsn_code);
  ui::display_field("iqsn_name", mv_iq_salesman_name.iqsn_name);
  ui::display_field("iqsn_userlogin", mv_iq_salesman_name.iqsn_userlogin);
}

// A save that a lock kept from storing goes back into the input, with the
// values typed.
void add() {
  const SalesmanRecord lv_current = mv_iq_salesman_name;
  set_record_null();
  ui::clear_form();
  do {
    if (!input_data(false)) {
      // The current row of the query again, as stored now.
      if (mv_queried == 1) {
        mv_iq_salesman_name = lv_current;
        show_stored();
      } else {
        ui::clear_form();
      }
      return;
    }
  } while (!insert_new_data());
  mv_queried = 0;
}

void upd() {
  if (mv_queried == 0) {
    ui::error("Nothing to update - search first");
    return;
  }
  do {
    if (!input_data(true)) {
      show_stored();
      return;
    }
  } while (!save_change());
}

bool input_data(bool lv_upd) {
  rt::int_flag = 0;
  ui::Events events;
  events.before_input = [](ui::Dialog&) {
    active_keys("ac");
    ui::display_at("", 3, 1);
  };
  // In change mode the cursor never stays in the code field: it moves on
  // to the next field, the name, whichever way it came (also Up from the
  // name field).
  events.before_field["iqsn_code"] = [lv_upd](ui::Dialog& d) {
    if (lv_upd) d.next_field("iqsn_name");
  };
  events.after_field["iqsn_code"] = [](ui::Dialog& d) {
    Value one(rt::integer_t());
    sql::select_into("SELECT 1  FROM iq_salesman_name WHERE iqsn_code=? ", {mv_iq_salesman_name.iqsn_code}, {&one});
    if (rt::status == 0) {
      ui::error("This code is already in the system and can not be re-entered");
      d.next_field("iqsn_code");
    }
  };
  events.after_field["iqsn_userlogin"] = [](ui::Dialog& d) {
    Value one(rt::integer_t());
    sql::select_into("SELECT 1  FROM iq_salesman_name WHERE iqsn_userlogin=? AND iqsn_code != ? ",
                     {mv_iq_salesman_name.iqsn_userlogin, mv_iq_salesman_name.iqsn_code}, {&one});
    if (rt::status == 0) {
      ui::error("This user login name is already assigned to another salesman");
      d.next_field("iqsn_userlogin");
    }
  };
  events.after_input = [](ui::Dialog& d) {
    if (rt::int_flag) return;  // the input ends; the flag is reset below
    if (mv_iq_salesman_name.iqsn_code.is_null()) {
      ui::error("Required entry");
      d.next_field("iqsn_code");
    } else if (mv_iq_salesman_name.iqsn_name.is_null()) {
      ui::error("Required entry");
      d.next_field("iqsn_name");
    }
  };
  bool accepted = ui::input({{"iqsn_code", &mv_iq_salesman_name.iqsn_code},
                             {"iqsn_name", &mv_iq_salesman_name.iqsn_name},
                             {"iqsn_userlogin", &mv_iq_salesman_name.iqsn_userlogin}},
                            events, true);
  if (rt::int_flag || !accepted) {
    rt::int_flag = 0;
    return false;
  }
  return true;
}

bool insert_new_data() {
  // A refused insert (a code or login name that another operator stored
  // meanwhile) is told to the operator instead of stopping the program.
  sql::ContinueOnLock locks;
  sql::ContinueOnError tested;
  sql::execute("INSERT INTO iq_salesman_name VALUES (   ?,   ?,   ?)",
               {mv_iq_salesman_name.iqsn_code, mv_iq_salesman_name.iqsn_name, mv_iq_salesman_name.iqsn_userlogin});
  if (lock_refused()) return false;
  if (rt::status < 0) ui::error("Could not insert new record ...");
  return true;
}

int main(int argc, char** argv) {
  rt::program::begin(argc, argv,
                     {"repnamedt",
                      "Salesman name maintenance: find, browse, add, change and delete the salesmen\n"
                      "(salesman code, name and login name; table iq_salesman_name)."},
                     {.input_wrap = true});
  set_record_null();
  mv_queried = 0;
  salesman_maint();
  rt::program::end(0);
}
