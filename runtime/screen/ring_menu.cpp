// The ring menu: drawing its two lines, moving, choosing, closing.
#include "screen/ring_menu.h"

#include <cctype>

#include "core/runtime.h"
#include "screen/keys.h"
#include "screen/screen.h"
#include "screen/screen_state.h"
#include "core/ascii.h"
#include "screen/utf8.h"

namespace rt::ui {

using namespace detail;

namespace {
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}
constexpr std::string_view kMore = "...";
}  // namespace

RingMenu::RingMenu(std::string title) : title_(std::move(title)) {}

RingMenu& RingMenu::option(std::string name, std::string help, Action action, std::vector<int> keys) {
  opts_.push_back({std::move(name), std::move(help), std::move(action), std::move(keys), false});
  return *this;
}

RingMenu& RingMenu::on_close(Action action) {
  close_ = std::move(action);
  return *this;
}

RingMenu& RingMenu::on_help(Action action) {
  help_ = std::move(action);
  return *this;
}

RingMenu& RingMenu::ends_on_interrupt() {
  ends_on_interrupt_ = true;
  return *this;
}

int RingMenu::find(std::string_view name) const {
  for (std::size_t i = 0; i < opts_.size(); ++i)
    if (same_name(opts_[i].name, name)) return static_cast<int>(i);
  program_error("The menu " + title_ + " has no option " + std::string(name) + ".");
}

void RingMenu::hide(std::initializer_list<std::string_view> names) {
  for (auto n : names) opts_[static_cast<std::size_t>(find(n))].hidden = true;
}

void RingMenu::show(std::initializer_list<std::string_view> names) {
  for (auto n : names) opts_[static_cast<std::size_t>(find(n))].hidden = false;
}

void RingMenu::next_option(std::string_view name) { cur_ = find(name); }
void RingMenu::exit_menu() { exit_ = true; }

std::string RingMenu::current() const {
  return opts_.empty() ? std::string() : opts_[static_cast<std::size_t>(cur_)].name;
}

// Moves to the next (step 1) or previous (-1) visible option, as a ring.
void RingMenu::move(int step) {
  int n = static_cast<int>(opts_.size());
  for (int k = 1; k <= n; ++k) {
    int i = ((cur_ + step * k) % n + n) % n;
    if (!opts_[static_cast<std::size_t>(i)].hidden && !opts_[static_cast<std::size_t>(i)].name.empty()) {
      cur_ = i;
      return;
    }
  }
}

void RingMenu::draw() {
  Window& w = cur();
  int line = st().menu_line - 1;
  int width = w.cols;
  w.grid.blank(line, 0);
  w.grid.blank(line + 1, 0);
  std::string head = title_ + ": ";
  int col = w.grid.put(line, 0, head);
  // Options of the page that holds the current one: pages are cut where the
  // next option would not fit, keeping room for the markers.
  std::vector<int> vis;
  for (std::size_t i = 0; i < opts_.size(); ++i)
    if (!opts_[i].hidden && !opts_[i].name.empty()) vis.push_back(static_cast<int>(i));
  if (vis.empty()) return;
  std::vector<int> page_of(vis.size());
  int avail = width - col - static_cast<int>(kMore.size()) * 2 - 2;
  int page = 0, used = 0;
  for (std::size_t k = 0; k < vis.size(); ++k) {
    int wdt = text_width(opts_[static_cast<std::size_t>(vis[k])].name) + 2;
    if (used > 0 && used + wdt > avail) ++page, used = 0;
    used += wdt;
    page_of[k] = page;
  }
  int cur_page = 0;
  for (std::size_t k = 0; k < vis.size(); ++k)
    if (vis[k] == cur_) cur_page = page_of[k];
  if (cur_page > 0) col += w.grid.put(line, col, std::string(kMore) + " ");
  bool more_after = false;
  for (std::size_t k = 0; k < vis.size(); ++k) {
    if (page_of[k] < cur_page) continue;
    if (page_of[k] > cur_page) {
      more_after = true;
      break;
    }
    const Opt& o = opts_[static_cast<std::size_t>(vis[k])];
    col += w.grid.put(line, col, o.name, vis[k] == cur_ ? kReverse : kNormal);
    col += w.grid.put(line, col, "  ");
  }
  if (more_after) w.grid.put(line, col, kMore);
  w.grid.put(line + 1, 0, opts_[static_cast<std::size_t>(cur_)].help);
}

void RingMenu::clear_lines() {
  Window& w = cur();
  int line = st().menu_line - 1;
  w.grid.blank(line, 0);
  w.grid.blank(line + 1, 0);
  present();
}

bool RingMenu::choose_by_letter(int k) {
  if (k < 32 || k >= 127) return false;
  int n = static_cast<int>(opts_.size());
  std::vector<int> match;
  for (int i = 0; i < n; ++i) {
    const Opt& o = opts_[static_cast<std::size_t>(i)];
    if (!o.hidden && !o.name.empty() && ascii_lower(o.name[0]) == ascii_lower(k)) match.push_back(i);
  }
  if (match.empty()) return false;
  if (match.size() == 1) {
    cur_ = match[0];
    return true;
  }
  // Several options start with the letter: step through them.
  for (int k2 = 1; k2 <= n; ++k2) {
    int i = (cur_ + k2) % n;
    for (int m : match)
      if (m == i) {
        cur_ = i;
        return false;
      }
  }
  return false;
}

void RingMenu::run() {
  exit_ = false;
  begin_dialog();
  if (opts_.empty()) return;
  auto off_line = [&] {
    const Opt& o = opts_[static_cast<std::size_t>(cur_)];
    return o.hidden || o.name.empty();
  };
  if (off_line()) move(1);
  while (!exit_) {
    if (off_line()) move(1);
    st().cursor_win = nullptr;
    draw();
    int k = wait_key();
    int chosen = -1;
    if (k == key::kInterrupt) {
      // With interrupts deferred the key only sets the flag, for the next
      // input to see; the menu stays, unless it is part of a dialog, which
      // the interrupt ends. Otherwise it is the closing action.
      if (rt::interrupts_deferred()) {
        if (ends_on_interrupt_) exit_menu();
        continue;
      }
      if (close_)
        close_();
      else
        exit_menu();
      rt::int_flag = 0;
      continue;
    }
    for (std::size_t i = 0; i < opts_.size() && chosen < 0; ++i)
      for (int ok : opts_[i].keys)
        if (ok == k && !opts_[i].hidden) chosen = static_cast<int>(i);
    if (chosen < 0) {
      switch (k) {
        case key::kSpace:
        case key::kRight:
        case key::kDown: move(1); continue;
        case key::kLeft:
        case key::kUp: move(-1); continue;
        case key::kReturn: chosen = cur_; break;
        case key::kHelp:
          if (help_) help_();
          continue;
        default:
          if (choose_by_letter(k)) chosen = cur_;
          break;
      }
    }
    if (chosen < 0) continue;
    // A nameless option is chosen by its keys only and never highlighted.
    if (!opts_[static_cast<std::size_t>(chosen)].name.empty()) cur_ = chosen;
    draw();
    present();
    Action a = opts_[static_cast<std::size_t>(chosen)].action;
    if (a) a();
  }
  clear_lines();
}

}  // namespace rt::ui
