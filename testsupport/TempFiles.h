// Temporary files and folders of a test program. Every name carries the
// process id, so test programs running at once (in one build folder or in
// several) never see each other's files, and everything is removed again.
#pragma once

#include <string>

namespace kvtest {

// A path "<test folder>/<prefix>-<pid>-<name>" for a file of this program,
// removed when the program ends.
std::string TempFilePath(const std::string& prefix, const std::string& name);

// Writes `content` to TempFilePath(prefix, name) and returns that path.
std::string WriteTempFile(const std::string& prefix, const std::string& name, const std::string& content);

// A new empty folder "<test folder>/<prefix>-<pid>-XXXXXX", removed with
// everything in it (whatever its permissions) when the object goes.
class TempFolder {
public:
  explicit TempFolder(const std::string& prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, without a trailing '/'.
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// A new empty folder as TempFolder makes it, kept until the program ends.
std::string NewTempFolder(const std::string& prefix);

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Replaces the content of a file with `bytes`.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace kvtest
