// libFuzzer target for the help-file reader: whatever a help file holds,
// reading it ends, and every message it yields is lines without line ends,
// tabs or trailing blanks, never ending on an empty line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "screen/help.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& [number, lines] : rt::ui::parse_help(text)) {
    if (number < 0) std::abort();
    if (!lines.empty() && lines.back().empty()) std::abort();
    for (const std::string& line : lines) {
      if (line.find_first_of("\n\t") != std::string::npos) std::abort();
      if (!line.empty() && line.back() == ' ') std::abort();
    }
  }
  return 0;
}
