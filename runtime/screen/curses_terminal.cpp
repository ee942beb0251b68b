// Terminal on ncursesw: setup and teardown, output of changed cells, key
// decoding, the interrupt key and a terminal that goes away.
#include "screen/curses_terminal.h"

#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <source_location>
#include <string>

#include "core/host.h"
#include "core/runtime.h"
#include "screen/keys.h"

namespace rt::ui {

std::vector<std::string> notice_lines(std::string_view text, int width) {
  std::vector<std::string> out;
  if (width < 1) width = 1;
  const auto w = static_cast<std::size_t>(width);
  std::string line;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t j = text.find(' ', i);
    if (j == std::string_view::npos) j = text.size();
    std::string_view word = text.substr(i, j - i);
    i = j;
    if (word.empty()) break;
    if (!line.empty() && line.size() + 1 + word.size() > w) {
      out.push_back(line);
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    // A word wider than the terminal is cut into pieces that fit.
    while (line.size() > w) {
      out.push_back(line.substr(0, w));
      line.erase(0, w);
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

const std::vector<AltKey>& alternative_key_sequences() {
  static const std::vector<AltKey> keys = {
      // Home and End: VT220, tmux and screen; xterm's other mode; rxvt.
      {"\033[1~", key::kHome},
      {"\033[H", key::kHome},
      {"\033OH", key::kHome},
      {"\033[7~", key::kHome},
      {"\033[4~", key::kEnd},
      {"\033[F", key::kEnd},
      {"\033OF", key::kEnd},
      {"\033[8~", key::kEnd},
      // Editing and paging keys of the VT220 keypad, sent by nearly all.
      {"\033[2~", key::kInsert},
      {"\033[3~", key::kDelete},
      {"\033[5~", key::kPgUp},
      {"\033[6~", key::kPgDn},
      // Arrows in either cursor-key mode.
      {"\033[A", key::kUp},
      {"\033[B", key::kDown},
      {"\033[C", key::kRight},
      {"\033[D", key::kLeft},
      {"\033OA", key::kUp},
      {"\033OB", key::kDown},
      {"\033OC", key::kRight},
      {"\033OD", key::kLeft},
      {"\033[Z", key::kBacktab},
      // F1-F4: xterm and VT100 (SS3), PuTTY and rxvt (CSI 11~-14~), the
      // Linux console (CSI [A-[E, also F5).
      {"\033OP", key::f(1)},
      {"\033OQ", key::f(2)},
      {"\033OR", key::f(3)},
      {"\033OS", key::f(4)},
      {"\033[11~", key::f(1)},
      {"\033[12~", key::f(2)},
      {"\033[13~", key::f(3)},
      {"\033[14~", key::f(4)},
      {"\033[[A", key::f(1)},
      {"\033[[B", key::f(2)},
      {"\033[[C", key::f(3)},
      {"\033[[D", key::f(4)},
      {"\033[[E", key::f(5)},
      // F5-F12: the same on every terminal of this kind.
      {"\033[15~", key::f(5)},
      {"\033[17~", key::f(6)},
      {"\033[18~", key::f(7)},
      {"\033[19~", key::f(8)},
      {"\033[20~", key::f(9)},
      {"\033[21~", key::f(10)},
      {"\033[23~", key::f(11)},
      {"\033[24~", key::f(12)},
  };
  return keys;
}

namespace {

// Key codes of the runtime as curses codes, for define_key().
int curses_code(int k) {
  if (k > key::kF0 && k <= key::kF0 + 63) return KEY_F(k - key::kF0);
  switch (k) {
    case key::kUp: return KEY_UP;
    case key::kDown: return KEY_DOWN;
    case key::kLeft: return KEY_LEFT;
    case key::kRight: return KEY_RIGHT;
    case key::kHome: return KEY_HOME;
    case key::kEnd: return KEY_END;
    case key::kPgUp: return KEY_PPAGE;
    case key::kPgDn: return KEY_NPAGE;
    case key::kInsert: return KEY_IC;
    case key::kDelete: return KEY_DC;
    case key::kBacktab: return KEY_BTAB;
    default: return 0;
  }
}

int map_curses_key(int k) {
  if (k >= KEY_F(1) && k <= KEY_F(63)) return key::f(k - KEY_F0);
  switch (k) {
    case KEY_UP: return key::kUp;
    case KEY_DOWN: return key::kDown;
    case KEY_LEFT: return key::kLeft;
    case KEY_RIGHT: return key::kRight;
    case KEY_HOME:
    case KEY_FIND: return key::kHome;  // the VT220 keypad's Find and Select
    case KEY_END:
    case KEY_SELECT: return key::kEnd;  // keys stand where Home and End are
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
      exit_program(1);
    }
    // The terminal type as the run's Host tells it (ncurses' own choice,
    // the process environment, when none is given).
    const std::string term = getenv_str("TERM");
    const char* t = term.c_str();
    screen_ = newterm(term.empty() ? nullptr : t, stdout, stdin);
    if (!screen_) {
      std::fprintf(stderr, "The terminal type '%s' is not known on this system; set TERM to the terminal's type.\n", t);
      exit_program(1);
    }
    set_term(screen_);
    if (!terminfo_string("cup") || tigetflag(const_cast<char*>("hc")) > 0) {
      endwin();
      delscreen(screen_);
      std::fprintf(stderr,
                   "The terminal type '%s' cannot move the cursor, which this program needs; set TERM to the "
                   "terminal's type.\n",
                   t);
      exit_program(1);
    }
    raw();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    meta(stdscr, TRUE);
    set_escdelay(25);
    // Curses would look for typed keys between the lines of an update (two
    // polls each time) to cut it short; an update here is small, and is
    // sent whole.
    typeahead(-1);
    add_alternative_keys();
    follow_interrupt_mode();
    leaveok(stdscr, FALSE);
    active_ = true;
    erase();
    refresh();
    // Until curses has once been left and resumed it takes itself for a
    // program that has not set up its screen, and writes out every cursor
    // movement at once: an update then reaches the terminal in several
    // writes, and a terminal could show half of it. Left and resumed, it
    // writes each update whole.
    endwin();
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
      bool changed = false;
      for (int r = 0; r < g.rows(); ++r)
        for (int c = 0; c < g.cols(); ++c)
          if (!(g.at(r, c) == shadow_.at(r, c))) {
            // Rewrite the left half when only the right half of a wide character changed.
            int cc0 = (g.at(r, c).cont && c > 0) ? c - 1 : c;
            put_cell(r, cc0, g.at(r, cc0));
            changed = true;
          }
      // Nothing to send: the terminal is left alone.
      if (!changed && cr == cursor_row_ && cc == cursor_col_) return;
      shadow_ = g;
    }
    cursor_row_ = cr;
    cursor_col_ = cc;
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
    follow_interrupt_mode();
    timeout(timeout_ms);
    wint_t ch = 0;
    errno = 0;  // curses reads again after a read that failed with EINTR
    int rc = get_wch(&ch);
    if (rc == ERR) {
      // A terminal that went away without a hang-up signal (a closed
      // window under another user, a dropped line) reads end of file at
      // once, for ever: the run ends as on a hang-up.
      if (terminal_gone()) rt::quit_flag = 1;
      return key::kNone;
    }
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
    struct timespec ts {
      ms / 1000, (ms % 1000) * 1000000L
    };
    while (nanosleep(&ts, &ts) != 0 && !rt::quit_flag) {}
  }
  int lines() const override { return LINES; }
  int columns() const override { return COLS; }
  bool utf8() const override { return utf8_; }

  void show_notice(const char* text) override {
    resume();
    erase();
    const std::vector<std::string> lines = notice_lines(text, COLS);
    for (std::size_t i = 0; i < lines.size() && static_cast<int>(i) < LINES; ++i)
      mvaddnstr(static_cast<int>(i), 0, lines[i].c_str(), COLS);
    curs_set(0);
    refresh();
    repaint_ = true;
  }

  void shutdown() override {
    if (!active_) return;
    active_ = false;
    curs_set(1);
    endwin();
    // A terminal with an alternate screen shows again what was there
    // before the program; on one without (linux, vt220, vt100) the form
    // would stay behind under the shell's prompt: cleared instead, the
    // cursor at the top.
    if (!alternate_screen()) {
      if (const char* clear = terminfo_string("clear")) {
        putp(clear);
        std::fflush(stdout);
      }
    }
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

  // A capability's string, or nullptr when the entry has none.
  static const char* terminfo_string(const char* name) {
    const char* s = tigetstr(const_cast<char*>(name));
    return s == nullptr || s == reinterpret_cast<char*>(-1) || *s == '\0' ? nullptr : s;
  }
  static bool alternate_screen() { return terminfo_string("smcup") && terminfo_string("rmcup"); }

  // The common sequences of other terminals for the keys terminfo names,
  // where terminfo binds nothing to the sequence: terminfo stays first.
  static void add_alternative_keys() {
    for (const AltKey& k : alternative_key_sequences())
      if (key_defined(k.sequence) == 0) define_key(k.sequence, curses_code(k.code));
  }

  // Once interrupts are deferred, Ctrl-C raises SIGINT through the
  // terminal, so that the flag is set the moment the key is pressed, also
  // while the program pauses or waits for the database, and the key is
  // never left in the input for a later dialog. The terminal also throws
  // away, at that same moment, every key typed before Ctrl-C and not yet
  // read (NOFLSH off): keys typed ahead of a busy program belong to what
  // the interrupt cancels, and must not reach the next dialog (a menu, a
  // confirmation). Keys typed after it are kept. What was queued for
  // output then is thrown away too: the screen is repainted whole after
  // an interrupt. Ctrl-\ and Ctrl-Z stay plain keys. Before that, Ctrl-C
  // is a key.
  void follow_interrupt_mode() {
    const bool want = rt::interrupts_deferred();
    if (want == isig_) return;
    termios tio{};
    if (tcgetattr(STDIN_FILENO, &tio) != 0) return;
    if (want) {
      tio.c_lflag |= ISIG;
      tio.c_lflag &= ~static_cast<tcflag_t>(NOFLSH);
      // A read never waits: curses waits for input itself, and a read
      // that follows its wait must not block once Ctrl-C has emptied the
      // input in between (the interrupt would go unseen until a key).
      tio.c_cc[VMIN] = 0;
      tio.c_cc[VTIME] = 0;
      tio.c_cc[VINTR] = 3;
      tio.c_cc[VQUIT] = _POSIX_VDISABLE;
      tio.c_cc[VSUSP] = _POSIX_VDISABLE;
    } else {
      tio.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    }
    if (tcsetattr(STDIN_FILENO, TCSANOW, &tio) != 0) return;
    def_prog_mode();  // curses puts this mode back after a shell command
    isig_ = want;
  }

  // The terminal reads end of file or an error: its line is hung up.
  static bool terminal_gone() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
    int n = 0;
    return (p.revents & POLLIN) && ioctl(STDIN_FILENO, FIONREAD, &n) == 0 && n == 0;
  }

  // Esc alone is the accept key. Esc followed at once by '[' or 'O' is a
  // sequence neither terminfo nor the alternatives know: swallow it up to
  // its final byte (for the Linux console's "ESC [ [ x", the byte after
  // the second '[').
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
        if (!csi) break;                    // ESC O x: one byte
        if (n == 0 && c == '[') continue;   // ESC [ [ x: one more byte
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
  bool isig_ = false;
  Grid shadow_;
  int cursor_row_ = -2, cursor_col_ = -2;  // where the last update left the cursor
};

}  // namespace

std::unique_ptr<Terminal> make_curses_terminal() { return std::make_unique<CursesTerminal>(); }

}  // namespace rt::ui
