// The terminal itself: a libvterm instance with its screen.
//
// Owns the VTerm, draws the bytes fed to it, keeps the properties a test
// asks about (cursor visibility, alternate screen, bells) and collects what
// the terminal sends back: keys encoded as this terminal encodes them, and
// answers to the program's queries (device attributes, cursor position).
// Never touches a file descriptor: the caller moves the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "e2e/terminal.h"

struct VTerm;
struct VTermScreen;

namespace e2e::detail {

class VtScreen {
 public:
  VtScreen(int rows, int cols);
  ~VtScreen();
  VtScreen(const VtScreen&) = delete;
  VtScreen& operator=(const VtScreen&) = delete;

  void feed(std::string_view bytes);
  void resize(int rows, int cols);

  // Keys as the terminal sends them; the bytes collect in outgoing().
  // key_name() throws Error on a name it does not know.
  void key_name(std::string_view name);
  void text(std::string_view utf8);
  std::string take_outgoing();
  bool has_outgoing() const { return !outgoing_.empty(); }

  // 0-based internally; the Terminal converts.
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  Cell cell(int row, int col) const;
  std::string row_text(int row, int col, int ncells) const;  // exact cells
  std::pair<int, int> cursor() const;
  bool cursor_visible() const { return cursor_visible_; }
  bool alt_screen() const { return alt_screen_; }
  int bells() const { return bells_; }

 private:
  friend struct VtCallbacks;

  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  int rows_, cols_;
  std::string outgoing_;
  bool cursor_visible_ = true;
  bool alt_screen_ = false;
  int bells_ = 0;
};

}  // namespace e2e::detail
