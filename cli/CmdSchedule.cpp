// schedule: a headless scheduler service; starts the due jobs of the job
// group every tick until SIGINT or SIGTERM.
#include <iostream>

#include "CliCommand.h"
#include "CliRunner.h"
#include "jobs/JobThreads.h"

namespace cli {
namespace {

struct ScheduleOptions {
  std::string home;
  int tickMs = 1000;
};

ScheduleOptions ParseSchedule(const std::vector<std::string>& args) {
  ScheduleOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--home" || a == "--tick-ms") && i + 1 >= args.size()) throw UsageError{a + " needs a value"};
    if (a == "--home") {
      o.home = args[++i];
    } else if (a == "--tick-ms") {
      o.tickMs = ParseCount(a, args[++i]);
      if (o.tickMs < 10) throw UsageError{"--tick-ms takes 10 or more"};
    } else {
      throw UsageError{"unknown argument \"" + a + "\""};
    }
  }
  return o;
}

int RunSchedule(const std::vector<std::string>& args) {
  const ScheduleOptions o = ParseSchedule(args);
  TRunner runner(o.home);
  runner.AddGroupJobs();
  InstallStopSignals();
  int automatic = 0;
  for (int i = 0; i < kv::JobGroup->Count(); ++i) {
    automatic += kv::JobGroup->GetObj(i)->ScheduleMode->RunMode == kv::rmByAuto ? 1 : 0;
  }
  runner.Log(kv::ltInfo, "", "",
             "scheduler started: " + std::to_string(kv::JobGroup->Count()) + " jobs, " + std::to_string(automatic) +
                 " run automatically");
  kv::GlobalThread = std::make_unique<kv::TGlobalThread>(std::chrono::milliseconds(o.tickMs));
  kv::GlobalThread->OnTimer = [](kv::TGlobalThread&) { kv::JobGroup->Scheduler(); };
  kv::GlobalThread->Start();
  runner.PumpUntilSignal();
  kv::GlobalThread.reset();
  runner.Log(kv::ltInfo, "", "", "scheduler stopping");
  runner.StopAndDrain();
  runner.Report();
  return kExitOk;
}

const CommandRegistrar schedule{Command{
    "schedule", "schedule [--home DIR] [--tick-ms MS]",
    "Stays running as a scheduler: loads the settings and the job group of the program\n"
    "folder (--home DIR, else $VANDREL_HOME, else the program's folder) and every second\n"
    "(or every MS milliseconds) starts the jobs whose schedule is due, only jobs whose\n"
    "run mode is automatic; jobs beyond MaxRunJobs wait their turn. A due time is\n"
    "served once. Logs to standard output in the format of \"run\". SIGINT or SIGTERM\n"
    "stops the running jobs cleanly (their error records saved) and ends with status 0.\n"
    "samples/vandrel-schedule.service runs it as a systemd service.",
    62, RunSchedule}};

}  // namespace
}  // namespace cli
