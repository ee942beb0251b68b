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
  const int why = rt::status;
  const char* cause = why == rt::err::kLocked             ? "This record is locked by another user"
                      : why == rt::err::kInterrupted      ? "Interrupted"
                      : why == rt::err::kConnectionBroken ? "The database server cannot be reached"
                      : why == rt::err::kDiskFull         ? "The disk of the database is full"
                      : why == rt::err::kDamaged          ? "The database cannot be written (damaged?)"
                      : why == rt::err::kReadOnly         ? "The database is read-only for this user"
                                                          : nullptr;
  if (!cause) return false;
  {
    // A server that went away takes its transaction with it: the rollback
    // has nothing left to undo, and its own failure is no news.
    sql::ContinueOnError gone;
    roll_back();
  }
  rt::int_flag = 0;
  rt::ui::error(std::string(cause) + ": nothing was " + std::string(lv_done));
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
