// The settings a run takes from its environment, read once through the
// run's Host at its start into one value, and handed from there to the
// layers that use them: the date format to the values layer, the rest to
// the SQL layer's connect. Nothing else reads these variables.
//
// A numeric value out of its range is refused at the start of a run with
// one line naming the setting and its range, as an unusable DBDATE is: a
// setting that wrapped or was cut would quietly change how the run behaves
// (a lock wait of 4294967297 ms is not 1 ms). Owns no state; never reads
// the environment but through the Host it is given.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/host.h"

namespace rt {

struct Settings {
  std::string dbdate;    // DBDATE as given; "" for the default format
  std::string sqltype;   // A4GL_SQLTYPE as given; "" for the SQLite file
  std::string database;  // LUNADESK_DB; "" for lunadesk.db in the working directory
  long lock_timeout_ms = 5000;
  long cursor_idle_ms = 60'000;
  long pg_spin_us = 200;
};

struct NumericSetting {
  std::string_view name;
  long min;
  long max;
  long Settings::*field;  // holds the default until the variable gives another
};

// Every numeric setting, in the order the manual lists them.
inline constexpr NumericSetting kNumericSettings[] = {
    {"LUNADESK_LOCK_TIMEOUT_MS", 1, 86'400'000, &Settings::lock_timeout_ms},
    {"LUNADESK_CURSOR_IDLE_MS", 1, 86'400'000, &Settings::cursor_idle_ms},
    {"LUNADESK_PG_SPIN_US", 0, 1'000'000, &Settings::pg_spin_us},
};

// The settings `h` gives. A numeric one keeps its default when unset,
// empty or unusable (see unusable_setting).
Settings read_settings(const Host& h);

// The first numeric setting of `h` that is no whole number in its range, as
// one line ("LUNADESK_LOCK_TIMEOUT_MS \"4294967297\" is not a whole number
// from 1 to 86400000."); nullopt when every one is usable.
std::optional<std::string> unusable_setting(const Host& h);

}  // namespace rt
