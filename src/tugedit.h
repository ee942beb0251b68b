// The tax use group program: its form, its module state and its
// operations, shared by the program's own files only.
//
//   tugedit.cpp         start-up, the ring menu, Delete and its probes
//   tugedit_browse.cpp  Find, Next, Previous and the display of a row
//   tugedit_entry.cpp   Add and the two-stage entry of a group row
//   tugedit_save.cpp    the saves of Add and Change
//
// The state lives for the whole run: the current group row, the 200-row
// tax-link array with its count, and the query flag. There is no list of
// group rows in memory: the browse cursor is the list.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "screen/form.h"
#include "sql/sql.h"
#include "values/value.h"

extern const rt::ui::FormDef kTugeditForm;

struct TxUseG {
  rt::Value tu_use_g{rt::char_t(8)};
  rt::Value tu_prodtcl{rt::char_t(5)};
  rt::Value tu_description{rt::char_t(40)};
  rt::Value tu_link{rt::serial_t()};
};

// One tax table with the schedule it is reported on, in the order of the
// columns of the screen array sa_table.
struct TaxLink {
  rt::Value tul_sched{rt::char_t(5)};
  rt::Value tt_code{rt::char_t(5)};
  rt::Value tt_level{rt::char_t(1)};
  rt::Value tt_where{rt::char_t(10)};
  rt::Value tt_rate{rt::decimal_t(16, 6)};
  rt::Value tt_date{rt::date_t()};
  rt::Value tt_charge{rt::char_t(1)};
  rt::Value tt_descr{rt::char_t(30)};
  rt::Value tt_trn{rt::integer_t()};
};

inline constexpr int kArrSize = 200;

extern TxUseG mv_tx_use_g;
extern std::array<TaxLink, kArrSize> mv_arr;
extern int mv_arr_cnt;
extern int mv_queried;
// The tax tables that the last entry listed (their tt_trn), and whether
// tx_table held more than the array could list. A Change then replaces
// only the links of the listed tax tables, so that links to tax tables
// the operator never saw are kept.
extern std::vector<rt::Value> mv_listed_trn;
extern bool mv_list_cut;
// The schedules stored for the current group row, by tax table (tt_trn),
// as the last entry read them: the links a Change started from. A Change
// stores only while the row still has exactly these.
using StoredLinks = std::map<std::int64_t, rt::Value>;
extern StoredLinks mv_loaded_links;
// The current group row as stored when this program last read or stored
// it: with mv_loaded_links, what a Change must find unchanged to store over
// it. The browse cursor delivers rows as they were when the query ran, so
// a row this program stored or read again since then is known by that (by
// tu_link, until the next Find).
extern TxUseG mv_seen;
extern std::map<std::int64_t, TxUseG> mv_stored;
// The current row fetched from the cursor is seen, and held in
// mv_tx_use_g, as this program last stored or read it since the Find, or
// else as the cursor delivered it: a Change of one field never writes
// another field's older value.
void seen_fetched();
// The current row is seen as it stands in mv_tx_use_g (stored or read
// again by this program).
void seen_stored();

// Fetches the next row of `cursor` into row `row` of mv_arr. A tax table
// whose rate or date another tool wrote as no valid value still counts as
// a row, shown with that field blank, and the operator is told once per
// list (`told`). False at the end of the rows.
bool fetch_arr_row(rt::sql::Cursor& cursor, int row, bool* told);

// Every field of all 200 rows of mv_arr to null.
void clear_arr();
// The variables of row `row` (from 1) of mv_arr, in screen-array order.
std::vector<rt::Value*> arr_row(int row);

// tugedit.cpp
// The module state as the program starts: no group, no links.
void init_state();
void tax_use();
bool can_delete();

// tugedit_browse.cpp
void find();
void declare_cursor(const std::string& lv_sql);
bool fetch_data(int lv_dir);
void load_tax_link();
void display_data();
void display_array();
void display_desc(std::string_view lv_col);
// The current group row as stored now, read by its tu_link, with its class
// description and links: shown and kept as the current record after an
// input that was given up. A row gone meanwhile is told and the form
// cleared.
void show_stored();

// tugedit_entry.cpp
void add();
bool input_data(bool lv_upd);
bool validate_group();
// The schedules of the current group row as stored now.
StoredLinks stored_schedules();
// The array input of the entry once more, over the rows as the operator
// left them (a save that a lock kept from storing); FALSE when cancelled.
bool resume_links();

// tugedit_save.cpp. insert_tx_use_link runs inside the transaction of the
// save that calls it. insert_new_data returns FALSE when a lock held by
// another program kept it from storing (nothing stored, the operator
// told).
bool insert_new_data();
void insert_tx_use_link();
void upd();
