// The terminal's foreground process group of a run started without job
// control (from a plain /bin/sh script, whose process group the program
// would share): the run takes a group of its own and makes it the
// terminal's foreground group, so that Ctrl-C and the terminal's other
// signals reach the program alone and never the script that started it,
// and gives the terminal back to the group it found on every way out.
// Never changes anything under a shell with job control (it gave the
// program a group of its own already), without a terminal, or for a
// program started in the background.
#pragma once

namespace rt::program {

// Takes the group and the foreground when the program shares its parent's
// process group and that group has the terminal; otherwise does nothing.
void take_foreground();

// Gives the terminal back to the group found at take_foreground(); does
// nothing when none was taken or it was given back already. Safe in a
// signal handler. From then on the run writes to the terminal as a
// background group, which the terminal never stops it for.
void give_back_foreground();

}  // namespace rt::program
