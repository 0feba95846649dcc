#include "foundation/FileUtils.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

bool IsDelim(char c) { return c == '/' || c == '\\'; }

size_t LastDelim(std::string_view name) {
  for (size_t i = name.size(); i > 0; --i)
    if (IsDelim(name[i - 1])) return i - 1;
  return std::string_view::npos;
}

// Index of the "." that starts the extension of the file name, or npos.
size_t ExtDot(std::string_view name) {
  const size_t delim = LastDelim(name);
  const size_t from = delim == std::string_view::npos ? 0 : delim + 1;
  const size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot >= from ? dot : std::string_view::npos;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

[[noreturn]] void RaiseIO(const std::string& what, int code) {
  throw EInOutError(what + ": " + std::strerror(code), code);
}

std::string ReadLink(const char* link) {
  std::string buf(PATH_MAX, '\0');
  for (;;) {
    ssize_t n = readlink(link, buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

mode_t CurrentUmask() {
  // umask() cannot be read without changing it (a race with other threads);
  // the kernel reports it in the process status instead.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  }
  return 022;
}

}  // namespace

namespace {

std::string WithSlash(std::string dir) {
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string ExecutableFolder() {
  std::string dir = ExtractFilePath(GetModuleFileName());
  return dir.empty() ? std::string("./") : dir;
}

// A program in its build folder (or a folder copied whole) has this library
// beside it; an installed one finds it in another folder (../lib).
bool RunsInPlace() {
  const std::string library = ExtractFilePath(GetModuleFileName(reinterpret_cast<const void*>(&PrgDir)));
  return library.empty() || library == ExecutableFolder();
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/tmp";
}

}  // namespace

std::string UserDataDir() {
  // Only an absolute $XDG_DATA_HOME counts; a relative one is ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string base = xdg != nullptr && *xdg == '/' ? std::string(xdg) : HomeFolder() + "/.local/share";
  const std::string dir = WithSlash(base) + "vandrel/";
  ForceDirectories(dir);
  return dir;
}

std::string PrgDir() {
  const char* home = std::getenv("VANDREL_HOME");
  if (home != nullptr && *home != '\0') return WithSlash(home);
  return RunsInPlace() ? ExecutableFolder() : UserDataDir();
}

std::string SystemDir() { return "/usr/lib/"; }

std::string GetModuleFileName(const void* address) {
  if (address == nullptr) return ReadLink("/proc/self/exe");
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return std::string();
  // The program itself has an empty name in the loader's list; the kernel
  // knows its full path even when it was started by a relative name.
  if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') return ReadLink("/proc/self/exe");
  if (char* real = realpath(map->l_name, nullptr)) {
    std::string path = real;
    std::free(real);
    return path;
  }
  return map->l_name;
}

void ReplExt(std::string& path, std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  const size_t dot = ExtDot(path);
  if (dot == std::string::npos) {
    path.push_back('.');
  } else {
    path.erase(dot + 1);
  }
  path.append(extension);
}

std::string GetAttachedFile(const void* addressInModule, std::string_view extension) {
  std::string name = GetModuleFileName(addressInModule);
  ReplExt(name, extension);
  return name;
}

std::string GetMainAttachedFile(std::string_view extension) { return GetAttachedFile(nullptr, extension); }

int64_t GetFileSize(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseIO("Cannot open file " + Quoted(fileName), errno);
  struct stat st {};
  const int rc = ::fstat(fd, &st);
  const int err = errno;
  ::close(fd);
  if (rc != 0) RaiseIO("Cannot read the size of file " + Quoted(fileName), err);
  if (S_ISDIR(st.st_mode)) RaiseIO("Cannot open file " + Quoted(fileName), EISDIR);
  return static_cast<int64_t>(st.st_size);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string s(path);
  if (!s.empty() && !IsDelim(s.back())) s.push_back(PathDelim);
  return s;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string s(path);
  while (s.size() > 1 && IsDelim(s.back())) s.pop_back();
  return s;
}

std::string ExtractFilePath(std::string_view fileName) {
  const size_t d = LastDelim(fileName);
  return d == std::string_view::npos ? std::string() : std::string(fileName.substr(0, d + 1));
}

std::string ExtractFileName(std::string_view fileName) {
  const size_t d = LastDelim(fileName);
  return std::string(d == std::string_view::npos ? fileName : fileName.substr(d + 1));
}

std::string ExtractFileExt(std::string_view fileName) {
  const size_t dot = ExtDot(fileName);
  return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  const size_t dot = ExtDot(fileName);
  std::string s(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
  s.append(extension);
  return s;
}

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& dir) {
  struct stat st {};
  return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  // Create each missing level from the top down.
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (part.empty() || DirectoryExists(part)) continue;
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return DirectoryExists(dir);
}

void AtomicWriteFile(const std::string& path, std::string_view bytes) {
  if (path.empty()) throw EFCreateError("Cannot create file \"\": empty file name");
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  mode_t mode = 0666 & ~CurrentUmask();
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) RaiseIO("Cannot create file " + Quoted(path), EISDIR);
    mode = st.st_mode & 07777;
  }

  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.size() > 200) name.resize(200);
  std::string temp = dir + "." + name + ".tmp.XXXXXX";

  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    throw EFCreateError("Cannot create file " + Quoted(path) + ": " + std::strerror(err));
  }
  auto fail = [&](const char* what, int err, bool open) {
    if (open) ::close(fd);
    ::unlink(temp.c_str());
    RaiseIO(std::string(what) + Quoted(path), err);
  };

  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write file ", errno, true);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fchmod(fd, mode) != 0) fail("Cannot set the permissions of file ", errno, true);
  if (::fsync(fd) != 0) fail("Cannot write file ", errno, true);
  if (::close(fd) != 0) fail("Cannot write file ", errno, false);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail("Cannot replace file ", errno, false);

  // Make the rename itself durable; a failure here leaves a valid file.
  const std::string dirName = dir.empty() ? std::string(".") : dir;
  const int dfd = ::open(dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace kv
