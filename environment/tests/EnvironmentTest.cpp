// The settings object and its file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "environment/Environment.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/UserInterface.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

std::string Write(const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  return m.Bytes();
}

std::unique_ptr<TKVEnvironment> ReadBack(const std::string& bytes) {
  TMemoryStream m(bytes);
  std::unique_ptr<TBaseObject> obj(StreamReadObject(m));
  auto* env = ObjCast<TKVEnvironment>(obj.get());
  if (env) obj.release();
  return std::unique_ptr<TKVEnvironment>(env);
}

std::string Name(std::string_view s) { return static_cast<char>(s.size()) + std::string(s); }

}  // namespace

TEST(Environment, Defaults) {
  TKVEnvironment e;
  EXPECT_EQ(e.MaxRunJobs, 3);
  EXPECT_TRUE(e.ShowTipDlgOnStart);
  EXPECT_FALSE(e.ShowMonitorDlg);
  EXPECT_FALSE(e.ShowDebugDlg);
  EXPECT_TRUE(e.Prompting->JobDeletion);
  EXPECT_FALSE(e.Prompting->ErrorPrompt);
  EXPECT_TRUE(e.Prompting->StopPrompt);
  EXPECT_TRUE(e.Prompting->PausePrompt);
  EXPECT_TRUE(e.ExpOption->ZeroAsNull);
  EXPECT_TRUE(e.ExpOption->NullStringAsNull);
  EXPECT_EQ(e.LogOption->DelLogDays, 1);
  EXPECT_EQ(e.LogOption->DelFileSize, 1);
  EXPECT_EQ(e.LogOption->DelLogModes, 0);
  EXPECT_EQ(e.LogOption->DelTime, 0);
  EXPECT_EQ(e.MonitorParam->SourceBrowseSpeedColor, 65535);
  EXPECT_EQ(e.MonitorParam->ImportSpeedColor, 32768);
  EXPECT_EQ(e.MonitorParam->ErrRecordsSpeedColor, 255);
  EXPECT_EQ(e.MonitorParam->MaxSpeedScale, 100);
  EXPECT_EQ(e.DblClickJobOption->DblClickOnErrorJob, depDesign);
}

TEST(Environment, DefaultFolderGetsATrailingSeparator) {
  TKVEnvironment e;
  e.SetDefaultFolder("/data");
  EXPECT_EQ(e.DefaultFolder, "/data/");
  e.SetDefaultFolder("/other/");
  EXPECT_EQ(e.DefaultFolder, "/other/");
  e.SetDefaultFolder("C:\\Data\\");
  EXPECT_EQ(e.DefaultFolder, "C:\\Data\\");
}

TEST(Environment, MaxRunJobsLimit) {
  kvtest::TRecordingUI ui;
  IUserInterface* old = SetUserInterface(&ui);
  TKVEnvironment e;
  e.SetMaxRunJobs(100);
  EXPECT_EQ(e.MaxRunJobs, 100);
  EXPECT_TRUE(ui.messages.empty());
  e.SetMaxRunJobs(101);
  EXPECT_EQ(e.MaxRunJobs, 100);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Exceed then max jobs limit.");
  EXPECT_EQ(ui.types[0], mtWarning);
  e.SetMaxRunJobs(1000);  // must not wrap round to a small value
  EXPECT_EQ(e.MaxRunJobs, 100);
  SetUserInterface(old);
}

TEST(Environment, HeadlessRefusalIsLoggedNotBlocking) {
  std::vector<std::string> lines;
  SetHeadlessLogSink([&](const std::string& l) { lines.push_back(l); });
  TKVEnvironment e;
  e.SetMaxRunJobs(200);
  SetHeadlessLogSink(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Exceed then max jobs limit."), std::string::npos);
}

TEST(Environment, DelLogModesIsOneByte) {
  TKVEnvironment e;
  for (auto m : {dlmDelAtRun, dlmDelAtExit, dlmDelEverDays, dlmDelExceedSize}) e.LogOption->Include(m);
  EXPECT_EQ(e.LogOption->DelLogModes, 15);
  std::string w = Write(&e);
  EXPECT_NE(w.find(Name("FDelLogModes") + std::string("\x0A\x01\x00\x00\x00\x0F", 6)), std::string::npos);
}

TEST(Environment, ZeroAndEmptyValuesAreNotStored) {
  TKVEnvironment e;
  e.MaxRunJobs = 0;
  e.LogOption->DelLogDays = 0;
  e.DefaultFolder.clear();
  std::string w = Write(&e);
  EXPECT_EQ(w.find(Name("MaxRunJobs")), std::string::npos);
  EXPECT_EQ(w.find(Name("DefaultFolder")), std::string::npos);
  auto back = ReadBack(w);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->MaxRunJobs, 3);
  EXPECT_EQ(back->LogOption->DelLogDays, 1);
  EXPECT_EQ(back->DefaultFolder, "");
  // Booleans are always stored.
  EXPECT_NE(w.find(Name("ShowMonitorDlg") + "\x08"), std::string::npos);
}

TEST(Environment, RoundTripOfEverySetting) {
  TKVEnvironment e;
  e.ExpOption->ZeroAsNull = false;
  e.Prompting->ErrorPrompt = true;
  e.SetDefaultFolder("/jobs");
  e.DblClickJobOption->DblClickOnRunJob = drpSchedule;
  e.DblClickJobOption->DblClickOnCompleteJob = dcpDesign;
  e.SetMaxRunJobs(7);
  e.MonitorParam->BKColor = 0x112233;
  e.MonitorParam->MaxSpeedScale = 5000;
  e.ShowTipDlgOnStart = false;
  e.ShowDebugDlg = true;
  e.LogOption->Include(dlmDelExceedSize);
  e.LogOption->DelFileSize = 64;
  e.LogOption->DelTime = 46000.123456789;
  auto b = ReadBack(Write(&e));
  ASSERT_TRUE(b);
  EXPECT_FALSE(b->ExpOption->ZeroAsNull);
  EXPECT_TRUE(b->Prompting->ErrorPrompt);
  EXPECT_EQ(b->DefaultFolder, "/jobs/");
  EXPECT_EQ(b->DblClickJobOption->DblClickOnRunJob, drpSchedule);
  EXPECT_EQ(b->DblClickJobOption->DblClickOnCompleteJob, dcpDesign);
  EXPECT_EQ(b->MaxRunJobs, 7);
  EXPECT_EQ(b->MonitorParam->BKColor, 0x112233);
  EXPECT_EQ(b->MonitorParam->MaxSpeedScale, 5000);
  EXPECT_FALSE(b->ShowTipDlgOnStart);
  EXPECT_TRUE(b->ShowDebugDlg);
  EXPECT_TRUE(b->LogOption->Has(dlmDelExceedSize));
  EXPECT_EQ(b->LogOption->DelFileSize, 64);
  EXPECT_EQ(b->LogOption->DelTime, 46000.123456789);
  EXPECT_EQ(Write(b.get()), Write(&e));
}

TEST(Environment, AssignCopiesEverything) {
  TKVEnvironment a, b;
  a.SetMaxRunJobs(9);
  a.SetDefaultFolder("/x");
  a.ShowMonitorDlg = true;
  a.LogOption->DelLogDays = 4;
  a.Prompting->StopPrompt = false;
  b.Assign(&a);
  EXPECT_EQ(Write(&b), Write(&a));
  EXPECT_NE(b.LogOption.get(), a.LogOption.get());
}

TEST(EnvironmentFile, MissingFileGivesDefaults) {
  std::string dir = kvtest::NewTempFolder("env_missing");
  std::unique_ptr<TKVEnvironment> e(LoadEnvironment(dir + "/KVCore.env"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->MaxRunJobs, 3);
}

TEST(EnvironmentFile, SaveAndLoad) {
  std::string dir = kvtest::NewTempFolder("env_save");
  std::string file = dir + "/KVCore.env";
  TKVEnvironment e;
  e.SetMaxRunJobs(12);
  SaveEnvironment(e, file);
  std::unique_ptr<TKVEnvironment> back(LoadEnvironment(file));
  EXPECT_EQ(back->MaxRunJobs, 12);
  // No temporary file is left behind.
  int entries = 0;
  for (const char* n : {"KVCore.env"}) {
    struct stat st {};
    if (::stat((dir + "/" + n).c_str(), &st) == 0) ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(EnvironmentFile, CorruptFileIsAnErrorAndStaysUntouched) {
  std::string dir = kvtest::NewTempFolder("env_corrupt");
  std::string file = dir + "/KVCore.env";
  { std::ofstream(file) << "TPF0garbage"; }
  EXPECT_THROW(LoadEnvironment(file), Exception);
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "TPF0garbage");
}

TEST(EnvironmentFile, OtherObjectIsRefused) {
  std::string dir = kvtest::NewTempFolder("env_other");
  std::string file = dir + "/KVCore.env";
  TLogOption notSettings;
  WriteObjectToFile(file, &notSettings);
  EXPECT_THROW(LoadEnvironment(file), Exception);
}

TEST(EnvironmentFile, LocationIsTheProgramFolder) {
  std::string dir = kvtest::NewTempFolder("env_home");
  ::setenv("VANDREL_HOME", dir.c_str(), 1);
  EXPECT_EQ(EnvironmentFilePath(), dir + "/KVCore.env");
  ::unsetenv("VANDREL_HOME");
}
