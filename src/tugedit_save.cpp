// The saves of the tax use group program: a new group row with its links
// (Add), and a changed row whose links are replaced (Change).
//
// Each save is one transaction. A program that stops part-way (an SQL
// error under the default rule, a hang-up, a kill) leaves the database as
// it was before the save: the SQL layer rolls back on its clean-up, and the
// server (or the embedded file's journal) does so when the process dies.
// A single link insert that fails is rolled back to a savepoint of its own,
// told to the operator, and the save goes on. A group row that cannot be
// inserted stores nothing at all: its links would belong to no row.
//
// Several operators may work on one group at once. A Change stores only
// while the group row and its links are still as this program last saw
// them (the row as fetched or stored, the links as the entry read them):
// the row is locked first, so that two saves cannot both pass the check,
// then compared; otherwise nothing is stored and the row is shown as it
// now stands. A save that waits for another program's lock shows
// the wait and may be given up; the operator is then back in the
// schedules, as typed.
#include "core/runtime.h"
#include "lib.h"
#include "libparm.h"
#include "libsave.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "tugedit.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

namespace {

void could_not_insert() {
  ui::error("Could not insert new record ...");
  ui::sleep_seconds(1);
}

// The links of the current row that the entry replaces: all of them, or,
// when the list of tax tables was cut at 200, those of the listed tax
// tables only, so that links the operator never saw are kept.
void delete_listed_links() {
  if (!mv_list_cut) {
    sql::execute("DELETE FROM tx_use_link WHERE tul_link=? ", {mv_tx_use_g.tu_link});
    return;
  }
  for (const Value& trn : mv_listed_trn)
    sql::execute("DELETE FROM tx_use_link WHERE tul_link=? AND tul_trn=? ", {mv_tx_use_g.tu_link, trn});
}

bool same_header(const TxUseG& lv_a, const TxUseG& lv_b) {
  return same_value(lv_a.tu_use_g, lv_b.tu_use_g) && same_value(lv_a.tu_prodtcl, lv_b.tu_prodtcl) &&
         same_value(lv_a.tu_description, lv_b.tu_description);
}

bool same_links(const StoredLinks& lv_a, const StoredLinks& lv_b) {
  if (lv_a.size() != lv_b.size()) return false;
  for (auto a = lv_a.begin(), b = lv_b.begin(); a != lv_a.end(); ++a, ++b)
    if (a->first != b->first || !same_value(a->second, b->second)) return false;
  return true;
}

// The save of a Change, one unit of work. False when a lock held by
// another program kept it from storing.
bool save_change() {
  sql::ContinueOnLock locks;
  sql::begin_work();
  if (lock_refused()) return false;
  TxUseG lv_now;
  sql::select_into("SELECT tu_use_g, tu_prodtcl, tu_description, tu_link FROM tx_use_g WHERE tu_link=? FOR UPDATE",
                   {mv_tx_use_g.tu_link},
                   {&lv_now.tu_use_g, &lv_now.tu_prodtcl, &lv_now.tu_description, &lv_now.tu_link});
  if (lock_refused()) return false;
  if (rt::status == 100) {
    // Another program deleted the row: its links would belong to no row.
    refuse_gone();
    ui::clear_form();
    return true;
  }
  if (!same_header(lv_now, mv_seen) || !same_links(stored_schedules(), mv_loaded_links)) {
    refuse_changed();
    mv_tx_use_g = lv_now;
    seen_stored();
    ui::clear_form();
    load_tax_link();
    display_data();
    return true;
  }
  sql::execute("UPDATE tx_use_g SET tu_use_g=? ,tu_prodtcl=? ,tu_description=? WHERE tu_link=? ",
               {mv_tx_use_g.tu_use_g, mv_tx_use_g.tu_prodtcl, mv_tx_use_g.tu_description, mv_tx_use_g.tu_link});
  if (lock_refused()) return false;
  delete_listed_links();
  if (lock_refused()) return false;
  insert_tx_use_link();
  sql::commit_work();
  if (lock_refused()) return false;
  seen_stored();
  load_tax_link();
  display_array();
  return true;
}

}  // namespace

bool insert_new_data() {
  sql::ContinueOnLock locks;
  sql::begin_work();
  if (lock_refused()) return false;
  mv_tx_use_g.tu_link.set_int(pg_nextval("tx_use_g", "tu_link"));
  {
    // A pair that another operator stored since the entry checked it is
    // refused by the unique key: told, not fatal.
    sql::ContinueOnError tested;
    sql::execute("INSERT INTO tx_use_g VALUES (   ?,   ?,   ?,   ?)",
                 {mv_tx_use_g.tu_use_g, mv_tx_use_g.tu_prodtcl, mv_tx_use_g.tu_description, mv_tx_use_g.tu_link});
  }
  if (rt::status < 0) {
    const bool locked = lock_refused();
    if (!locked) sql::rollback_work();
    // No row holds this number: show none.
    mv_tx_use_g.tu_link.set_null();
    ui::display_field("tu_link", mv_tx_use_g.tu_link);
    if (locked) return false;
    could_not_insert();
    return true;
  }
  if (mv_tx_use_g.tu_link.as_int() == 0) mv_tx_use_g.tu_link.set_int(sql::last_serial());
  ui::display_field("tu_link", mv_tx_use_g.tu_link);
  insert_tx_use_link();
  sql::commit_work();
  return !lock_refused();
}

void insert_tx_use_link() {
  for (int i = 1; i <= mv_arr_cnt; ++i) {
    const TaxLink& row = mv_arr[static_cast<std::size_t>(i - 1)];
    if (row.tul_sched.length() == 0) continue;
    // A row without a tax table would be a link to nothing.
    if (row.tt_trn.is_null()) continue;
    sql::savepoint("tul_insert");
    {
      sql::ContinueOnError tested;
      sql::execute("INSERT INTO tx_use_link VALUES (   ?,   ?,   ?)", {mv_tx_use_g.tu_link, row.tt_trn, row.tul_sched});
    }
    if (rt::status < 0) {
      sql::rollback_to_savepoint("tul_insert");
      sql::release_savepoint("tul_insert");
      could_not_insert();
    } else {
      sql::release_savepoint("tul_insert");
    }
  }
}

void upd() {
  if (mv_queried == 0) {
    ui::error("Nothing to update - search first");
    return;
  }
  // A cancelled Change leaves nothing of its typing behind: the row is
  // shown as stored, and the next Change starts from it.
  if (!input_data(true)) {
    show_stored();
    return;
  }
  while (!save_change()) {
    if (!resume_links()) {
      show_stored();
      return;
    }
  }
}
