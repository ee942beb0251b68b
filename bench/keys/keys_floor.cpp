// The lower bound of keys_bench: a minimal ncurses program that only draws.
// It shows the first frame of the file it is given, then, for each input it
// reads (one key as the terminal sends it), the next frame, each drawn whole
// into the screen and refreshed, so that ncurses sends only what changed,
// as a program built on it would at best. It decodes no key and reads no
// database.
//
//   keys_floor FRAMES
#include <curses.h>
#include <unistd.h>

#include <clocale>

#include "frames.h"

namespace {

void draw(const keys::Frame& f) {
  for (int r = 0; r < f.rows && r < LINES; ++r) {
    move(r, 0);
    for (int c = 0; c < f.cols && c < COLS; ++c) {
      const std::string& cell = f.at(r, c);
      if (cell.empty()) continue;  // the right half of a wide character
      attrset(f.reversed(r, c) ? A_REVERSE : A_NORMAL);
      mvaddstr(r, c, cell.c_str());
    }
  }
  attrset(A_NORMAL);
  curs_set(f.cursor_visible ? 1 : 0);
  move(f.cursor_row, f.cursor_col);
  refresh();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::setlocale(LC_ALL, "");
  const std::vector<keys::Frame> frames = keys::read_frames(argv[1]);
  if (frames.empty()) return 1;
  initscr();
  raw();
  noecho();
  nonl();
  draw(frames[0]);
  char buf[256];
  for (size_t k = 1; k < frames.size(); ++k) {
    if (read(0, buf, sizeof buf) <= 0) break;
    draw(frames[k]);
  }
  while (read(0, buf, sizeof buf) > 0) {}
  endwin();
  return 0;
}
