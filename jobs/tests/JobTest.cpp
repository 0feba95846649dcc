// The job, its schedule, the job group and the queue.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "data/QueryDataSet.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "environment/Environment.h"
#include "environment/Logs.h"
#include "expression/ThreadExp.h"
#include "foundation/FileUtils.h"
#include "foundation/ObjectText.h"
#include "foundation/StringLists.h"
#include "jobs/Job.h"
#include "testsupport/Errors.h"
#include "testsupport/ObjectBytes.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

using namespace kv;

namespace {
std::string TextOf(const TBaseObject& obj) { return ObjectBinaryToText(kvtest::WriteObjectBytes(obj)); }

std::unique_ptr<TDBLink> NamedLink(const std::string& name) {
  auto link = std::make_unique<TDBLink>();
  link->Name = name;
  return link;
}

// A chart with a text source, a query destination and one link between them.
void BuildChart(TKVFlowChart& chart, const std::string& jobName) {
  auto* job = ObjCast<TJob>(chart.Job());
  ASSERT_NE(job, nullptr);
  job->Name = jobName;
  job->AfterExecuteExp = "1 > 0";
  TKVFcObject* a = chart.CreateObject(0, 0, 80, 40, fcsRectangle, dotText);
  TKVFcObject* b = chart.CreateObject(200, 0, 80, 40, fcsRectangle, dotQuery);
  a->DataSet()->Name = "SRC";
  b->DataSet()->Name = "DST";
  TKVFcConnection* c = chart.CreateConnection(a, b, 5, 13);
  auto* link = ObjCast<TDBLink>(c->DBLink());
  ASSERT_NE(link, nullptr);
  link->Name = "L1";
  link->Mappings().Add("ID=SRC.ID");
}
}  // namespace

TEST(JobStore, NewJobWritesOnlyItsNonEmptySettings) {
  TJob job;
  const std::string text = TextOf(job);
  for (const char* name : {"CreateTime", "object DataSets: TKVBaseDataSets", "object DBLinks: TDBLinks",
                           "object FScheduleMode: TScheduleMode", "object FVarList: TVarList"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;
  }
  for (const char* name : {"AfterExecuteExp", "BeforeExecuteExp", "DefaultFolder", "Description", "RunTime",
                           "Name", "SaveFileName", "Status", "RunMode", "SchedulePeriod"}) {
    EXPECT_EQ(text.find(std::string(name) + " ="), std::string::npos) << name << " in\n" << text;
  }
}

TEST(JobStore, ConfiguredJobReadsBackAsWritten) {
  TJob job;
  job.Name = "Orders";
  job.AfterExecuteExp = "1";
  job.BeforeExecuteExp = "2";
  job.Description = "d";
  job.SetStatusValue(jsOk);
  job.ScheduleMode->SetSchedulePeriod(spEveryWeek);
  static_cast<TScheduleEveryWeek*>(job.ScheduleMode->Schedule())->Friday = true;
  job.DBLinks->AddOwned("L1", NamedLink("L1"));
  const std::string bytes = kvtest::WriteObjectBytes(job);
  auto back = kvtest::ReadObjectBytes<TJob>(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(kvtest::WriteObjectBytes(*back), bytes);
  EXPECT_EQ(back->Status(), jsOk);
  EXPECT_EQ(back->ScheduleMode->SchedulePeriod(), spEveryWeek);
  auto* week = ObjCast<TScheduleEveryWeek>(back->ScheduleMode->Schedule());
  ASSERT_NE(week, nullptr);
  EXPECT_TRUE(week->Friday);
  ASSERT_EQ(back->DBLinks->Count(), 1);
  EXPECT_EQ(back->DBLinks->GetObj(0)->Name, "L1");
}

TEST(JobNames, FileAndFolderDefaults) {
  TJob job;
  job.Name = "Orders";
  EXPECT_EQ(job.GetSaveFileName(), "Orders.job");
  job.SaveFileName = "/jobs/o.job";
  EXPECT_EQ(job.GetSaveFileName(), "/jobs/o.job");
  EXPECT_EQ(job.GetDefaultFolder(), PrgDir() + "Project/");
  job.DefaultFolder = "/x/";
  EXPECT_EQ(job.GetDefaultFolder(), "/x/");
}

TEST(JobNames, RelativePathsResolveAgainstTheJobFile) {
  struct Case {
    const char* jobFile;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {{"/jobs/a.job", "data/in.csv", "/jobs/data/in.csv"},
                        {"/jobs/a.job", "../in.csv", "/in.csv"},
                        {"/jobs/a.job", "/abs/in.csv", "/abs/in.csv"},
                        {"a.job", "in.csv", "in.csv"},
                        {"/jobs/a.job", "", ""}};
  TJob job;
  for (const Case& c : cases) {
    job.SaveFileName = c.jobFile;
    EXPECT_EQ(job.ResolvePath(c.path), c.expected) << c.jobFile << " " << c.path;
  }
}

TEST(JobFolder, SetDefaultFolderReachesEveryLink) {
  TJob job;
  job.DBLinks->AddOwned("A", NamedLink("A"));
  job.DBLinks->AddOwned("B", NamedLink("B"));
  job.SetDefaultFolder("");  // unchanged: nothing
  EXPECT_EQ(job.DBLinks->GetObj(0)->DefaultFolder, "");
  job.SetDefaultFolder("/f/");
  EXPECT_EQ(job.DBLinks->GetObj(0)->DefaultFolder, "/f/");
  EXPECT_EQ(job.DBLinks->GetObj(1)->DefaultFolder, "/f/");
}

TEST(JobAssign, CopiesLinksScheduleAndVariablesButNotStatus) {
  TJob from;
  from.Name = "J";
  from.SaveFileName = "/j/J.job";
  from.RunTime = 45000;
  from.SetStatusValue(jsError);
  from.Selected = true;
  from.DBLinks->AddOwned("A", NamedLink("A"));
  from.ScheduleMode->RunMode = rmByAuto;
  from.ScheduleMode->SetSchedulePeriod(spOnce);
  from.ScheduleMode->Schedule()->LastTime = 44000;
  from.VarList->Add("V");

  TJob to;
  to.Assign(&from);
  EXPECT_EQ(to.Name, "J");
  EXPECT_EQ(to.SaveFileName, "/j/J.job");
  EXPECT_EQ(to.RunTime, 45000);
  EXPECT_EQ(to.Status(), jsStop);
  EXPECT_FALSE(to.Selected);
  ASSERT_EQ(to.DBLinks->Count(), 1);
  EXPECT_NE(to.DBLinks->GetObj(0), from.DBLinks->GetObj(0));
  EXPECT_EQ(to.DBLinks->GetObj(0)->Job, &to);
  EXPECT_EQ(to.ScheduleMode->RunMode, rmByAuto);
  EXPECT_NE(ObjCast<TScheduleOnce>(to.ScheduleMode->Schedule()), nullptr);
  EXPECT_EQ(to.ScheduleMode->Schedule()->LastTime, 44000);
  EXPECT_EQ(to.VarList->Count(), 1);
}

TEST(JobSchedule, PeriodChangeStartsOverAndRunTimeFollows) {
  TScheduleMode mode;
  mode.Schedule()->LastTime = 5;
  mode.SetSchedulePeriod(spEveryDay);  // same period: nothing
  EXPECT_EQ(mode.Schedule()->LastTime, 5);
  mode.SetSchedulePeriod(spEveryMonth);
  EXPECT_EQ(mode.Schedule()->LastTime, 0);
  EXPECT_EQ(ObjCast<TScheduleEveryMonth>(mode.Schedule())->FNumberDay, 1);
  TScheduleEveryDay day;
  day.LastTime = 9;
  mode.SetSchedule(day);  // another kind: only LastTime
  EXPECT_EQ(mode.Schedule()->LastTime, 9);
  EXPECT_EQ(ObjCast<TScheduleEveryMonth>(mode.Schedule())->FNumberDay, 1);

  TJob job;
  job.SetRunTime(45100);
  EXPECT_EQ(job.ScheduleMode->Schedule()->LastTime, 45100);
  TCustomSchedule base;
  EXPECT_ANY_THROW(base.GetAutoExecTime());
}

TEST(JobLogs, ClearAndLoadWalkTheLinks) {
  TJob job;
  job.DBLinks->AddOwned("A", NamedLink("A"));
  job.DBLinks->AddOwned("B", NamedLink("B"));
  job.DBLinks->GetObj(0)->AddLog(ltInfo, "a1");
  job.DBLinks->GetObj(1)->AddLog(ltError, "b1");
  job.DBLinks->GetObj(1)->AddLog(ltError, "b2");
  job.AddLog(ltInfo, "own");
  TStringList lines;
  job.LoadLog(lines);
  ASSERT_EQ(lines.Count(), 3);
  EXPECT_EQ(static_cast<TKVLog*>(lines.Objects(2))->Event, "b2");
  for (int i = lines.Count() - 1; i >= 0; --i) lines.Extract(i);  // the records stay with the links
  job.ClearLog();
  EXPECT_EQ(job.DBLinks->GetObj(1)->Logs().Count(), 0);
  EXPECT_EQ(job.Logs->Count(), 1);
}

TEST(JobValidate, StopsAtTheFirstFailingLinkAndChecksJobExpressions) {
  TJob job;
  job.Name = "J1";
  job.DBLinks->AddOwned("A", NamedLink("A"));
  job.DBLinks->AddOwned("B", NamedLink("B"));
  job.DBLinks->GetObj(0)->FilterExp = "(";
  EXPECT_FALSE(job.Validate());
  EXPECT_EQ(job.DBLinks->GetObj(1)->Logs().Count(), 0);
  EXPECT_EQ(job.Logs->Count(), 0);

  job.DBLinks->GetObj(0)->FilterExp.clear();
  job.BeforeExecuteExp = "1 +";
  int raised = 0;
  job.OnLogOccur = [&](const TKVLog&) { ++raised; };
  EXPECT_FALSE(job.Validate());
  ASSERT_EQ(job.Logs->Count(), 2);
  EXPECT_EQ(raised, 2);
  EXPECT_EQ(job.Logs->LogAt(0).Event, "Check the AfterExecute condition of Job:J1 succeed!");
  EXPECT_EQ(job.Logs->LogAt(1).LogType, ltError);
  EXPECT_EQ(job.Logs->LogAt(1).Event.rfind("Find error while check the BeforeExecute condition of Job:J1!Error message:", 0), 0u)
      << job.Logs->LogAt(1).Event;
}

TEST(JobChart, NewChartMakesJobAndLinksWiredToTheShapes) {
  TKVFlowChart chart;
  BuildChart(chart, "J1");
  auto* job = ObjCast<TJob>(chart.Job());
  auto* link = ObjCast<TDBLink>(chart.GetConnection(0)->DBLink());
  EXPECT_EQ(link->SourceDataSet(), chart.GetObject(0)->DataSet());
  EXPECT_EQ(link->DestDataSet(), chart.GetObject(1)->DataSet());
  EXPECT_EQ(link->Job, job);
}

TEST(JobChart, SavedJobLoadsBackWithLinksOnTheShapesDataSets) {
  const std::string dir = kvtest::NewTempFolder("jobs_chart");
  const std::string file = dir + "/J1.job";
  {
    TKVFlowChart chart;
    BuildChart(chart, "J1");
    chart.SaveToFile(file);
  }
  TJob job;
  job.GetDesignControl().LoadFromFile(file);
  job.LoadFromFlChart();
  EXPECT_EQ(job.Name, "J1");
  EXPECT_EQ(job.AfterExecuteExp, "1 > 0");
  ASSERT_EQ(job.DBLinks->Count(), 1);
  TDBLink* link = job.DBLinks->GetObj(0);
  EXPECT_EQ(link, job.GetDesignControl().GetConnection(0)->DBLink());
  EXPECT_EQ(link->Name, "L1");
  EXPECT_EQ(link->Job, &job);
  EXPECT_EQ(link->SourceDataSet(), job.GetDesignControl().GetObject(0)->DataSet());
  EXPECT_NE(ObjCast<TKVQueryDataSet>(link->DestDataSet()), nullptr);
  EXPECT_EQ(link->Mappings().Values("ID"), "SRC.ID");
  EXPECT_EQ(job.FindDataSet("DST"), link->DestDataSet());
  EXPECT_EQ(job.FindDataSet("dst"), nullptr);
  EXPECT_TRUE(static_cast<bool>(link->OnIntelStatus));  // the job follows its links' status
  // The job stores the datasets it refers to as a plain dataset list.
  auto copy = kvtest::ReadObjectBytes<TJob>(kvtest::WriteObjectBytes(job));
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->DataSets->Count(), 2);
  EXPECT_NE(copy->FindDataSet("SRC"), nullptr);
  EXPECT_NE(copy->FindDataSet("SRC"), job.FindDataSet("SRC"));
  // Loading again replaces the references, never frees the chart's links twice.
  job.GetDesignControl().LoadFromFile(file);
  job.LoadFromFlChart();
  EXPECT_EQ(job.DBLinks->Count(), 1);
}

TEST(JobFiles, DeleteFileRemovesErrorDataAndTheJobFile) {
  const std::string dir = kvtest::NewTempFolder("jobs_del");
  TJob job;
  job.Name = "J1";
  job.SaveFileName = dir + "/J1.job";
  job.DBLinks->AddOwned("L1", NamedLink("L1"));
  job.DBLinks->GetObj(0)->Job = &job;
  kvtest::WriteFile(job.SaveFileName, "x");
  kvtest::WriteFile(dir + "/J1L1.err", "x");
  job.DeleteFile();
  EXPECT_FALSE(FileExists(job.SaveFileName));
  EXPECT_FALSE(FileExists(dir + "/J1L1.err"));
  job.DeleteFile();  // nothing left: no error
}

TEST(JobGroupLoad, MissingFilesDropTheirLineCorruptOnesAreKeptAndLogged) {
  const std::string dir = kvtest::NewTempFolder("jobs_group");
  auto saveJob = [&](const std::string& name) {
    TKVFlowChart chart;
    BuildChart(chart, name);
    chart.SaveToFile(dir + "/" + name + ".job");
    return dir + "/" + name + ".job";
  };
  const std::string a = saveJob("A");
  const std::string missing = dir + "/Missing.job";
  const std::string corrupt = dir + "/Corrupt.job";
  kvtest::WriteFile(corrupt, "this is no job file");
  const std::string c = saveJob("C");
  const std::string groupFile = dir + "/KVCore.jbg";
  kvtest::WriteFile(groupFile, a + "\n" + missing + "\n" + corrupt + "\n" + c + "\n");

  TJobGroup group;
  group.LoadPrograms(groupFile);
  ASSERT_EQ(group.Count(), 2);
  EXPECT_EQ(group.Strings(0), "A");
  EXPECT_EQ(group.Strings(1), "C");
  EXPECT_EQ(group.GetObj(1)->SaveFileName, c);
  ASSERT_EQ(group.ProgramFileInfo->Count(), 3);
  EXPECT_EQ(group.ProgramFileInfo->Strings(1), corrupt);
  ASSERT_EQ(group.Logs->Count(), 1);
  EXPECT_NE(group.Logs->LogAt(0).Event.find(corrupt), std::string::npos);

  group.SavePrograms(groupFile);
  TJobGroup again;
  again.LoadPrograms(groupFile);
  EXPECT_EQ(again.ProgramFileInfo->Text(), group.ProgramFileInfo->Text());
  EXPECT_EQ(again.Count(), 2);
}

TEST(JobGroupStore, ProgramFileInfoAndJobsReadBack) {
  TJobGroup group;
  group.ProgramFileInfo->Add("/jobs/A.job");
  auto job = std::make_unique<TJob>();
  job->Name = "A";
  group.AddOwned("A", std::move(job));
  const std::string bytes = kvtest::WriteObjectBytes(group);
  auto back = kvtest::ReadObjectBytes<TJobGroup>(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(kvtest::WriteObjectBytes(*back), bytes);
  EXPECT_EQ(back->ProgramFileInfo->Text(), "/jobs/A.job\n");
  ASSERT_EQ(back->Count(), 1);
  EXPECT_EQ(back->GetObj(0)->Name, "A");
  TJobGroup copy;
  copy.Assign(back.get());
  EXPECT_EQ(copy.ProgramFileInfo->Count(), 1);
  EXPECT_EQ(copy.Count(), 1);
}

TEST(JobGroupCounts, CountByStatusAndSelection) {
  TJobGroup group;
  const TJobStatus statuses[] = {jsRunning, jsWaiting, jsStop, jsStart, jsPause};
  const bool selected[] = {true, true, true, false, true};
  for (int i = 0; i < 5; ++i) {
    auto job = std::make_unique<TJob>();
    job->Name = "J" + std::to_string(i);
    job->SetStatusValue(statuses[i]);
    job->Selected = selected[i];
    const std::string name = job->Name;
    group.AddOwned(name, std::move(job));
  }
  EXPECT_EQ(group.GetRunCount(), 3);
  EXPECT_EQ(group.GetRunningCount(), 2);
  EXPECT_EQ(group.GetSelectCount(), 4);
  EXPECT_EQ(group.GetSelectRunCount(), 2);
  EXPECT_EQ(group.GetSelectStopCount(), 2);
}

TEST(JobQueueOrder, FirstInFirstOut) {
  TJob a, b;
  TJobQueue queue;
  EXPECT_EQ(queue.Pop(), nullptr);
  queue.Push(&a);
  queue.Push(&b);
  queue.Push(&a);
  queue.DeleteJob(&a);
  EXPECT_EQ(queue.Count(), 2);
  EXPECT_EQ(queue.Peek(), &b);
  EXPECT_EQ(queue.Pop(), &b);
  queue.Stop();
  EXPECT_EQ(queue.Count(), 0);
  queue.DeleteJob(&a);  // absent: nothing
}

TEST(JobCounters, SpeedAndStatistic) {
  TSpeedValue a{1, 2, 3, 7.0};
  const TSpeedValue b{10, 20, 30, 9.0};
  a += b;
  EXPECT_EQ(a.Import, 22);
  EXPECT_EQ(a.SampleTime, 7.0);
  a.Reset();
  EXPECT_EQ(a.SourceBrowse + a.Import + a.ErrRecords, 0);
  EXPECT_GT(a.SampleTime, 0);
  TRunStatistic s{1, 2, 3, 4, 5};
  s += TRunStatistic{1, 1, 1, 1, 1};
  EXPECT_EQ(s.Errors, 6);
  s.Reset();
  EXPECT_EQ(s.Rows, 0);
}

TEST(JobLogs, SavingALargeLogClearsTheGroupsLogsWhenAsked) {
  TKVEnvironment env;
  TKVEnvironment* const savedEnv = std::exchange(GlobalEnv, &env);
  JobGroup = std::make_unique<TJobGroup>();
  auto job = std::make_unique<TJob>();
  job->DBLinks->AddOwned("L", NamedLink("L"));
  TDBLink* link = job->DBLinks->GetObj(0);
  for (int i = 0; i < 40; ++i) link->AddLog(ltInfo, std::string(100, 'x'));
  JobGroup->AddOwned("J", std::move(job));
  const std::string file = kvtest::NewTempFolder("jobs_log") + "/l.log";

  GlobalEnv->LogOption->Exclude(dlmDelExceedSize);
  GlobalEnv->LogOption->DelFileSize = 1;
  link->SaveLogToFile(file);
  EXPECT_EQ(link->Logs().Count(), 40);  // the option is off
  GlobalEnv->LogOption->Include(dlmDelExceedSize);
  GlobalEnv->LogOption->DelFileSize = 1000;
  link->SaveLogToFile(file);
  EXPECT_EQ(link->Logs().Count(), 40);  // under the limit
  GlobalEnv->LogOption->DelFileSize = 1;
  link->SaveLogToFile(file);
  EXPECT_EQ(link->Logs().Count(), 0);

  TDBLink reader;
  reader.LoadLogFromFile(file);
  EXPECT_EQ(reader.Logs().Count(), 40);
  JobGroup.reset();
  GlobalEnv = savedEnv;
}

TEST(JobLinks, SetDBLinksCopiesAndSetSourceDataTypeReachesEveryLink) {
  TDBLinks links;
  links.AddOwned("A", NamedLink("A"));
  links.AddOwned("B", NamedLink("B"));
  TJob job;
  job.SetDBLinks(links);
  ASSERT_EQ(job.DBLinks->Count(), 2);
  EXPECT_NE(job.DBLinks->GetObj(0), links.GetObj(0));
  EXPECT_EQ(job.DBLinks->GetObj(1)->Job, &job);
  job.SetSourceDataType(sdtError);
  EXPECT_EQ(job.DBLinks->GetObj(0)->SourceDataType(), sdtError);
  EXPECT_EQ(job.DBLinks->GetObj(1)->SourceDataType(), sdtError);
  EXPECT_EQ(links.GetObj(0)->SourceDataType(), sdtOrigin);
}

// A job file whose job object breaks off inside its DB link list (found by
// fuzzing): the reading fails with the file's error instead of crashing
// while the half-read job is freed, and a job group keeps loading.
TEST(JobFileCorrupt, AJobBrokenInsideItsLinkListFailsCleanly) {
  const std::string file = kvtest::TestDataFolder() + "/corrupt_dblinks.job";
  TKVFlowChart chart;
  const std::string error = kvtest::ErrorOf<EReadError>([&] { chart.LoadFromFile(file); });
  EXPECT_NE(error.find("Invalid job file (job)"), std::string::npos) << error;

  kvtest::TempFolder dir("jobs");
  kvtest::WriteFile(dir.File("KVCore.jbg"), file + "\n");
  TJobGroup group;
  group.LoadPrograms(dir.File("KVCore.jbg"));
  EXPECT_EQ(group.Count(), 0);
  EXPECT_EQ(group.Logs->Count(), 1);
}
