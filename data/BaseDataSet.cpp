#include "data/BaseDataSet.h"

#include "data/DataSet.h"
#include "environment/CoreMessages.h"

namespace kv {

KV_IMPLEMENT_CLASS(TKVBaseDataSet, TBaseObject)
KV_IMPLEMENT_CLASS(TKVBaseDataSets, TStoredStrList)

namespace {
const TClassRegistrar g_registrar{TKVBaseDataSet::StaticClass(), TKVBaseDataSets::StaticClass(),
                                  TKVDataFormats::StaticClass()};
}

TKVBaseDataSet::TKVBaseDataSet() {
  DataFormats.reset(new TKVDataFormats);
  AnimatedStatus = true;
  TitleStatus = SImporting.Text();
  Options = KVOptionBit(soShowMessage) | KVOptionBit(soExtendedStatistic);
  textQualifier_ = tqQuot;
  textQualifierCustom_ = '"';
  fieldDelimiter_ = fdTab;
  fieldDelimiterCustom_ = '\t';
  SetRecordSeparator(rsCRLF);
  RowFirst = 1;
  RowLast = kRowLastDefault;
  CurrentRow = 0;
}

TKVBaseDataSet::~TKVBaseDataSet() = default;

void TKVBaseDataSet::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptBoolean>(proc, param, AnimatedStatus, "AnimatedStatus");
  Prop<ptString>(proc, param, DatasetKeys, "DatasetKeys", !DatasetKeys.empty());
  Prop<ptString>(proc, param, TitleStatus, "TitleStatus", !TitleStatus.empty());
  // Stored jobs carry the delimiter entry twice; it stays so for them.
  Prop<ptChar>(proc, param, fieldDelimiterCustom_, "FieldDelimiterCustom", fieldDelimiterCustom_ != 0);
  Prop<ptChar>(proc, param, fieldDelimiterCustom_, "FieldDelimiterCustom", fieldDelimiterCustom_ != 0);
  Prop<ptChar>(proc, param, textQualifierCustom_, "TextQualifierCustom", textQualifierCustom_ != 0);
  Prop<ptString>(proc, param, recordSeparatorCustom_, "RecordSeparatorCustom", !recordSeparatorCustom_.empty());
  Prop<ptBoolean>(proc, param, FFixed, "FFixed");
  Prop<ptString>(proc, param, TableName, "TableName", !TableName.empty());
  Prop<ptInteger>(proc, param, RowFirst, "RowFirst", RowFirst != 0);
  Prop<ptInteger>(proc, param, RowLast, "RowLast", RowLast != 0);
  Prop<ptString>(proc, param, Description, "Description", !Description.empty());
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptSet8>(proc, param, Options, "Options", Options != 0);
  Prop<ptByte>(proc, param, fieldDelimiter_, "FieldDelimiter", fieldDelimiter_ != 0);
  // The qualifier's named choice is not stored: it reads back as tqQuot.
  Prop<ptByte>(proc, param, recordSeparator_, "RecordSeparator", recordSeparator_ != 0);
  Prop<ptObject>(proc, param, DataFormats, "FDataFormats", DataFormats.get() != nullptr);
}

void TKVBaseDataSet::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVBaseDataSet>(source)) {
    AnimatedStatus = s->AnimatedStatus;
    DatasetKeys = s->DatasetKeys;
    TitleStatus = s->TitleStatus;
    fieldDelimiterCustom_ = s->fieldDelimiterCustom_;
    textQualifierCustom_ = s->textQualifierCustom_;
    recordSeparatorCustom_ = s->recordSeparatorCustom_;
    FFixed = s->FFixed;
    TableName = s->TableName;
    RowFirst = s->RowFirst;
    RowLast = s->RowLast;
    Description = s->Description;
    Name = s->Name;
    Options = s->Options;
    fieldDelimiter_ = s->fieldDelimiter_;
    textQualifier_ = s->textQualifier_;
    recordSeparator_ = s->recordSeparator_;
    if (s->DataFormats) {
      if (!DataFormats) DataFormats.reset(new TKVDataFormats);
      DataFormats->Assign(s->DataFormats.get());
    }
    return;
  }
  inherited::Assign(source);
}

void TKVBaseDataSet::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (!DataFormats) DataFormats.reset(new TKVDataFormats);
}

std::string TKVBaseDataSet::Extension() const { return ".KV"; }

std::string TKVBaseDataSet::FillFileFilters() const { return SAllFiles.Text(); }

TVariant TKVBaseDataSet::GetValues(const std::string&) { return TVariant::Null(); }

TVariant TKVBaseDataSet::GetFieldValue(const TVariant& field) { return field; }

bool TKVBaseDataSet::IsGoodRow(int32_t) const { return true; }

std::string TKVBaseDataSet::GetKeyList(const TDataSet* dataSet) {
  std::string value;
  if (dataSet && dataSet->GetPublishedString("IndexFieldName", value)) return value;
  return std::string();
}

// ---- Delimiter, qualifier and separator ---------------------------------------------------

void TKVBaseDataSet::SetFieldDelimiter(TKVFieldDelimiter value) {
  switch (value) {
    case fdNone: fieldDelimiterCustom_ = 0; break;
    case fdTab: fieldDelimiterCustom_ = '\t'; break;
    case fdSemicolon: fieldDelimiterCustom_ = ';'; break;
    case fdComma: fieldDelimiterCustom_ = ','; break;
    case fdSpace: fieldDelimiterCustom_ = ' '; break;
    case fdCustom: break;
  }
  fieldDelimiter_ = value;
}

void TKVBaseDataSet::SetFieldDelimiterCustom(char value) {
  switch (value) {
    case 0: fieldDelimiter_ = fdNone; break;
    case '\t': fieldDelimiter_ = fdTab; break;
    case ' ': fieldDelimiter_ = fdSpace; break;
    case ',': fieldDelimiter_ = fdComma; break;
    case ';': fieldDelimiter_ = fdSemicolon; break;
    default: fieldDelimiter_ = fdCustom;
  }
  fieldDelimiterCustom_ = value;
}

void TKVBaseDataSet::SetTextQualifier(TKVTextQualifier value) {
  switch (value) {
    case tqNone: textQualifierCustom_ = 0; break;
    case tqQuot: textQualifierCustom_ = '"'; break;
    case tqApos: textQualifierCustom_ = '\''; break;
    case tqCustom: break;
  }
  textQualifier_ = value;
}

void TKVBaseDataSet::SetTextQualifierCustom(char value) {
  switch (value) {
    case 0: textQualifier_ = tqNone; break;
    case '"': textQualifier_ = tqQuot; break;
    case '\'': textQualifier_ = tqApos; break;
    default: textQualifier_ = tqCustom;
  }
  textQualifierCustom_ = value;
}

void TKVBaseDataSet::SetRecordSeparator(TKVRecordSeparator value) {
  switch (value) {
    case rsCRLF: recordSeparatorCustom_ = "\r\n"; break;
    case rsCR: recordSeparatorCustom_ = "\r"; break;
    case rsLF: recordSeparatorCustom_ = "\n"; break;
    case rsCustom: break;
  }
  recordSeparator_ = value;
}

void TKVBaseDataSet::SetRecordSeparatorCustom(const std::string& value) {
  if (value == "\r\n")
    recordSeparator_ = rsCRLF;
  else if (value == "\r")
    recordSeparator_ = rsCR;
  else if (value == "\n")
    recordSeparator_ = rsLF;
  else
    recordSeparator_ = rsCustom;
  recordSeparatorCustom_ = value;
}

// ---- TKVBaseDataSets ------------------------------------------------------------------------

TKVBaseDataSet* TKVBaseDataSets::GetObj(int index) const { return ObjCast<TKVBaseDataSet>(TStoredStrList::GetObj(index)); }

// ---- Free functions ---------------------------------------------------------------------------

std::string GetDefExt(int index) {
  switch (index) {
    case 0: return ".DB";
    case 1: return ".DBF";
    case 2: return ".TXT";
    case 3: return ".HTM";
    case 4:
    case 5: return ".XLS";
    case 6: return ".DOC";
    case 7: return ".SLK";
    case 8: return ".DIF";
    case 9: return ".WK1";
    case 10: return ".WQ1";
    case 11: return ".SQL";
    case 12: return ".XML";
    default: return std::string();
  }
}

TImportFormatTypes GetAvailableImportFormats() {
  TImportFormatTypes all = 0;
  for (int t = teParadox; t <= teXML; ++t) all = static_cast<TImportFormatTypes>(all | (1u << t));
  return all;
}

}  // namespace kv
