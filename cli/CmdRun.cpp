// run: runs jobs headlessly through the job group's commands, as the
// desktop program runs them.
#include <unistd.h>

#include <iostream>

#include "CliCommand.h"
#include "CliRunner.h"
#include "foundation/Exceptions.h"

namespace cli {
namespace {

struct RunOptions {
  std::string home;
  bool all = false;
  bool errorData = false;
  bool quiet = false;
  int maxJobs = 0;  // 0: the settings' MaxRunJobs
  std::vector<std::string> jobs;
};

RunOptions ParseRun(const std::vector<std::string>& args) {
  RunOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--home") {
      o.home = value();
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--error-data") {
      o.errorData = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--max-jobs") {
      o.maxJobs = ParseCount(a, value());
      if (o.maxJobs < 1 || o.maxJobs > kv::TKVEnvironment::kMaxRunJobsLimit) {
        throw UsageError{"--max-jobs takes 1 to " + std::to_string(kv::TKVEnvironment::kMaxRunJobsLimit)};
      }
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      o.jobs.push_back(a);
    }
  }
  if (o.all == !o.jobs.empty()) throw UsageError{"name the jobs to run, or --all"};
  return o;
}

int RunRun(const std::vector<std::string>& args) {
  const RunOptions o = ParseRun(args);
  TRunner runner(o.home);
  runner.quiet = o.quiet;
  runner.progress = ::isatty(STDOUT_FILENO) != 0;
  if (o.maxJobs > 0) kv::GlobalEnv->MaxRunJobs = static_cast<uint8_t>(o.maxJobs);
  runner.AddJobs(o.jobs, o.all);
  if (kv::JobGroup->Count() == 0) throw kv::Exception("There is no job to run");
  InstallStopSignals();
  for (int i = 0; i < kv::JobGroup->Count(); ++i) kv::JobGroup->GetObj(i)->Selected = true;
  if (o.errorData) {
    kv::JobGroup->RunErrorData();
  } else {
    kv::JobGroup->Run();
  }
  const bool finished = runner.PumpUntilIdle();
  const bool allOk = runner.Report();
  return finished && allOk ? kExitOk : kExitFailure;
}

const CommandRegistrar run{Command{
    "run", "run [--home DIR] [--all | JOB...] [--error-data] [--max-jobs N] [--quiet]",
    "Runs jobs as the desktop program runs them: the settings come from KVCore.env\n"
    "of the program folder (--home DIR, else $VANDREL_HOME, else the build folder of a\n"
    "program run from its build tree, else ~/.local/share/vandrel); JOB is a job file or the name of a job of the folder's job group\n"
    "(KVCore.jbg); --all runs every job of the group. At most MaxRunJobs jobs (or N)\n"
    "run at once, the others wait their turn; each job runs all its DB links at once.\n"
    "Every log record prints as a line\n"
    "  ISO-time<TAB>error|warning|info<TAB>job<TAB>link<TAB>text\n"
    "(status changes and each job's final \"ended STATUS: rows=...\" included; not\n"
    "with --quiet); on a terminal a progress line per running link follows. With\n"
    "--error-data the jobs transfer their links' saved error records instead of\n"
    "their sources. Ctrl-C (or SIGTERM) stops the jobs cleanly: what was written\n"
    "stays and each link's error records are saved to its .err file. A job that\n"
    "another program runs is reported busy and not run. Exit status 0 when every\n"
    "job ended ok, 1 when any ended in error or was stopped, 2 for usage errors.",
    61, RunRun}};

}  // namespace
}  // namespace cli
