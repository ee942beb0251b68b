// Shell helpers of the common library: operating-system commands run
// through the shell, their output handed back as a value.
//
// Owns the command pipes (`rxshell` for the first line, `rx_shell` for the
// whole output), running a command and waiting for it (`shell_run`), the
// quoting of a value joined into a command line (`shell_quote`), and the
// small services built on them: a random integer, removing a log file that
// stayed empty, a unique temporary file name.
//
// Never examines a command's exit status except where a caller asks for it
// (`shell_run`); only the output counts. Never joins a value into a command
// line unquoted: every file or command name goes through `shell_quote`.
// Never cuts a command line: one longer than its argument allows is not
// started at all, since a cut command would run something else.
//
// Character values follow the CHAR rules: they come back without trailing
// blanks, and a result that may be NULL is a std::optional (nullopt = NULL).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Longest command line `rxshell` and `rx_shell` start (their CHAR(128)
// argument); a longer one is not started.
inline constexpr std::size_t kShellCmdMax = 128;
// Longest first line `rxshell` returns, line end included.
inline constexpr std::size_t kShellLineMax = 256;
// Most output bytes `rx_shell` reads.
inline constexpr std::size_t kShellOutputMax = 8192;

// `text` as one shell word: in single quotes, each ' written as '\''.
// An empty text gives ''. Nothing inside the word is special to the shell,
// so a name with blanks, quotes, `$(...)` or `;` stays a name.
std::string shell_quote(std::string_view text);

// Every command starts as from a login shell, whatever the program set up
// for itself: each signal at its default disposition (a command that
// writes into a pipe nobody reads any longer ends, as it expects, instead
// of failing its writes or writing forever) and none blocked. Descriptors
// the program opened with close-on-exec stay behind.

// `text` split into words as the shell splits a command line, and nothing
// more: blanks, tabs and line ends separate words; within '...' every
// character stands for itself; within "..." too, except that a backslash
// before $ ` " \\ or a line end stands for that character; outside quotes
// a backslash keeps the next character. Nothing is expanded ($, `, *, ~
// stay as they are), and an unterminated quote runs to the end.
std::vector<std::string> shell_words(std::string_view text);

// Runs `cmd` through the shell and waits for it, ignoring Ctrl-C and
// Ctrl-\ meanwhile as the command's owner of the terminal gets them.
// Returns the command's exit code, or nullopt when the shell could not be
// started or the command did not end by itself (killed by a signal). Its
// output is not captured.
std::optional<int> shell_run(std::string_view cmd);

// A command started through the shell with its standard output on a pipe
// that `out` reads. `out` is null when the command could not be started.
struct ShellPipe {
  std::FILE* out = nullptr;
  pid_t pid = -1;
};
ShellPipe shell_popen(std::string_view cmd);
// Closes the pipe (a command still writing then ends on its broken pipe)
// and waits for the command. Its exit code, or nullopt as for shell_run.
// Does nothing for a pipe that is not open.
std::optional<int> shell_pclose(ShellPipe& p);

// First line of the output of `cmd`: at most 256 bytes, the line end
// included when it falls within them. NULL (nullopt) when the command
// cannot be started, writes nothing, or is longer than 128 bytes. The pipe
// is closed and the command waited for on every path.
std::optional<std::string> rxshell(std::string_view cmd);

// The whole output of `cmd`, at most 8192 bytes, exactly as written except
// that one final line end is dropped (line ends inside stay). Empty when
// the command cannot be started: then "popen failed" and a line end go to
// the standard error stream ("command too long" for a command longer than
// 128 bytes, which is not started).
std::string rx_shell(std::string_view cmd);

// A random integer from `lv_min` to `lv_max`, both included, drawn by
// "shuf -i <min>-<max> -n 1". NULL when the command gives no number (for
// instance when `lv_min` > `lv_max`). Callers pass non-negative bounds.
std::optional<std::int32_t> get_random_int(std::int32_t lv_min, std::int32_t lv_max);

// Removes the file `lv_file` (CHAR(20)) when it is missing or empty, as
// "test -s <file>; echo $?" tells; a file with content is left in place.
// The name is used whole (not cut to 20 bytes, which could name another
// file); an empty name, or one too long for the 128-byte test command,
// removes nothing.
void removelog(std::string_view lv_file);

// A name "/tmp/fileXXXXXX" (15 bytes) whose six last characters are chosen
// so that no existing file has it. The file is not created, so the name is
// only unique at the time of the call. Empty when no such name was found.
std::string get_mktemp();
