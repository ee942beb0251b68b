// The tax use group program's main module (its state, menu and delete),
// with its entry point renamed, so that the benchmark can run the
// program's own Find, Next and Previous in its process.
#define main tugedit_main
#include "tugedit.cpp"  // NOLINT(bugprone-suspicious-include)
