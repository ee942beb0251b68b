// The help file: reading it, finding it, showing a message in a window.
#include "screen/help.h"

#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/runtime.h"
#include "screen/keys.h"
#include "screen/lines.h"
#include "screen/ring_menu.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

#ifndef LUNADESK_DATADIR
#define LUNADESK_DATADIR "/usr/local/share/lunadesk"
#endif

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

std::optional<std::string> find_help_file(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::vector<std::string> places;
  if (name.find('/') != std::string::npos) {
    places.push_back(name);
  } else {
    places.push_back(name);
    places.push_back(std::string(LUNADESK_DATADIR) + "/" + name);
    std::string dir = rt::exe_dir();
    if (!dir.empty()) places.push_back(dir + "/" + name);
  }
  for (const auto& p : places)
    if (access(p.c_str(), R_OK) == 0) return p;
  return std::nullopt;
}

namespace {
constexpr int kLine = 3, kCol = 3, kRows = 18, kCols = 74;
constexpr int kTextRows = kRows - 3;

void show_page(const std::vector<std::string>& lines, std::size_t first) {
  for (int r = 0; r < kTextRows; ++r) {
    display_at("", r + 3, 1);
    std::size_t i = first + static_cast<std::size_t>(r);
    if (i < lines.size()) display_at(lines[i], r + 3, 2);
  }
}
}  // namespace

void show_help(int number) {
  if (detail::find_window("w_help")) return;
  const std::string& name = help_file();
  auto path = find_help_file(name);
  if (!path) {
    error(name.empty() ? std::string("No help file has been named.") : "The help file " + name + " was not found.");
    return;
  }
  std::ifstream in(*path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  HelpMessages msgs = parse_help(ss.str());
  auto it = msgs.find(number);
  if (it == msgs.end()) {
    error("Help message " + std::to_string(number) + " is not in the help file " + name + ".");
    return;
  }
  const auto& lines = it->second;
  auto& s = detail::st();
  const detail::Window* cursor_win = s.cursor_win;
  int cl = s.cursor_line, cc = s.cursor_col;
  int menu_line = s.menu_line;
  s.cursor_win = nullptr;
  open_window("w_help", kLine, kCol, kRows, kCols, true);
  if (lines.size() <= static_cast<std::size_t>(kTextRows)) {
    show_page(lines, 0);
    display_at("Press any key to continue", kRows, 2, kReverse);
    read_key();
  } else {
    std::size_t first = 0;
    set_menu_line(1);
    RingMenu m("HELP");
    m.option("Screen", "Show the next page of help", [&] {
       first += kTextRows;
       if (first >= lines.size()) first = 0;
       show_page(lines, first);
     }).option("Resume", "Return to where you were", [&] { m.exit_menu(); });
    show_page(lines, 0);
    m.run();
    set_menu_line(menu_line);
  }
  close_window("w_help");
  s.cursor_win = cursor_win;
  s.cursor_line = cl;
  s.cursor_col = cc;
}

}  // namespace rt::ui
