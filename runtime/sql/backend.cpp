// What both back ends share beyond their interface: the lock timeout, the
// wait for a lock and whether the interrupt key has stopped the work (see
// backend.h). Owns the program's session's wait state and the count of
// Interruptible scopes; never talks to a database.
#include "sql/backend.h"

#include <cstdlib>

#include "core/settings.h"
#include "core/runtime.h"

namespace rt::sql::detail {

namespace {
Settings& settings_in_use() {
  static Settings s;
  return s;
}
}  // namespace

const Settings& connection_settings() { return settings_in_use(); }
void use_connection_settings(const Settings& s) { settings_in_use() = s; }

int lock_timeout_ms() { return static_cast<int>(connection_settings().lock_timeout_ms); }

int& interruptible_scopes() {
  static int open = 0;
  return open;
}

bool interrupted() { return interruptible_scopes() > 0 && rt::int_flag; }

bool cut_short() { return rt::quit_flag || interrupted(); }

LockWaits& lock_waits() {
  static LockWaits w;
  return w;
}

bool LockWaits::tell(long waited_ms) {
  if (scopes == 0) return false;
  waiting = true;
  if (hook) hook(LockWait::Poll);
  if (waited_ms >= kLongLockWaitMs && !long_wait) {
    long_wait = true;
    if (hook) hook(LockWait::Long);
  }
  if (rt::int_flag) given_up = true;
  return given_up;
}

}  // namespace rt::sql::detail
