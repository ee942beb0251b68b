// Clear matched transactions: the program's start, its "Process" menu and
// the criteria input of a run (see itemsclr.h for the run itself).
//
// Module state: the cycle end date of the run being entered. The criteria
// are a query by example over the end date (standing for ar_item's
// transaction date) and the cycles (standing for the customer's statement
// cycle); the end date is read from the date field as the operator leaves
// it, and at accept the field is given the criterion "<=" and the date, so
// that the condition selects the transactions up to that date.
#include "itemsclr.h"

#include "core/runtime.h"
#include "findit.h"
#include "lib.h"
#include "libshell.h"
#include "program/program.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace ui = rt::ui;
using rt::Date;
using rt::Value;

namespace {

Value mv_end_date{rt::date_t()};

constexpr const char* kLogFile = "itemsclr.log";

// The condition holds 1024 characters.
constexpr std::size_t kConditionSize = 1024;

// The lookup's statement as stored: the two characters "\n" and 21 blanks
// stand between "ar_cycle " and "where"; findit removes the marker.
constexpr std::string_view kCycleLookup =
    "select arcy_code, arcy_desc from ar_cycle \\n                     where arcy_desc matches ? order by 1";

// The end date as the date field's buffer gives it: null unless the buffer
// holds one valid date. The "<=" that accept puts in front of the date is
// read past, so that an input that goes on after accept keeps its date.
void read_end_date() {
  std::string buf = ui::field_buffer("arcy_cutoff_date");
  std::string_view text = buf;
  if (text.starts_with("<=")) text.remove_prefix(2);
  Value lv_date(rt::date_t());
  if (lv_date.parse_field(text) != rt::ConvError::None) lv_date.set_null();
  mv_end_date = lv_date;
}

// A date after the last day of the previous month may be a typing error;
// the operator is warned and the run is not refused.
void warn_about_date() {
  if (mv_end_date.is_null()) return;
  const Date today = Date::today();
  const Date first = *Date::from_mdy(today.month(), 1, today.year());
  const Date last_of_previous(first.days() - 1);
  if (mv_end_date.as_date() > last_of_previous) {
    ui::error("Are you sure this is the correct date");
    ui::sleep_seconds(2);
  }
}

// F5 or Ctrl-F in the cycle field: the code picked in the search list, or
// a blank field when the operator cancels it.
void lookup_cycle(ui::Dialog& d) {
  if (!d.infield("arcy_code")) return;
  const std::optional<std::string> picked = findit(kCycleLookup);
  Value lv_code(rt::smallint_t());
  if (picked) lv_code.set_text(*picked);
  ui::display_field("arcy_code", lv_code.str());
  // The search list switches input wrap off.
  ui::set_input_wrap(true);
}

}  // namespace

void clear_matched() {
  mv_end_date.set_null();
  drop_clearing_tables();
  ui::display_at("", 3, 1);
  // The last run's final message must not stand beside this one's criteria,
  // nor outlive a run that processes nothing.
  ui::display_at("", 23, 1);
  ui::display_at("", 24, 1);
  // A Ctrl-C pressed at the menu, or during the last run, belongs to what
  // it interrupted: it must not cancel these criteria unseen.
  rt::int_flag = 0;

  ui::Events events;
  events.help_number = 101;
  events.before_field["arcy_cutoff_date"] = [](ui::Dialog&) { active_keys("ac"); };
  events.after_field["arcy_cutoff_date"] = [](ui::Dialog&) {
    read_end_date();
    warn_about_date();
  };
  events.before_field["arcy_code"] = [](ui::Dialog&) { active_keys("acfw"); };
  events.on_key.push_back({{ui::key::f(5), ui::key::ctrl('f')}, lookup_cycle});
  events.after_input = [](ui::Dialog& d) {
    if (rt::int_flag) return;
    if (mv_end_date.is_null()) {
      ui::error("You must enter a date");
      d.next_field("arcy_cutoff_date");
      return;
    }
    ui::display_field("arcy_cutoff_date", "<=" + mv_end_date.str());
  };
  const std::optional<std::string> lv_condition =
      ui::construct({{"arcy_cutoff_date", "ar_item.ar_tran_dt"}, {"arcy_code", "ar_customer.cust_stmt_cycle"}}, events,
                    kConditionSize);
  if (!lv_condition) {
    rt::int_flag = 0;
    return;
  }
  ui::display_field("arcy_cutoff_date", mv_end_date);

  if (!rt::sql::may_change("ar_openitem")) {
    ui::error("The database is read-only for this user: nothing was cleared");
    return;
  }
  std::string why;
  const std::optional<ClearPlan> plan = plan_clearing(mv_end_date.as_date(), *lv_condition, &why);
  if (!plan) {
    ui::error(why);
    return;
  }
  ui::message("Processing... Please wait");
  // The last run's final message, or the date warning, must not stand
  // beside this run's.
  ui::display_at("", 24, 1);
  const ClearCounts counts = run_clearing(*plan);
  // An interrupt during the run belongs to the run: it stopped it, or came
  // too late to stop its commit. It must not cancel the next criteria.
  rt::int_flag = 0;
  if (counts.interrupted) {
    ui::error("Run interrupted - nothing was cleared");
    return;
  }
  ui::display_at("All matched transactions have been cleared", 24, 1);
  if (counts.left_open > 0) {
    const std::string more = counts.left_open > 1 ? " and " + std::to_string(counts.left_open - 1) + " more" : "";
    ui::display_at("Left open, amount no number: " + counts.first_left_open + more + " (see " + kLogFile + ")", 23, 1);
  }
}

int main(int argc, char** argv) {
  rt::program::begin(argc, argv,
                     {"itemsclr",
                      "Clear matched transactions: for the customers of the statement cycles chosen,\n"
                      "deletes the open items of every invoice that nets to zero by a cycle end date."},
                     {.input_wrap = true});
  rt::start_errlog(kLogFile);
  ui::open_form("itemsclr", kItemsclrForm);
  ui::display_form("itemsclr");
  banner("Clear Matched Transactions", 80);

  ui::RingMenu menu("Process");
  menu.option("New", "Enter new processing criteria", [] { clear_matched(); });
  menu.option("Exit", "", [&] { menu.exit_menu(); });
  menu.run();

  removelog(kLogFile);
  rt::program::end(0);
}
