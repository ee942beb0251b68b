// The field loop over fields bound to program variables: form input and
// array input share it (not for programs). The buffer of a field that was
// typed into (or displayed to) must convert to the variable's type and lie
// in the field's include list before the cursor leaves it; then the
// variable takes it. Required fields are checked at accept.
#pragma once

#include "core/errors.h"
#include "screen/field_loop.h"
#include "screen/lines.h"
#include "screen/value_checks.h"

namespace rt::ui::detail {

class VarLoop : public FieldLoop {
 public:
  using FieldLoop::FieldLoop;

 protected:
  virtual Value* var(int f) const = 0;
  // Called when a typed value was stored (array input notes the row).
  virtual void stored(int f) { (void)f; }

  std::string shown(int f) const { return var(f)->field_text(def(f).width); }

  // A field of a table's CHAR column takes as many characters as the
  // variable holds, however wide they are, and scrolls; a form-only field
  // takes what it shows, as do fields of other types.
  void configure_editor(int f) override {
    const Value& v = *var(f);
    const bool chars = v.type().kind == rt::Kind::Char;
    const bool column = chars && !def(f).table.empty() && def(f).table != "formonly";
    ed_.configure(def(f).width, column ? 0 : def(f).width, chars ? v.type().len : 0, def(f).upshift);
  }

  // The value the field holds: the typed buffer, or the variable when the
  // field was only passed through.
  bool value_of(int f, Value* out) const {
    const Field& fd = fields_[static_cast<std::size_t>(f)];
    *out = *var(f);
    if (!fd.dirty) return true;
    return out->parse_field(fd.buf) == ConvError::None;
  }

  bool check_leave(int f, bool quiet) override {
    Value v(var(f)->type());
    if (!value_of(f, &v)) {
      if (!quiet) error(err::kInField);
      return false;
    }
    if (!included(def(f), v)) {
      if (!quiet) error(err::kNotIncluded);
      return false;
    }
    return true;
  }

  void store(int f) override {
    Field& fd = fields_[static_cast<std::size_t>(f)];
    if (!fd.dirty) return;
    Value v(var(f)->type());
    if (value_of(f, &v)) *var(f) = v;
    fd.dirty = false;
    fd.buf = shown(f);
    stored(f);
  }

  bool check_accept(int* bad) override {
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      if (!def(static_cast<int>(f)).required || !fields_[f].enterable) continue;
      Value v(var(static_cast<int>(f))->type());
      if (value_of(static_cast<int>(f), &v) && v.is_null()) {
        error(err::kRequired);
        *bad = static_cast<int>(f);
        return false;
      }
    }
    return true;
  }
};

}  // namespace rt::ui::detail
