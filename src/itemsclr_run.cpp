// The clearing run of itemsclr: the plan made from the criteria, then
// gather, sign, net, delete and date in one transaction (see itemsclr.h).
//
// Owns the statements p_items, p_delete and p_update, the cursor
// c_match_items and the knowledge whether this connection holds the
// temporary tables of an earlier run. Never touches the screen. The matched
// invoices are streamed through the cursor one row at a time, never
// collected, so a run needs the same memory whatever the number of items;
// their DELETEs go out without waiting for each answer (PipelinedChanges).
#include <cctype>
#include <cstdint>
#include <set>
#include <utility>

#include "core/errors.h"
#include "core/runtime.h"
#include "itemsclr.h"
#include "libparm.h"
#include "qbe/criteria.h"
#include "sql/sql.h"

namespace sql = rt::sql;
using rt::Value;

namespace {

sql::Statement p_items;
sql::Statement p_delete;
sql::Statement p_update;
sql::Cursor c_match_items;

// Whether t_cust_items and t_neg_types exist on this connection: only a
// committed run leaves them. Dropping them when they are not there would
// only fill the error log with "table not found" and keep the log of every
// run that went well.
bool mv_tables_made = false;

// Statement texts hold 1024 characters.
constexpr std::size_t kStatementSize = 1024;

constexpr std::string_view kItemsHead =
    "select ar_item.ar_customer, ar_item.ar_tran_type, ar_item.ar_amount, ar_item.ar_invoice_nbr, "
    "ar_item.ar_seq_nbr from ar_item, ar_openitem, ar_customer where ar_item.ar_invoice_nbr = "
    "ar_openitem.aroi_invoice_nbr and ar_item.ar_customer = ar_openitem.aroi_customer and "
    "ar_item.ar_seq_nbr = ar_openitem.aroi_seq_nbr and ar_item.ar_customer = ar_customer.cust_customer and ";
constexpr std::string_view kItemsTail = " into temp t_cust_items";

constexpr ClearStatements kStatements{
    // The matched invoices are looked up by customer and invoice: by the
    // DELETE's subquery once per invoice, and by the removal of invoices
    // with amounts that are no number. Through ti_items alone each lookup
    // would read every gathered item of the customer, and a customer with
    // many invoices would cost time growing with the square of their
    // number. Made first, so that on the server the table is ordered by
    // invoice and the items of one invoice lie together.
    .index_invoices = " CREATE INDEX ti_items_inv ON t_cust_items ( ar_customer,ar_invoice_nbr,ar_seq_nbr ) ",
    .index_items = " CREATE INDEX ti_items ON t_cust_items ( ar_customer,ar_tran_type ) ",
    .bad_amounts = "SELECT SUM(ar_amount) FROM t_cust_items",
    .neg_types = "SELECT DISTINCT at_type_code  FROM ar_type WHERE at_oper=\"-\"  INTO TEMP t_neg_types",
    .index_types = " CREATE INDEX ti_types_code ON t_neg_types ( at_type_code ) ",
    .sign =
        "UPDATE t_cust_items SET ar_amount=ar_amount* -1  WHERE ar_tran_type IN (SELECT at_type_code  FROM "
        "t_neg_types)",
    .match =
        "SELECT t_cust_items.ar_customer,   t_cust_items.ar_invoice_nbr,   SUM(t_cust_items.ar_amount) "
        "ar_amount  FROM t_cust_items GROUP BY 1,2 HAVING SUM(ar_amount)=0 ",
    .remove =
        "DELETE FROM ar_openitem WHERE aroi_customer=? AND aroi_invoice_nbr=?  AND aroi_seq_nbr IN (SELECT "
        "ar_seq_nbr  FROM t_cust_items WHERE t_cust_items.ar_customer=? AND t_cust_items.ar_invoice_nbr=? ) ",
};

// The date criterion and the cycle column as query by example writes them:
// 18 + 2 + 12 characters, then 5 + 27, 64 in all.
constexpr std::string_view kDateColumn = "ar_item.ar_tran_dt<=";
constexpr std::string_view kCycleColumn = " and ar_customer.cust_stmt_cycle";

// True when `s` is a criterion on whole numbers as query by example writes
// one: comparison operators, numbers, parentheses and commas, and the
// words of a list, a range or a null test. Anything else (a quote, a
// semicolon, another word) means the text did not come from a cycle
// criterion and must not reach a statement.
bool numeric_criterion(std::string_view s) {
  bool any = false;
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '(' || c == ')' || c == ',' || c == '=' || c == '<' || c == '>' || c == '!') {
      ++i;
      continue;
    }
    if (c == '-' || std::isdigit(c)) {
      std::size_t j = c == '-' ? i + 1 : i;
      const std::size_t digits = j;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j == digits) return false;
      any = true;
      i = j;
      continue;
    }
    if (std::isalpha(c)) {
      std::size_t j = i;
      while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
      const std::string_view word = s.substr(i, j - i);
      if (word != "in" && word != "between" && word != "and" && word != "is" && word != "not" && word != "null")
        return false;
      if (word == "null") any = true;
      i = j;
      continue;
    }
    return false;
  }
  return any;
}

// Amounts that are no number (text, a blob, infinity, more digits than a
// decimal holds) can stand only in the embedded database, written there by
// another tool: a numeric column of the server holds numbers. Netted, such
// an amount would count as nothing, and its invoice could be cleared as
// matched. So an invoice with such an item is left open: its items are
// taken out of the run, and each such item is named in the error log. One
// sum over the gathered items tells whether there is any (the sum refuses
// a value that is no number); only then are the items read one by one.
void leave_open_bad_amounts(ClearCounts* counts) {
  if (db_is_pg()) return;
  Value lv_total(rt::char_t(100));
  {
    sql::ContinueOnError tested;
    sql::select_into(kStatements.bad_amounts, {}, {&lv_total});
  }
  if (rt::status >= 0) return;
  sql::Cursor c_items;
  sql::declare(c_items, "SELECT ar_customer, ar_invoice_nbr, ar_seq_nbr, ar_amount FROM t_cust_items", false);
  sql::open(c_items);
  Value lv_customer(rt::integer_t()), lv_invoice(rt::integer_t()), lv_seq(rt::integer_t());
  Value lv_amount(rt::char_t(100));
  std::set<std::pair<std::int64_t, std::int64_t>> lv_bad;
  for (;;) {
    {
      sql::KeepBadValues kept;
      sql::fetch_next(c_items, {&lv_customer, &lv_invoice, &lv_seq, &lv_amount});
    }
    if (rt::status != 0 && !sql::bad_value(rt::status)) break;
    if (lv_amount.is_null() || rt::Decimal::parse(lv_amount.str())) continue;
    const std::string invoice = "customer " + lv_customer.str() + " invoice " + lv_invoice.str();
    rt::errlog("The amount of " + invoice + " item " + lv_seq.str() + " is no number ('" + rt::rtrim(lv_amount.str()) +
               "'): the invoice was left open");
    if (lv_bad.insert({lv_customer.as_int(), lv_invoice.as_int()}).second && lv_bad.size() == 1)
      counts->first_left_open = invoice;
  }
  sql::close(c_items);
  for (const auto& [customer, invoice] : lv_bad) {
    Value c(rt::integer_t()), i(rt::integer_t());
    c.set_int(customer);
    i.set_int(invoice);
    sql::execute("DELETE FROM t_cust_items WHERE ar_customer=? AND ar_invoice_nbr=? ", {c, i});
  }
  counts->left_open = static_cast<long>(lv_bad.size());
}

// The interrupt key stopped the run: what it did so far is rolled back.
bool stopped(ClearCounts* counts) {
  if (!rt::int_flag) return false;
  if (sql::in_transaction()) sql::rollback_work();
  *counts = ClearCounts{};
  counts->interrupted = true;
  return true;
}

}  // namespace

const ClearStatements& clearing_statements() { return kStatements; }

std::optional<std::string> cycle_condition(std::string_view lv_condition, std::string_view lv_date_text) {
  const std::string cond = rt::rtrim(lv_condition);
  const std::string date = std::string(kDateColumn) + "'" + std::string(lv_date_text) + "'";
  if (cond.compare(0, date.size(), date) != 0) return std::nullopt;
  if (cond.size() == date.size()) return "1=1";
  // The cycle criterion follows the date criterion, from the 65th
  // character on; it is the customer's cycle criterion turned into the same
  // criterion on the cycle code.
  if (cond.compare(date.size(), kCycleColumn.size(), kCycleColumn) != 0) return std::nullopt;
  const std::string_view tail = std::string_view(cond).substr(date.size() + kCycleColumn.size());
  if (!numeric_criterion(tail)) return std::nullopt;
  return "arcy_code " + std::string(tail);
}

std::optional<ClearPlan> plan_clearing(rt::Date lv_end_date, std::string_view lv_condition, std::string* why) {
  // The condition carries the date with a four-digit year under every
  // DBDATE; the cycles' last date is written in the runtime's date format.
  const rt::DateFormat fmt = rt::DateFormat::current();
  const std::string date_text = lv_end_date.format(fmt);
  const std::optional<std::string> cycles = cycle_condition(lv_condition, rt::qbe::condition_date(lv_end_date, fmt));
  if (!cycles) {
    *why = "The criteria are not a date and statement cycles; nothing was processed";
    return std::nullopt;
  }
  const rt::qbe::Condition items = rt::qbe::statement_text(kItemsHead, lv_condition, kItemsTail, kStatementSize);
  const rt::qbe::Condition update = rt::qbe::statement_text(
      "update ar_cycle set arcy_last_date ='" + date_text + "' where ", *cycles, "", kStatementSize);
  if (!items.ok || !update.ok) {
    *why = "Too many cycles for one run; nothing was processed";
    return std::nullopt;
  }
  return ClearPlan{lv_end_date, items.text, update.text};
}

void drop_clearing_tables() {
  if (!mv_tables_made) return;
  sql::execute_logged("DROP TABLE t_cust_items");
  sql::execute_logged("DROP TABLE t_neg_types");
  mv_tables_made = false;
}

ClearCounts run_clearing(const ClearPlan& lv_plan) {
  ClearCounts counts;
  // One unit of work: an error anywhere below stops the program, and the
  // runtime's clean-up rolls all of it back; so does the database when the
  // program is killed or hung up. On the embedded back end it also spares
  // each DELETE a commit of its own. The interrupt key cuts the running
  // statement short, and the run rolls back at the next step.
  sql::Interruptible interruptible;
  if (stopped(&counts)) return counts;
  sql::begin_work();

  // gather
  sql::prepare(p_items, lv_plan.items_sql);
  sql::execute(p_items);
  sql::execute(kStatements.index_invoices);
  sql::execute(kStatements.index_items);
  leave_open_bad_amounts(&counts);
  if (stopped(&counts)) return counts;

  // sign
  sql::execute(kStatements.neg_types);
  sql::execute(kStatements.index_types);
  sql::execute(kStatements.sign);
  if (stopped(&counts)) return counts;

  // net and delete: the sums are exact decimals on both back ends.
  sql::declare(c_match_items, kStatements.match, false);
  sql::open(c_match_items);
  sql::prepare(p_delete, kStatements.remove);
  Value lv_customer(rt::integer_t());
  Value lv_invoice(rt::integer_t());
  Value lv_sum(rt::decimal_t(10, 2));
  sql::Params lv_keys(4);
  {
    // The DELETEs need no answer one by one: the server works through them
    // while the next invoices are fetched. A failing one still stops the
    // program and rolls the run back.
    sql::PipelinedChanges deletes;
    for (;;) {
      sql::fetch_next(c_match_items, {&lv_customer, &lv_invoice, &lv_sum});
      if (rt::status != 0 || rt::int_flag) break;
      lv_keys[0] = lv_customer;
      lv_keys[1] = lv_invoice;
      lv_keys[2] = lv_customer;
      lv_keys[3] = lv_invoice;
      sql::execute(p_delete, lv_keys);
      ++counts.matched;
    }
    sql::close(c_match_items);
    counts.deleted = deletes.rows();
  }
  if (stopped(&counts)) return counts;

  // date
  sql::prepare(p_update, lv_plan.update_sql);
  sql::execute(p_update);
  if (stopped(&counts)) return counts;

  // Once the COMMIT has gone out, the server's answer is the run's outcome:
  // a Ctrl-C that arrives while it waits (for a standby to confirm, say)
  // cannot undo what the server keeps. Only a COMMIT refused before it was
  // sent leaves the run to be rolled back.
  sql::commit_work();
  if (rt::status == rt::err::kInterrupted && stopped(&counts)) return counts;
  mv_tables_made = true;

  // Statistics after the commit: the refresh reads committed data and does
  // not hold the run's locks any longer than needed.
  if (!db_is_pg()) sql::execute("UPDATE STATISTICS");
  return counts;
}
