// validate: TJob::Validate on jobs of the group or on job files.
#include <iostream>

#include "CliCommand.h"
#include "CliJobs.h"
#include "environment/Logs.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"

namespace cli {
namespace {

const char* LevelName(kv::TLogType type) {
  switch (type) {
    case kv::ltError: return "error";
    case kv::ltWarnint: return "warning";
    default: return "info";
  }
}

// Runs the checks, printing every log record as it is made.
bool ValidateJob(kv::TJob& job) {
  const std::string name = EscapeTerminalField(job.Name);
  auto print = [&name](const kv::TKVLog& log) {
    std::cout << name << '\t' << LevelName(log.LogType) << '\t' << EscapeTerminalField(log.Event) << '\n';
  };
  job.OnLogOccur = print;
  for (int i = 0; i < job.DBLinks->Count(); ++i)
    if (kv::TDBLink* link = job.DBLinks->GetObj(i)) link->OnLogOccur = print;
  const bool valid = job.Validate();
  std::cout << name << "\tresult\t" << (valid ? "passed" : "failed") << '\n';
  return valid;
}

// The jobs named on the command line: job files, or names of jobs in the group.
std::vector<GroupEntry> Chosen(const std::vector<std::string>& args, const std::string& groupFile) {
  std::vector<GroupEntry> group;
  std::vector<GroupEntry> chosen;
  for (const std::string& arg : args) {
    if (kv::FileExists(arg)) {
      chosen.push_back(GroupEntry{arg, LoadJobFile(arg), ""});
      continue;
    }
    if (group.empty()) group = LoadGroupEntries(GroupLines(groupFile));
    bool found = false;
    for (GroupEntry& e : group) {
      if (e.job && e.job->Name == arg) {
        chosen.push_back(GroupEntry{e.file, std::move(e.job), ""});
        found = true;
        break;
      }
    }
    if (!found) throw kv::Exception("\"" + arg + "\" is no job file and no job of " + groupFile);
  }
  return chosen;
}

int RunValidate(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  const std::string groupFile = GroupFile(TakeHome(args));
  for (const std::string& a : args)
    if (!a.empty() && a[0] == '-') throw UsageError{"unknown option \"" + a + "\""};
  std::vector<GroupEntry> jobs = args.empty() ? LoadGroupEntries(GroupLines(groupFile)) : Chosen(args, groupFile);
  bool allValid = true;
  for (GroupEntry& e : jobs) {
    if (!e.job) {
      std::cerr << "vandrel-cli validate: " << EscapeTerminalField(e.file) << ": " << EscapeTerminalField(e.problem)
                << "\n";
      allValid = false;
      continue;
    }
    allValid = ValidateJob(*e.job) && allValid;
  }
  return allValid ? kExitOk : kExitFailure;
}

const CommandRegistrar validate{Command{
    "validate", "validate [--home DIR] [JOB...]",
    "Checks jobs as the program does before a run (TJob.Validate: every DB link's\n"
    "conditions and mappings, then the job's expressions) and prints each log record\n"
    "as \"JOB<tab>info|warning|error<tab>TEXT\", then \"JOB<tab>result<tab>passed|failed\".\n"
    "JOB is a job file or the name of a job of the group; without JOB every job of the\n"
    "group (KVCore.jbg, see group). Exit status 1 when any job fails or does not load.",
    74, RunValidate}};

}  // namespace
}  // namespace cli
