// The screen runtime's one state, shared by its modules (not for programs).
//
// Owns the terminal, the window stack (index 0 is the full screen), the
// open forms, the options, the error line, the cursor and the dialogs that
// run. compose() lays the windows over each other into the 24x80 screen;
// present() marks it as changed; show() hands it to the terminal, which
// sends only what changed, when the program waits (screen.h: flush).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "screen/form.h"
#include "screen/grid.h"
#include "screen/terminal.h"

namespace rt::ui::detail {

// One place of a field on a displayed form (array fields have one per row).
struct FieldSlot {
  int field = 0;  // index into FormDef::fields
  int row = 0;    // 0-based line of an array field
  int line = 0;   // window position, 0-based
  int col = 0;
  int width = 1;
  std::string text;  // what the field shows (may be wider than the field)
  std::uint8_t attr = kNormal;
  int scroll = 0;  // characters hidden at the left
};

struct FormView {
  std::shared_ptr<const FormDef> def;
  int top = 0;  // window line of form line 0
  std::vector<FieldSlot> slots;
  // Slot of a field by name and row (from 1); nullptr when none.
  FieldSlot* slot(std::string_view name, int row);
  int slot_index(int field, int row) const;
};

struct Window {
  std::string name;
  int line = 0, col = 0;  // screen position of the content, 0-based
  int rows = 0, cols = 0;
  bool border = false;
  Grid grid;
  std::optional<FormView> form;
};

// A running dialog that owns field buffers (input, construct, array input).
class BufferOwner {
 public:
  virtual ~BufferOwner() = default;
  // A display went to slot `slot` of `win`'s form: shown text (formatted for
  // the field) and raw text (the value's own text). True when taken.
  virtual bool take_display(const Window* win, int slot, const std::string& shown, const std::string& raw) = 0;
  // The buffer of the slot while the dialog edits it.
  virtual std::optional<std::string> buffer(const Window* win, int slot) const = 0;
};

struct State {
  std::unique_ptr<Terminal> term;
  std::vector<std::unique_ptr<Window>> stack;
  std::map<std::string, std::shared_ptr<const FormDef>, std::less<>> forms;

  int menu_line = 1, message_line = 2, form_line = 3, comment_line = 23, prompt_line = 1;
  bool input_wrap = false;
  std::string help_file;

  std::string error_text;
  bool error_shown = false;
  // Keys typed while the program was busy, and a key read together with
  // an interrupt (which ends the dialog first), for the next key waits,
  // each with rt::int_count when it was queued: one queued before an
  // interrupt was typed before it, and goes with what the interrupt
  // cancels.
  struct QueuedKey {
    int key;
    int int_count;
  };
  std::deque<QueuedKey> typed_ahead;
  int last_error_code = 0;
  int last_key = -1;

  const Window* cursor_win = nullptr;  // nullptr: cursor hidden
  int cursor_line = 0, cursor_col = 0;

  // rt::int_count as the running dialog last saw it: a higher count is an
  // interrupt pressed since, which ends the dialog at its next key wait.
  int int_seen = 0;

  std::vector<BufferOwner*> owners;
  std::vector<std::string> output_lines;
  bool too_small = false;
  bool unshown = false;   // drawn since the last show()
  int int_at_notice = 0;  // rt::int_count when the too-small notice came up
  int int_painted = 0;    // rt::int_count at the last whole repaint

  // Arrays: the count for the next dialog and the last current row.
  int set_count = 0, arr_count = 0, arr_curr = 0, scr_line = 0;
};

State& st();
// Starts the real terminal on first use.
Terminal& term();
Window& cur();
Window* find_window(std::string_view name);
// Resets every state but the terminal.
void reset_state();

Grid compose();
// The screen changed: it is sent to the terminal at the next show().
void present();
// Sends the screen to the terminal now (with the notice of a terminal too
// small for it instead, when it is).
void show();
// Waits for one key with the runtime's handling of signals, redraw,
// resize and the error line. An interrupt that arrived since the running
// dialog began (while it waited, or during its events) gives
// key::kInterrupt, once, while rt::int_flag is still 1.
int wait_key();
// Marks the start of a dialog: interrupts pressed before it (during a
// pause, a statement, another dialog) only set the flag and do not end it.
void begin_dialog();

// The comment line of the current window (0-based).
int comment_row();

void draw_slot(Window& w, FieldSlot& s);
// Program errors (a name that does not exist, a window off the screen).
[[noreturn]] void program_error(std::string_view what);

}  // namespace rt::ui::detail
