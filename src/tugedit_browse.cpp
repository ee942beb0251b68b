// Find, Next and Previous of the tax use group program, and the display of
// one group row with its class description and its linked tax tables.
//
// Find turns the operator's criteria into a select over tx_use_g and opens
// the scroll cursor c_maint on it; Next and Previous move that cursor one
// row. Each row shown has its links read afresh into mv_arr; at most the
// first 11 are on the screen, and the array is never filled past its 200
// rows. Nothing here writes to the database.
#include "core/runtime.h"
#include "lib.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "tugedit.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

namespace {

sql::Statement p_maint;
sql::Cursor c_maint;
sql::Cursor c_tax_link;

// The statement text holds 512 characters: the criteria must leave room for
// the select around them.
constexpr std::string_view kSelectHead = "select * from tx_use_g where ";
constexpr std::string_view kSelectOrder = " order by tu_use_g, tu_prodtcl";
constexpr std::size_t kStatementSize = 512;

constexpr int kScreenRows = 11;

}  // namespace

void find() {
  ui::clear_form();
  rt::int_flag = 0;
  ui::Events events;
  events.help_number = 101;
  events.before_input = [](ui::Dialog&) {
    active_keys("acw");
    ui::display_at("", 3, 1);
  };
  const std::optional<std::string> condition =
      ui::construct({{"tu_use_g", "tx_use_g.tu_use_g"},
                     {"tu_prodtcl", "tx_use_g.tu_prodtcl"},
                     {"tu_description", "tx_use_g.tu_description"},
                     {"tu_link", "tx_use_g.tu_link"}},
                    events, kStatementSize - kSelectHead.size() - kSelectOrder.size());
  if (!condition) {
    rt::int_flag = 0;
    return;
  }
  declare_cursor(std::string(kSelectHead) + rt::rtrim(*condition) + std::string(kSelectOrder));
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
    ui::clear_form();  // the criteria typed are not a row
    ui::error("No rows found");
  }
}

bool fetch_data(int lv_dir) {
  if (!c_maint.valid()) return false;
  sql::fetch(c_maint, sql::Fetch::Relative, lv_dir,
             {&mv_tx_use_g.tu_use_g, &mv_tx_use_g.tu_prodtcl, &mv_tx_use_g.tu_description, &mv_tx_use_g.tu_link});
  if (rt::status == 0) {
    seen_fetched();
    ui::clear_form();
    load_tax_link();
    display_data();
    return true;
  }
  if (rt::status < 0) {
    ui::error("SQL error:" + std::to_string(rt::status));
    ui::sleep_seconds(2);
  }
  return false;
}

void load_tax_link() {
  clear_arr();
  sql::declare(c_tax_link,
               "SELECT tx_use_link.tul_sched,   tx_table.tt_code,   tx_table.tt_level,   tx_table.tt_where,   "
               "tx_table.tt_rate,   tx_table.tt_date,   tx_table.tt_charge,   tx_table.tt_descr,   tx_table.tt_trn  "
               "FROM tx_use_link,tx_table WHERE tx_use_link.tul_trn=tx_table.tt_trn AND tx_use_link.tul_link=? ",
               false);
  sql::open(c_tax_link, {mv_tx_use_g.tu_link});
  mv_arr_cnt = 0;
  bool told = false;
  while (fetch_arr_row(c_tax_link, mv_arr_cnt + 1, &told)) {
    if (++mv_arr_cnt == kArrSize) break;
  }
  bool more = false;
  if (mv_arr_cnt == kArrSize) {
    // One row more tells whether the array has cut the list.
    TaxLink extra;
    sql::fetch_next(c_tax_link, {&extra.tul_sched});
    more = rt::status == 0;
  }
  sql::close(c_tax_link);
  if (more) ui::error("This group has more than 200 tax links: only the first 200 are shown");
}

void display_data() {
  ui::display_field("tu_use_g", mv_tx_use_g.tu_use_g);
  ui::display_field("tu_prodtcl", mv_tx_use_g.tu_prodtcl);
  ui::display_field("tu_description", mv_tx_use_g.tu_description);
  ui::display_field("tu_link", mv_tx_use_g.tu_link);
  display_desc("tu_prodtcl");
  display_array();
}

void display_array() {
  ui::clear_record("sa_table");
  for (int i = 1; i <= mv_arr_cnt && i <= kScreenRows; ++i) {
    std::vector<const Value*> row;
    for (Value* v : arr_row(i)) row.push_back(v);
    ui::display_array_row("sa_table", i, row);
  }
}

void display_desc(std::string_view lv_col) {
  if (lv_col != "tu_prodtcl") return;
  Value lv_desc(rt::char_t(80));
  sql::select_into("SELECT icl_desc  FROM inv_classes WHERE icl_code=? AND icl_type=\"T\" ", {mv_tx_use_g.tu_prodtcl},
                   {&lv_desc});
  if (rt::status == 100) lv_desc.set_null();
  const int found = rt::status;
  ui::display_field("class_desc", lv_desc);
  // The caller reads the status of the lookup, not of the display.
  rt::status = found;
}

void show_stored() {
  TxUseG lv_now;
  sql::select_into("SELECT tu_use_g, tu_prodtcl, tu_description, tu_link FROM tx_use_g WHERE tu_link=? ",
                   {mv_tx_use_g.tu_link},
                   {&lv_now.tu_use_g, &lv_now.tu_prodtcl, &lv_now.tu_description, &lv_now.tu_link});
  ui::clear_form();
  if (rt::status == 100) {
    clear_arr();
    mv_arr_cnt = 0;
    ui::error("This record no longer exists");
    return;
  }
  mv_tx_use_g = lv_now;
  seen_stored();
  load_tax_link();
  display_data();
}
