// What a program's event code can do while a dialog runs: form input,
// query-by-example input, array input or array display.
//
// Every event (before/after input, before/after field, before/after row,
// on key) receives the running Dialog. A request made in an event takes
// effect when the event returns:
//   next_field(name)     the cursor goes to that field. Made in an after-
//                        field event it keeps the cursor in the field
//                        when name is the same field, and it cancels the
//                        key that was leaving the field (an accept too).
//                        Made in after-input it keeps the input going.
//   next_field_next()    in a before-field event: the field is skipped in
//                        the direction the cursor was travelling, as a
//                        no-entry field is (moving up it goes on up, and
//                        wraps to the last field with input wrap on); in
//                        any other event: the next field forward, as
//                        Return does.
//   next_field_previous() the field before, as Up does.
//   exit_input()         ends the dialog at once as accepted; after-input
//                        does not run and no required check is made.
//   continue_input()     in after-input: the dialog goes on in the field
//                        that held the cursor.
// One request per event counts: the last one made.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rt::ui {

class Dialog {
 public:
  virtual ~Dialog() = default;

  virtual void next_field(std::string_view name) = 0;
  virtual void next_field_next() = 0;
  virtual void next_field_previous() = 0;
  virtual void exit_input() = 0;
  virtual void continue_input() = 0;

  // Name of the field that holds the cursor ("" when none).
  virtual std::string current_field() const = 0;
  bool infield(std::string_view name) const;
  // The key that the operator pressed last.
  int last_key() const;

  // Arrays: current program row and screen line (from 1), rows in use.
  virtual int arr_curr() const { return 0; }
  virtual int scr_line() const { return 0; }
  virtual int arr_count() const { return 0; }
};

using Event = std::function<void(Dialog&)>;

struct OnKey {
  std::vector<int> keys;
  Event action;
};

// Events of a dialog; field names as the form names them. Missing entries
// do nothing.
struct Events {
  Event before_input;
  Event after_input;  // runs at accept and at interrupt (rt::int_flag 1)
  std::map<std::string, Event, std::less<>> before_field;
  std::map<std::string, Event, std::less<>> after_field;
  Event before_row;  // arrays
  Event after_row;   // arrays
  std::vector<OnKey> on_key;
  int help_number = 0;  // message shown by Ctrl-W (0: none)
};

}  // namespace rt::ui
