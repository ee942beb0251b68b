// The help file's text as messages (see help.h). Pure text work: no
// terminal, no file access, nothing of the run's state, so that it can be
// tested and fuzzed on its own.
#include <cctype>
#include <string>

#include "screen/help.h"

namespace rt::ui {

HelpMessages parse_help(std::string_view text) {
  HelpMessages out;
  std::vector<std::string>* current = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    bool last = nl == std::string_view::npos;
    std::string line(text.substr(pos, last ? std::string_view::npos : nl - pos));
    pos = last ? text.size() + 1 : nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string expanded;
    for (char c : line) {
      if (c == '\t')
        expanded.append(8 - expanded.size() % 8, ' ');
      else
        expanded += c;
    }
    while (!expanded.empty() && expanded.back() == ' ') expanded.pop_back();
    // ".NUMBER" alone on its line starts a message.
    if (expanded.size() >= 2 && expanded[0] == '.' && expanded.size() <= 10) {
      bool digits = true;
      for (std::size_t i = 1; i < expanded.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(expanded[i]))) digits = false;
      if (digits) {
        current = &out[std::stoi(expanded.substr(1))];
        current->clear();
        continue;
      }
    }
    if (current && !(last && expanded.empty())) current->push_back(expanded);
  }
  for (auto& [n, lines] : out)
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return out;
}

}  // namespace rt::ui
