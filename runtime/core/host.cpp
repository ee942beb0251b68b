// The run's Host: see host.h.
#include "core/host.h"

#include <cstdlib>
#include <ctime>
#include <utility>

namespace rt {

namespace {

// "yyyy-mm-dd" naming a day of the calendar.
std::optional<CivilDate> parse_day(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  const CivilDate d{std::atoi(text.substr(0, 4).c_str()), std::atoi(text.substr(5, 2).c_str()),
                    std::atoi(text.substr(8, 2).c_str())};
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > days_in_month(d.month, d.year))
    return std::nullopt;
  return d;
}

std::optional<std::string> process_env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::optional<std::string>(v) : std::nullopt;
}

CivilDate clock_or_fixed_today() {
  if (const char* fixed = std::getenv("LUNADESK_TODAY"))
    if (const std::optional<CivilDate> d = parse_day(fixed)) return *d;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

Host& the_host() {
  static Host h = machine_host();
  return h;
}

}  // namespace

int days_in_month(int month, int year) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

Host machine_host() { return {&process_env, &clock_or_fixed_today}; }

const Host& host() { return the_host(); }

Host set_host(Host h) { return std::exchange(the_host(), std::move(h)); }

std::string getenv_str(const char* name) { return host().env(name).value_or(""); }

}  // namespace rt
