// Forms on the screen: the form registry, display of forms, values to
// fields, records and array rows, and reading a field's buffer.
#include "screen/screen_form.h"

#include "screen/screen.h"
#include "screen/screen_state.h"
#include "screen/utf8.h"

namespace rt::ui {
namespace detail {

FieldSlot* FormView::slot(std::string_view name, int row) {
  int f = def->field_index(name);
  if (f < 0) return nullptr;
  int i = slot_index(f, row - 1);
  return i < 0 ? nullptr : &slots[static_cast<std::size_t>(i)];
}

int FormView::slot_index(int field, int row) const {
  for (std::size_t i = 0; i < slots.size(); ++i)
    if (slots[i].field == field && slots[i].row == row) return static_cast<int>(i);
  return -1;
}

void draw_slot(Window& w, FieldSlot& s) {
  w.grid.blank(s.line, s.col, s.width, s.attr);
  // Skip `scroll` characters, then as many as the field is wide.
  std::string_view t = s.text;
  std::size_t i = 0;
  for (int k = 0; k < s.scroll && i < t.size(); ++k) {
    char32_t cp;
    i += static_cast<std::size_t>(utf8_decode(t, i, cp));
  }
  w.grid.put(s.line, s.col, t.substr(i), s.attr, s.width);
}

namespace {

void show_form(Window& w, std::shared_ptr<const FormDef> def, int top) {
  FormView v;
  v.def = def;
  v.top = top;
  for (const auto& l : def->labels) w.grid.put(top + l.line, l.col, l.text);
  for (std::size_t i = 0; i < def->fields.size(); ++i) {
    const FieldDef& f = def->fields[i];
    for (int r = 0; r < f.rows; ++r) {
      FieldSlot s;
      s.field = static_cast<int>(i);
      s.row = r;
      s.line = top + f.line + r;
      s.col = f.col + 0;
      s.width = f.width;
      if (s.col > 0) w.grid.put(s.line, s.col - 1, std::string(1, def->open_delim));
      w.grid.put(s.line, s.col + s.width, std::string(1, def->close_delim));
      draw_slot(w, s);
      v.slots.push_back(std::move(s));
    }
  }
  w.form = std::move(v);
}

FieldSlot& need_slot(Window& w, std::string_view field, int row) {
  if (!w.form) program_error("No form is displayed in window " + w.name + ".");
  FieldSlot* s = w.form->slot(field, row);
  if (!s)
    program_error("The form " + w.form->def->name + " has no field " + std::string(field) +
                  (row > 1 ? " on line " + std::to_string(row) : "") + ".");
  return *s;
}

// A display to a field: a dialog that owns its buffer takes it; otherwise
// the field shows the text.
void put_field(Window& w, FieldSlot& s, const std::string& shown, const std::string& raw) {
  int idx = static_cast<int>(&s - w.form->slots.data());
  auto& owners = st().owners;
  for (auto it = owners.rbegin(); it != owners.rend(); ++it)
    if ((*it)->take_display(&w, idx, shown, raw)) return;
  s.text = shown;
  s.scroll = 0;
  draw_slot(w, s);
}

void show_value(Window& w, FieldSlot& s, const Value& v) { put_field(w, s, v.field_text(s.width), v.str()); }

const RecordDef& need_record(Window& w, std::string_view name) {
  if (!w.form) program_error("No form is displayed in window " + w.name + ".");
  const RecordDef* r = w.form->def->record(name);
  if (!r) program_error("The form " + w.form->def->name + " has no screen record " + std::string(name) + ".");
  return *r;
}

}  // namespace

}  // namespace detail

using namespace detail;

void open_form(std::string name, const FormDef& def) {
  term();
  st().forms[std::move(name)] = std::make_shared<const FormDef>(def);
}

void open_window_with_form(std::string name, int line, int col, const FormDef& form, bool border) {
  term();
  auto it = st().forms.find(form.name);
  if (it == st().forms.end()) it = st().forms.emplace(form.name, std::make_shared<const FormDef>(form)).first;
  open_window(std::move(name), line, col, form.lines, form.cols, border);
  show_form(cur(), it->second, 0);
  present();
}

void display_form(std::string_view name) {
  term();
  auto it = st().forms.find(name);
  if (it == st().forms.end()) program_error("Form " + std::string(name) + " is not open.");
  Window& w = cur();
  show_form(w, it->second, st().form_line - 1);
  present();
}

void close_form(std::string_view name) {
  auto it = st().forms.find(name);
  if (it != st().forms.end()) st().forms.erase(it);
}

void clear_form() {
  Window& w = cur();
  if (!w.form) return;
  for (auto& s : w.form->slots) put_field(w, s, std::string(), std::string());
  present();
}

void display_field(std::string_view field, const Value& v, int row) {
  Window& w = cur();
  show_value(w, need_slot(w, field, row), v);
  present();
}

void display_field(std::string_view field, std::string_view text, int row) {
  Window& w = cur();
  std::string t(text);
  put_field(w, need_slot(w, field, row), t, t);
  present();
}

void clear_field(std::string_view field, int row) { display_field(field, std::string_view(), row); }

void display_record(std::string_view record, const std::vector<const Value*>& values) {
  Window& w = cur();
  const RecordDef& r = need_record(w, record);
  for (std::size_t i = 0; i < r.fields.size() && i < values.size(); ++i)
    if (values[i]) show_value(w, need_slot(w, r.fields[i], 1), *values[i]);
  present();
}

void clear_record(std::string_view record) {
  Window& w = cur();
  const RecordDef& r = need_record(w, record);
  for (int line = 1; line <= r.rows; ++line)
    for (const auto& f : r.fields) put_field(w, need_slot(w, f, line), std::string(), std::string());
  present();
}

void display_array_row(std::string_view array, int screen_line, const std::vector<const Value*>& values) {
  Window& w = cur();
  const RecordDef& r = need_record(w, array);
  for (std::size_t i = 0; i < r.fields.size() && i < values.size(); ++i)
    if (values[i]) show_value(w, need_slot(w, r.fields[i], screen_line), *values[i]);
  present();
}

void clear_array_row(std::string_view array, int screen_line) {
  Window& w = cur();
  const RecordDef& r = need_record(w, array);
  for (const auto& f : r.fields) put_field(w, need_slot(w, f, screen_line), std::string(), std::string());
  present();
}

std::string field_buffer(std::string_view field, int row) {
  Window& w = cur();
  FieldSlot& s = need_slot(w, field, row);
  int idx = static_cast<int>(&s - w.form->slots.data());
  std::string text = s.text;
  auto& owners = st().owners;
  for (auto it = owners.rbegin(); it != owners.rend(); ++it)
    if (auto b = (*it)->buffer(&w, idx)) {
      text = *b;
      break;
    }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  // Numbers and dates are shown right-aligned: their buffer is the text.
  if (w.form->def->fields[static_cast<std::size_t>(s.field)].type.kind != Kind::Char) {
    std::size_t lead = text.find_first_not_of(' ');
    return lead == std::string::npos ? std::string() : text.substr(lead);
  }
  return text;
}

}  // namespace rt::ui
