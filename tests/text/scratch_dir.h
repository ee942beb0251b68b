// A fresh directory under /tmp as the working directory of one test, so that
// the commands a test runs leave their files there; removed at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>

struct ScratchDir {
  std::filesystem::path old = std::filesystem::current_path(), path;
  ScratchDir() {
    char tmpl[] = "/tmp/text_testXXXXXX";
    std::filesystem::current_path(path = mkdtemp(tmpl));
  }
  ~ScratchDir() { std::filesystem::current_path(old), std::filesystem::remove_all(path); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path / name); }
  void write(const std::string& name, const std::string& text) const { std::ofstream(path / name) << text; }
};
