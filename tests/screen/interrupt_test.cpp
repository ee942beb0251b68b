// The interrupt key with interrupts deferred, as the programs run: the
// flag is set the moment SIGINT arrives; an interrupt that arrives while a
// dialog runs (during one of its events) ends that dialog at its next key
// wait, one that arrived before the dialog began does not, and a menu only
// keeps the flag. These tests install the runtime's signal handlers in the
// test process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "core/runtime.h"
#include "test_forms.h"

namespace ui = rt::ui;
using namespace ui::key;
using screen_test::person_form;
using screen_test::start_with;

namespace {
struct DeferredInterrupt : ::testing::Test {
  ui::FakeTerminal* t = nullptr;
  rt::Value code{rt::char_t(4)}, name{rt::char_t(20)};
  void SetUp() override {
    rt::defer_interrupts();
    t = start_with(person_form());
    rt::int_flag = 0;
  }
  void TearDown() override { rt::int_flag = 0; }
};
}  // namespace

TEST_F(DeferredInterrupt, PressedDuringAnEventItEndsThatDialog) {
  // As Ctrl-C during the pause of a warning shown when a field is left.
  ui::Events ev;
  ev.after_field["code"] = [](ui::Dialog&) { std::raise(SIGINT); };
  bool flag_seen = false;
  ev.after_input = [&](ui::Dialog&) { flag_seen = rt::int_flag == 1; };
  t->type("a");
  t->push(kReturn);
  t->type("never typed");
  t->push(kEsc);
  EXPECT_FALSE(ui::input({{"code", &code}, {"name", &name}}, ev, false));
  EXPECT_TRUE(flag_seen);
  EXPECT_EQ(rt::int_flag, 1);
  EXPECT_EQ(t->keys_left(), 12u) << "nothing was read after the interrupt";

  // Pressed as Esc leaves the field: the after-input event sees it as the
  // input ends, accepted; the program's own test of the flag decides.
  rt::int_flag = 0;
  flag_seen = false;
  t->push(kEsc);
  EXPECT_TRUE(ui::input({{"code", &code}, {"name", &name}}, ev, false));
  EXPECT_TRUE(flag_seen);
}

TEST_F(DeferredInterrupt, PressedBeforeADialogItOnlySetTheFlag) {
  std::raise(SIGINT);
  EXPECT_EQ(rt::int_flag, 1);
  bool flag_seen = false;
  ui::Events ev;
  ev.after_input = [&](ui::Dialog&) { flag_seen = rt::int_flag == 1; };
  t->type("b");
  t->push(kEsc);
  EXPECT_TRUE(ui::input({{"code", &code}}, ev, false)) << "the input was not ended by the earlier interrupt";
  EXPECT_EQ(code.str(), "B");
  EXPECT_TRUE(flag_seen) << "but its after-input sees the flag";

  // Nor does it come back as a key: a single key read gets the next key.
  std::raise(SIGINT);
  t->push('z');
  EXPECT_EQ(ui::read_key(), 'z');
}

TEST_F(DeferredInterrupt, AtAMenuTheKeyOnlySetsTheFlag) {
  std::vector<std::string> chosen;
  ui::RingMenu m("Are you sure you want to delete this?");
  m.option("Yes", "", [&] {
     chosen.push_back("Yes");
     m.exit_menu();
   }).option("No", "", [&] {
    chosen.push_back("No");
    m.exit_menu();
  });
  m.next_option("No");
  t->push({kInterrupt, kInterrupt, 'y'});
  m.run();
  EXPECT_EQ(chosen, std::vector<std::string>{"Yes"}) << "the menu stayed until an option was chosen";
  EXPECT_EQ(rt::int_flag, 1);

  // SIGINT while the menu waits: the same.
  rt::int_flag = 0;
  t->when_idle([&](ui::FakeTerminal& term) {
    if (rt::int_flag) return term.push('n');
    std::raise(SIGINT);
    term.push(kNone);  // the wait goes on without a key
  });
  m.run();
  EXPECT_EQ(chosen.back(), "No");
  EXPECT_EQ(rt::int_flag, 1);
}

TEST_F(DeferredInterrupt, AKeyReadTogetherWithTheInterruptComesAfterIt) {
  // Ctrl-C, then Return at once: the signal is there before the key is
  // read, so the dialog ends and the key is left for the next reader.
  bool raised = false;
  t->when_idle([&](ui::FakeTerminal& term) {
    if (raised) return;
    raised = true;
    std::raise(SIGINT);
    term.push(kReturn);
  });
  EXPECT_FALSE(ui::input({{"code", &code}, {"name", &name}}, {}, false));
  EXPECT_EQ(rt::int_flag, 1);
  EXPECT_EQ(ui::read_key(), kReturn);
}

TEST_F(DeferredInterrupt, KeysTypedWhileBusyBeforeItGoWithWhatItCancels) {
  // Typed while a save waits for a lock (the program reads them ahead),
  // then Ctrl-C: at a confirmation menu "d", "y" would delete a row.
  t->push({'d', 'y', kNone});
  ui::poll_keys();
  std::raise(SIGINT);
  t->push({'x', kNone});
  ui::poll_keys();  // typed after Ctrl-C: kept
  t->push('z');
  EXPECT_EQ(ui::read_key(), 'x');
  EXPECT_EQ(ui::read_key(), 'z');
}

TEST_F(DeferredInterrupt, PressedInTheHelpWindowItEndsTheDialogAskingForHelp) {
  // Message 1 fits one window; message 2 needs the window's own menu.
  char path[] = "/tmp/helpXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string body = ".1\nType a code.\n.2\n";
  for (int i = 1; i <= 30; ++i) body += "Line " + std::to_string(i) + "\n";
  ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
  close(fd);
  ui::set_help_file(path);
  for (int number : {1, 2}) {
    SCOPED_TRACE(number);
    rt::int_flag = 0;
    ui::Events ev;
    ev.help_number = number;
    bool help_shown = false;
    t->when_idle([&](ui::FakeTerminal& term) {
      if (help_shown) return term.push({'r', kEsc});  // reached only if the help stayed
      for (int l = 1; l <= 24 && !help_shown; ++l)
        help_shown =
            term.row(l).find("Line 1") != std::string::npos || term.row(l).find("Type a code.") != std::string::npos;
      if (!help_shown) return term.push(kNone);
      std::raise(SIGINT);
      term.push(kEsc);  // typed after Ctrl-C: left for the next reader
    });
    t->type("c");
    t->push(kHelp);
    EXPECT_FALSE(ui::input({{"code", &code}}, ev, false)) << "Ctrl-C in the help ended the input";
    EXPECT_TRUE(help_shown);
    EXPECT_EQ(rt::int_flag, 1);
    EXPECT_EQ(ui::read_key(), kEsc) << "the key typed after Ctrl-C is left for the next reader";
    for (int l = 1; l <= 24; ++l) EXPECT_EQ(t->row(l).find("Line 1"), std::string::npos) << "the help is closed";
  }
  std::remove(path);
}
