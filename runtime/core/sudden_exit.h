// The one thing a run does when it ends at once inside a signal handler,
// where no clean-up runs (a second SIGHUP/SIGTERM before the first was
// acted on): an async-signal-safe function the layer above registers for
// what must not be left undone even then. Owns that hook and nothing else.
#pragma once

#include "core/runtime.h"

namespace rt {

void set_sudden_exit_hook(QuitHook hook);

}  // namespace rt
