// Terminal on ncursesw: setup and teardown, output of changed cells, key
// decoding.
#include "screen/curses_terminal.h"

#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <source_location>
#include <string>

#include "core/runtime.h"
#include "screen/keys.h"

namespace rt::ui {
namespace {

int map_curses_key(int k) {
  if (k >= KEY_F(1) && k <= KEY_F(63)) return key::f(k - KEY_F0);
  switch (k) {
    case KEY_UP: return key::kUp;
    case KEY_DOWN: return key::kDown;
    case KEY_LEFT: return key::kLeft;
    case KEY_RIGHT: return key::kRight;
    case KEY_HOME: return key::kHome;
    case KEY_END: return key::kEnd;
    case KEY_PPAGE: return key::kPgUp;
    case KEY_NPAGE: return key::kPgDn;
    case KEY_IC: return key::kInsert;
    case KEY_DC: return key::kDelete;
    case KEY_BACKSPACE: return key::kBackspace;
    case KEY_BTAB: return key::kBacktab;
    case KEY_ENTER: return key::kReturn;
    case KEY_RESIZE: return key::kResize;
    default: return key::kNone;  // keys nobody binds are dropped
  }
}

class CursesTerminal : public Terminal {
 public:
  CursesTerminal() {
    std::setlocale(LC_ALL, "");
    const char* cs = nl_langinfo(CODESET);
    utf8_ = cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
      std::fprintf(stderr, "This program needs a terminal: its input and output must be a terminal.\n");
      std::exit(1);
    }
    const char* t = std::getenv("TERM");
    screen_ = newterm(nullptr, stdout, stdin);
    if (!screen_) {
      std::fprintf(stderr, "The terminal type '%s' is not known on this system; set TERM to the terminal's type.\n",
                   t ? t : "");
      std::exit(1);
    }
    set_term(screen_);
    raw();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    meta(stdscr, TRUE);
    set_escdelay(25);
    leaveok(stdscr, FALSE);
    active_ = true;
    erase();
    refresh();
  }

  void present(const Grid& g, int cr, int cc) override {
    resume();
    bool full = repaint_ || shadow_.rows() != g.rows() || shadow_.cols() != g.cols();
    if (full) {
      shadow_ = Grid(g.rows(), g.cols());
      clearok(curscr, TRUE);
      for (int r = 0; r < g.rows(); ++r)
        for (int c = 0; c < g.cols(); ++c) put_cell(r, c, g.at(r, c));
      shadow_ = g;
      repaint_ = false;
    } else {
      for (int r = 0; r < g.rows(); ++r)
        for (int c = 0; c < g.cols(); ++c)
          if (!(g.at(r, c) == shadow_.at(r, c))) {
            // Rewrite the left half when only the right half of a wide character changed.
            int cc0 = (g.at(r, c).cont && c > 0) ? c - 1 : c;
            put_cell(r, cc0, g.at(r, cc0));
          }
      shadow_ = g;
    }
    if (cr >= 0) {
      move(cr, cc);
      curs_set(1);
    } else {
      curs_set(0);
      move(g.rows() - 1, 0);
    }
    refresh();
  }

  int read_key(int timeout_ms) override {
    resume();
    timeout(timeout_ms);
    wint_t ch = 0;
    int rc = get_wch(&ch);
    if (rc == ERR) return key::kNone;
    if (rc == KEY_CODE_YES) return map_curses_key(static_cast<int>(ch));
    int k = static_cast<int>(ch);
    if (k == 27) return after_escape();
    if (k == 127 || k == 8) return key::kBackspace;
    if (k == 10) return key::kReturn;
    if (!utf8_ && k >= 128) return k;  // the field refuses it cleanly
    return k;
  }

  void bell() override { beep(); }
  void force_repaint() override { repaint_ = true; }
  void sleep_ms(int ms) override {
    if (active_) refresh();
    struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && !rt::quit_flag) {
    }
  }
  int lines() const override { return LINES; }
  int columns() const override { return COLS; }
  bool utf8() const override { return utf8_; }

  void show_notice(const char* text) override {
    resume();
    erase();
    mvaddnstr(0, 0, text, COLS);
    curs_set(0);
    refresh();
    repaint_ = true;
  }

  void shutdown() override {
    if (!active_) return;
    active_ = false;
    curs_set(1);
    endwin();
  }

 private:
  // After endwin() (a shell command ran, or a clean-up was run early) the
  // next output puts the terminal back into program mode.
  void resume() {
    if (!active_) {
      active_ = true;
      repaint_ = true;
      refresh();
    }
  }

  // Esc alone is the accept key. Esc followed at once by '[' or 'O' is a
  // sequence terminfo did not know: swallow it up to its final byte.
  int after_escape() {
    timeout(0);
    wint_t c = 0;
    int rc = get_wch(&c);
    if (rc == ERR) return key::kEsc;
    if (rc == OK && (c == '[' || c == 'O')) {
      bool csi = c == '[';
      for (int n = 0; n < 32; ++n) {
        timeout(25);
        rc = get_wch(&c);
        if (rc != OK) break;
        if (!csi) break;                  // ESC O x: one byte
        if (c >= 0x40 && c <= 0x7E) break;  // final byte of a CSI sequence
      }
      return key::kNone;
    }
    // Esc, then another key typed or pasted right after it.
    if (rc == KEY_CODE_YES)
      ungetch(static_cast<int>(c));
    else
      unget_wch(static_cast<wchar_t>(c));
    return key::kEsc;
  }

  void put_cell(int r, int c, const Cell& cell) {
    if (cell.cont) return;
    attr_t a = A_NORMAL;
    if (cell.attr & kReverse) a |= A_REVERSE;
    if (cell.attr & kBold) a |= A_BOLD;
    if (cell.attr & kUnderline) a |= A_UNDERLINE;
    if (!utf8_) {
      chtype ch = ' ';
      switch (cell.ch) {
        case U'─': ch = ACS_HLINE; break;
        case U'│': ch = ACS_VLINE; break;
        case U'┌': ch = ACS_ULCORNER; break;
        case U'┐': ch = ACS_URCORNER; break;
        case U'└': ch = ACS_LLCORNER; break;
        case U'┘': ch = ACS_LRCORNER; break;
        default: ch = cell.ch < 128 ? static_cast<chtype>(cell.ch) : '?';
      }
      mvaddch(r, c, ch | a);
      return;
    }
    wchar_t wc[3] = {static_cast<wchar_t>(cell.ch), static_cast<wchar_t>(cell.mark), 0};
    cchar_t cc;
    setcchar(&cc, wc, a, 0, nullptr);
    mvadd_wch(r, c, &cc);
  }

  SCREEN* screen_ = nullptr;
  bool utf8_ = false;
  bool active_ = false;
  bool repaint_ = true;
  Grid shadow_;
};

}  // namespace

std::unique_ptr<Terminal> make_curses_terminal() { return std::make_unique<CursesTerminal>(); }

}  // namespace rt::ui
