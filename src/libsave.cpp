// What a save tells the operator when other programs got there first: see
// libsave.h.
#include "libsave.h"

#include <string>

#include "core/errors.h"
#include "core/runtime.h"
#include "screen/ui.h"
#include "sql/sql.h"

namespace sql = rt::sql;

namespace {

void roll_back() {
  if (sql::in_transaction()) sql::rollback_work();
}

}  // namespace

bool same_value(const rt::Value& lv_a, const rt::Value& lv_b) {
  if (lv_a.is_null() || lv_b.is_null()) return lv_a.is_null() && lv_b.is_null();
  return sql_equal(lv_a, lv_b);
}

bool lock_refused(std::string_view lv_done) {
  if (rt::status != rt::err::kLocked && rt::status != rt::err::kInterrupted && rt::status != rt::err::kReadOnly)
    return false;
  const int lv_why = rt::status;
  roll_back();
  rt::int_flag = 0;
  const std::string done(lv_done);
  rt::ui::error(lv_why == rt::err::kLocked     ? "This record is locked by another user: nothing was " + done
                : lv_why == rt::err::kReadOnly ? "The database is read-only for this user: nothing was " + done
                                               : "Interrupted: nothing was " + done);
  return true;
}

void refuse_changed() {
  roll_back();
  rt::ui::error("This record was changed by another user: nothing was saved");
}

void refuse_gone() {
  roll_back();
  rt::ui::error("This record no longer exists: nothing was saved");
}
