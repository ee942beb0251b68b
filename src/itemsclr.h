// Clear matched transactions: for the customers of the chosen statement
// cycles, delete the open items of every invoice whose signed transactions
// up to a cycle end date net to exactly zero, and record that date as the
// cycles' last clearing date.
//
// The program (itemsclr.cpp) owns the screen: the form, the "Process" menu
// and the criteria input of `clear_matched`. The clearing run
// (itemsclr_run.cpp) owns the statements, the cursor and the temporary
// tables `t_cust_items` and `t_neg_types`, and never touches the screen,
// so that the benchmark runs exactly the program's own code.
//
// One run, as a state machine:
//
//   menu --New--> criteria --accept--> plan --> gather --> sign --> net
//    ^               |                   |     (begin)                |
//    |           interrupt            refused                      delete
//    |               |                   |                            |
//    +<--------------+-------------------+         commit <------- date
//    |                                               |
//    +<------------ message <------- statistics <----+
//
//   criteria  the earlier run's temporary tables dropped, then query by
//             example over the end date and the cycles
//   plan      `plan_clearing`: the cycle condition cut from the criteria
//             condition (its 65th character on), checked to be a criterion
//             on numbers only, and the two statement texts built
//   gather    `t_cust_items`: the still-open transactions of the customers
//             of those cycles dated on or before the end date;
//             `ti_items_inv` on the invoice key (each matched invoice's
//             items are found by it), then `ti_items`
//   sign      `t_neg_types`, `ti_types_code`; amounts of the "-" types are
//             negated
//   net       the cursor `c_match_items`: one row per customer and invoice
//             whose signed amounts sum to exactly zero, streamed
//   delete    one DELETE per matched invoice, of the gathered open items
//             only
//   date      `arcy_last_date` of the chosen cycles becomes the end date
//   commit    gather to date is one transaction: a run stopped anywhere
//             before the commit (an SQL error, a hang-up, a kill, the
//             interrupt key) deletes no open item and dates no cycle; the
//             interrupt key cuts the running statement short, and the run
//             says on the error line that nothing was cleared
//   statistics "UPDATE STATISTICS", except on PostgreSQL
//
// An SQL error at any statement of the run stops the program with the
// runtime's report (and rolls the run back), except the two DROP TABLE
// statements before the criteria, whose errors go to the error log.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "screen/form.h"
#include "values/date.h"

extern const rt::ui::FormDef kItemsclrForm;

// One run, from the criteria to the final message; returns to the menu.
void clear_matched();

// What a run is to do, made from the criteria before anything changes.
struct ClearPlan {
  rt::Date end_date;
  std::string items_sql;   // the gathering into t_cust_items (p_items)
  std::string update_sql;  // the dating of the cycles (p_update)
};

// Builds the plan from the end date and the query-by-example condition
// over ar_item.ar_tran_dt and ar_customer.cust_stmt_cycle. nullopt, with
// the reason in *why, when the condition is not of the shape the run
// relies on or a statement would be too long: nothing is run then.
std::optional<ClearPlan> plan_clearing(rt::Date lv_end_date, std::string_view lv_condition, std::string* why);

// The cycle condition of step "plan": "1=1" when no cycle was given, else
// "arcy_code " followed by the criterion on the cycle (from the 65th
// character of the condition). nullopt when the condition does not begin
// with the 64-character date criterion of `lv_date_text`, or when what
// follows is anything but a criterion on whole numbers.
std::optional<std::string> cycle_condition(std::string_view lv_condition, std::string_view lv_date_text);

// What a run did; the program shows no numbers, the benchmark does.
struct ClearCounts {
  long matched = 0;          // invoices that netted to zero
  long deleted = 0;          // open items deleted
  bool interrupted = false;  // the interrupt key stopped it: nothing changed
  // Invoices left open because an item's amount is no number (each item
  // named in the error log), and the first of them as the operator reads
  // it ("customer 12 invoice 345").
  long left_open = 0;
  std::string first_left_open;
};

// The run's fixed statements, in the order run_clearing issues them
// between the gathering and the dating; the benchmark issues the same
// texts straight through each back end's C API.
struct ClearStatements {
  std::string_view index_invoices;  // ti_items_inv
  std::string_view index_items;     // ti_items
  std::string_view bad_amounts;     // embedded back end: the sum that refuses an amount that is no number
  std::string_view neg_types;       // t_neg_types
  std::string_view index_types;     // ti_types_code
  std::string_view sign;            // the "-" types' amounts negated
  std::string_view match;           // c_match_items: customer, invoice, sum
  std::string_view remove;          // p_delete: customer, invoice, customer, invoice
};
const ClearStatements& clearing_statements();

// Drops the temporary tables of an earlier run on this connection, with
// errors written to the error log.
void drop_clearing_tables();

// Runs gather to date in one transaction, then the statistics refresh.
// The interrupt key (rt::int_flag) cuts the statement that runs short and
// rolls the whole run back: the result then says `interrupted`, and the
// flag is left for the caller to answer.
ClearCounts run_clearing(const ClearPlan& lv_plan);
