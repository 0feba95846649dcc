#include "data/ListDataSet.h"

#include <climits>

#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TListDataSet, TDataSet)

TListDataSet::TListDataSet() = default;

TListDataSet::~TListDataSet() { CloseForDestroy(); }

void TListDataSet::InternalOpen() {
  decodedIndex_ = -1;
  ListOpen();
  if (records_.Count() > static_cast<size_t>(INT_MAX)) throw EDatabaseError("Too many records");
  current_ = -1;
}

void TListDataSet::InternalClose() {
  // The records stay until the next open.
  decodedIndex_ = -1;
  decoded_.clear();
  current_ = -1;
}

void TListDataSet::InternalFirst() { current_ = -1; }

void TListDataSet::InternalLast() { current_ = static_cast<int>(records_.Count()); }

TDataSet::TGetResult TListDataSet::InternalGetRecord(TGetMode mode) {
  const int count = static_cast<int>(records_.Count());
  switch (mode) {
    // Index -1 (record number 0 was set) counts as a record: reading a field there fails.
    case gmCurrent: return count > 0 && current_ < count ? grOK : grEOF;
    case gmNext:
      if (current_ < count - 1) {
        ++current_;
        return grOK;
      }
      return grEOF;
    case gmPrior:
      if (current_ < 1) return grBOF;
      --current_;
      return grOK;
  }
  return grEOF;
}

const std::vector<std::string_view>* TListDataSet::Decoded() {
  if (current_ < 0 || current_ >= static_cast<int>(records_.Count())) return nullptr;
  if (decodedIndex_ != current_) {
    records_.Record(static_cast<size_t>(current_)).Decode(decoded_);
    decodedIndex_ = current_;
  }
  return &decoded_;
}

std::string_view TListDataSet::CurrentField(const TField& field) {
  const std::vector<std::string_view>* texts = Decoded();
  if (!texts) throw EDatabaseError("Could not fetch field data for: " + field.FieldName());
  size_t i = static_cast<size_t>(field.Index());
  return i < texts->size() ? (*texts)[i] : std::string_view();
}

const std::vector<std::string_view>* TListDataSet::InternalCurrentTexts() { return Decoded(); }

bool TListDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  value.AssignText(CurrentField(field));
  return true;
}

bool TListDataSet::InternalGetFieldText(const TField& field, std::string_view& text) {
  text = CurrentField(field);
  return true;
}

int TListDataSet::InternalRecordCount() { return static_cast<int>(records_.Count()); }

int TListDataSet::InternalGetRecNo() { return current_ + 1; }

void TListDataSet::InternalSetRecNo(int value) {
  if (value < 0 || value > static_cast<int>(records_.Count())) throw EDatabaseError("SetRecNo: out of range");
  current_ = value - 1;
}

TBookmark TListDataSet::InternalGetBookmark() { return current_; }

void TListDataSet::InternalGotoBookmark(TBookmark bookmark) {
  if (bookmark < 0 || bookmark >= static_cast<TBookmark>(records_.Count())) throw EDatabaseError("Bookmark not found");
  current_ = static_cast<int>(bookmark);
}

void TListDataSet::InternalPost(const std::vector<TVariant>&, bool, bool) {}

void TListDataSet::InternalDelete() {}

}  // namespace kv
