#include "data/FolderTableDataSets.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

namespace {

bool HasExtension(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot != std::string::npos && dot > 0 && name.find('/', dot) == std::string::npos;
}

bool EndsWith(const std::string& name, const std::string& upperExtension) {
  return name.size() > upperExtension.size() &&
         AsciiUpperCase(std::string_view(name).substr(name.size() - upperExtension.size())) == upperExtension;
}

std::vector<std::string> SortedEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TFolderTableConnection::TFolderTableConnection(std::string folder, const char* kind, const char* extension)
    : folder_(std::move(folder)), kind_(kind), extension_(extension) {
  struct stat st{};
  if (folder_.empty()) throw EDatabaseError(Format("No folder of %s tables: the dataset's Path is empty", kind_));
  if (::stat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EDatabaseError(Format("The folder of %s tables %s does not exist", kind_, folder_));
}

std::string TFolderTableConnection::TablePath(const std::string& tableName) const {
  if (tableName.empty()) throw EDatabaseError(Format("No %s table: the dataset's TableName is empty", kind_));
  if (tableName.find('/') != std::string::npos)
    throw EDatabaseError(
        Format("The %s table name '%s' names another folder: put the folder in Path", kind_, tableName));
  const std::string file = HasExtension(tableName) ? tableName : tableName + extension_;
  const std::string exact = folder_ + "/" + file;
  if (::access(exact.c_str(), F_OK) == 0) return exact;
  const std::string folded = AsciiUpperCase(file);
  for (const std::string& name : SortedEntries(folder_))
    if (AsciiUpperCase(name) == folded) return folder_ + "/" + name;
  return exact;
}

std::vector<std::string> TFolderTableConnection::TableFiles() const {
  const std::string extension = AsciiUpperCase(extension_);
  std::vector<std::string> files;
  for (const std::string& name : SortedEntries(folder_))
    if (EndsWith(name, extension)) files.push_back(name);
  return files;
}

std::shared_ptr<TSqliteConnection> TFolderTableConnection::QueryConnection() {
  if (!sqlite_) {
    auto sqlite = std::make_shared<TSqliteConnection>(":memory:");
    RegisterModule(sqlite->Database());
    sqlite_ = std::move(sqlite);
    attached_.clear();
  }
  const size_t extension = std::strlen(extension_);
  for (const std::string& file : TableFiles()) {
    const std::string name = file.substr(0, file.size() - extension);
    const std::string key = AsciiUpperCase(name);
    if (attached_.count(key)) continue;
    try {
      AttachTable(sqlite_->Database(), name, folder_ + "/" + file);
      attached_[key] = "";
    } catch (const Exception& e) {
      attached_[key] = e.Message();
    }
  }
  return sqlite_;
}

std::string TFolderTableConnection::QueryTableError(const std::string& name) const {
  const auto it = attached_.find(AsciiUpperCase(name));
  return it == attached_.end() ? std::string() : it->second;
}

bool FolderTableWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

bool FolderTableExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

namespace {

// The table a "no such table: NAME" message names, without its schema; "" when none.
std::string MissingTable(const std::string& message) {
  const std::string marker = "no such table: ";
  const size_t at = message.find(marker);
  if (at == std::string::npos) return {};
  std::string name = message.substr(at + marker.size());
  name = name.substr(0, name.find_first_of(" \n\t"));
  if (name.rfind("temp.", 0) == 0 || name.rfind("main.", 0) == 0) name = name.substr(5);
  return name;
}

}  // namespace

void OpenFolderQuery(const TFolderTableConnection& folder, const std::function<void()>& open) {
  try {
    open();
  } catch (const EDatabaseError& e) {
    const std::string message = e.Message();
    const std::string name = MissingTable(message);
    const std::string why = name.empty() ? std::string() : folder.QueryTableError(name);
    if (!why.empty()) throw EDatabaseError(Format("The table %s cannot be queried: %s", name, why));
    const std::string memory = ":memory:: ";
    if (message.rfind(memory, 0) == 0) throw EDatabaseError(folder.Folder() + ": " + message.substr(memory.size()));
    throw;
  }
}

}  // namespace kv
