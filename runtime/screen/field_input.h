// Form input: fields of the form in the current window bound to program
// variables.
//
// States (the field loop, shared with query by example and array input):
//   before input   -> before_input event
//   before field   -> the comment line shows the field's comment; the
//                     before_field event; a no-entry field, or a
//                     next_field_next() there, skips the field in the
//                     direction of travel
//   editing        -> keys edit the buffer: characters (upshifted for an
//                     upshift field), Left/Right, Home/End, Backspace,
//                     Ctrl-X (delete under the cursor), Ctrl-D (clear to
//                     the end), Ctrl-A/Insert (typeover <-> insert; typeover
//                     at start). The first character typed at the start of
//                     a field clears it. Text that would pass the field's
//                     width (or a CHAR(n)'s n bytes) is refused with the
//                     bell. On-key events run here; Ctrl-W shows help.
//   after field    -> on Return/Tab/Down (forward), Up/Backtab (back), Esc
//                     (accept) or a move asked by an on-key event: the
//                     buffer must convert to the variable's type (else
//                     -1304, the cursor stays) and lie in the include list
//                     (else -1301); then the variable takes it and the
//                     after_field event runs
//   next field     -> the next field in the direction; past the last one
//                     input wrap goes to the first, without it the input is
//                     accepted; Up in the first field goes to the last with
//                     input wrap, else stays
//   accept         -> every required field must hold a value (-1305, the
//                     cursor goes to the first empty one); then after_input
//   interrupt      -> Ctrl-C (or SIGINT): rt::int_flag = 1; no after-field,
//                     no checks; after_input runs
//   end            -> unless after_input asked to go on.
// Variables take the buffers of fields the operator touched (typed, Ctrl-X,
// Ctrl-D) or a display went to; a field only passed through keeps its
// variable as it was.
#pragma once

#include <string>
#include <vector>

#include "screen/dialog.h"
#include "values/value.h"

namespace rt::ui {

struct InputField {
  std::string field;  // name in the form displayed in the current window
  Value* var;         // the program's variable; it keeps its own type
};

// Runs the input over the fields in the order given. With
// without_defaults the fields start from the variables' values; otherwise
// the variables are set to null and the fields start blank. Returns true
// when the input ended by accept (or exit_input()), false when it was
// interrupted (rt::int_flag is then 1 unless after_input reset it).
bool input(const std::vector<InputField>& fields, const Events& events = {}, bool without_defaults = true);

}  // namespace rt::ui
