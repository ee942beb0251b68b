// The run's Host: today's date and the environment reach the runtime
// through it alone, so that a test replacing it changes what every layer
// sees; the machine's own takes a fixed date only when it names a real day.
#include "core/host.h"
#include "core/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "values/date.h"
#include "values/text.h"

using namespace rt;

namespace {

// Puts a Host in place for one test and the one before it back after it.
class HostInPlace {
 public:
  explicit HostInPlace(Host h) : saved_(set_host(std::move(h))) {}
  ~HostInPlace() { set_host(std::move(saved_)); }
  HostInPlace(const HostInPlace&) = delete;
  HostInPlace& operator=(const HostInPlace&) = delete;

 private:
  Host saved_;
};

CivilDate clock_date() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

// The machine's today with LUNADESK_TODAY set to `text`.
CivilDate machine_today_with(const char* text) {
  setenv("LUNADESK_TODAY", text, 1);
  const CivilDate d = machine_host().today();
  unsetenv("LUNADESK_TODAY");
  return d;
}

}  // namespace

TEST(Host, AReplacedHostIsWhatTheRuntimeSees) {
  HostInPlace in_place({[](const char* name) -> std::optional<std::string> {
                          const std::string n = name;
                          if (n == "DBDATE") return "Y4MD-";
                          if (n == "SET_BUT_EMPTY") return "";
                          if (n == "NOT_UTF8") return "caf\xe9";
                          return std::nullopt;
                        },
                        [] {
                          return CivilDate{2024, 2, 29};
                        }});
  EXPECT_EQ(Date::today(), *Date::from_mdy(2, 29, 2024));
  const Settings settings = read_settings(host());
  EXPECT_EQ(settings.dbdate, "Y4MD-") << "DBDATE comes from the Host, not the process";
  EXPECT_EQ(Date::today().format(*DateFormat::parse_dbdate(settings.dbdate)), "2024-02-29");
  EXPECT_EQ(getenv_str("SET_BUT_EMPTY"), "");
  EXPECT_EQ(getenv_str("HOME"), "") << "a variable the Host does not have is unset";
  bool replaced = false;
  EXPECT_EQ(getenv_text("NOT_UTF8", &replaced), "caf\xef\xbf\xbd");
  EXPECT_TRUE(replaced);
}

TEST(Host, MachineTakesAFixedTodayOnlyWhenItNamesARealDay) {
  EXPECT_EQ(machine_today_with("2024-02-29"), (CivilDate{2024, 2, 29}));
  EXPECT_EQ(machine_today_with("0001-01-01"), (CivilDate{1, 1, 1}));
  for (const char* not_a_day :
       {"2023-02-29", "2024-13-01", "2024-04-31", "2024-1-01", "2024/01/01", "24-01-01", "2024-01-01x", "", "today"}) {
    const CivilDate before = clock_date();
    const CivilDate d = machine_today_with(not_a_day);
    const CivilDate after = clock_date();
    EXPECT_TRUE(d == before || d == after) << "'" << not_a_day << "' is not a day: the clock's date counts";
  }
}

// Numeric settings: a whole number in range, or refused whole; never wrapped
// or cut to what a narrower type would make of it.
TEST(Host, NumericSettingsAreTakenWholeOrRefused) {
  struct Case {
    const char* value;  // nullptr: unset
    long taken;
    bool refused;
  };
  const Case cases[] = {
      {nullptr, 5000, false},
      {"", 5000, false},
      {"1", 1, false},
      {"86400000", 86400000, false},
      {"300", 300, false},
      {"0", 5000, true},
      {"86400001", 5000, true},
      {"4294967297", 5000, true},
      {"4294968296", 5000, true},
      {"99999999999999999999", 5000, true},
      {"-5", 5000, true},
      {"+5", 5000, true},
      {" 5", 5000, true},
      {"5 ", 5000, true},
      {"5.0", 5000, true},
      {"1e3", 5000, true},
      {"abc", 5000, true},
  };
  for (const Case& c : cases) {
    const char* v = c.value;
    HostInPlace in_place({[v](const char* name) -> std::optional<std::string> {
                            if (v && std::string(name) == "LUNADESK_LOCK_TIMEOUT_MS") return v;
                            return std::nullopt;
                          },
                          [] {
                            return CivilDate{2026, 12, 8};
                          }});
    EXPECT_EQ(read_settings(host()).lock_timeout_ms, c.taken) << (v ? v : "unset");
    const std::optional<std::string> bad = unusable_setting(host());
    EXPECT_EQ(bad.has_value(), c.refused) << (v ? v : "unset");
    if (bad) {
      EXPECT_EQ(*bad, std::string("LUNADESK_LOCK_TIMEOUT_MS \"") + v + "\" is not a whole number from 1 to 86400000.");
    }
  }
}
