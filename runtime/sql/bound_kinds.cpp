// A statement read again for the kinds of values bound to it. Owns the
// choice, at each run, between the statement as prepared and the ones read
// for numbers bound where a placeholder meets text, and keeps those; never
// translates or binds itself (the connection and the statements do).
#include <map>
#include <utility>

#include "sql/backend.h"

namespace rt::sql::detail {
namespace {

class ByBoundKinds : public BackendStatement {
 public:
  ByBoundKinds(Connection* conn, std::string_view text, std::unique_ptr<BackendStatement> plain)
      : conn_(conn), text_(text), plain_(std::move(plain)) {}
  const Translation& translation() const override { return plain_->translation(); }
  Outcome execute(const Params& params, ExecResult* result) override {
    BackendStatement* s = nullptr;
    Outcome o = pick(params, &s);
    return o.ok() ? s->execute(params, result) : o;
  }
  Outcome select_into(const Params& params, const Into& into) override {
    BackendStatement* s = nullptr;
    Outcome o = pick(params, &s);
    return o.ok() ? s->select_into(params, into) : o;
  }
  Outcome open(const Params& params, bool scroll, std::unique_ptr<BackendCursor>* cursor) override {
    BackendStatement* s = nullptr;
    Outcome o = pick(params, &s);
    return o.ok() ? s->open(params, scroll, cursor) : o;
  }
  bool can_send() const override { return plain_->can_send(); }
  Outcome send(const Params& params) override {
    BackendStatement* s = nullptr;
    Outcome o = pick(params, &s);
    return o.ok() ? s->send(params) : o;
  }

 private:
  // Whether the value bound needs the statement read with a number there:
  // any number where the placeholder meets text, a decimal with places
  // where it meets a whole number column (PostgreSQL would take the
  // placeholder for an integer).
  static bool needs_number(const ParamTarget& t, const Value& v) {
    if (v.is_null() || !v.type().is_numeric()) return false;
    if (t.meets_text) return true;
    return t.kind == ParamTarget::Number && t.whole && !t.stored && v.type().kind == Kind::Decimal &&
           !v.as_decimal().is_whole();
  }

  Outcome pick(const Params& params, BackendStatement** s) {
    *s = plain_.get();
    const std::vector<ParamTarget>& targets = plain_->translation().targets;
    const size_t n = std::min(params.size(), targets.size());
    size_t k = 0;
    while (k < n && !needs_number(targets[k], params[k])) ++k;
    if (k == n) return {};
    std::vector<bool> numbers(targets.size());
    for (; k < n; ++k) numbers[k] = needs_number(targets[k], params[k]);
    auto it = read_.find(numbers);
    if (it == read_.end()) {
      std::unique_ptr<BackendStatement> made;
      Outcome o = conn_->prepare(text_, numbers, &made);
      if (!o.ok()) return o;
      it = read_.emplace(std::move(numbers), std::move(made)).first;
    }
    *s = it->second.get();
    return {};
  }

  Connection* conn_;
  std::string text_;
  std::unique_ptr<BackendStatement> plain_;
  std::map<std::vector<bool>, std::unique_ptr<BackendStatement>> read_;
};

}  // namespace

void by_bound_kinds(Connection* conn, std::string_view text, std::unique_ptr<BackendStatement>* stmt) {
  for (const ParamTarget& t : (*stmt)->translation().targets) {
    if (t.meets_text || (t.kind == ParamTarget::Number && t.whole && !t.stored)) {
      *stmt = std::make_unique<ByBoundKinds>(conn, text, std::move(*stmt));
      return;
    }
  }
}

}  // namespace rt::sql::detail
