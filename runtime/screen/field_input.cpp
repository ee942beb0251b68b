// Form input: the field loop over fields bound to program variables.
#include "screen/field_input.h"

#include "screen/var_loop.h"

namespace rt::ui {
namespace detail {
namespace {

class InputLoop : public VarLoop {
 public:
  InputLoop(const std::vector<InputField>& fields, const Events& ev, bool without_defaults) : VarLoop(ev) {
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f.field);
    bind(names);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      vars_.push_back(fields[i].var);
      if (!without_defaults) fields[i].var->set_null();
      fields_[i].buf = shown(static_cast<int>(i));
    }
  }

 private:
  Value* var(int f) const override { return vars_[static_cast<std::size_t>(f)]; }
  std::vector<Value*> vars_;
};

}  // namespace
}  // namespace detail

bool input(const std::vector<InputField>& fields, const Events& events, bool without_defaults) {
  detail::InputLoop loop(fields, events, without_defaults);
  return loop.run();
}

}  // namespace rt::ui
