// The help file: finding it, showing a message in a window (the reading
// of its text is help_file.cpp).
#include "screen/help.h"

#include <unistd.h>

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
#ifndef LUNADESK_DATADIR_FROM_BIN
#define LUNADESK_DATADIR_FROM_BIN "../share/lunadesk"
#endif

namespace rt::ui {

std::optional<std::string> find_help_file(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::vector<std::string> places;
  if (name.find('/') != std::string::npos) {
    places.push_back(name);
  } else {
    places.push_back(name);
    std::string dir = rt::exe_dir();
    if (!dir.empty()) places.push_back(dir + "/" + LUNADESK_DATADIR_FROM_BIN + "/" + name);
    places.push_back(std::string(LUNADESK_DATADIR) + "/" + name);
    if (!dir.empty()) places.push_back(dir + "/" + name);
  }
  for (const auto& p : places)
    if (access(p.c_str(), R_OK) == 0) return p;
  return std::nullopt;
}

namespace {
constexpr int kLine = 3, kCol = 3, kRows = 18, kCols = kHelpTextCols + 1;  // text from column 2
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
  // The help window is part of the dialog it was asked from: an interrupt
  // pressed in it ends the window, and then that dialog.
  const int int_seen = s.int_seen;
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
    m.ends_on_interrupt();
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
  s.int_seen = int_seen;
  s.cursor_win = cursor_win;
  s.cursor_line = cl;
  s.cursor_col = cc;
}

}  // namespace rt::ui
