// The print-parameters window and the print defaults saved per program
// and login name in co_rpt_ctl (see librpt.h).
//
// The window's input: before input the saved defaults (or the defaults of
// the report option) fill the fields; F12 saves what the fields hold,
// checked as accepting would check it; F5 or Ctrl-F in the printer field
// looks up a printer; Esc returns the fields, Ctrl-C three NULLs. There is
// one co_rpt_ctl row per program and login name: the first save inserts
// it, later saves update it.
#include "core/errors.h"
#include "core/runtime.h"
#include "findit.h"
#include "lib.h"
#include "libparm.h"
#include "librpt.h"
#include "screen/ui.h"
#include "sql/sql.h"
#include "values/text.h"

namespace ui = rt::ui;
namespace sql = rt::sql;
using rt::Value;

namespace {

constexpr const char* kSelectDefaults =
    "SELECT co_rpt_ctl.corc_lp_name,   co_rpt_ctl.corc_copies,   co_rpt_ctl.corc_paper_tray  FROM co_rpt_ctl "
    "WHERE co_rpt_ctl.corc_rpt_name=? AND co_rpt_ctl.corc_who=?";
constexpr const char* kInsertDefaults =
    "INSERT INTO co_rpt_ctl VALUES (   ?,   ?,   NULL,   ?,   NULL,   NULL,   ?,   ?,   ?)";
constexpr const char* kUpdateDefaults =
    "UPDATE co_rpt_ctl SET corc_rpt_name=? ,corc_who=? ,corc_lp_name=? ,corc_paper_tray=? ,corc_copies=? "
    "WHERE corc_rpt_name=? AND corc_who=?";

// The help message of the window: its keys, F12's Ctrl-S among them.
constexpr int kPrtparmHelp = 105;

// The defaults of a program and login name, and whether a row holds them.
RptDefaults read_defaults(std::string_view lv_rpt_name, bool lv_return_user, bool* found) {
  RptDefaults d;
  Value who = Value::of_char(get_username(), 10);
  Value name = Value::of_char(rt::rtrim(lv_rpt_name), 15);
  sql::select_into(kSelectDefaults, {name, who}, {&d.prt.prtdest, &d.prt.copies, &d.prt.paper_tray});
  if (found) *found = rt::status == 0;
  if (rt::status != 0) d.prt = PrtParm();
  if (lv_return_user) d.who = who;
  return d;
}

// The name the defaults are saved under: the program's name as it was
// started, without the directory it was started from (which would make
// every program started from one directory share one name).
Value program_name() {
  std::string name = rt::text::scrub(rt::arg0());
  std::size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return Value::of_char(name, 15);
}

Value param_printer(int lv_id) {
  Value printer(rt::char_t(10));
  if (std::optional<std::string> p = get_param(lv_id)) printer.set_text(*p);
  return printer;
}

// The value in `field` as the input's checks would take it: converted to
// the field's variable and within its include list (or non-empty when the
// field is required). Shows the runtime's message and returns false when
// the text does not pass.
bool field_value(std::string_view field, Value& into) {
  const ui::FieldDef* def = kPrtparmForm.field(field);
  Value v(into.type());
  if (v.parse_field(ui::field_buffer(field)) != rt::ConvError::None) {
    ui::error(rt::err::kInField);
    return false;
  }
  if (def->required && v.is_null()) {
    ui::error(rt::err::kRequired);
    return false;
  }
  if (!def->include.empty()) {
    bool ok = false;
    for (const ui::IncludeItem& item : def->include) {
      if (item.null) {
        ok = ok || v.is_null();
        continue;
      }
      if (v.is_null()) continue;
      Value lo(v.type()), hi(v.type());
      lo.parse_field(item.low);
      hi.parse_field(item.high.empty() ? item.low : item.high);
      ok = ok || (v.as_int() >= lo.as_int() && v.as_int() <= hi.as_int());
    }
    if (!ok) {
      ui::error(rt::err::kNotIncluded);
      return false;
    }
  }
  into = v;
  return true;
}

struct SaveState {
  Value rpt_name{rt::char_t(15)};
  Value who{rt::char_t(10)};
  bool saved = false;  // a row for this program and login name exists
};

// F12: the fields' values become the saved defaults. A field that would
// not pass the input's checks is not saved; the cursor goes to it.
void save_defaults(ui::Dialog& d, SaveState& s) {
  Value prtdest(rt::char_t(10)), copies(rt::smallint_t()), tray(rt::smallint_t());
  for (auto [field, var] : {std::pair{"prtdest", &prtdest}, {"copies", &copies}, {"paper_tray", &tray}}) {
    if (!field_value(field, *var)) {
      if (d.current_field() != field) d.next_field(field);
      return;
    }
  }
  if (s.saved) {
    sql::execute(kUpdateDefaults, {s.rpt_name, s.who, prtdest, tray, copies, s.rpt_name, s.who});
    // The row went away meanwhile (another session removed it): save anew.
    if (sql::rows_processed() == 0) s.saved = false;
  }
  if (!s.saved) {
    Value num = Value::of_int(pg_nextval("co_rpt_ctl", "corc_rpt_num"), rt::serial_t());
    sql::execute(kInsertDefaults, {num, s.rpt_name, s.who, prtdest, tray, copies});
    s.saved = true;
  }
  ui::error("Defaults saved");
}

}  // namespace

RptDefaults get_user_rpt_defaults(std::string_view lv_rpt_name, bool lv_return_user) {
  return read_defaults(lv_rpt_name, lv_return_user, nullptr);
}

PrtParm get_prtparm(std::string_view lv_str) {
  const std::string option = rt::rtrim(rt::cut_chars(lv_str, 20));
  ui::open_window("w_get_parm", 5, 12, 10, 56, true);
  ui::open_form("prtparm", kPrtparmForm);
  ui::display_form("prtparm");
  banner("Print Parameters", 56);
  ui::set_input_wrap(true);
  rt::int_flag = 0;
  PrtParm lv_rec_prt;
  SaveState save;

  ui::Events events;
  events.help_number = kPrtparmHelp;
  events.before_input = [&](ui::Dialog&) {
    save.rpt_name = program_name();
    RptDefaults d = read_defaults(save.rpt_name.str(), true, &save.saved);
    save.who = d.who;
    lv_rec_prt = d.prt;
    if (lv_rec_prt.prtdest.is_null()) {
      // No saved printer: the site's default printer, one copy, and the
      // printer of the report kind where it has one.
      lv_rec_prt.prtdest = param_printer(7);
      lv_rec_prt.copies.set_int(1);
      if (option == "invoice")
        lv_rec_prt.prtdest = param_printer(6210);
      else if (option == "dispatch")
        lv_rec_prt.prtdest = param_printer(1010);
      else if (option == "apmacro")
        lv_rec_prt.prtdest = param_printer(5007);
    }
    ui::display_field("prtdest", lv_rec_prt.prtdest);
    ui::display_field("copies", lv_rec_prt.copies);
    ui::display_field("paper_tray", lv_rec_prt.paper_tray);
  };
  // Ctrl-S for terminals whose F12 does not arrive; Ctrl-W tells of both.
  events.on_key.push_back({{ui::key::f(12), ui::key::ctrl('s')}, [&](ui::Dialog& d) { save_defaults(d, save); }});
  events.on_key.push_back({{ui::key::f(5), ui::key::ctrl('f')}, [&](ui::Dialog& d) {
                             if (d.infield("prtdest")) {
                               openlp();
                               std::optional<std::string> picked =
                                   findit("select * from t_printer where descr matches ?");
                               lv_rec_prt.prtdest.set_null();
                               if (picked) lv_rec_prt.prtdest.set_text(*picked);
                               ui::display_field("prtdest", lv_rec_prt.prtdest);
                             }
                             // The lookup window switches input wrap off.
                             ui::set_input_wrap(true);
                           }});
  events.before_field["prtdest"] = [](ui::Dialog&) { active_keys("acf"); };
  events.before_field["copies"] = [](ui::Dialog&) { active_keys("ac"); };
  events.before_field["paper_tray"] = [](ui::Dialog&) { active_keys("ac"); };

  ui::input({{"prtdest", &lv_rec_prt.prtdest}, {"copies", &lv_rec_prt.copies}, {"paper_tray", &lv_rec_prt.paper_tray}},
            events, true);
  if (rt::int_flag) {
    rt::int_flag = 0;
    lv_rec_prt = PrtParm();
  }
  ui::close_window("w_get_parm");
  ui::close_form("prtparm");
  return lv_rec_prt;
}
