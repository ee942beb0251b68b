// The field loop: entering, editing and leaving fields, accept and
// interrupt, and the requests that events make.
#include "screen/field_loop.h"

#include <algorithm>

#include "core/runtime.h"
#include "screen/help.h"
#include "screen/keys.h"
#include "screen/lines.h"
#include "screen/screen.h"

namespace rt::ui {

bool Dialog::infield(std::string_view name) const {
  std::string c = current_field();
  if (c == name) return true;
  auto dot = name.find('.');
  return dot != std::string_view::npos && c == name.substr(dot + 1);
}

int Dialog::last_key() const { return detail::st().last_key; }

namespace detail {

FieldLoop::FieldLoop(const Events& ev) : ev_(ev) {
  win_ = &cur();
  st().owners.push_back(this);
}

FieldLoop::~FieldLoop() {
  auto& o = st().owners;
  o.erase(std::remove(o.begin(), o.end(), this), o.end());
  if (st().cursor_win == win_) st().cursor_win = nullptr;
}

void FieldLoop::bind(const std::vector<std::string>& names) {
  if (!win_->form) program_error("No form is displayed in window " + win_->name + ".");
  for (const auto& n : names) {
    int i = win_->form->def->field_index(n);
    if (i < 0) program_error("The form " + win_->form->def->name + " has no field " + n + ".");
    Field f;
    f.name = win_->form->def->fields[static_cast<std::size_t>(i)].name;
    f.def = i;
    f.enterable = !win_->form->def->fields[static_cast<std::size_t>(i)].noentry;
    fields_.push_back(std::move(f));
  }
}

const FieldDef& FieldLoop::def(int f) const {
  return win_->form->def->fields[static_cast<std::size_t>(fields_[static_cast<std::size_t>(f)].def)];
}

int FieldLoop::slot_of(int f) const { return win_->form->slot_index(fields_[static_cast<std::size_t>(f)].def, 0); }

FieldSlot& FieldLoop::slot(int f) { return win_->form->slots[static_cast<std::size_t>(slot_of(f))]; }

void FieldLoop::redraw_field(int f) {
  FieldSlot& s = slot(f);
  s.text = fields_[static_cast<std::size_t>(f)].buf;
  s.scroll = (editing_ && f == cur_) ? ed_.scroll() : 0;
  draw_slot(*win_, s);
}

std::string FieldLoop::current_field() const {
  return cur_ >= 0 && cur_ < static_cast<int>(fields_.size()) ? fields_[static_cast<std::size_t>(cur_)].name
                                                              : std::string();
}

void FieldLoop::next_field(std::string_view name) {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const FieldDef& d = def(static_cast<int>(i));
    if (fields_[i].name == name || qualified_name(d) == name || d.tag == name) {
      req_ = Req::Field;
      req_field_ = static_cast<int>(i);
      return;
    }
  }
  program_error("next field " + std::string(name) + ": the field is not part of this input.");
}

std::string FieldLoop::display_text_for(int, const std::string& shown, const std::string& raw) const {
  if (keeps_raw_text()) return raw;
  std::string t = shown;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

bool FieldLoop::take_display(const Window* win, int s, const std::string& shown, const std::string& raw) {
  if (win != win_) return false;
  for (std::size_t f = 0; f < fields_.size(); ++f) {
    if (slot_of(static_cast<int>(f)) != s) continue;
    fields_[f].buf = display_text_for(static_cast<int>(f), shown, raw);
    fields_[f].dirty = true;
    if (static_cast<int>(f) == cur_ && editing_) reload_ = true;
    redraw_field(static_cast<int>(f));
    return true;
  }
  return false;
}

std::optional<std::string> FieldLoop::buffer(const Window* win, int s) const {
  if (win != win_) return std::nullopt;
  for (std::size_t f = 0; f < fields_.size(); ++f)
    if (slot_of(static_cast<int>(f)) == s) return fields_[f].buf;
  return std::nullopt;
}

bool FieldLoop::run() {
  begin_dialog();
  for (std::size_t f = 0; f < fields_.size(); ++f) redraw_field(static_cast<int>(f));
  req_ = Req::None;
  if (ev_.before_input) ev_.before_input(*this);
  Step s{Kind::Enter, 0, 1};
  if (req_ == Req::Exit) s = {Kind::Done, 0, 1, Intent::Forward, true};
  if (req_ == Req::Field) s = {Kind::Enter, req_field_, 1};
  for (;;) {
    switch (s.kind) {
      case Kind::Enter: s = enter(s.field, s.dir); break;
      case Kind::Edit: s = edit(keep_editor_); break;
      case Kind::Leave: s = leave(s.intent, s.field); break;
      case Kind::Accept: s = accept(); break;
      case Kind::Interrupt: s = interrupt(); break;
      case Kind::RowMove:
      case Kind::Insert:
      case Kind::Delete: s = row_step(s); break;
      case Kind::Done: return finish(s.accepted).accepted;
    }
  }
}

FieldLoop::Step FieldLoop::off_end(int dir) {
  int n = static_cast<int>(fields_.size());
  if (dir > 0) return st().input_wrap ? Step{Kind::Enter, 0, 1} : Step{Kind::Accept};
  if (st().input_wrap) return Step{Kind::Enter, n - 1, -1};
  // Up in the first field without wrap: the cursor stays in the first
  // field that takes it.
  return Step{Kind::Enter, 0, 1};
}

FieldLoop::Step FieldLoop::enter(int f, int dir) {
  int n = static_cast<int>(fields_.size());
  // A dialog in which no field takes the cursor ends as accepted.
  if (++idle_entries_ > 4 * n + 4 || n == 0) return {Kind::Accept};
  if (f >= n || f < 0) {
    Step s = off_end(f >= n ? 1 : -1);
    if (s.kind != Kind::Enter) return s;
    f = s.field;
    dir = s.dir;
  }
  if (!fields_[static_cast<std::size_t>(f)].enterable) return {Kind::Enter, f + dir, dir};
  cur_ = f;
  dir_ = dir;
  keep_editor_ = false;
  comment(def(f).comment);
  req_ = Req::None;
  auto it = ev_.before_field.find(fields_[static_cast<std::size_t>(f)].name);
  if (it != ev_.before_field.end() && it->second) it->second(*this);
  switch (req_) {
    case Req::Exit: return {Kind::Done, 0, 1, Intent::Forward, true};
    case Req::Next: return {Kind::Enter, f + dir, dir};  // skipped in the direction of travel
    case Req::Prev: return {Kind::Enter, f - 1, -1};
    case Req::Field:
      if (req_field_ == f) break;
      return {Kind::Enter, req_field_, req_field_ > f ? 1 : -1};
    default: break;
  }
  return {Kind::Edit};
}

void FieldLoop::sync_from_editor() {
  Field& fd = fields_[static_cast<std::size_t>(cur_)];
  fd.buf = ed_.text();
  if (ed_.touched()) fd.dirty = true;
  redraw_field(cur_);
}

void FieldLoop::place_cursor() {
  FieldSlot& s = slot(cur_);
  st().cursor_win = win_;
  st().cursor_line = s.line;
  st().cursor_col = s.col + ed_.cursor_col();
}

bool FieldLoop::on_key(int k, Step* out) {
  for (const auto& ok : ev_.on_key) {
    if (std::find(ok.keys.begin(), ok.keys.end(), k) == ok.keys.end() || !ok.action) continue;
    req_ = Req::None;
    ok.action(*this);
    if (reload_) {
      reload_ = false;
      ed_.start(fields_[static_cast<std::size_t>(cur_)].buf);
      redraw_field(cur_);
    }
    switch (req_) {
      case Req::Exit:
        if (fields_[static_cast<std::size_t>(cur_)].dirty && check_leave(cur_, true)) store(cur_);
        *out = {Kind::Done, 0, 1, Intent::Forward, true};
        return true;
      case Req::Field: *out = {Kind::Leave, req_field_, 1, Intent::Goto}; return true;
      case Req::Next: *out = {Kind::Leave, 0, 1, Intent::Forward}; return true;
      case Req::Prev: *out = {Kind::Leave, 0, 1, Intent::Back}; return true;
      default: *out = {Kind::Edit}; return true;
    }
  }
  return false;
}

FieldLoop::Step FieldLoop::edit(bool keep) {
  idle_entries_ = 0;
  configure_editor(cur_);
  if (!keep) ed_.start(fields_[static_cast<std::size_t>(cur_)].buf);
  editing_ = true;
  redraw_field(cur_);
  Terminal& t = term();
  for (;;) {
    place_cursor();
    int k = wait_key();
    Step out{Kind::Edit};
    if (on_key(k, &out)) {
      if (out.kind == Kind::Edit) continue;
      editing_ = out.kind != Kind::Done;
      return out;
    }
    if (auto a = array_key(k)) {
      if (a->kind == Kind::Leave || a->kind == Kind::Delete) return *a;
      continue;
    }
    bool ok = true;
    switch (k) {
      case key::kInterrupt: editing_ = false; return {Kind::Interrupt};
      case key::kEsc: return {Kind::Leave, 0, 1, Intent::Accept};
      case key::kReturn:
      case key::kTab:
      case key::kDown: return {Kind::Leave, 0, 1, Intent::Forward};
      case key::kUp:
      case key::kBacktab: return {Kind::Leave, 0, -1, Intent::Back};
      case key::kHelp:
        if (ev_.help_number > 0) show_help(ev_.help_number);
        break;
      case key::ctrl('a'):
      case key::kInsert:
        insert_mode_ = !insert_mode_;
        ed_.not_fresh();
        break;
      case key::kLeft: ed_.left(); break;
      case key::kRight: ed_.right(); break;
      case key::kHome: ed_.home(); break;
      case key::kEnd: ed_.end(); break;
      case key::kBackspace: ed_.backspace(); break;
      case key::ctrl('x'):
      case key::kDelete: ed_.del(); break;
      case key::ctrl('d'): ed_.clear_to_end(); break;
      default:
        if (is_printable(k)) {
          if (!t.utf8() && k >= 128)
            ok = false;  // a character the locale cannot hold
          else
            ok = ed_.type(static_cast<char32_t>(k), insert_mode_);
        }
        // Keys nobody binds are ignored without a trace.
        break;
    }
    if (!ok) refused_key();
    sync_from_editor();
  }
}

FieldLoop::Step FieldLoop::fire_and_route(const Event& e, const Step& otherwise) {
  req_ = Req::None;
  if (e) e(*this);
  switch (req_) {
    case Req::Exit: return {Kind::Done, 0, 1, Intent::Forward, true};
    case Req::Field: return {Kind::Enter, req_field_, req_field_ >= cur_ ? 1 : -1};
    case Req::Next: return {Kind::Enter, cur_ + 1, 1};
    case Req::Prev: return {Kind::Enter, cur_ - 1, -1};
    case Req::Continue: keep_editor_ = false; return {Kind::Edit};
    default: return otherwise;
  }
}

FieldLoop::Step FieldLoop::leave(Intent intent, int target) {
  if (!check_leave(cur_, false)) {
    keep_editor_ = true;
    return {Kind::Edit};
  }
  store(cur_);
  editing_ = false;
  redraw_field(cur_);
  Step then{Kind::Enter, cur_ + 1, 1};
  switch (intent) {
    case Intent::Forward: then = {Kind::Enter, cur_ + 1, 1}; break;
    case Intent::Back: then = {Kind::Enter, cur_ - 1, -1}; break;
    case Intent::Accept: then = {Kind::Accept}; break;
    case Intent::Goto: then = {Kind::Enter, target, target >= cur_ ? 1 : -1}; break;
    default: then = {Kind::RowMove, 0, 1, intent}; break;
  }
  auto it = ev_.after_field.find(fields_[static_cast<std::size_t>(cur_)].name);
  Event none;
  Step s = fire_and_route(it != ev_.after_field.end() ? it->second : none, then);
  if (s.kind == Kind::Edit) keep_editor_ = false;  // continue: the field is entered afresh
  if (s.kind == Kind::Enter && s.field == cur_) s.dir = 1;
  return s;
}

FieldLoop::Step FieldLoop::accept() {
  int bad = -1;
  if (checks_before_after_input() && !check_accept(&bad)) return {Kind::Enter, bad, 1};
  Step s = fire_and_route(ev_.after_input, {Kind::Done, 0, 1, Intent::Forward, true});
  if (s.kind != Kind::Done || !s.accepted || req_ == Req::Exit) return s;
  if (!checks_before_after_input() && !check_accept(&bad)) {
    if (bad == cur_) {
      keep_editor_ = false;
      return {Kind::Edit};
    }
    return {Kind::Enter, bad, 1};
  }
  return s;
}

FieldLoop::Step FieldLoop::interrupt() {
  rt::int_flag = 1;
  editing_ = false;
  Step s = fire_and_route(ev_.after_input, {Kind::Done, 0, 1, Intent::Forward, false});
  if (s.kind == Kind::Done && req_ != Req::Exit) s.accepted = false;
  return s;
}

FieldLoop::Step FieldLoop::finish(bool accepted) {
  editing_ = false;
  if (cur_ >= 0) redraw_field(cur_);
  comment("");
  st().cursor_win = nullptr;
  done(accepted);
  present();
  return {Kind::Done, 0, 1, Intent::Forward, accepted};
}

}  // namespace detail
}  // namespace rt::ui
