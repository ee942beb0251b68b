// The ring menu: a title and options on the menu line, the highlighted
// option's help text on the line below.
//
// States:
//   draw    -> the menu lines show the title and the visible options of
//              the current page, the current option in reverse video, and
//              its help text; "..." marks options beyond either end of the
//              page when the options are wider than the line.
//   wait    -> one key:
//                Space, Right, Down   next visible option (a ring)
//                Left, Up             previous visible option
//                Return               choose the current option
//                a letter             the visible options whose names start
//                                     with it (any case): one is chosen at
//                                     once; of several, the next one after
//                                     the current is highlighted
//                an option's key      choose that option
//                Ctrl-W               help, when the menu has a number
//                Ctrl-C               with interrupts deferred: nothing
//                                     but the flag (rt::int_flag stays 1),
//                                     or the menu's end when it belongs to
//                                     a dialog; otherwise the closing action
//                anything else        ignored
//   choose  -> the option's action runs (it may hide, show, move to an
//              option or exit the menu); then draw again, unless the action
//              called exit_menu().
//   close   -> while interrupts are not deferred, the interrupt key is
//              the menu's closing action: the on_close action runs (by
//              default exit_menu()), and the interrupt flag, consumed by
//              closing the menu, is set back to 0. Deferred, Ctrl-C at a
//              menu sets the flag and the menu stays.
// The menu lines are cleared when the menu ends. The menu draws itself
// again whenever it waits for a key, so text written over its lines by an
// action (key help during an input) never harms it.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace rt::ui {

class RingMenu {
 public:
  using Action = std::function<void()>;

  explicit RingMenu(std::string title);

  // Options in display order. `keys` are extra key codes that choose the
  // option (its first letter always does). An option with an empty name is
  // not shown and never highlighted: only its keys choose it.
  RingMenu& option(std::string name, std::string help, Action action, std::vector<int> keys = {});
  // The action of the closing key; by default the menu ends.
  RingMenu& on_close(Action action);
  // The action of the help key (Ctrl-W), typically show_help(n) of the
  // menu's help message; by default the key does nothing.
  RingMenu& on_help(Action action);
  // A menu inside a dialog (the help window's): with interrupts deferred,
  // Ctrl-C ends it with the flag left set, for the dialog to end too.
  RingMenu& ends_on_interrupt();

  // Callable before run() and from inside actions. Names are compared
  // without regard to case; an unknown name is a program error.
  void hide(std::initializer_list<std::string_view> names);
  void show(std::initializer_list<std::string_view> names);
  // Makes the option current (it must be visible once the menu waits).
  void next_option(std::string_view name);
  // Ends the menu after the running action returns.
  void exit_menu();

  // Runs until an action or the closing action calls exit_menu().
  void run();

  // The highlighted option's name (for tests and programs that care).
  std::string current() const;

 private:
  struct Opt {
    std::string name, help;
    Action action;
    std::vector<int> keys;
    bool hidden = false;
  };
  int find(std::string_view name) const;
  void move(int step);
  void draw();
  void clear_lines();
  bool choose_by_letter(int key);

  std::string title_;
  std::vector<Opt> opts_;
  Action close_;
  Action help_;
  int cur_ = 0;
  int page_first_ = 0;
  bool exit_ = false;
  bool ends_on_interrupt_ = false;
};

}  // namespace rt::ui
