// Scratch directories and the build's bin directory.
#include "e2e/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "e2e/terminal.h"

namespace e2e {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/e2e-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) throw Error("mkdtemp " + pattern + ": " + std::strerror(errno));
  path_ = buf.data();
}

TempDir::~TempDir() {
  const char* keep = std::getenv("E2E_KEEP_TMP");
  if (keep != nullptr && *keep != '\0' && *keep != '0') return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string bin_path(std::string_view name) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw Error("cannot read /proc/self/exe: " + ec.message());
  auto path = self.parent_path() / std::string(name);
  if (::access(path.c_str(), X_OK) != 0) throw Error("no program " + path.string() + " (is it built?)");
  return path.string();
}

}  // namespace e2e
