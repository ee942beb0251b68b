// Runs set_param(<number>, <value>) on the database the environment names,
// as a program would, with a test terminal as its screen. Exit status 0
// when set_param returns; its own status when it ends the program.
#include <cstdlib>

#include "libparm.h"
#include "program/program.h"
#include "screen/fake_terminal.h"

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  rt::program::start(argc, argv);
  rt::ui::install_fake_terminal();
  rt::program::connect();
  set_param(std::atoi(argv[1]), argv[2]);
  rt::program::end(0);
}
