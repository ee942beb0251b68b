// One operator of the load benchmark: a real repnamedt or tugedit process
// in a pseudo-terminal of its own, driven by a script of keystrokes until a
// deadline, with a pause between actions as an operator makes.
//
// The script, repeated: Find with criteria, Next, Next, Previous, Change
// with an edit and its save, Next, Change again, Add of a new row. An
// operator either works on the few rows that every "hot" operator shares
// (on purpose, to make saves meet) or on rows of its own. Each action is
// timed from the moment its last key is written to the moment the screen
// shows its result (the row that follows, the menu back after a save, the
// bell of "No more rows"), never by waiting for quiet.
//
// The operator writes a log, one line per event:
//   T <action> <ms> <start>             an action, its time, and when its
//                                        last key went (now_ms())
//   S <table> <key> <field> <value> <outcome>
//                                        a Change saved: the field it edited,
//                                        the value typed, what the screen said
//                                        (confirmed, changed, gone, locked,
//                                        other)
//   A <table> <key> <value> <outcome>   an Add (confirmed or other)
//   E <what>                            the screen never showed what the
//                                        script waited for; the operator stops
//   X <text>                            the program never showed its first
//                                        screen but this (its lines joined)
#pragma once

#include <chrono>
#include <map>
#include <string>

namespace load {

// A program's first Find is timed apart: it is the first statement of a
// browse, on PostgreSQL the one that opens the browse's session.
enum class Action { Find, Next, Previous, Save, Add, FirstFind };
inline constexpr int kActions = 6;
const char* action_name(Action a);

// The steady clock in milliseconds: the same clock in every process of the
// machine, so an operator's times compare with the bench's.
double now_ms();

struct OperatorPlan {
  int id = 0;            // 0..99: names its own rows and its values
  bool tugedit = false;  // else repnamedt
  bool hot = false;      // works on the shared rows
  std::string program;   // path of the executable
  std::string cwd;
  std::map<std::string, std::string> env;
  // Every operator starts its program, tells the bench on `ready_fd` (one
  // byte, also when the program never showed its first screen), then waits
  // for the end of file on `go_fd`: the programs' start-up, which is heavy
  // when fifty connect at once, is kept out of the figures. The script runs
  // for `seconds` from there.
  int ready_fd = -1, go_fd = -1;
  int seconds = 60;
  int think_ms = 500;
  std::string log_path;
};

// Runs the script; 0 when the operator worked to the deadline and left the
// program normally, kNotStarted when the program never showed its first
// screen (the log then holds what it showed instead).
inline constexpr int kNotStarted = 3;
int run_operator(const OperatorPlan& plan);

// The rows the script works on, seeded before the operators start.
inline constexpr int kHotSalesmen = 5;   // H1..H5
inline constexpr int kOwnSalesmen = 10;  // S<id><0..9>
inline constexpr int kHotGroups = 3;     // HOT1..HOT3, class TX1
inline constexpr int kOwnGroups = 5;     // G<id><A..E>, class TX1
inline constexpr int kTaxTables = 20;
inline constexpr int kLinksPerGroup = 3;

}  // namespace load
