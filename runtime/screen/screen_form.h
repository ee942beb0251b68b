// Forms on the screen: open, display in the current window, clear; values
// to fields, screen records and rows of screen arrays; a field's buffer.
//
// Field names are resolved in the form displayed in the current window:
// the column name, "table.name" or the tag. A name the form does not have
// is a program error (the runtime's error report). Values are shown as
// their type shows them in the field's width: character values left-
// aligned and cut, numbers right-aligned (asterisks when too wide), dates
// in the DBDATE format, blanks for null.
//
// While an input, a query-by-example input or an array input runs, a
// display to one of its fields replaces that field's edit buffer: the input
// reads it as if the operator had typed it (in query by example the whole
// text is kept as the criterion, even when it is longer than the field).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "screen/form.h"
#include "values/value.h"

namespace rt::ui {

// Registers a form under a name (the program's form variable, e.g. "f1").
void open_form(std::string name, const FormDef& def);
// Displays an open form in the current window (form line 0 at the form
// line option, form column 0 at window column 1): labels, delimiters and
// blank fields.
void display_form(std::string_view name);
void close_form(std::string_view name);
// Blanks every field of the form in the current window.
void clear_form();

// `row` counts from 1 and selects the line of an array field.
void display_field(std::string_view field, const Value& v, int row = 1);
void display_field(std::string_view field, std::string_view text, int row = 1);
void clear_field(std::string_view field, int row = 1);
// A screen record of one row: values in the record's field order (a null
// pointer leaves that field as it is).
void display_record(std::string_view record, const std::vector<const Value*>& values);
void clear_record(std::string_view record);
// One line of a screen array (screen_line counts from 1).
void display_array_row(std::string_view array, int screen_line, const std::vector<const Value*>& values);
void clear_array_row(std::string_view array, int screen_line);

// The text a field holds now: what the operator typed so far during a
// dialog, else what was displayed there. Trailing blanks removed.
std::string field_buffer(std::string_view field, int row = 1);

}  // namespace rt::ui
