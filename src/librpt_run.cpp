// Starting the report services' commands with the screen either kept up
// or handed over to the command (see librpt.h).
#include "libshell.h"
#include "librpt.h"
#include "screen/ui.h"

namespace librpt {

std::optional<int> run_quiet(std::string_view cmd) {
  std::optional<int> code = shell_run(cmd);
  // A command that fails tends to say so on the terminal, over the screen;
  // painting the whole screen again wipes that out. The commands started
  // this way are silent when they succeed, so the screen is left alone
  // then. Without a screen (a batch report) none is started.
  if (code != 0 && rt::ui::started()) rt::ui::redraw();
  return code;
}

std::optional<int> run_on_terminal(std::string_view cmd) {
  if (!rt::ui::started()) return shell_run(cmd);
  rt::ui::stop();
  std::optional<int> code = shell_run(cmd);
  rt::ui::redraw();
  return code;
}

}  // namespace librpt
