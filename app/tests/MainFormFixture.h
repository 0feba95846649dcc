// Program folders for the main window's tests: real job files (built from
// data/orders.jobtxt) over CSV files the test writes, the job group file,
// and a user interface that answers as the test says.
#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editors/QtMainThread.h"
#include "foundation/UserInterface.h"
#include "jobs/Job.h"
#include "jobs/JobText.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

namespace kvtest {

// Records every message and answers through `answer` (when set) or else
// Yes to a question and OK to a message.
class TAnsweringUI : public kv::IUserInterface {
public:
  int MessageDlg(const std::string& text, kv::TMsgDlgType, kv::TMsgDlgButtons buttons, int) override {
    messages.push_back(text);
    if (answer) {
      if (const int given = answer(text); given != kv::mrNone) return given;
    }
    return (buttons & (1u << kv::mbYes)) ? kv::mrYes : kv::mrOk;
  }
  int Count(const std::string& part) const {
    int n = 0;
    for (const std::string& m : messages) n += m.find(part) != std::string::npos;
    return n;
  }
  std::vector<std::string> messages;
  std::function<int(const std::string& text)> answer;
};

// Orders with IDs 1..rows; every `badEvery`-th record (0: none) has an
// AMOUNT that is no number, so it fails.
inline void WriteOrders(const std::string& path, int rows, int badEvery = 0) {
  std::ofstream out(path, std::ios::binary);
  out << "ID,CUSTOMER,AMOUNT,ORDER_DATE\r\n";
  for (int i = 1; i <= rows; ++i) {
    const bool bad = badEvery > 0 && i % badEvery == 0;
    out << i << ",customer " << i << "," << (bad ? std::string("n/a") : std::to_string(i % 90 + 10)) << ",2024-05-01\r\n";
  }
}

// A program folder: $VANDREL_HOME points at it while the object lives.
class TProgramFolder {
public:
  TProgramFolder() : folder_("mainform") { qputenv("VANDREL_HOME", QByteArray::fromStdString(folder_.Path())); }
  ~TProgramFolder() { qunsetenv("VANDREL_HOME"); }
  std::string File(const std::string& name) const { return folder_.File(name); }
  std::string Path() const { return folder_.Path(); }

  // Job `name` reading `rows` orders: NAME.job, NAME.csv (NAME.db made by
  // the run) in the folder; returns the job file.
  std::string MakeJob(const std::string& name, int rows, int badEvery = 0) {
    std::string text = ReadFile(kvtest::TestDataFolder() + "/orders.jobtxt");
    for (size_t at; (at = text.find("@NAME@")) != std::string::npos;) text.replace(at, 6, name);
    WriteOrders(File(name + ".csv"), rows, badEvery);
    const std::string job = File(name + ".job");
    kv::BuildJobFile(text, name, kv::ProcessEnvironment(), job);
    return job;
  }
  // The job group file listing `jobs`.
  void WriteGroup(const std::vector<std::string>& jobs) {
    std::string text;
    for (const std::string& job : jobs) text += job + "\n";
    WriteFile(File("KVCore.jbg"), text);
  }

private:
  TempFolder folder_;
};

// QSettings of the test program go to a folder of their own, emptied here.
inline void IsolateSettings(const std::string& folder) {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder));
  QSettings("Vandrelworks", "WindowsPosition").clear();
}

// The job of the group named `name`, or null.
inline kv::TJob* JobNamed(const std::string& name) {
  const int index = kv::JobGroup ? kv::JobGroup->IndexOf(name) : -1;
  return index >= 0 ? kv::JobGroup->GetObj(index) : nullptr;
}

// Whether `job` and all its links have stopped.
inline bool Ended(const kv::TJob& job) { return job.IsStop() && !job.Thread() && !job.LinksBusy(); }

// Clicks a row of a list as the user does.
inline void ClickRow(QTreeWidget& list, QTreeWidgetItem* row) {
  QVERIFY(row);
  list.scrollToItem(row);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(row).center());
}

// The top-level row whose second column reads `name`, or null.
inline QTreeWidgetItem* RowNamed(QTreeWidget& list, const QString& name) {
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    if (list.topLevelItem(i)->text(1) == name) return list.topLevelItem(i);
  return nullptr;
}

// The ground every main-window test case stands on: the main-thread scope
// and a settings folder for the whole program (StartProgram, from
// initTestCase), and for each case (BeginCase from init, EndCase from
// cleanup) emptied settings, a fresh program folder and the answering user
// interface installed in place of the one before.
class TMainFormTestBase : public QObject {
  std::unique_ptr<kv::TQtMainThreadScope> mainThread_;  // first made, last gone
  std::string settings_;

protected:
  void StartProgram(const std::string& settingsPrefix) {
    mainThread_ = std::make_unique<kv::TQtMainThreadScope>();
    settings_ = NewTempFolder(settingsPrefix);
  }
  void BeginCase() {
    IsolateSettings(settings_);
    home_ = std::make_unique<TProgramFolder>();
    ui_ = TAnsweringUI();
    oldUI_ = kv::SetUserInterface(&ui_);
  }
  void EndCase() {
    kv::SetUserInterface(oldUI_);
    home_.reset();
  }

  std::unique_ptr<TProgramFolder> home_;
  TAnsweringUI ui_;

private:
  kv::IUserInterface* oldUI_ = nullptr;
};

}  // namespace kvtest
