// The saves of the tax use group program: a new group row with its links
// (Add), and a changed row whose links are replaced (Change).
//
// Each save is one transaction. A program that stops part-way (an SQL
// error under the default rule, a hang-up, a kill) leaves the database as
// it was before the save: the SQL layer rolls back on its clean-up, and the
// server (or the embedded file's journal) does so when the process dies.
// A single link insert that fails is rolled back to a savepoint of its own,
// told to the operator, and the save goes on. A group row that cannot be
// inserted, or that another program deleted before a Change is saved,
// stores nothing at all: its links would belong to no row.
#include "core/runtime.h"
#include "lib.h"
#include "libparm.h"
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

}  // namespace

void insert_new_data() {
  sql::begin_work();
  mv_tx_use_g.tu_link.set_int(pg_nextval("tx_use_g", "tu_link"));
  {
    // A pair that another operator stored since the entry checked it is
    // refused by the unique key: told, not fatal.
    sql::ContinueOnError tested;
    sql::execute("INSERT INTO tx_use_g VALUES (   ?,   ?,   ?,   ?)",
                 {mv_tx_use_g.tu_use_g, mv_tx_use_g.tu_prodtcl, mv_tx_use_g.tu_description, mv_tx_use_g.tu_link});
  }
  if (rt::status < 0) {
    sql::rollback_work();
    // No row holds this number: show none.
    mv_tx_use_g.tu_link.set_null();
    ui::display_field("tu_link", mv_tx_use_g.tu_link);
    could_not_insert();
    return;
  }
  if (mv_tx_use_g.tu_link.as_int() == 0) mv_tx_use_g.tu_link.set_int(sql::last_serial());
  ui::display_field("tu_link", mv_tx_use_g.tu_link);
  insert_tx_use_link();
  sql::commit_work();
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
  if (!input_data(true)) {
    ui::clear_form();
    return;
  }
  sql::begin_work();
  sql::execute("UPDATE tx_use_g SET tu_use_g=? ,tu_prodtcl=? ,tu_description=? WHERE tu_link=? ",
               {mv_tx_use_g.tu_use_g, mv_tx_use_g.tu_prodtcl, mv_tx_use_g.tu_description, mv_tx_use_g.tu_link});
  if (sql::rows_processed() == 0) {
    // Another program deleted the row meanwhile: its links would belong to
    // no row.
    sql::rollback_work();
    ui::clear_form();
    ui::error("This record no longer exists: nothing was saved");
    return;
  }
  delete_listed_links();
  insert_tx_use_link();
  sql::commit_work();
  load_tax_link();
  display_array();
}
