// The help file and the help window.
//
// A help file is plain text: a line ".NUMBER" starts message NUMBER, which
// runs to the next such line; lines before the first one are ignored. The
// file named by set_help_file() is looked up in the working directory,
// then in the data directory of the installation the program runs from
// (share/lunadesk beside its bin/), then in the one it was built for,
// then beside the executable (a build tree).
//
// show_help(n) opens a bordered window over the screen with message n.
// A message that fits is shown with "Press any key to continue" and any
// key returns; a longer one gets a menu "Screen" (the next page) and
// "Resume" (back to where the operator was). A missing file or message is
// told on the error line.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt::ui {

using HelpMessages = std::map<int, std::vector<std::string>>;

// Display columns a line of a message has in the help window; a longer
// line is cut at the window's edge.
inline constexpr int kHelpTextCols = 73;

// Parses help file text (tabs become blanks, line ends \n or \r\n).
HelpMessages parse_help(std::string_view text);
// The path that set_help_file()'s name resolves to, if the file exists.
std::optional<std::string> find_help_file(const std::string& name);
void show_help(int number);

}  // namespace rt::ui
