#include "CliJobs.h"

#include "CliCommand.h"
#include "foundation/FileUtils.h"
#include "foundation/StringLists.h"

namespace cli {

std::string GroupFile(const std::string& home) {
  return home.empty() ? kv::TJobGroup::GroupFileName() : kv::IncludeTrailingPathDelimiter(home) + "KVCore.jbg";
}

std::vector<std::string> GroupLines(const std::string& groupFile) {
  kv::TJobGroup group;
  if (kv::FileExists(groupFile)) group.ProgramFileInfo->LoadFromFile(groupFile);
  std::vector<std::string> lines;
  for (int i = 0; i < group.ProgramFileInfo->Count(); ++i) lines.push_back(group.ProgramFileInfo->Strings(i));
  return lines;
}

void SaveGroupLines(const std::string& groupFile, const std::vector<std::string>& lines) {
  kv::TJobGroup group;
  for (const std::string& line : lines) group.ProgramFileInfo->Add(line);
  group.SavePrograms(groupFile);
}

std::unique_ptr<kv::TJob> LoadJobFile(const std::string& file) {
  auto job = std::make_unique<kv::TJob>();
  job->GetDesignControl().LoadFromFile(file);
  job->LoadFromFlChart();
  job->SaveFileName = file;
  return job;
}

std::vector<GroupEntry> LoadGroupEntries(const std::vector<std::string>& lines) {
  std::vector<GroupEntry> entries;
  for (const std::string& line : lines) {
    GroupEntry e{line, nullptr, ""};
    if (!kv::FileExists(line)) {
      e.problem = "missing";
    } else {
      try {
        e.job = LoadJobFile(line);
      } catch (const std::exception& ex) {
        e.problem = std::string("unreadable: ") + ex.what();
      }
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string StatusName(kv::TJobStatus status) {
  static const char* const kNames[] = {"stop", "pause", "start", "waiting", "running", "ok", "error"};
  return status < 7 ? kNames[status] : "status " + std::to_string(status);
}

std::string TakeHome(std::vector<std::string>& args) {
  std::string home;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--home") {
      if (i + 1 >= args.size()) throw UsageError{"--home needs a folder"};
      home = args[++i];
    } else {
      rest.push_back(args[i]);
    }
  }
  args = std::move(rest);
  return home;
}

}  // namespace cli
