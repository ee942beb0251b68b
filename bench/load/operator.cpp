// One operator's script and its timings: see operator.h.
#include "operator.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "e2e/terminal.h"

namespace load {

const char* action_name(Action a) {
  switch (a) {
    case Action::Find: return "Find";
    case Action::Next: return "Next";
    case Action::Previous: return "Previous";
    case Action::Save: return "Change save";
    case Action::Add: return "Add save";
    case Action::FirstFind: return "First Find";
  }
  return "?";
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

using Clock = std::chrono::steady_clock;

// Under load a screen may take long; past this the operator is stuck.
constexpr int kStuckMs = 60000;

std::string trim(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
  return s;
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

std::string base36(long n, int width) {
  static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string out(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && n > 0; --i, n /= 36) out[static_cast<size_t>(i)] = digits[n % 36];
  return out;
}

// The screen of each program: where the fields are, how its menu starts.
struct Layout {
  const char* menu;                           // the menu line begins with this
  int key_line, key_col, key_width;           // the row's code
  int second_line, second_col, second_width;  // a field drawn after it
};
constexpr Layout kRepnamedt{"Salesman:", 6, 30, 4, 8, 30, 35};
constexpr Layout kTugedit{"Code:", 5, 17, 8, 6, 26, 31};  // group code; class description
// tugedit: the class on line 6, the description on line 7, the first
// schedule row on line 10 (schedule, tax code, ..., tt_trn at column 73),
// the row's tu_link on line 5 from column 64.
constexpr int kClassLine = 6, kDescLine = 7, kCol = 17, kFirstRow = 10, kTrnCol = 73;
// repnamedt: name and login lines.
constexpr int kNameLine = 8, kLoginLine = 10, kFieldCol = 30;
constexpr int kErrorLine = 24;

class Operator {
 public:
  explicit Operator(const OperatorPlan& plan)
      : plan_(plan), lay_(plan.tugedit ? kTugedit : kRepnamedt), rng_(static_cast<unsigned>(plan.id * 7919 + 17)) {
    out_ = std::fopen(plan.log_path.c_str(), "w");
  }
  ~Operator() {
    if (out_) std::fclose(out_);
  }

  int run() {
    if (!out_) return 1;
    e2e::Options opt;
    opt.argv = {plan_.program};
    opt.env = plan_.env;
    opt.cwd = plan_.cwd;
    term_ = std::make_unique<e2e::Terminal>(opt);
    const bool up = wait([&] { return menu_back() && t().row(3) == "Find a record"; }, "the first screen");
    if (!start_together()) return 1;
    if (!up) {
      // What the program said instead (a server with no connection to
      // spare, say): every line of the screen that is not blank.
      std::string said;
      for (int r = 1; r <= 24; ++r)
        if (!blank(t().row(r))) said += (said.empty() ? "" : " | ") + trim(t().row(r));
      std::fprintf(out_, "X %s\n", said.c_str());
      std::fflush(out_);
      return kNotStarted;
    }
    const auto until = Clock::now() + std::chrono::seconds(plan_.seconds);
    think();  // the operators do not all press their first key at once
    const std::vector<std::function<bool()>> script = {
        [&] { return find(); },
        [&] { return browse(Action::Next); },
        [&] { return browse(Action::Next); },
        [&] { return browse(Action::Previous); },
        [&] { return change(); },
        [&] { return browse(Action::Next); },
        [&] { return change(); },
        [&] { return add(); },
    };
    for (size_t step = 0; Clock::now() < until; step = (step + 1) % script.size()) {
      if (!script[step]()) return 1;
      think();
    }
    t().key("e");
    const auto st = t().wait_exit(kStuckMs);
    return st && *st == e2e::ExitStatus::exited_with(0) ? 0 : 1;
  }

 private:
  e2e::Terminal& t() { return *term_; }

  // Ready, then the start shared by all operators (see OperatorPlan).
  bool start_together() {
    const char r = 'r';
    if (::write(plan_.ready_fd, &r, 1) != 1) return false;
    char c;
    while (::read(plan_.go_fd, &c, 1) > 0) {}
    return true;
  }

  // The pause, then what the program wrote meanwhile is read, so that the
  // next action starts from the screen as it is.
  void think() {
    std::uniform_int_distribution<int> d(plan_.think_ms / 2, plan_.think_ms * 3 / 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(d(rng_)));
    t().wait_settled(5, kStuckMs);
  }

  std::string next_value(int width) { return base36(plan_.id, 2) + base36(++seq_, width - 2); }
  std::string id2() const {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", plan_.id);
    return b;
  }

  bool menu_back() { return t().row(2).rfind(lay_.menu, 0) == 0; }
  bool in_input() { return t().row(2).find("Esc: Accept") != std::string::npos; }
  std::string error_line() { return t().row(kErrorLine); }
  std::string key_shown() { return t().text_at(lay_.key_line, lay_.key_col, lay_.key_width); }
  std::string second_shown() { return t().text_at(lay_.second_line, lay_.second_col, lay_.second_width); }

  bool wait(const std::function<bool()>& done, const char* what) {
    if (t().wait_until(done, kStuckMs)) return true;
    std::fprintf(out_, "E %s\n", what);
    std::fflush(out_);
    return false;
  }

  // Writes the last key of an action and times the screen's answer.
  bool timed(Action a, const char* key, const std::function<bool()>& done) {
    const double start = now_ms();
    t().key(key);
    if (!wait(done, action_name(a))) return false;
    std::fprintf(out_, "T %d %.3f %.3f\n", static_cast<int>(a), now_ms() - start, start);
    return true;
  }

  // The criteria: the shared rows, or the operator's own.
  bool find() {
    t().key("f");
    if (!wait([&] { return t().row(2).find("Ctrl-W: Help") != std::string::npos; }, "the criteria")) return false;
    if (plan_.tugedit)
      t().type(plan_.hot ? "HOT*" : "G" + id2() + "*");
    else
      t().type(plan_.hot ? "H*" : "S" + id2() + "*");
    const int bells = t().bells();
    const Action a = found_ ? Action::Find : Action::FirstFind;
    found_ = true;
    return timed(a, "esc", [&] {
      return (menu_back() && t().reverse_text(2) == "Next" && !blank(second_shown())) || t().bells() > bells;
    });
  }

  // The row that follows is shown (its code, and a field drawn after a
  // query of its own), or the bell of "No more rows in that direction".
  bool browse(Action a) {
    const std::string before = key_shown() + t().text_at(kClassLine, kCol, 5);
    const int bells = t().bells();
    return timed(a, a == Action::Next ? "n" : "p", [&] {
      if (t().bells() > bells) return true;
      return key_shown() + t().text_at(kClassLine, kCol, 5) != before && !blank(second_shown());
    });
  }

  // After the save's Esc: the menu back, or back in the input for a lock.
  // The time ends there; what the save said is read once the program has
  // written all of its answer (the error line comes after the menu line,
  // possibly in a later read of the terminal).
  bool saved(Action a, std::string* outcome) {
    if (!timed(a, "esc", [&] { return menu_back() || error_line().find("locked") != std::string::npos; })) return false;
    t().wait_settled(5, kStuckMs);
    const std::string e = error_line();
    if (e.empty())
      *outcome = "confirmed";
    else if (e.find("changed by another user") != std::string::npos)
      *outcome = "changed";
    else if (e.find("no longer exists") != std::string::npos)
      *outcome = "gone";
    else if (e.find("locked") != std::string::npos)
      *outcome = "locked";
    else
      *outcome = "other";
    if (*outcome == "locked") {
      // Given up: the change is cancelled.
      t().key("ctrl-c");
      return wait([&] { return menu_back(); }, "the menu after a cancelled change");
    }
    return true;
  }

  bool change() {
    const bool second = std::uniform_int_distribution<int>(0, 1)(rng_) == 1;
    t().key("c");
    if (!wait([&] { return in_input(); }, "the change input")) return false;
    std::string table, key, field, value, outcome;
    if (plan_.tugedit) {
      table = "tu";
      key = trim(t().text_at(5, 64, 11));
      if (!wait([&] { return t().cursor() == std::make_pair(kDescLine, kCol); }, "the description")) return false;
      if (!second) {
        field = "desc";
        value = "D" + next_value(8);
        t().key("ctrl-d");
        t().type(value);
      }
      t().key("enter");
      if (!wait([&] { return t().cursor() == std::make_pair(kFirstRow, 3) && !blank(t().text_at(kFirstRow, 10, 5)); },
                "the schedules"))
        return false;
      if (second) {
        const int row = std::uniform_int_distribution<int>(0, 9)(rng_);
        for (int i = 0; i < row; ++i) t().key("down");
        if (!wait([&] { return t().cursor() == std::make_pair(kFirstRow + row, 3); }, "a schedule row")) return false;
        value = next_value(5);
        t().type(value);
        // The tax table of the row is read once the value typed is shown
        // and the program is quiet: the cursor passes this place while the
        // list of every tax table is drawn over the row's stored links.
        if (!wait([&] { return t().text_at(kFirstRow + row, 3, 5) == value; }, "the schedule typed")) return false;
        t().wait_settled(5, kStuckMs);
        field = "L" + trim(t().text_at(kFirstRow + row, kTrnCol, 5));
      }
    } else {
      table = "sn";
      key = trim(key_shown());
      if (!wait([&] { return t().cursor() == std::make_pair(kNameLine, kFieldCol); }, "the name")) return false;
      if (second) {
        t().key("enter");
        if (!wait([&] { return t().cursor() == std::make_pair(kLoginLine, kFieldCol); }, "the login")) return false;
        field = "login";
        value = "l" + next_value(9);
      } else {
        field = "name";
        value = "Name-" + next_value(8);
      }
      t().key("ctrl-d");
      t().type(value);
    }
    if (!saved(Action::Save, &outcome)) return false;
    std::fprintf(out_, "S %s %s %s %s %s\n", table.c_str(), key.c_str(), field.c_str(), value.c_str(), outcome.c_str());
    std::fflush(out_);
    return true;
  }

  bool add() {
    t().key("a");
    if (!wait([&] { return in_input(); }, "the add input")) return false;
    std::string key, value, outcome;
    if (plan_.tugedit) {
      key = "N" + next_value(5);
      value = "A" + next_value(8);
      t().type(key);
      t().key("enter");
      t().type("TX1");
      t().key("enter");
      if (!wait([&] { return t().cursor() == std::make_pair(kDescLine, kCol); }, "the new description")) return false;
      t().type(value);
      t().key("esc");
      if (!wait([&] { return t().cursor() == std::make_pair(kFirstRow, 3) && !blank(t().text_at(kFirstRow, 10, 5)); },
                "the new schedules"))
        return false;
      t().type(next_value(5));
    } else {
      key = next_value(4);
      value = "Added-" + next_value(8);
      t().type(key);
      t().key("enter");
      if (!wait([&] { return t().cursor() == std::make_pair(kNameLine, kFieldCol); }, "the new name")) return false;
      t().type(value);
    }
    if (!saved(Action::Add, &outcome)) return false;
    std::fprintf(out_, "A %s %s %s %s\n", plan_.tugedit ? "tu" : "sn", key.c_str(), value.c_str(), outcome.c_str());
    std::fflush(out_);
    return true;
  }

  const OperatorPlan& plan_;
  Layout lay_;
  std::mt19937 rng_;
  std::FILE* out_ = nullptr;
  std::unique_ptr<e2e::Terminal> term_;
  long seq_ = 0;
  bool found_ = false;  // a Find was made
};

}  // namespace

int run_operator(const OperatorPlan& plan) { return Operator(plan).run(); }

}  // namespace load
