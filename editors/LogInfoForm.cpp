#include "editors/LogInfoForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <exception>

#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/Logs.h"
#include "expression/DateTimeText.h"
#include "foundation/Format.h"

namespace kv {

namespace {

// The record's time by a message's pattern; empty when it is no valid date.
std::string FormatTime(const TMessage& pattern, double value) {
  try {
    return FormatDateTime(pattern.Text(), value);
  } catch (const std::exception&) {
    return {};
  }
}

void SetValue(QWidget& form, const char* name, const std::string& value) {
  auto* label = form.findChild<QLabel*>(name);
  label->setText(QStr(Format("%s: %s", StdStr(TLogInfoForm::CaptionWithoutColon(label->text())), value)));
}

}  // namespace

QString TLogInfoForm::CaptionWithoutColon(const QString& caption) {
  QString text = caption.trimmed();
  while (text.endsWith(':') || text.endsWith(QChar(0xFF1A))) text = text.left(text.size() - 1).trimmed();
  return text;
}

TLogInfoForm::TLogInfoForm(const TKVLog& log, QWidget* parent) : QDialog(parent) {
  BuildForm();
  LanguageTanslate(*this);
  ShowLog(log);
}

void TLogInfoForm::BuildForm() {
  setObjectName("LogInfoForm");
  setWindowTitle("Log Info");
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName("moDescription");
  memo->setReadOnly(true);
  QPalette palette = memo->palette();
  palette.setColor(QPalette::Base, QColor(0xF0, 0xF0, 0xF0));
  memo->setPalette(palette);
  QLabel* lbDescription = NamedLabel("lbDescription", "&Description", nullptr, this);
  lbDescription->setBuddy(memo);
  auto* layout = new QGridLayout(this);
  layout->addWidget(NamedLabel("lbDate", "Date", nullptr, this), 0, 0);
  layout->addWidget(NamedLabel("lbTime", "Time", nullptr, this), 0, 1);
  layout->addWidget(NamedLabel("lbType", "Type", nullptr, this), 1, 0);
  layout->addWidget(lbDescription, 2, 0, 1, 2);
  layout->addWidget(memo, 3, 0, 1, 2);
  layout->addLayout(OkCancelRow(*this), 4, 0, 1, 2);
  layout->setRowStretch(3, 1);
  resize(420, 300);
}

void TLogInfoForm::ShowLog(const TKVLog& log) {
  SetValue(*this, "lbDate", FormatTime(SDateFormatString, log.OccurTime));
  SetValue(*this, "lbTime", FormatTime(STimeFormatString, log.OccurTime));
  SetValue(*this, "lbType", LogTypeText(log.LogType));
  QString text = QStr(log.Event);
  text.replace("\r\n", "\n").replace('\r', '\n');
  findChild<QPlainTextEdit*>("moDescription")->setPlainText(text);
}

void ShowLogInfoForm(const TKVLog& log, QWidget* parent) {
  TLogInfoForm form(log, parent);
  form.exec();
}

}  // namespace kv
