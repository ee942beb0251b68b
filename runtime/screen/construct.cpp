// Query-by-example input: the field loop over criteria texts, turned into
// the condition by the query-by-example rules.
#include "screen/construct.h"

#include "core/runtime.h"
#include "qbe/criteria.h"
#include "screen/field_loop.h"
#include "screen/lines.h"

namespace rt::ui {
namespace detail {
namespace {

class ConstructLoop : public FieldLoop {
 public:
  ConstructLoop(const std::vector<ConstructField>& fields, const Events& ev, std::size_t max_len)
      : FieldLoop(ev), max_len_(max_len), fmt_(DateFormat::current()) {
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f.field);
    bind(names);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      // Criteria go into display-only fields too: they are searchable.
      fields_[i].enterable = true;
      columns_.push_back(fields[i].column.empty() ? qualified_name(def(static_cast<int>(i))) : fields[i].column);
    }
  }

  std::string condition() const { return condition_; }

 private:
  bool keeps_raw_text() const override { return true; }
  bool checks_before_after_input() const override { return false; }

  // A field takes criteria up to the size of the whole condition (0: no
  // limit), scrolling sideways; more is refused with a message.
  void configure_editor(int f) override { ed_.configure(def(f).width, 0, static_cast<int>(max_len_), def(f).upshift); }

  void refused_key() override {
    if (max_len_ > 0 && ed_.full())
      error("The criteria of a field can be at most " + std::to_string(max_len_) + " characters long.");
    else
      FieldLoop::refused_key();
  }

  qbe::Condition cond(int f) const {
    return qbe::field_condition(columns_[static_cast<std::size_t>(f)], def(f).type,
                                fields_[static_cast<std::size_t>(f)].buf, fmt_);
  }

  bool check_leave(int f, bool quiet) override {
    qbe::Condition c = cond(f);
    if (!c.ok && !quiet) error(c.error_code, c.error_message);
    return c.ok;
  }

  bool check_accept(int* bad) override {
    std::vector<std::string> parts;
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      qbe::Condition c = cond(static_cast<int>(f));
      if (!c.ok) {
        error(c.error_code, c.error_message);
        *bad = static_cast<int>(f);
        return false;
      }
      parts.push_back(c.text);
    }
    std::string joined = qbe::join_conditions(parts);
    if (max_len_ > 0 && joined.size() > max_len_) {
      error("The search condition is " + std::to_string(joined.size()) + " characters long; at most " +
            std::to_string(max_len_) + " fit. Give fewer or shorter criteria.");
      *bad = cur_ < 0 ? 0 : cur_;
      return false;
    }
    condition_ = joined;
    return true;
  }

  // exit_input() skips the checks: the condition is built from the
  // criteria that are valid.
  void done(bool accepted) override {
    if (!accepted || !condition_.empty()) return;
    std::vector<std::string> parts;
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      qbe::Condition c = cond(static_cast<int>(f));
      if (c.ok) parts.push_back(c.text);
    }
    condition_ = qbe::join_conditions(parts);
  }

  std::size_t max_len_;
  DateFormat fmt_;
  std::vector<std::string> columns_;
  std::string condition_;
};

}  // namespace
}  // namespace detail

std::optional<std::string> construct(const std::vector<ConstructField>& fields, const Events& events,
                                     std::size_t max_condition_len) {
  detail::ConstructLoop loop(fields, events, max_condition_len);
  // The fields start blank: criteria are typed afresh.
  // An interrupt that arrives once the criteria are accepted still ends
  // the input as interrupted: the caller tests the result alone.
  if (!loop.run() || rt::int_flag) return std::nullopt;
  return loop.condition();
}

}  // namespace rt::ui
