// The text file dataset dialog "TKVFileDataSetDlg" ("Text file data
// property") and its entry EditFileDataSet.
//
// Page "General": name, "&Description" and "&File name" (edFileName, with
// the "..." chooser btnFileName). Page "Format" (tshFormat): "&Fixed-width
// fields" (cbxFixWidth), "Field &widths" (edFieldWidths, enabled only while
// fixed width is checked), "&Field seperator" (edFieldSeperator) and
// "&Quote character" (edStringQualifier), both enabled only while it is not,
// "&Row seperator" (edRowSeperator), "&Skip rows" (seSkipRows), "Field
// &names at first line" (cbxFieldNamesAtFirstLine), and a preview grid
// (sgPreview) of the file's first records read with the settings as they
// are on the page, refreshed shortly after each change; a setting the file
// cannot be read with shows its error in lbPreviewError instead. The
// preview reads only the head of the file. Page "Fields": the grid.
//
// Writing back applies, through the text file dataset's setters and in this
// order: name, description, layout type, first-line names, field widths,
// row separator, skip rows, field separator, quote character, file name.
#pragma once

#include <QString>
#include <memory>

#include "editors/DataSetDialogBase.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace kv {

class TKVTextDataSet;

class KVEDITORLIB_EXPORT TKVFileDataSetDlg : public TKVDataSetDialog {
  Q_OBJECT
public:
  TKVFileDataSetDlg(TKVTextDataSet& dataSet, TJob& job, QWidget* parent = nullptr);
  ~TKVFileDataSetDlg() override;

  // Reads the preview now (it is otherwise read shortly after a change).
  void RefreshPreview();
  // How many times the preview was read (for views and tests that wait on it).
  int PreviewCount() const { return previewCount_; }

protected:
  void AddPages(QTabWidget& pages) override;
  void LoadPages(const TKVCustomDataSet& from) override;
  void StorePages(TKVCustomDataSet& into) override;
  std::unique_ptr<TKVCustomDataSet> NewOfKind() const override;
  const TMessage& CaptionMessage() const override;
  bool WarnWithoutFields() const override { return true; }

private:
  QWidget* BuildFormat();
  void AddFileRow();
  void ChooseFile();
  void UpdateControls();
  void SchedulePreview();
  void ShowPreview(class TTextFileDataset& file);

  QLineEdit* edFileName_ = nullptr;
  QCheckBox* cbxFixWidth_ = nullptr;
  QCheckBox* cbxFieldNamesAtFirstLine_ = nullptr;
  QLineEdit* edFieldWidths_ = nullptr;
  QLineEdit* edFieldSeperator_ = nullptr;
  QLineEdit* edRowSeperator_ = nullptr;
  QLineEdit* edStringQualifier_ = nullptr;
  QSpinBox* seSkipRows_ = nullptr;
  QTableWidget* sgPreview_ = nullptr;
  QLabel* lbPreviewError_ = nullptr;
  QTimer* previewTimer_ = nullptr;
  int previewCount_ = 0;
};

}  // namespace kv
