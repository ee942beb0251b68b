// Add and the entry of a group row in two stages: the header (group code,
// product tax class with its lookup and check, description with the group's
// default), then the schedules typed over the list of every tax table.
//
// Entry only fills mv_tx_use_g and mv_arr; it never writes to the
// database. The saves are in tugedit_save.cpp.
#include <cstdint>
#include <map>
#include <optional>

#include "core/runtime.h"
#include "findit.h"
#include "lib.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "tugedit.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

namespace {

sql::Cursor c_all_tax;
sql::Cursor c_link_sched;

// The lookup removes the line-break marker and upshifts the compared
// column before it runs the query.
constexpr std::string_view kClassLookup =
    "select icl_code, icl_desc from inv_classes \\n                    where icl_code matches ? and icl_type = 'T'";

// Leaving the class field: the class must exist, the pair must be new, and
// the description becomes the group's own (or empty for a new group).
void class_check(ui::Dialog& d) {
  active_keys("ac");
  display_desc("tu_prodtcl");
  if (rt::status == 100) {
    ui::error("Invalid value");
    d.next_field("tu_prodtcl");
    return;
  }
  if (!validate_group()) {
    d.next_field("tu_use_g");
    return;
  }
  Value lv_desc(rt::char_t(40));
  sql::select_into("SELECT MIN(tu_description)  FROM tx_use_g WHERE tu_use_g=? ", {mv_tx_use_g.tu_use_g}, {&lv_desc});
  mv_tx_use_g.tu_description = lv_desc;
  ui::display_field("tu_description", mv_tx_use_g.tu_description);
}

// F5 or Ctrl-F: in the class field only, the class picked in the search
// list replaces the class; a cancelled search leaves it empty.
void class_lookup(ui::Dialog& d) {
  if (!d.infield("tu_prodtcl")) return;
  std::optional<std::string> code = findit(kClassLookup);
  if (code)
    mv_tx_use_g.tu_prodtcl.set_text(*code);
  else
    mv_tx_use_g.tu_prodtcl.set_null();
  ui::display_field("tu_prodtcl", mv_tx_use_g.tu_prodtcl);
}

bool input_header(bool lv_upd) {
  rt::int_flag = 0;
  ui::Events events;
  events.before_input = [lv_upd](ui::Dialog& d) {
    ui::display_at("", 3, 1);
    active_keys("ac");
    if (lv_upd) d.next_field("tu_description");
  };
  events.on_key.push_back({{ui::key::f(5), ui::key::ctrl('f')}, class_lookup});
  events.before_field["tu_prodtcl"] = [](ui::Dialog&) { active_keys("acf"); };
  events.after_field["tu_prodtcl"] = class_check;
  events.after_field["tu_description"] = [lv_upd](ui::Dialog& d) {
    if (lv_upd) d.next_field_next();
  };
  events.after_input = [lv_upd](ui::Dialog& d) {
    if (rt::int_flag) return;  // the input ends; input_data reads the flag
    if (!lv_upd && !validate_group()) {
      d.next_field("tu_use_g");
      return;
    }
    const char* missing = mv_tx_use_g.tu_use_g.is_null()         ? "tu_use_g"
                          : mv_tx_use_g.tu_prodtcl.is_null()     ? "tu_prodtcl"
                          : mv_tx_use_g.tu_description.is_null() ? "tu_description"
                                                                 : nullptr;
    if (missing) {
      ui::error("You must enter a value");
      d.next_field(missing);
    }
  };
  ui::input({{"tu_use_g", &mv_tx_use_g.tu_use_g},
             {"tu_prodtcl", &mv_tx_use_g.tu_prodtcl},
             {"tu_description", &mv_tx_use_g.tu_description},
             {"tu_link", &mv_tx_use_g.tu_link}},
            events, true);
  if (rt::int_flag) {
    rt::int_flag = 0;
    return false;
  }
  return true;
}

// Every tax table in level, where and code order, each with the schedule
// stored for the current group row (none for a new row). The array holds
// 200: a longer list is cut there, and the operator is told.
void load_all_tax() {
  clear_arr();
  mv_listed_trn.clear();
  mv_list_cut = false;
  mv_loaded_links = stored_schedules();
  const StoredLinks& stored = mv_loaded_links;
  sql::declare(c_all_tax,
               "SELECT \"\",   tx_table.tt_code,   tx_table.tt_level,   tx_table.tt_where,   tx_table.tt_rate,   "
               "tx_table.tt_date,   tx_table.tt_charge,   tx_table.tt_descr,   tx_table.tt_trn  FROM tx_table "
               "ORDER BY tt_level ASC,tt_where ASC,tt_code ASC",
               false);
  sql::open(c_all_tax);
  mv_arr_cnt = 0;
  bool told = false;
  for (;;) {
    if (mv_arr_cnt == kArrSize) {
      TaxLink extra;
      sql::fetch_next(c_all_tax, {&extra.tul_sched});
      mv_list_cut = rt::status == 0;
      break;
    }
    TaxLink& row = mv_arr[static_cast<std::size_t>(mv_arr_cnt)];
    if (!fetch_arr_row(c_all_tax, mv_arr_cnt + 1, &told)) break;
    if (auto it = stored.find(row.tt_trn.as_int()); it != stored.end()) row.tul_sched = it->second;
    mv_listed_trn.push_back(row.tt_trn);
    ++mv_arr_cnt;
  }
  sql::close(c_all_tax);
}

bool input_links(bool load) {
  if (load) load_all_tax();
  display_array();
  if (load && mv_list_cut) ui::error("There are more than 200 tax tables: only the first 200 are listed");
  ui::set_count(mv_arr_cnt);
  rt::int_flag = 0;
  ui::Events events;
  events.help_number = 103;  // the list keys, and their control keys
  // Only a row that carries a tax table can be linked. Rows are never
  // inserted here; the one blank row of an empty list is the only row
  // without one.
  events.after_field["tul_sched"] = [](ui::Dialog& d) {
    TaxLink& row = mv_arr[static_cast<std::size_t>(d.arr_curr() - 1)];
    if (row.tt_trn.is_null() && row.tul_sched.length() > 0) {
      row.tul_sched.set_null();
      ui::display_field("tul_sched", row.tul_sched, d.scr_line());
      ui::error("There is no tax table on this row to link a schedule to");
      d.next_field("tul_sched");
    }
  };
  ui::ArrayInputOptions opt;
  opt.max_rows = kArrSize;
  opt.without_defaults = true;
  opt.allow_insert = false;
  opt.allow_delete = true;
  ui::input_array("sa_table", arr_row, opt, events);
  mv_arr_cnt = ui::arr_count();
  if (rt::int_flag) {
    rt::int_flag = 0;
    return false;
  }
  return true;
}

// A cancelled Add shows the current row of the query again, as stored
// now, or a blank form.
void add_cancelled(const TxUseG& lv_current) {
  if (mv_queried == 1) {
    mv_tx_use_g = lv_current;
    show_stored();
  } else {
    ui::clear_form();
  }
}

}  // namespace

// The schedules stored for the current group row, by tax table. One read
// of the row's links instead of one lookup per tax table: on a server each
// lookup is a round trip, and 200 of them cost more than the operator
// should wait for the list. A row has at most one link per tax table (the
// unique key of tx_use_link).
StoredLinks stored_schedules() {
  StoredLinks out;
  if (mv_tx_use_g.tu_link.is_null()) return out;  // a new row has none
  sql::declare(c_link_sched,
               "SELECT tx_use_link.tul_trn,   tx_use_link.tul_sched  FROM tx_use_link WHERE "
               "tx_use_link.tul_link=? ",
               false);
  sql::open(c_link_sched, {mv_tx_use_g.tu_link});
  Value trn(rt::integer_t()), sched(rt::char_t(5));
  for (sql::fetch_next(c_link_sched, {&trn, &sched}); rt::status == 0; sql::fetch_next(c_link_sched, {&trn, &sched}))
    out.emplace(trn.as_int(), sched);
  sql::close(c_link_sched);
  return out;
}

// A save that a lock kept from storing goes back into the array input,
// with the schedules typed.
void add() {
  const TxUseG lv_current = mv_tx_use_g;
  mv_tx_use_g.tu_use_g.set_null();
  mv_tx_use_g.tu_prodtcl.set_null();
  mv_tx_use_g.tu_description.set_null();
  mv_tx_use_g.tu_link.set_null();
  ui::clear_form();
  if (!input_data(false)) {
    add_cancelled(lv_current);
    return;
  }
  while (!insert_new_data()) {
    if (!resume_links()) {
      add_cancelled(lv_current);
      return;
    }
  }
  load_tax_link();
  display_array();
  mv_queried = 0;
}

bool input_data(bool lv_upd) {
  if (!input_header(lv_upd)) return false;
  return input_links(true);
}

bool resume_links() { return input_links(false); }

bool validate_group() {
  Value one(rt::integer_t());
  sql::select_into("SELECT 1  FROM tx_use_g WHERE tu_use_g=? AND tu_prodtcl=? ",
                   {mv_tx_use_g.tu_use_g, mv_tx_use_g.tu_prodtcl}, {&one});
  if (rt::status == 0) {
    ui::error("This code is already in the system and can not be re-entered");
    return false;
  }
  return true;
}
