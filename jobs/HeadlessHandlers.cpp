#include "jobs/HeadlessHandlers.h"

#include "data/DataSet.h"
#include "data/MemDataSet.h"
#include "jobs/DBLink.h"

namespace kv {

void CaptureErrorRecord(TDBLink& link, const TDataSet* dataSet) {
  TKVMemDataSet& errors = link.ErrorData();
  if (!link.BackErrorData || !dataSet || !dataSet->Active() || !errors.Active()) return;
  errors.Append();
  try {
    for (int i = 0; i < errors.FieldCount(); ++i) {
      TField& target = errors.Fields(i);
      if (const TField* from = dataSet->FindField(target.FieldName())) target.SetValue(from->Value());
    }
    errors.Post();
  } catch (...) {
    errors.Cancel();
    throw;
  }
}

void AttachHeadlessHandlers(TDBLink& link, THeadlessLogSink sink) {
  link.OnError = [](TDBLink& sender, const std::string& error, TDataSet* dataSet, TAbortMode&) {
    CaptureErrorRecord(sender, dataSet);
    sender.AddLog(ltError, error);
  };
  if (sink) {
    TDBLink* owner = &link;
    link.OnLogOccur = [owner, sink = std::move(sink)](const TKVLog& log) { sink(*owner, log); };
  }
}

}  // namespace kv
