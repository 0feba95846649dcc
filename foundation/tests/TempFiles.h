// Temporary files of a test program: named per process, so test runs in
// several build folders at once do not collide, and removed when the
// process ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kvtest {

inline std::vector<std::string>& TempFileList() {
  struct TList {
    std::vector<std::string> paths;
    ~TList() {
      for (const std::string& p : paths) std::remove(p.c_str());
    }
  };
  static TList list;
  return list.paths;
}

// A path in the test folder, "<prefix>-<pid>-<name>", removed at exit.
inline std::string TempFilePath(const std::string& prefix, const std::string& name) {
  std::string path = ::testing::TempDir() + "/" + prefix + "-" + std::to_string(::getpid()) + "-" + name;
  TempFileList().push_back(path);
  return path;
}

}  // namespace kvtest
