// Day numbers and their DBDATE text forms: see date.h.
#include "values/date.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/ascii.h"
#include "core/host.h"

namespace rt {

namespace {

// Days from 1970-01-01 for a civil date (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

// Day 0 is 12/31/1899.
const std::int64_t kEpoch = days_from_civil(1899, 12, 31);

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int to_int(std::string_view s) { return std::atoi(std::string(s).c_str()); }

int full_year(int y, size_t digits) {
  if (digits > 2) return y;
  return y < 50 ? 2000 + y : 1900 + y;
}

}  // namespace

std::optional<DateFormat> DateFormat::parse_dbdate(std::string_view v) {
  DateFormat out;
  if (v.empty()) return out;
  int n = 0;
  size_t i = 0;
  bool seen[3] = {false, false, false};
  while (i < v.size() && n < 3) {
    char c = ascii_upper(v[i]);
    int slot = c == 'M' ? 0 : c == 'D' ? 1 : c == 'Y' ? 2 : -1;
    if (slot < 0 || seen[slot]) return std::nullopt;
    seen[slot] = true;
    out.order[n++] = c;
    ++i;
    if (c == 'Y' && i < v.size() && (v[i] == '4' || v[i] == '2')) {
      out.year4 = v[i] == '4';
      ++i;
    }
  }
  if (n != 3) return std::nullopt;
  if (i == v.size()) return out;  // no separator given: "/"
  if (i + 1 != v.size()) return std::nullopt;
  switch (v[i]) {
    case '/':
    case '-':
    case '.': out.sep = v[i]; break;
    case '0': out.sep = '\0'; break;
    default: return std::nullopt;
  }
  return out;
}

DateFormat DateFormat::from_dbdate(std::string_view v) {
  const std::optional<DateFormat> f = parse_dbdate(v);
  return f ? *f : DateFormat();
}

namespace {
// The run's one date format: every date written and read back in a run is
// written and read with the same one.
DateFormat& run_format() {
  static DateFormat f;
  return f;
}
}  // namespace

DateFormat DateFormat::current() { return run_format(); }

DateFormat DateFormat::set_current(const DateFormat& f) {
  const DateFormat old = run_format();
  run_format() = f;
  return old;
}

std::optional<Date> Date::from_mdy(int month, int day, int year) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > days_in_month(month, year)) return std::nullopt;
  return Date(static_cast<std::int32_t>(
      days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch));
}

Date Date::today() {
  const CivilDate d = host().today();
  return *from_mdy(d.month, d.day, d.year);
}

int Date::year() const {
  int y, m, d;
  civil_from_days(days_ + kEpoch, &y, &m, &d);
  return y;
}

int Date::month() const {
  int y, m, d;
  civil_from_days(days_ + kEpoch, &y, &m, &d);
  return m;
}

int Date::day() const {
  int y, m, d;
  civil_from_days(days_ + kEpoch, &y, &m, &d);
  return d;
}

int Date::weekday() const {
  // 12/31/1899 was a Sunday.
  int w = days_ % 7;
  return w < 0 ? w + 7 : w;
}

std::string Date::format(const DateFormat& f) const {
  int y, m, d;
  civil_from_days(days_ + kEpoch, &y, &m, &d);
  std::string out;
  for (int i = 0; i < 3; ++i) {
    char buf[16];
    switch (f.order[i]) {
      case 'M': std::snprintf(buf, sizeof buf, "%02d", m); break;
      case 'D': std::snprintf(buf, sizeof buf, "%02d", d); break;
      default:
        if (f.year4)
          std::snprintf(buf, sizeof buf, "%04d", y);
        else
          std::snprintf(buf, sizeof buf, "%02d", y % 100);
    }
    if (i > 0 && f.sep != '\0') out += f.sep;
    out += buf;
  }
  return out;
}

std::string Date::iso() const {
  int y, m, d;
  civil_from_days(days_ + kEpoch, &y, &m, &d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::optional<Date> Date::parse(std::string_view text, const DateFormat& f) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::string_view part[3];
  size_t ydigits = 0;
  if (all_digits(text)) {
    // Digits alone: 2+2+4 (or 2+2+2) in the format's order.
    size_t ylen = text.size() == 8 ? 4 : text.size() == 6 ? 2 : 0;
    if (ylen == 0) return std::nullopt;
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
      size_t len = f.order[i] == 'Y' ? ylen : 2;
      part[i] = text.substr(pos, len);
      pos += len;
    }
  } else {
    // Any one non-digit separator between the parts.
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
      size_t start = pos;
      while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
      part[i] = text.substr(start, pos - start);
      if (part[i].empty()) return std::nullopt;
      if (i < 2) {
        if (pos >= text.size() || std::isdigit(static_cast<unsigned char>(text[pos])) ||
            std::isalpha(static_cast<unsigned char>(text[pos])))
          return std::nullopt;
        ++pos;
      }
    }
    if (pos != text.size()) return std::nullopt;
  }
  int m = 0, d = 0, y = 0;
  for (int i = 0; i < 3; ++i) {
    if (part[i].size() > (f.order[i] == 'Y' ? 4u : 2u)) return std::nullopt;
    int v = to_int(part[i]);
    if (f.order[i] == 'M')
      m = v;
    else if (f.order[i] == 'D')
      d = v;
    else {
      y = v;
      ydigits = part[i].size();
    }
  }
  return from_mdy(m, d, full_year(y, ydigits));
}

std::optional<Date> Date::parse_iso(std::string_view text) {
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (!all_digits(text.substr(0, 4)) || !all_digits(text.substr(5, 2)) || !all_digits(text.substr(8, 2)))
    return std::nullopt;
  return from_mdy(to_int(text.substr(5, 2)), to_int(text.substr(8, 2)), to_int(text.substr(0, 4)));
}

}  // namespace rt
