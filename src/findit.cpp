// The search list window and its loaders: see findit.h.
//
// findit() runs between two modes until a row is chosen:
//   search  (no search text yet, or the last search found nothing): the
//           operator types a text; it becomes a MATCHES pattern and a
//           loader fills the shared list. One row returns at once; none
//           says "No rows found" and asks again.
//   list    the rows shown through s_array; Return or Esc chooses the
//           current row, Ctrl-C goes back to search mode.
// With "-" the search mode asks nothing: the caller's rows are the list,
// so Ctrl-C in the list only shows the same list again.
//
// The loaders read forward cursors and stop after the 200th row: a search
// that matches a whole table never reads more than 200 rows of it.
#include "findit.h"

#include <array>
#include <vector>

#include "core/errors.h"
#include "core/runtime.h"
#include "lib.h"
#include "libcode.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

int mv_cnt = 0;

namespace {

std::array<FinditRec, kFinditRows> mv_list;

sql::Statement p_findit;
sql::Cursor c_findit;
sql::Cursor c_findit_alt;
sql::Cursor c_findit_prod;
sql::Cursor c_findit_cust;
sql::Cursor c_findit_empno;

constexpr std::string_view kTooManyValues = "Too many values - only first 200 are displayed";
constexpr std::string_view kTooManyRows = "Too many rows, only first 200 will be displayed";

// The argument of findit() and of the loaders as the CHAR(1024) it is.
std::string sql_arg(std::string_view lv_sql) { return rt::rtrim(rt::cut_chars(lv_sql, 1024)); }

// The pattern travels whole as the statement's one parameter: cutting it
// to a width could drop its final "*" and turn a prefix search into an
// exact one.
sql::Params pattern_param(std::string_view lv_val) {
  return {Value::of_char(lv_val, std::max(1, static_cast<int>(lv_val.size())))};
}

// The MATCHES pattern for what the operator typed: upshifted, trailing
// blanks removed, "*" appended; every row for a blank text. A text with
// "(", ")" or "+" is searched with "%" instead.
std::string search_pattern(const Value& lv_val) {
  if (lv_val.is_null() || lv_val.length() == 0) return "*";
  std::string p = rt::upshift(rt::rtrim(lv_val.str())) + "*";
  if (p.find_first_of("()+") != std::string::npos) return "%";
  return p;
}

// One load into the shared list: `open` opens the cursor, then rows are
// read from row 1 on, `build` making row i from the variables just
// fetched, and at most 200 are kept: once the 200th row is stored the
// message goes to the error line and no further row is read. Sets
// `mv_cnt` and the display count, and closes the cursor.
//
// On PostgreSQL the load runs in a unit of work of its own when none is
// open: there a cursor that outlives the transaction it was declared in
// keeps its whole result, which the server computes in full at the end of
// that transaction, so a search that matched a million rows would read all
// of them. Closed within its transaction, the cursor has read only the
// rows fetched. The embedded back end reads lazily anyway, and a unit of
// work there would take the file's write lock for a mere read.
template <class Open, class Build>
void load_list(sql::Cursor& cur, Open open, const sql::Into& into, std::string_view too_many, Build build) {
  const bool own_work = sql::backend() == sql::Backend::Postgres && !sql::in_transaction();
  if (own_work) sql::begin_work();
  open();
  mv_cnt = 1;
  for (;;) {
    sql::fetch_next(cur, into);
    if (rt::status != 0) break;
    build(mv_rec(mv_cnt));
    ++mv_cnt;
    if (mv_cnt > kFinditRows) {
      ui::error(too_many);
      break;
    }
  }
  --mv_cnt;
  sql::close(cur);
  if (own_work) sql::commit_work();
  ui::set_count(mv_cnt);
}

// A cursor over one of the fixed statements, declared at its first use and
// opened afresh for every search.
void open_fixed(sql::Cursor& cur, std::string_view text, std::string_view lv_val,
                const std::source_location& loc = std::source_location::current()) {
  if (!cur.valid()) sql::declare(cur, text, false, loc);
  sql::open(cur, pattern_param(lv_val), loc);
}

// A name as the lists show it: the company, else "name, first name".
std::string list_name(const Value& name, const Value& first, const Value& company) {
  return rt::rtrim(set_cust_name(name.str(), first.str(), company.str()));
}

// The code of row i as findit() returns it (NULL for a null code).
std::optional<std::string> code_of(int i) {
  const Value& code = mv_rec(i).code;
  if (code.is_null()) return std::nullopt;
  return code.str();
}

}  // namespace

FinditRec& mv_rec(int i, const std::source_location& loc) {
  if (i < 1 || i > kFinditRows)
    rt::fatal_error(loc, rt::err::kProgram, "Row " + std::to_string(i) + " is outside the search list of 200 rows.");
  return mv_list[static_cast<std::size_t>(i - 1)];
}

std::optional<std::string> findit(std::string_view lv_sql_arg) {
  const std::string lv_sql = sql_arg(lv_sql_arg);
  const bool own_list = lv_sql == "-";
  // A caller's list without a row would otherwise bring the window back
  // for ever: there is no search text to change and nothing to choose.
  if (own_list && mv_cnt < 1) {
    rt::int_flag = 0;
    ui::error("No rows found");
    return std::nullopt;
  }

  Value lv_val(rt::char_t(200));  // the search text; null until searched
  ui::open_window_with_form("w_findit", 4, 4, kFinditForm, true);
  banner("Find", 60);
  for (;;) {
    if (lv_val.is_null() || mv_cnt == 0) {
      rt::int_flag = 0;
      if (!own_list) {
        ui::set_input_wrap(false);
        ui::input({{"srch", &lv_val}}, {}, false);
      }
      if (rt::int_flag) {
        rt::int_flag = 0;
        ui::close_window("w_findit");
        return std::nullopt;
      }
      // The pattern takes the place of the search text, so that a blank
      // text that listed every row counts as searched.
      lv_val.set_text(search_pattern(lv_val));
      findit_load_data(lv_sql, lv_val.str());
      if (mv_cnt == 1) {
        ui::close_window("w_findit");
        rt::int_flag = 0;
        return code_of(1);
      }
      if (mv_cnt == 0) ui::error("No rows found");
    } else {
      rt::int_flag = 0;
      ui::set_count(mv_cnt);
      ui::display_array(
          "s_array",
          [](int i) -> std::vector<Value*> {
            FinditRec& r = mv_rec(i);
            return {&r.code, &r.text};
          },
          ui::Events{.help_number = 103});  // the list keys, and their control keys
      if (!rt::int_flag) break;
      rt::int_flag = 0;
      lv_val.set_null();
    }
  }
  ui::close_window("w_findit");
  mv_cnt = ui::arr_curr();
  return code_of(mv_cnt);
}

void findit_load_data(std::string_view lv_sql_arg, std::string_view lv_val) {
  const std::string lv_sql = sql_arg(lv_sql_arg);
  if (lv_sql == "-") {
    // The caller's rows; a count past the list's end shows the 200 there are.
    if (mv_cnt > kFinditRows) mv_cnt = kFinditRows;
    if (mv_cnt < 0) mv_cnt = 0;
    ui::set_count(mv_cnt);
    return;
  }
  if (lv_sql == "alt") return findit_load_data_alt(lv_val);
  if (lv_sql == "product") return findit_load_data_prod(lv_val);
  if (lv_sql == "cust") return findit_load_data_cust(lv_val);
  if (lv_sql == "empno") return findit_load_data_empno(lv_val);

  Value code(rt::char_t(30)), text(rt::char_t(60));
  auto open = [&] {
    sql::prepare(p_findit, add_upper(lv_sql));
    sql::declare(c_findit, p_findit, false);
    sql::open(c_findit, pattern_param(lv_val));
  };
  load_list(c_findit, open, {&code, &text}, kTooManyValues, [&](FinditRec& r) {
    r.code.assign(code);
    r.text.assign(text);
  });
}

void findit_load_data_alt(std::string_view lv_val) {
  Value alt(rt::integer_t()), name(rt::char_t(30)), first(rt::char_t(30)), company(rt::char_t(30)),
      addr1(rt::char_t(30));
  auto open = [&] {
    open_fixed(c_findit_alt,
               "SELECT p_altname.pn_alt,   p_altname.pn_name,   p_altname.pn_first_name,   p_altname.pn_company,   "
               "p_altname.pn_addr1  FROM p_altname WHERE upper(p_altname.pn_name_addr) MATCHES ?  ORDER BY 1 ASC",
               lv_val);
  };
  load_list(c_findit_alt, open, {&alt, &name, &first, &company, &addr1}, kTooManyValues, [&](FinditRec& r) {
    r.code.assign(alt);
    r.text.set_text(list_name(name, first, company) + ": " + addr1.str());
  });
}

void findit_load_data_prod(std::string_view lv_val) {
  Value product(rt::char_t(16)), desc(rt::char_t(40)), uom(rt::char_t(5));
  auto open = [&] {
    open_fixed(c_findit_prod,
               "SELECT inv_header.ivh_product,   inv_header.ivh_desc,   inv_header.ivh_uom_stock  FROM inv_header "
               "WHERE upper(inv_header.ivh_desc) MATCHES ?  ORDER BY 2 ASC",
               lv_val);
  };
  load_list(c_findit_prod, open, {&product, &desc, &uom}, kTooManyValues, [&](FinditRec& r) {
    r.code.assign(product);
    r.text.set_text(desc.str() + ": " + uom.str());
  });
}

void findit_load_data_cust(std::string_view lv_val) {
  // The 22 columns of ar_altname in table order.
  static const rt::Type kColumns[22] = {
      rt::integer_t(), rt::integer_t(), rt::char_t(180), rt::char_t(4),  rt::char_t(14), rt::char_t(1),
      rt::char_t(1),   rt::char_t(10),  rt::char_t(1),   rt::char_t(24), rt::char_t(14), rt::char_t(30),
      rt::char_t(30),  rt::char_t(30),  rt::char_t(30),  rt::char_t(30), rt::char_t(30), rt::char_t(5),
      rt::char_t(5),   rt::char_t(1),   rt::date_t(),    rt::date_t()};
  std::vector<Value> col;
  col.reserve(22);
  for (const rt::Type& t : kColumns) col.emplace_back(t);
  sql::Into into;
  for (Value& v : col) into.push_back(&v);
  auto open = [&] {
    open_fixed(c_findit_cust, "SELECT *  FROM ar_altname WHERE upper(an_name_addr) MATCHES ?  ORDER BY an_customer ASC",
               lv_val);
  };
  load_list(c_findit_cust, open, into, kTooManyRows, [&](FinditRec& r) {
    r.code.assign(col[0]);
    r.text.set_text(list_name(col[11], col[12], col[13]) + ": " + col[15].str());
  });
}

void findit_load_data_empno(std::string_view lv_val) {
  Value empno(rt::char_t(6)), last(rt::char_t(25)), first(rt::char_t(16));
  auto open = [&] {
    open_fixed(
        c_findit_empno,
        "SELECT empno,   lastname,   firstname  FROM pymemp WHERE upper(lastname) MATCHES ?  ORDER BY 2 ASC,3 ASC",
        lv_val);
  };
  load_list(c_findit_empno, open, {&empno, &last, &first}, kTooManyRows, [&](FinditRec& r) {
    r.code.assign(empno);
    r.text.set_text(last.str() + " " + first.str());
  });
}
