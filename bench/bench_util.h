// Small helpers the benchmark programs share: medians of samples and the
// lists of their command lines.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

// The middle sample (the mean of the two middle ones for an even count); 0
// for none.
inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "a,b,,c" -> {"a", "b", "c"}.
inline std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace bench
