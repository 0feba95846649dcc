// Advisory locks that keep two runs of one job apart: the desktop program,
// `vandrel-cli run` and `vandrel-cli schedule`, in one process or several,
// never run one job file twice at once nor write its error files together.
//
// The lock is held on a small lock file beside the locked file, named
// ".<file name>.lock", not on the file itself: saving a job replaces its
// file, which would silently drop a lock taken on the old one. The lock
// file stays when the lock is released (removing it could let two runs
// lock two different files); it holds the process id and program name of
// the last holder, for the "busy" message. Locks are open-file-description
// locks: two TFileLock objects exclude each other even in one process, and
// the system releases a lock when its holder ends, however it ends.
#pragma once

#include <memory>
#include <string>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT TFileLock {
public:
  // Locks `path` without waiting. Null when another holder has it; then
  // `holder` (when given) describes that holder ("vandrel-cli, process
  // 1234", or "another process" when the lock file says nothing). Raises
  // EInOutError when the lock file cannot be created or locked for any other
  // reason (a folder that cannot be written, say).
  static std::unique_ptr<TFileLock> TryAcquire(const std::string& path, std::string* holder = nullptr);
  // The name of the lock file that guards `path`.
  static std::string LockFileName(const std::string& path);

  ~TFileLock();  // releases the lock
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  const std::string& Path() const { return path_; }

private:
  TFileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

}  // namespace kv
