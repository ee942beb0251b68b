// Tax use group maintenance: a group code per product tax class in
// tx_use_g, and for each such row the tax tables linked to it with the
// schedule each tax is reported on (tx_use_link). The program follows the
// record-maintenance menu pattern; this file holds the start-up, the module
// state, the ring menu and Delete with its check that nothing refers to
// the row. It never stores a group or a link itself: the saves are in
// tugedit_save.cpp.
#include "tugedit.h"

#include "core/runtime.h"
#include "lib.h"
#include "libsave.h"
#include "program/program.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

TxUseG mv_tx_use_g;
std::array<TaxLink, kArrSize> mv_arr;
int mv_arr_cnt = 0;
int mv_queried = 0;
std::vector<Value> mv_listed_trn;
bool mv_list_cut = false;
StoredLinks mv_loaded_links;
TxUseG mv_seen;
std::map<std::int64_t, TxUseG> mv_stored;

void seen_fetched() {
  auto stored = mv_stored.find(mv_tx_use_g.tu_link.as_int());
  if (stored != mv_stored.end()) mv_tx_use_g = stored->second;
  mv_seen = mv_tx_use_g;
}

void seen_stored() {
  mv_seen = mv_tx_use_g;
  mv_stored[mv_seen.tu_link.as_int()] = mv_seen;
}

bool fetch_arr_row(sql::Cursor& cursor, int row, bool* told) {
  {
    sql::KeepBadValues kept;
    sql::fetch_next(cursor, arr_row(row));
  }
  if (!sql::bad_value(rt::status)) return rt::status == 0;
  if (!*told) ui::error("A tax table holds a rate or date that is no valid value: it is shown blank");
  *told = true;
  rt::status = 0;
  return true;
}

void clear_arr() {
  for (int i = 1; i <= kArrSize; ++i)
    for (Value* v : arr_row(i)) v->set_null();
}

std::vector<Value*> arr_row(int row) {
  TaxLink& r = mv_arr.at(static_cast<std::size_t>(row - 1));
  return {&r.tul_sched, &r.tt_code,   &r.tt_level, &r.tt_where, &r.tt_rate,
          &r.tt_date,   &r.tt_charge, &r.tt_descr, &r.tt_trn};
}

void init_state() {
  mv_tx_use_g.tu_use_g.set_null();
  mv_tx_use_g.tu_prodtcl.set_null();
  mv_tx_use_g.tu_description.set_null();
  mv_tx_use_g.tu_link.set_int(0);
  clear_arr();
  for (auto& r : mv_arr) r.tt_trn.set_int(0);
  mv_arr_cnt = 0;
  mv_queried = 0;
}

// The five tables that refer to a group row by its tu_link, the links
// first: a row with links is refused before the others are asked.
bool can_delete() {
  static constexpr const char* kProbes[] = {
      "SELECT DISTINCT 1  FROM tx_use_link WHERE tul_link=? ",
      "SELECT DISTINCT 1  FROM sih_inv_tax WHERE ilth_ulink=? ",
      "SELECT DISTINCT 1  FROM si_inv_tax WHERE ilt_ulink=? ",
      "SELECT DISTINCT 1  FROM fm_lad_tax WHERE fmldt_ulink=? ",
      "SELECT DISTINCT 1  FROM rs_taxes WHERE rstx_ulink=? ",
  };
  Value one(rt::integer_t());
  for (const char* probe : kProbes) {
    sql::select_into(probe, {mv_tx_use_g.tu_link}, {&one});
    if (rt::status == 0) return false;
  }
  return true;
}

namespace {

// The tables that refer to a group row, locked by a Delete from its check
// to its commit.
constexpr const char* kReferenceLocks[] = {
    "LOCK TABLE tx_use_link IN SHARE MODE", "LOCK TABLE sih_inv_tax IN SHARE MODE",
    "LOCK TABLE si_inv_tax IN SHARE MODE",  "LOCK TABLE fm_lad_tax IN SHARE MODE",
    "LOCK TABLE rs_taxes IN SHARE MODE",
};

// The Delete of the current group row, one unit of work: the row is locked
// first (as a Change locks it), then the tables that refer to it are
// locked against writers, so that no reference another program commits can
// fall between the check and the DELETE; a writer still busy with one is
// waited for, and its reference then refuses the delete. The row is locked
// before the tables, in the order a Change takes them, so that a Delete and
// a Change never wait for each other. False when nothing was deleted (the
// operator told).
bool delete_group() {
  sql::ContinueOnLock locks;
  sql::begin_work();
  if (lock_refused("deleted")) return false;
  Value lv_link(rt::integer_t());
  sql::select_into("SELECT tu_link FROM tx_use_g WHERE tu_link=? FOR UPDATE", {mv_tx_use_g.tu_link}, {&lv_link});
  if (lock_refused("deleted")) return false;
  for (const char* lock : kReferenceLocks) {
    sql::execute(lock);
    if (lock_refused("deleted")) return false;
  }
  if (!can_delete()) {
    sql::rollback_work();
    ui::error("Can not delete this record, it is referenced elsewhere");
    return false;
  }
  sql::execute("DELETE FROM tx_use_g WHERE tu_link=? ", {mv_tx_use_g.tu_link});
  if (lock_refused("deleted")) return false;
  sql::commit_work();
  return !lock_refused("deleted");
}

}  // namespace

void tax_use() {
  ui::open_form("f1", kTugeditForm);
  ui::display_form("f1");
  banner("Tax Use Group Maintenance", 80);

  ui::RingMenu menu("Code");
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
    if (!delete_group()) return;
    menu.hide({"Previous", "Change"});
    ui::clear_form();
  });
  menu.option("Exit", "Exit program", [&] { menu.exit_menu(); });
  menu.hide({"Next", "Previous", "Change", "Delete"});
  menu.run();
}
