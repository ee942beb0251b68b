// Calendar dates as day numbers (day 1 is 01/01/1900, day 0 is 12/31/1899,
// negative numbers run back from there), and their text forms as the
// DBDATE variable names them.
//
// DBDATE is an order of the letters M, D and Y4 or Y2, then a separator:
// "/", "-", "." or "0" for none. "MDY4/" (the default) shows 12/31/2026,
// "DMY4." 31.12.2026, "Y4MD-" 2026-12-31, "MDY2/" 12/31/26, "DMY40"
// 31122026. Other separators are refused: "|" and ":" would read as a list
// or a range in query-by-example criteria. Never reads the clock: today()
// asks the run's Host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/host.h"  // days_in_month

namespace rt {

struct DateFormat {
  char order[3] = {'M', 'D', 'Y'};
  bool year4 = true;
  char sep = '/';  // '\0': none
  // Parses a DBDATE value: the default for an empty one, nullopt for one
  // that is not a format the runtime can use.
  static std::optional<DateFormat> parse_dbdate(std::string_view dbdate);
  // The same, the default for an unreadable value.
  static DateFormat from_dbdate(std::string_view dbdate);
  // The run's format: the default until set_current, which the run's
  // start calls once with the format its settings name.
  static DateFormat current();
  // Puts `f` in place as the run's format and returns the one it replaces
  // (a test puts the old one back).
  static DateFormat set_current(const DateFormat& f);
};

class Date {
 public:
  Date() = default;
  explicit Date(std::int32_t days) : days_(days) {}
  // nullopt when the month, day or year is out of range.
  static std::optional<Date> from_mdy(int month, int day, int year);
  // Today's date as the run's Host (core/host.h) tells it.
  static Date today();

  std::int32_t days() const { return days_; }
  int year() const;
  int month() const;
  int day() const;
  // 0 = Sunday.
  int weekday() const;

  // Text in the given format, 10 characters with a 4-digit year.
  std::string format(const DateFormat& f) const;
  std::string format() const { return format(DateFormat::current()); }
  // ISO text yyyy-mm-dd, what the SQL layer gives the back ends.
  std::string iso() const;
  // Reads a date typed by an operator in the given format; also accepts the
  // digits without separators (12312026) and a 2-digit year (taken as
  // 19xx/20xx by the usual century window: < 50 is 20xx).
  static std::optional<Date> parse(std::string_view text, const DateFormat& f);
  static std::optional<Date> parse(std::string_view text) { return parse(text, DateFormat::current()); }
  static std::optional<Date> parse_iso(std::string_view text);

  friend bool operator==(Date a, Date b) { return a.days_ == b.days_; }
  friend auto operator<=>(Date a, Date b) { return a.days_ <=> b.days_; }

 private:
  std::int32_t days_ = 0;
};

}  // namespace rt
