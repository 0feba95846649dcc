// A read-only in-memory dataset over a list of text records. Every field
// is text. The records live in a compact record store (blocks of up to a
// megabyte, no allocation per field); the dataset owns them and
// keeps them until it opens again or is freed, so a closed dataset still
// holds the records of its last open.
//
// Writing is accepted and goes nowhere: the dataset says it can be
// modified, but Post and Delete leave the records as they are.
#pragma once

#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/RecordStore.h"

namespace kv {

class KVCORE_EXPORT TListDataSet : public TDataSet {
  KV_CLASS(TListDataSet, TDataSet)
public:
  TListDataSet();
  ~TListDataSet() override;

  // The records. A caller that fills them itself sets FieldDefs to match
  // and opens the dataset; engines that read a source fill them in ListOpen.
  TTextRecordStore& Records() { return records_; }
  const TTextRecordStore& Records() const { return records_; }
  // The current index: -1 before the first record, the record count after the last.
  int CurrentIndex() const { return current_; }

protected:
  // Called by InternalOpen: fill the field definitions and the records.
  // The plain list keeps what the caller put there.
  virtual void ListOpen() {}

  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  bool InternalGetFieldValue(const TField& field, TVariant& value) override;
  bool InternalGetFieldText(const TField& field, std::string_view& text) override;
  const std::vector<std::string_view>* InternalCurrentTexts() override;
  int InternalRecordCount() override;
  int InternalGetRecNo() override;
  void InternalSetRecNo(int value) override;
  TBookmark InternalGetBookmark() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  bool InternalCanModify() const override { return true; }
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalDelete() override;

private:
  // The current record's fields, decoded once per record; null off the records.
  const std::vector<std::string_view>* Decoded();
  std::string_view CurrentField(const TField& field);

  TTextRecordStore records_;
  int current_ = -1;
  int decodedIndex_ = -1;  // the record whose fields are in decoded_
  std::vector<std::string_view> decoded_;
};

}  // namespace kv
