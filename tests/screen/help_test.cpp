// The help file: messages by number, and the help window from an input.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "core/runtime.h"
#include "screen/utf8.h"
#include "test_forms.h"

namespace ui = rt::ui;
using namespace ui::key;

TEST(HelpFile, MessagesRunToTheNextNumberLine) {
  auto m = ui::parse_help("intro ignored\n.101\r\nfirst\n\tindented\n.x not a number\n\n.7\nseven\n\n");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[101], (std::vector<std::string>{"first", "        indented", ".x not a number"}));
  EXPECT_EQ(m[7], (std::vector<std::string>{"seven"}));
}

TEST(HelpFile, ShippedFileHasTheQueryByExampleMessageAndEveryLineFits) {
  std::ifstream in(std::string(SCREEN_HELP_SOURCE));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto m = ui::parse_help(text);
  ASSERT_TRUE(m.count(101));
  bool ranges = false;
  for (const auto& l : m[101]) ranges = ranges || l.find("1:100") != std::string::npos;
  EXPECT_TRUE(ranges);
  // Every line fits the help window: none is cut at its edge.
  for (const auto& [number, lines] : m)
    for (const auto& l : lines) EXPECT_LE(ui::text_width(l), ui::kHelpTextCols) << "message " << number << ": " << l;
}

TEST(HelpWindow, CtrlWShowsTheMessageAndAnyKeyReturns) {
  char path[] = "/tmp/helpXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string body = ".5\nType a code.\nThen press Esc.\n";
  ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
  close(fd);
  auto* t = screen_test::start_with(screen_test::person_form());
  ui::set_help_file(path);
  rt::Value code(rt::char_t(4));
  std::string shown;
  ui::Events ev;
  ev.help_number = 5;
  t->push(kHelp);
  t->when_idle([&](ui::FakeTerminal& term) {
    if (shown.empty()) {
      for (int l = 1; l <= 24; ++l) shown += term.row(l) + "\n";
      term.push('x');
    } else {
      term.push({'a', kEsc});
    }
  });
  ui::input({{"code", &code}}, ev, false);
  std::remove(path);
  EXPECT_NE(shown.find("Type a code."), std::string::npos);
  EXPECT_NE(shown.find("Press any key to continue"), std::string::npos);
  EXPECT_EQ(t->row(4), "  Code   [A   ]");  // the form again under the closed window
  EXPECT_EQ(code.str(), "A");               // the key that closed the help was not typed
}

TEST(HelpWindow, MissingMessageIsToldOnTheErrorLine) {
  auto* t = screen_test::start_with(screen_test::person_form());
  ui::set_help_file("no-such-help-file.hlp");
  ui::show_help(3);
  EXPECT_EQ(t->row(24), "The help file no-such-help-file.hlp was not found.");
}
