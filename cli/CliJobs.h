// What the job-group commands share: the group file, loading one job file
// as the program does, and the jobs a group file lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jobs/Job.h"

namespace cli {

// The job group file: DIR/KVCore.jbg with --home DIR, else the program
// folder's (TJobGroup::GroupFileName: $VANDREL_HOME or the program's folder).
std::string GroupFile(const std::string& home);

// The lines of a group file (none when it does not exist).
std::vector<std::string> GroupLines(const std::string& groupFile);

// Writes the lines as the group file, atomically (TJobGroup::SavePrograms).
void SaveGroupLines(const std::string& groupFile, const std::vector<std::string>& lines);

// A job loaded from its file as the job group loads it (design chart,
// LoadFromFlChart, SaveFileName = `file`). Raises the chart reader's error.
std::unique_ptr<kv::TJob> LoadJobFile(const std::string& file);

// One listed job: its line, and the job or why there is none.
struct GroupEntry {
  std::string file;
  std::unique_ptr<kv::TJob> job;  // null when missing or unreadable
  std::string problem;            // "missing" or "unreadable: <reason>"
};
std::vector<GroupEntry> LoadGroupEntries(const std::vector<std::string>& lines);

// "stop", "pause", "start", "waiting", "running", "ok" or "error".
std::string StatusName(kv::TJobStatus status);

// Parses "--home DIR" out of `args`; the other arguments stay, in order.
std::string TakeHome(std::vector<std::string>& args);

}  // namespace cli
