// Looking things up in a form definition.
#include "screen/form.h"

namespace rt::ui {

const FieldDef* FormDef::field(std::string_view n) const {
  int i = field_index(n);
  return i < 0 ? nullptr : &fields[static_cast<std::size_t>(i)];
}

int FormDef::field_index(std::string_view n) const {
  auto dot = n.find('.');
  std::string_view table = dot == std::string_view::npos ? std::string_view() : n.substr(0, dot);
  std::string_view col = dot == std::string_view::npos ? n : n.substr(dot + 1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    if (f.name == col && (table.empty() || table == f.table)) return static_cast<int>(i);
  }
  if (table.empty())
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (fields[i].tag == n) return static_cast<int>(i);
  return -1;
}

const RecordDef* FormDef::record(std::string_view n) const {
  for (const auto& r : records)
    if (r.name == n) return &r;
  return nullptr;
}

std::string qualified_name(const FieldDef& f) { return f.table.empty() ? f.name : f.table + "." + f.name; }

}  // namespace rt::ui
