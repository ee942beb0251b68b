// What a run takes from the machine it runs on, beyond its files and its
// database: the environment and today's date. The runtime and the programs
// ask here and nowhere else. A run starts with the machine's own; a test
// puts another in its place. The terminal, and with it the terminal's
// size, is the screen's seam (screen/terminal.h), which tests replace with
// the fake terminal.
//
// Owns the one Host of the run; never reads the clock or the environment
// but through the machine's Host.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace rt {

// A day of the calendar as the machine tells it.
struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Days in the month of the Gregorian calendar (0 for a month that is not
// 1 to 12).
int days_in_month(int month, int year);

struct Host {
  // The value of the environment variable `name`; nullopt when it is unset.
  std::function<std::optional<std::string>(const char* name)> env;
  // Today's date.
  std::function<CivilDate()> today;
};

// The machine's own: the process environment as it is at each call, and
// today's date from the local clock, or the date LUNADESK_TODAY names
// (yyyy-mm-dd, a valid day of the calendar), which tests of whole programs
// set so that the programs' date checks give the same answer every day.
Host machine_host();

// The run's Host (the machine's until set_host).
const Host& host();
// Puts `h` in place for the rest of the run (or until the next call) and
// returns the one it replaces. Call it before anything else runs: at
// program start or at the top of a test.
Host set_host(Host h);

// The environment variable `name` through the Host; "" when unset.
std::string getenv_str(const char* name);

}  // namespace rt
