// Array display and array input through a screen array.
#include "screen/screen_array.h"

#include <algorithm>

#include "core/errors.h"
#include "core/runtime.h"
#include "screen/help.h"
#include "screen/keys.h"
#include "screen/lines.h"
#include "screen/screen.h"
#include "screen/var_loop.h"

namespace rt::ui {
namespace detail {
namespace {

const RecordDef& array_record(Window& w, std::string_view name) {
  if (!w.form) program_error("No form is displayed in window " + w.name + ".");
  const RecordDef* r = w.form->def->record(name);
  if (!r) program_error("The form " + w.form->def->name + " has no screen array " + std::string(name) + ".");
  return *r;
}

// Rows, the current one and the first one shown, common to both dialogs.
struct Rows {
  int count = 0, curr = 1, top = 1, page = 1;
  void follow() {
    if (curr < top) top = curr;
    if (curr >= top + page) top = curr - page + 1;
    if (top < 1) top = 1;
  }
  void publish() const {
    st().arr_count = count;
    st().arr_curr = curr;
    st().scr_line = curr - top + 1;
  }
};

void show_row(Window& w, const RecordDef& rec, const RowVars& vars, const Rows& r, int line, std::uint8_t attr) {
  int row = r.top + line - 1;
  std::vector<Value*> v;
  if (row <= r.count) v = vars(row);
  for (std::size_t i = 0; i < rec.fields.size(); ++i) {
    FieldSlot* s = w.form->slot(rec.fields[i], line);
    if (!s) program_error("The screen array " + rec.name + " has no line " + std::to_string(line) + ".");
    s->text = i < v.size() && v[i] ? v[i]->field_text(s->width) : std::string();
    s->scroll = 0;
    s->attr = attr;
    draw_slot(w, *s);
  }
}

class DisplayArray : public Dialog {
 public:
  DisplayArray(std::string_view name, const RowVars& vars, const Events& ev)
      : w_(cur()), rec_(array_record(w_, name)), vars_(vars), ev_(ev) {
    r_.count = std::max(0, st().set_count);
    r_.page = rec_.rows;
  }

  void next_field(std::string_view) override {}
  void next_field_next() override {}
  void next_field_previous() override {}
  void exit_input() override { exit_ = true; }
  void continue_input() override {}
  std::string current_field() const override { return std::string(); }
  int arr_curr() const override { return r_.curr; }
  int scr_line() const override { return r_.curr - r_.top + 1; }
  int arr_count() const override { return r_.count; }

  bool run() {
    begin_dialog();
    if (r_.count == 0) {
      r_.curr = 0;
      r_.publish();
      return true;
    }
    show_all();
    bool accepted = true;
    for (;;) {
      r_.publish();
      highlight(kReverse);
      int k = wait_key();
      highlight(kNormal);
      if (run_on_key(k)) {
        if (exit_) break;
        continue;
      }
      k = key::array_key(k);
      if (k == key::kReturn || k == key::kEsc) break;
      if (k == key::kInterrupt) {
        rt::int_flag = 1;
        accepted = false;
        break;
      }
      if (k == key::kHelp && ev_.help_number > 0) show_help(ev_.help_number);
      if (k == key::kDown) move(1);
      if (k == key::kUp) move(-1);
      if (k == key::kNextPage || k == key::kPgDn) page(1);
      if (k == key::kPrevPage || k == key::kPgUp) page(-1);
    }
    r_.publish();
    present();
    return accepted;
  }

 private:
  bool run_on_key(int k) {
    for (const auto& ok : ev_.on_key)
      if (ok.action && std::find(ok.keys.begin(), ok.keys.end(), k) != ok.keys.end()) {
        r_.publish();
        ok.action(*this);
        return true;
      }
    return false;
  }
  void show_all() {
    for (int line = 1; line <= r_.page; ++line) show_row(w_, rec_, vars_, r_, line, kNormal);
  }
  void highlight(std::uint8_t attr) { show_row(w_, rec_, vars_, r_, r_.curr - r_.top + 1, attr); }
  void move(int d) {
    int t = r_.curr + d;
    if (t < 1 || t > r_.count) {
      error(err::kNoMoreRows);
      return;
    }
    int top = r_.top;
    r_.curr = t;
    r_.follow();
    if (top != r_.top) show_all();
  }
  void page(int d) {
    if ((d > 0 && r_.top + r_.page > r_.count) || (d < 0 && r_.top == 1)) {
      error(err::kNoMoreRows);
      return;
    }
    r_.top = std::max(1, r_.top + d * r_.page);
    r_.curr = std::clamp(r_.curr + d * r_.page, r_.top, std::min(r_.count, r_.top + r_.page - 1));
    show_all();
  }

  Window& w_;
  const RecordDef& rec_;
  const RowVars& vars_;
  const Events& ev_;
  Rows r_;
  bool exit_ = false;
};

class InputArray : public VarLoop {
 public:
  InputArray(std::string_view name, const RowVars& vars, const ArrayInputOptions& opt, const Events& ev)
      : VarLoop(ev), rec_(array_record(*win_, name)), vars_(vars), opt_(opt) {
    bind(rec_.fields);
    r_.page = rec_.rows;
    r_.count = opt.without_defaults ? std::max(0, st().set_count) : 0;
    max_ = opt.max_rows > 0 ? opt.max_rows : std::max(r_.count, 1);
    r_.count = std::min(r_.count, max_);
    if (r_.count == 0) add_blank_row();
    show_all();
    load_row();
  }

  int arr_curr() const override { return r_.curr; }
  int scr_line() const override { return r_.curr - r_.top + 1; }
  int arr_count() const override { return r_.count; }

 private:
  Value* var(int f) const override {
    auto v = vars_(r_.curr);
    if (static_cast<std::size_t>(f) >= v.size() || !v[static_cast<std::size_t>(f)])
      program_error("The program array gives fewer variables than the screen array " + rec_.name + " has fields.");
    return v[static_cast<std::size_t>(f)];
  }
  int slot_of(int f) const override {
    return win_->form->slot_index(fields_[static_cast<std::size_t>(f)].def, r_.curr - r_.top);
  }
  void stored(int) override { pending_ = false; }

  void add_blank_row() {
    ++r_.count;
    for (Value* v : vars_(r_.count))
      if (v) v->set_null();
    pending_ = true;
  }
  void show_all() {
    for (int line = 1; line <= r_.page; ++line) show_row(*win_, rec_, vars_, r_, line, kNormal);
  }
  void load_row() {
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      fields_[f].buf = shown(static_cast<int>(f));
      fields_[f].dirty = false;
    }
    r_.publish();
  }
  void copy_row(int from, int to) {
    auto a = vars_(from), b = vars_(to);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (a[i] && b[i]) *b[i] = *a[i];
  }
  void clear_row(int row) {
    for (Value* v : vars_(row))
      if (v) v->set_null();
  }

  std::optional<Step> array_key(int k) override {
    switch (key::array_key(k)) {
      case key::kDown: return Step{Kind::Leave, 0, 1, Intent::RowDown};
      case key::kUp: return Step{Kind::Leave, 0, -1, Intent::RowUp};
      case key::kNextPage:
      case key::kPgDn: return Step{Kind::Leave, 0, 1, Intent::PageDown};
      case key::kPrevPage:
      case key::kPgUp: return Step{Kind::Leave, 0, -1, Intent::PageUp};
      case key::kInsertRow:
        if (opt_.allow_insert) return Step{Kind::Leave, 0, 1, Intent::Insert};
        return std::nullopt;
      case key::kDeleteRow:
        if (opt_.allow_delete) return Step{Kind::Delete};
        return std::nullopt;
      default: return std::nullopt;
    }
  }

  Step off_end(int dir) override {
    int n = static_cast<int>(fields_.size());
    return dir > 0 ? Step{Kind::RowMove, 0, 1, Intent::Forward} : Step{Kind::RowMove, n - 1, -1, Intent::Back};
  }

  // Stay in the field that held the cursor (it is entered afresh).
  Step stay() { return {Kind::Enter, cur_ < 0 ? 0 : cur_, 1}; }

  Step to_row(int target, int field, int dir, bool may_append) {
    if (target < 1 || (target > r_.count && !(may_append && opt_.allow_insert && r_.count < max_ && !pending_))) {
      error(err::kNoMoreRows);
      return stay();
    }
    Step s = fire_and_route(ev_.after_row, {Kind::Done});
    if (s.kind != Kind::Done || s.accepted) return s;
    // A blank row added at the end and left untouched goes again.
    bool dropped = false;
    if (pending_ && r_.curr == r_.count && target < r_.curr) {
      clear_row(r_.count);
      --r_.count;
      pending_ = false;
      dropped = true;
    }
    if (target > r_.count) add_blank_row();
    r_.curr = target;
    int top = r_.top;
    r_.follow();
    if (top != r_.top || pending_ || dropped) show_all();
    load_row();
    return fire_and_route(ev_.before_row, {Kind::Enter, field, dir});
  }

  Step row_step(const Step& s) override {
    int f = cur_ < 0 ? 0 : cur_;
    if (s.kind == Kind::Delete) return delete_row();
    switch (s.intent) {
      case Intent::RowDown: return to_row(r_.curr + 1, f, 1, false);
      case Intent::RowUp: return to_row(r_.curr - 1, f, 1, false);
      case Intent::Forward: return to_row(r_.curr + 1, s.field, 1, true);
      case Intent::Back: return to_row(r_.curr - 1, s.field, -1, false);
      case Intent::PageDown:
        if (r_.top + r_.page > r_.count) break;
        r_.top += r_.page;
        return page_to(std::min(r_.count, r_.curr + r_.page), f);
      case Intent::PageUp:
        if (r_.top == 1) break;
        r_.top = std::max(1, r_.top - r_.page);
        return page_to(std::max(1, r_.curr - r_.page), f);
      case Intent::Insert: return insert_row();
      default: return stay();
    }
    error(err::kNoMoreRows);
    return stay();
  }

  Step page_to(int target, int f) {
    r_.curr = target;
    r_.follow();
    show_all();
    load_row();
    return {Kind::Enter, f, 1};
  }

  Step insert_row() {
    if (r_.count >= max_) {
      error(err::kArrayFull);
      return stay();
    }
    for (int i = r_.count; i >= r_.curr; --i) copy_row(i, i + 1);
    clear_row(r_.curr);
    ++r_.count;
    pending_ = false;
    show_all();
    load_row();
    return fire_and_route(ev_.before_row, {Kind::Enter, 0, 1});
  }

  Step delete_row() {
    editing_ = false;
    for (int i = r_.curr; i < r_.count; ++i) copy_row(i + 1, i);
    clear_row(r_.count);
    --r_.count;
    pending_ = false;
    if (r_.count == 0) {
      r_.curr = 1;
      add_blank_row();
    }
    if (r_.curr > r_.count) r_.curr = r_.count;
    r_.follow();
    show_all();
    load_row();
    return {Kind::Enter, cur_ < 0 ? 0 : cur_, 1};
  }

  bool check_accept(int* bad) override {
    if (pending_) return true;
    return VarLoop::check_accept(bad);
  }

  void done(bool) override {
    if (pending_) {
      clear_row(r_.count);
      --r_.count;
      pending_ = false;
      if (r_.curr > r_.count) r_.curr = std::max(r_.count, 1);
      r_.follow();
      show_all();
    }
    r_.publish();
  }

  const RecordDef& rec_;
  const RowVars& vars_;
  ArrayInputOptions opt_;
  Rows r_;
  int max_ = 1;
  bool pending_ = false;
};

}  // namespace
}  // namespace detail

void set_count(int n) { detail::st().set_count = n; }
int arr_count() { return detail::st().arr_count; }
int arr_curr() { return detail::st().arr_curr; }
int scr_line() { return detail::st().scr_line; }

bool display_array(std::string_view screen_array, const RowVars& rows, const Events& events) {
  detail::DisplayArray d(screen_array, rows, events);
  return d.run();
}

bool input_array(std::string_view screen_array, const RowVars& rows, const ArrayInputOptions& opt,
                 const Events& events) {
  detail::InputArray a(screen_array, rows, opt, events);
  return a.run();
}

}  // namespace rt::ui
