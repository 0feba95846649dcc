#include "testsupport/TempFiles.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace kvtest {
namespace {

namespace fs = std::filesystem;

std::string Stem(const std::string& prefix) {
  std::string folder = ::testing::TempDir();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + prefix + "-" + std::to_string(::getpid());
}

// Files and folders that live until the program ends.
struct TAtExit {
  std::vector<std::string> files;
  std::vector<std::unique_ptr<TempFolder>> folders;
  ~TAtExit() {
    for (const std::string& f : files) std::remove(f.c_str());
  }
};

TAtExit& AtExit() {
  static TAtExit list;
  return list;
}

}  // namespace

std::string TempFilePath(const std::string& prefix, const std::string& name) {
  std::string path = Stem(prefix) + "-" + name;
  AtExit().files.push_back(path);
  return path;
}

std::string WriteTempFile(const std::string& prefix, const std::string& name, const std::string& content) {
  std::string path = TempFilePath(prefix, name);
  WriteFile(path, content);
  return path;
}

TempFolder::TempFolder(const std::string& prefix) {
  std::string pattern = Stem(prefix) + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder " + pattern);
  path_ = pattern;
}

TempFolder::~TempFolder() {
  // Tests take permissions away to provoke errors; give them back first.
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  std::error_code walk;
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, walk);
       !walk && it != fs::recursive_directory_iterator(); it.increment(walk)) {
    if (it->symlink_status(ignored).type() == fs::file_type::directory)
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string NewTempFolder(const std::string& prefix) {
  AtExit().folders.push_back(std::make_unique<TempFolder>(prefix));
  return AtExit().folders.back()->Path();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kvtest
