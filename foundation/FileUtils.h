// File and folder names and a few file operations.
//
// The system runs on Linux, but names stored in job and settings files may
// come from Windows installations, so the splitting helpers treat both "/"
// and "\" as folder separators. Folders produced here end with "/".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "KVLib_export.h"

namespace kv {

inline constexpr char PathDelim = '/';

// The program folder, ending with "/", where the settings, the job group
// file and the default job folder live: $VANDREL_HOME when it is set and not
// empty; else the folder of the running executable when the libraries lie
// beside it (a build folder, or a folder copied whole); else, for an
// installed program, UserDataDir(). Never the installation folder.
KVLIB_EXPORT std::string PrgDir();
// The user's own program folder, ending with "/": $XDG_DATA_HOME/vandrel/
// when $XDG_DATA_HOME is an absolute path, else ~/.local/share/vandrel/;
// created when missing (a folder that cannot be made is reported by the
// first file written there).
KVLIB_EXPORT std::string UserDataDir();
// The system library folder, ending with "/".
KVLIB_EXPORT std::string SystemDir();
// Full path of the loaded module (program or shared library) that contains
// `address`; the program's path for a null address; empty when unknown.
KVLIB_EXPORT std::string GetModuleFileName(const void* address = nullptr);

// Gives `path` the extension `extension` (a leading "." in `extension` is
// ignored): when the file name (after the last "/" or "\") has no ".", "."
// and the extension are appended; when it ends with ".", the extension is
// appended; otherwise what follows its last "." is replaced.
KVLIB_EXPORT void ReplExt(std::string& path, std::string_view extension);
// The module's file name, or the program's, with the extension replaced.
KVLIB_EXPORT std::string GetAttachedFile(const void* addressInModule, std::string_view extension);
KVLIB_EXPORT std::string GetMainAttachedFile(std::string_view extension);

// Size in bytes of a file opened for reading; EInOutError (naming the file)
// when it cannot be opened or is a folder.
KVLIB_EXPORT int64_t GetFileSize(const std::string& fileName);

// `path` with a trailing "/" (one already ending with "/" or "\" is kept;
// an empty path stays empty).
KVLIB_EXPORT std::string IncludeTrailingPathDelimiter(std::string_view path);
// `path` without trailing "/" or "\" (the root "/" is kept).
KVLIB_EXPORT std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Up to and including the last "/" or "\"; empty when there is none.
KVLIB_EXPORT std::string ExtractFilePath(std::string_view fileName);
// What follows the last "/" or "\".
KVLIB_EXPORT std::string ExtractFileName(std::string_view fileName);
// The extension of the file name with its ".", empty when it has none.
KVLIB_EXPORT std::string ExtractFileExt(std::string_view fileName);
// Replaces the extension (`extension` includes its "."; empty removes it).
KVLIB_EXPORT std::string ChangeFileExt(std::string_view fileName, std::string_view extension);

// A regular file (or a link to one) exists.
KVLIB_EXPORT bool FileExists(const std::string& fileName);
// A folder (or a link to one) exists.
KVLIB_EXPORT bool DirectoryExists(const std::string& dir);
// Creates the folder and any missing parents; true when it exists afterwards.
KVLIB_EXPORT bool ForceDirectories(const std::string& dir);

// Replaces the file's contents as a whole: writes a temporary file in the
// same folder, flushes it to disk and renames it over `path`, keeping the
// old file's permission bits (new files get 0666 less the umask). A symbolic
// link is followed so that its target is replaced. On failure the temporary
// file is removed, `path` is untouched, and EFCreateError (the temporary
// file cannot be made) or EInOutError is raised naming `path`.
KVLIB_EXPORT void AtomicWriteFile(const std::string& path, std::string_view bytes);

}  // namespace kv
