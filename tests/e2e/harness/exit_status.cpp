// Describing how a child ended.
#include <cstring>

#include "e2e/terminal.h"

namespace e2e {

std::string ExitStatus::describe() const {
  if (signal == 0) return "exit status " + std::to_string(code);
  const char* name = ::strsignal(signal);
  return "killed by signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
}

std::ostream& operator<<(std::ostream& os, const ExitStatus& st) { return os << st.describe(); }

}  // namespace e2e
