// A small ncurses program that only the harness's own tests drive.
//
// Draws fixed texts at known places (a reverse-video bar, a bold word, wide
// characters, "END" in the bottom-right corner), reads every key through
// ncurses keypad() and terminfo and shows its name and a running count, and
// keeps a count and FNV-1a hash of the characters typed so that a burst can
// be checked whole. Keys of its own: q exits with status 3, p asks the
// terminal where the cursor is, c toggles the cursor, b rings the bell.
// SIGTERM and SIGHUP restore the terminal and exit with 128 + the signal;
// a resize redraws at the new size.
#include <curses.h>

#include <climits>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cwchar>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t quit_signal = 0;
void on_quit(int sig) { quit_signal = sig; }

int key_count = 0;
std::string last_key = "none";
unsigned typed = 0;
std::uint32_t hash = 2166136261u;
std::wstring input;  // the last characters typed, at most 30
std::string cpr = "none";
bool cursor_on = true;

// ncurses looks for a resize or our quit flag only before it blocks in
// read(); a signal that lands between that look and the read would wait
// for the next key. Reading with a short timeout closes that window.
constexpr int kPollMs = 20;

void draw() {
  erase();
  mvaddstr(0, 0, "SELFTEST APP");
  mvprintw(1, 0, "size: %dx%d", LINES, COLS);
  attron(A_REVERSE);
  mvaddstr(2, 4, " REVERSE BAR ");
  attroff(A_REVERSE);
  attron(A_BOLD);
  mvaddstr(3, 0, "BOLD");
  attroff(A_BOLD);
  mvaddstr(4, 0, "wide: \u4e2d\u6587\u00e9|");
  mvprintw(6, 0, "key #%d: %s", key_count, last_key.c_str());
  mvprintw(7, 0, "count: %u hash: %08x", typed, hash);
  mvprintw(8, 0, "cpr: %s", cpr.c_str());
  mvaddstr(LINES - 1, COLS - 3, "END");
  mvaddstr(9, 0, "input: ");
  addwstr(input.c_str());
  move(9, 7 + wcswidth(input.c_str(), input.size()));
  refresh();
}

// Asks the terminal for the cursor position and reads the raw answer.
void query_cursor() {
  refresh();
  keypad(stdscr, FALSE);
  ssize_t ignored = write(1, "\x1b[6n", 4);
  (void)ignored;
  std::string answer;
  timeout(2000);
  for (int c; (c = getch()) != ERR;) {
    if (c == 0x1B)
      answer += "^[";
    else
      answer += static_cast<char>(c);
    if (c == 'R') break;
  }
  timeout(kPollMs);
  keypad(stdscr, TRUE);
  cpr = answer.empty() ? "no answer" : answer;
}

void typed_char(wchar_t ch) {
  ++typed;
  hash = (hash ^ static_cast<std::uint32_t>(ch)) * 16777619u;
  input += ch;
  if (input.size() > 30) input.erase(0, input.size() - 30);
  char mb[MB_LEN_MAX + 1] = {};
  std::mbstate_t st{};
  std::size_t n = std::wcrtomb(mb, ch, &st);
  last_key = n == static_cast<std::size_t>(-1) ? "?" : std::string(mb, n);
}

}  // namespace

int main() {
  struct sigaction sa {};
  sa.sa_handler = on_quit;  // no SA_RESTART: the read in get_wch returns
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);

  std::setlocale(LC_ALL, "");
  initscr();
  raw();
  noecho();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  timeout(kPollMs);
  draw();
  for (;;) {
    wint_t ch = 0;
    int kind = get_wch(&ch);
    if (quit_signal != 0) {
      endwin();
      return 128 + quit_signal;
    }
    if (kind == ERR) continue;
    ++key_count;
    if (kind == KEY_CODE_YES) {
      last_key = keyname(static_cast<int>(ch));
    } else if (ch == L'q') {
      endwin();
      return 3;
    } else if (ch == L'p') {
      last_key = "p";
      query_cursor();
    } else if (ch == L'c') {
      last_key = "c";
      cursor_on = !cursor_on;
      curs_set(cursor_on ? 1 : 0);
    } else if (ch == L'b') {
      last_key = "b";
      beep();
    } else if (ch < 0x20 || ch == 0x7F) {
      last_key = keyname(static_cast<int>(ch));
    } else {
      typed_char(static_cast<wchar_t>(ch));
    }
    draw();
  }
}
