// The auto-match options dialog "TAutoMatchForm" ("Field Auto Match") and
// its entry OpenAutoMatch. The group gbxMatchType ("Match Type") holds one
// check box per match option of a DB link: cbPartialToOutput
// (mmPartialToOutput), cbPartialToInput (mmPartialToInput) and
// cbCaseInsensitive (mmCaseInsensitive).
#pragma once

#include <QDialog>

#include "KVEditorLib_export.h"
#include "jobs/DBLink.h"

class QCheckBox;

namespace kv {

class KVEDITORLIB_EXPORT TAutoMatchForm : public QDialog {
  Q_OBJECT
public:
  // The boxes of the members of `flags` start checked.
  explicit TAutoMatchForm(TMatchModes flags, QWidget* parent = nullptr);
  // The set of the boxes checked now.
  TMatchModes Flags() const;

private:
  QCheckBox* AddBox(const char* name, const QString& caption, TMatchMode mode, TMatchModes flags);

  QCheckBox* boxes_[3] = {};  // indexed by TMatchMode
};

// Shows the dialog modally on `flags`; on OK `flags` becomes the checked
// set and the answer is true. Otherwise `flags` stays and the answer is false.
KVEDITORLIB_EXPORT bool OpenAutoMatch(TMatchModes& flags, QWidget* parent = nullptr);

}  // namespace kv
