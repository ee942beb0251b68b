// The field loop shared by form input, query-by-example input and array
// input (not for programs). It owns the states drawn in field_input.h:
//
//   Enter(f, dir) --before_field--> Edit(f) --key--> Leave(f, intent)
//   Leave --check, store, after_field--> Enter(next) | Accept | Edit(f)
//   Accept --checks, after_input--> Done | Enter(f)
//   Interrupt --after_input--> Done | Enter(f)
//
// Each kind of dialog supplies the checks and the storing of a field, and
// what lies beyond the first and last field (wrap, accept, another row).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "screen/dialog.h"
#include "screen/field_edit.h"
#include "screen/screen_state.h"

namespace rt::ui::detail {

class FieldLoop : public Dialog, public BufferOwner {
 public:
  explicit FieldLoop(const Events& ev);
  ~FieldLoop() override;

  // Runs the dialog; true when accepted.
  bool run();

  void next_field(std::string_view name) override;
  void next_field_next() override { req_ = Req::Next; }
  void next_field_previous() override { req_ = Req::Prev; }
  void exit_input() override { req_ = Req::Exit; }
  void continue_input() override { req_ = Req::Continue; }
  std::string current_field() const override;

  bool take_display(const Window* win, int slot, const std::string& shown, const std::string& raw) override;
  std::optional<std::string> buffer(const Window* win, int slot) const override;

 protected:
  struct Field {
    std::string name;  // as the program named it
    int def = 0;       // index into the form's fields
    bool enterable = true;
    std::string buf;     // the edit buffer
    bool dirty = false;  // typed into or displayed to since last stored
  };

  enum class Kind { Enter, Edit, Leave, Accept, Interrupt, RowMove, Insert, Delete, Done };
  enum class Intent { Forward, Back, Accept, Goto, RowDown, RowUp, PageDown, PageUp, Insert };
  struct Step {
    Kind kind;
    int field = 0;
    int dir = 1;
    Intent intent = Intent::Forward;
    bool accepted = false;
  };

  // Looks the fields up in the form of the current window.
  void bind(const std::vector<std::string>& names);
  const FieldDef& def(int f) const;
  FieldSlot& slot(int f);
  void redraw_field(int f);

  // What each kind of dialog decides.
  virtual int slot_of(int f) const;
  virtual void configure_editor(int f) = 0;
  // Checks the buffer of field f (the error line tells why not, unless
  // quiet); true when the cursor may leave.
  virtual bool check_leave(int f, bool quiet) = 0;
  // Takes the buffer of field f (into the variable).
  virtual void store(int f) { (void)f; }
  // Checks at accept; *bad names the field to go to.
  virtual bool check_accept(int* bad) = 0;
  virtual bool checks_before_after_input() const { return true; }
  // Beyond the last field (dir 1) or before the first (dir -1).
  virtual Step off_end(int dir);
  // Array keys and row steps (the base has no rows).
  virtual std::optional<Step> array_key(int key) {
    (void)key;
    return std::nullopt;
  }
  virtual Step row_step(const Step& s) {
    (void)s;
    return {Kind::Edit};
  }
  virtual void done(bool accepted) { (void)accepted; }
  // A key the field's editor refused (too long, not a character).
  virtual void refused_key() { term().bell(); }
  std::string display_text_for(int f, const std::string& shown, const std::string& raw) const;
  virtual bool keeps_raw_text() const { return false; }

  Step fire_and_route(const Event& e, const Step& otherwise);

  Window* win_ = nullptr;
  std::vector<Field> fields_;
  int cur_ = -1;
  int dir_ = 1;
  const Events& ev_;
  FieldEdit ed_;
  bool insert_mode_ = false;
  bool editing_ = false;
  bool reload_ = false;

  enum class Req { None, Field, Next, Prev, Exit, Continue };
  Req req_ = Req::None;
  int req_field_ = -1;

 private:
  Step enter(int f, int dir);
  Step edit(bool keep);
  Step leave(Intent intent, int target);
  Step accept();
  Step interrupt();
  Step finish(bool accepted);
  void place_cursor();
  void sync_from_editor();
  bool on_key(int k, Step* out);
  int idle_entries_ = 0;
  bool keep_editor_ = false;
};

}  // namespace rt::ui::detail
