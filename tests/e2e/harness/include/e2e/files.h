// Files around a test run: a scratch directory per test and the programs
// built beside the test binary.
#pragma once

#include <string>
#include <string_view>

namespace e2e {

// A new empty directory under $TMPDIR (or /tmp), removed with everything in
// it when the object goes away; set E2E_KEEP_TMP=1 to keep it for a look
// after a failure. Good as Options.cwd and for a test's database file.
class TempDir {
 public:
  TempDir();  // throws e2e::Error
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// The path of an executable in the directory of the running test binary,
// where the build puts every program; throws e2e::Error if there is none.
std::string bin_path(std::string_view name);

}  // namespace e2e
