// group list / add / remove: the job group file "KVCore.jbg".
#include <filesystem>
#include <iostream>

#include "CliCommand.h"
#include "CliJobs.h"
#include "foundation/Exceptions.h"

namespace cli {
namespace {

int RunList(const std::string& groupFile) {
  std::string out = "name\tfile\tstatus\n";
  for (const GroupEntry& e : LoadGroupEntries(GroupLines(groupFile))) {
    out += (e.job ? EscapeTerminalField(e.job->Name) : "-") + "\t" + EscapeTerminalField(e.file) + "\t" +
           EscapeTerminalField(e.job ? StatusName(e.job->Status()) : e.problem) + "\n";
  }
  std::cout << out;
  return kExitOk;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || std::filesystem::equivalent(a, b, ec);
}

// Adds the job file's line (its absolute name) unless the file or a job of
// the same name is listed already; the file must load as a job.
int RunAdd(const std::string& groupFile, const std::string& file) {
  std::unique_ptr<kv::TJob> job = LoadJobFile(file);
  const std::string line = std::filesystem::absolute(file).lexically_normal().string();
  std::vector<std::string> lines = GroupLines(groupFile);
  for (const GroupEntry& e : LoadGroupEntries(lines)) {
    if (SameFile(e.file, line)) throw kv::Exception(line + " is in the group already");
    if (e.job && e.job->Name == job->Name)
      throw kv::Exception("a job named \"" + job->Name + "\" is in the group already: " + e.file);
  }
  lines.push_back(line);
  SaveGroupLines(groupFile, lines);
  std::cout << "added\t" << EscapeTerminalField(job->Name) << "\t" << EscapeTerminalField(line) << "\n";
  return kExitOk;
}

// Drops the one line whose job is named `name`; the job file stays.
int RunRemove(const std::string& groupFile, const std::string& name) {
  std::vector<std::string> lines = GroupLines(groupFile);
  std::vector<size_t> found;
  const std::vector<GroupEntry> entries = LoadGroupEntries(lines);
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].job && entries[i].job->Name == name) found.push_back(i);
  if (found.empty()) throw kv::Exception("no job named \"" + name + "\" in " + groupFile);
  if (found.size() > 1)
    throw kv::Exception(std::to_string(found.size()) + " jobs are named \"" + name + "\" in " + groupFile +
                        ": remove the line of the one meant from the file");
  std::cout << "removed\t" << EscapeTerminalField(name) << "\t" << EscapeTerminalField(lines[found[0]]) << "\n";
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(found[0]));
  SaveGroupLines(groupFile, lines);
  return kExitOk;
}

int RunGroup(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const std::string groupFile = GroupFile(TakeHome(args));
  if (args.empty()) throw UsageError{"list, add or remove expected"};
  if (args[0] == "list" && args.size() == 1) return RunList(groupFile);
  if (args[0] == "add" && args.size() == 2) return RunAdd(groupFile, args[1]);
  if (args[0] == "remove" && args.size() == 2) return RunRemove(groupFile, args[1]);
  if (args[0] == "list" || args[0] == "add" || args[0] == "remove") throw UsageError{"wrong number of arguments"};
  throw UsageError{"unknown group command \"" + args[0] + "\" (list, add or remove)"};
}

const CommandRegistrar group{Command{
    "group", "group list|add FILE.job|remove NAME [--home DIR]",
    "The job group: the job files the program loads, listed in KVCore.jbg in the\n"
    "program folder (DIR, else $VANDREL_HOME, else the build folder of a program run\n"
    "from its build tree, else ~/.local/share/vandrel).\n"
    "list prints name, file and status of each listed job (\"missing\" or\n"
    "\"unreadable: ...\" for a file that does not load). add lists a job file (by its\n"
    "absolute name; it must load, and no listed job may have its name); remove NAME\n"
    "drops the line of the job named NAME (the job file stays).",
    72, RunGroup}};

}  // namespace
}  // namespace cli
