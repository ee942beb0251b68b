// The numeric settings a run takes from the environment (through the
// run's Host), each with its range and its default, in one table.
//
// A value out of its range is refused at the start of a run with one line
// naming the setting and its range, as an unusable DBDATE is: a setting
// that wrapped or was cut would quietly change how the run behaves (a lock
// wait of 4294967297 ms is not 1 ms). The readers take the value through
// numeric_setting() and never parse the environment themselves. Owns no
// state; never reads the environment but through the Host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt {

struct NumericSetting {
  std::string_view name;
  long min;
  long max;
  long fallback;  // when the variable is unset or empty
};

// Every numeric setting, in the order the manual lists them.
inline constexpr NumericSetting kNumericSettings[] = {
    {"LUNADESK_LOCK_TIMEOUT_MS", 1, 86'400'000, 5000},
    {"LUNADESK_CURSOR_IDLE_MS", 1, 86'400'000, 60'000},
    {"LUNADESK_PG_SPIN_US", 0, 1'000'000, 200},
};

// The value of setting `name` (one of the table's): the environment's when
// it is a whole number in range, else the default.
long numeric_setting(std::string_view name);

// The first setting whose value is no whole number in its range, as one
// line ("LUNADESK_LOCK_TIMEOUT_MS \"4294967297\" is not a whole number from
// 1 to 86400000."); nullopt when every one is usable.
std::optional<std::string> unusable_setting();

}  // namespace rt
