// The ring menu as the maintenance programs use it: hidden options, the
// cursor moved from an action, choice by letter and by Return, the Yes/No
// confirmation starting on "No", the closing key, pages of options.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "screen/utf8.h"
#include "test_forms.h"

namespace ui = rt::ui;
using ui::key::kReturn;

namespace {
struct Maint {
  ui::RingMenu m{"Salesman"};
  std::vector<std::string> log;
  Maint() {
    auto act = [this](const char* n) { return [this, n] { log.push_back(n); }; };
    m.option("Find", "Find a record",
             [this] {
               log.push_back("Find");
               m.show({"Next", "Previous", "Change", "Delete"});
               m.next_option("Next");
             })
        .option("Next", "Display the next record", act("Next"))
        .option("Previous", "Display the previous record", act("Previous"))
        .option("Add", "Add a new record", act("Add"))
        .option("Change", "Change current record", act("Change"))
        .option("Delete", "Delete current record", act("Delete"))
        .option("Exit", "Exit program", [this] { m.exit_menu(); });
    m.hide({"Next", "Previous", "Change", "Delete"});
  }
};
}  // namespace

TEST(RingMenu, StartsWithVisibleOptionsAndHelp) {
  auto* t = ui::install_fake_terminal();
  ui::set_menu_line(2);
  Maint x;
  std::string line2, line3;
  bool reverse_find = false;
  t->when_idle([&](ui::FakeTerminal& term) {
    line2 = term.row(2);
    line3 = term.row(3);
    reverse_find = term.screen().row_has_attr(1, 10, 4, ui::kReverse);
    term.push('e');
  });
  x.m.run();
  EXPECT_EQ(line2, "Salesman: Find  Add  Exit");
  EXPECT_EQ(line3, "Find a record");
  EXPECT_TRUE(reverse_find);
  EXPECT_EQ(t->row(2), "");  // the menu lines are cleared when it ends
}

TEST(RingMenu, ActionsShowOptionsAndMoveTheCursor) {
  auto* t = ui::install_fake_terminal();
  Maint x;
  std::string after_find;
  t->push({'f'});
  t->when_idle([&](ui::FakeTerminal& term) {
    if (after_find.empty()) {
      after_find = term.row(1) + "|" + term.row(2);
      term.push({kReturn, 'p', ui::key::kRight, ' ', kReturn, 'e'});
    }
  });
  x.m.run();
  EXPECT_EQ(after_find, "Salesman: Find  Next  Previous  Add  Change  Delete  Exit|Display the next record");
  // Return on Next, P for Previous, then Right and Space move to Change.
  EXPECT_EQ(x.log, (std::vector<std::string>{"Find", "Next", "Previous", "Change"}));
}

TEST(RingMenu, HelpKeyRunsTheHelpActionAndTheMenuGoesOn) {
  auto* t = ui::install_fake_terminal();
  Maint without;
  t->push({ui::key::kHelp, 'a', 'e'});
  without.m.run();
  EXPECT_EQ(without.log, (std::vector<std::string>{"Add"})) << "no help action: the key does nothing";
  Maint with;
  with.m.on_help([&] { with.log.push_back("help"); });
  t->push({'a', ui::key::kHelp, kReturn, 'e'});
  with.m.run();
  EXPECT_EQ(with.log, (std::vector<std::string>{"Add", "help", "Add"})) << "Add stays highlighted after help";
}

TEST(RingMenu, HiddenOptionsCannotBeChosenAndUnknownKeysAreIgnored) {
  auto* t = ui::install_fake_terminal();
  Maint x;
  t->push({'n', 'd', 'z', ui::key::f(9), 'a', 'e'});
  x.m.run();
  EXPECT_EQ(x.log, (std::vector<std::string>{"Add"}));
  EXPECT_EQ(t->bells(), 0);
}

TEST(RingMenu, ConfirmationStartsOnNoAndCtrlCAnswersNo) {
  auto* t = ui::install_fake_terminal();
  auto ask = [&](std::initializer_list<int> keys) {
    t->push(keys);
    bool yes = false;
    ui::RingMenu m("Are you sure you want to delete this?");
    m.option("Yes", "", [&] {
       yes = true;
       m.exit_menu();
     }).option("No", "", [&] { m.exit_menu(); });
    m.next_option("No");
    m.run();
    return yes;
  };
  EXPECT_FALSE(ask({kReturn}));
  EXPECT_TRUE(ask({'y'}));
  rt::int_flag = 0;
  EXPECT_FALSE(ask({ui::key::kInterrupt}));
  EXPECT_EQ(rt::int_flag, 0);  // the interrupt was consumed by closing the menu
}

TEST(RingMenu, SharedFirstLetterStepsThroughTheOptions) {
  auto* t = ui::install_fake_terminal();
  std::vector<std::string> log;
  ui::RingMenu m("M");
  m.option("Print", "", [&] { log.push_back("Print"); })
      .option("Pager", "", [&] { log.push_back("Pager"); })
      .option("Quit", "", [&] { m.exit_menu(); });
  t->push({'p', kReturn, 'P', 'p', kReturn, 'q'});
  m.run();
  EXPECT_EQ(log, (std::vector<std::string>{"Pager", "Pager"}));
}

TEST(RingMenu, OptionsWiderThanTheLineGoOnFurtherPages) {
  auto* t = ui::install_fake_terminal();
  ui::RingMenu m("Choose");
  for (int i = 0; i < 12; ++i) m.option("Option" + std::to_string(i), "help " + std::to_string(i), nullptr);
  m.option("Xit", "", [&] { m.exit_menu(); });
  std::vector<std::string> lines;
  t->when_idle([&](ui::FakeTerminal& term) {
    lines.push_back(term.row(1));
    if (lines.size() < 9)
      term.push(ui::key::kRight);
    else
      term.push('x');
  });
  m.run();
  EXPECT_EQ(lines[0].rfind("Choose: Option0  Option1", 0), 0u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "...");
  EXPECT_LE(ui::text_width(lines[0]), 80);
  // Moving past the last option of the first page shows the next page.
  bool paged = false;
  for (const auto& l : lines)
    if (l.rfind("Choose: ... Option", 0) == 0) paged = true;
  EXPECT_TRUE(paged);
}
