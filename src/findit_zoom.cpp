// The code zoom: a field's lookup chosen by its column name. The fixed
// lists are written into the shared list and shown by findit("-"); the
// finance-charge codes are searched through findit with a statement of
// their table. Holds no state of its own.
#include <span>

#include "findit.h"
#include "screen/ui.h"

namespace {

struct ZoomRow {
  const char* code;
  const char* text;
};

constexpr ZoomRow kCustStatus[] = {{"OI", "Open Item"},
                                   {"OH", "Open Item - Account on Hold"},
                                   {"BF", "Balance Forward"},
                                   {"BH", "Bal Frwd - Account on Hold"},
                                   {"CL", "Closed Account"}};

constexpr ZoomRow kCustInvoiceFlag[] = {{"P", "Print"}, {"F", "Fax"}, {"E", "EDI"}, {"M", "Email"}};

constexpr ZoomRow kCustAchFlag[] = {{"P", "Print"}, {"F", "Fax"}, {"M", "Email"}, {"N", "None"}};

// General-ledger account groups.
constexpr ZoomRow kGlmGroup[] = {{"AS", "Assets"},
                                 {"CA", "Current Assets"},
                                 {"FA", "Fixed Assets"},
                                 {"LA", "Long Term Assets"},
                                 {"LI", "Liabilities"},
                                 {"CL", "Current Liabilities"},
                                 {"LL", "Long Term Liabilities"},
                                 {"EQ", "Stockholders Equity"},
                                 {"CS", "Capital Stock"},
                                 {"PC", "Paid In Capital"},
                                 {"RE", "Retained Earnings"},
                                 {"PR", "Product Revenue"},
                                 {"PE", "Product Expenses"},
                                 {"EX", "Expenses"},
                                 {"OI", "Other Income"},
                                 {"OE", "Other Expenses"}};

constexpr const char* kFncSearch = "select fc_fnc_code, fc_fin_charge from ar_fnc_table where fc_fnc_code matches ?";

// The fixed list of a column; empty when the column has none.
std::span<const ZoomRow> fixed_list(std::string_view lv_col) {
  if (lv_col == "cust_status") return kCustStatus;
  if (lv_col == "cust_invoice_flag") return kCustInvoiceFlag;
  if (lv_col == "cust_ach_flag") return kCustAchFlag;
  if (lv_col == "glm_group") return kGlmGroup;
  return {};
}

}  // namespace

std::optional<std::string> zoom(std::string_view lv_col_arg, std::optional<std::string_view> lv_val) {
  const std::string lv_col = rt::rtrim(rt::cut_chars(lv_col_arg, 50));
  if (lv_col == "cust_fnc_code") return findit(kFncSearch);

  std::span<const ZoomRow> list = fixed_list(lv_col);
  if (list.empty()) {
    rt::ui::error("No search for : " + lv_col + " defined ");
    rt::ui::sleep_seconds(4);
    if (!lv_val) return std::nullopt;
    return rt::rtrim(rt::cut_chars(*lv_val, 50));
  }
  int i = 0;
  for (const ZoomRow& row : list) {
    FinditRec& r = mv_rec(++i);
    r.code.set_text(row.code);
    r.text.set_text(row.text);
  }
  mv_cnt = i;
  return findit("-");
}
