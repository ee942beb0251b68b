// Screen forms as declarative data compiled into each program.
//
// A FormDef holds the labels, the fields (tag, bound column, type, width,
// place, attributes, comment text) and the screen records of one form.
// Lines and columns count from 0 at the form's top-left corner; the field
// delimiters stand one column before and one after each field. A field
// that repeats on `rows` consecutive lines is a column of a screen array.
// A form-only field has the table "formonly".
//
// This header only describes forms; screen_form.h displays them. Nothing
// here reads a file: forms are C++ data, e.g.
//
//   const rt::ui::FormDef kForm{
//     .name = "repnamedt", .lines = 11, .cols = 65,
//     .labels = {{3, 13, "Salesman"}, {3, 22, "Code"}},
//     .fields = {{.tag = "a", .table = "iq_salesman_name", .name = "iqsn_code",
//                 .type = rt::char_t(4), .line = 3, .col = 29, .width = 4,
//                 .upshift = true, .required = true,
//                 .comment = "Enter a salesman code"}},
//     .records = {{"iq_salesman_name", 1, {"iqsn_code"}}}};
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "values/value.h"

namespace rt::ui {

struct LabelDef {
  int line = 0;
  int col = 0;
  std::string text;
};

// One element of an include list: a value (high empty), a range low..high
// (both ends included), or null (`null` true; low and high unused). Values
// are written as an operator would type them and compared in the field's
// type.
struct IncludeItem {
  std::string low;
  std::string high;
  bool null = false;
};

struct FieldDef {
  std::string tag;
  std::string table;  // "formonly" for a form-only field
  std::string name;   // column name; the field is addressed by it
  Type type = char_t(1);
  int line = 0;
  int col = 0;
  int width = 1;  // display columns
  int rows = 1;   // > 1: one field per line, lines line..line+rows-1
  bool upshift = false;
  bool required = false;
  bool noentry = false;
  std::vector<IncludeItem> include;  // empty: any value
  std::string comment;
};

struct RecordDef {
  std::string name;
  int rows = 1;  // > 1: a screen array
  std::vector<std::string> fields;
};

struct FormDef {
  std::string name;
  std::string database;
  int lines = 0;
  int cols = 0;
  char open_delim = '[';
  char close_delim = ']';
  std::vector<LabelDef> labels;
  std::vector<FieldDef> fields;
  std::vector<RecordDef> records;

  // Field by name, "table.name" or tag; nullptr when there is none.
  const FieldDef* field(std::string_view name) const;
  int field_index(std::string_view name) const;  // -1 when there is none
  const RecordDef* record(std::string_view name) const;
};

// "table.name" of a field, as query by example names its column.
std::string qualified_name(const FieldDef& f);

}  // namespace rt::ui
