#include "data/TextFileDatasetInfo.h"

#include "data/TextEncoding.h"
#include "data/TextFileDataset.h"

namespace kv {

KV_IMPLEMENT_CLASS(TTextFileDatasetInfo, TBaseObject)

namespace {
const TClassRegistrar g_registrar{TTextFileDatasetInfo::StaticClass()};
}

void TTextFileDatasetInfo::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TTextFileDatasetInfo>(source)) {
    MaxFieldsWarn = s->MaxFieldsWarn;
    ColumnSeperator = s->ColumnSeperator;
    ColumnWidths = s->ColumnWidths;
    ExtractColumnNamesFromFirstLine = s->ExtractColumnNamesFromFirstLine;
    RowSeperator = s->RowSeperator;
    SkipRows = s->SkipRows;
    StringQualifier = s->StringQualifier;
    TextFileType = s->TextFileType;
    LoadBadRecords = s->LoadBadRecords;
    TableName = s->TableName;
    Encoding = s->Encoding;
    return;
  }
  inherited::Assign(source);
}

void TTextFileDatasetInfo::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptInteger>(proc, param, MaxFieldsWarn, "MaxFldsWarn", MaxFieldsWarn != 0);
  Prop<ptString>(proc, param, ColumnSeperator, "ColSep", !ColumnSeperator.empty());
  Prop<ptString>(proc, param, ColumnWidths, "ColWid", !ColumnWidths.empty());
  Prop<ptBoolean>(proc, param, ExtractColumnNamesFromFirstLine, "ExColNFrFLine");
  Prop<ptString>(proc, param, RowSeperator, "RowSep", !RowSeperator.empty());
  Prop<ptInteger>(proc, param, SkipRows, "SkRows", SkipRows != 0);
  Prop<ptString>(proc, param, StringQualifier, "StrQualifier", !StringQualifier.empty());
  Prop<ptByte>(proc, param, TextFileType, "TxtFiType", TextFileType != 0);
  Prop<ptBoolean>(proc, param, LoadBadRecords, "LoadBadRec");
  Prop<ptString>(proc, param, TableName, "TabName", !TableName.empty());
  // Written only for a file that is not UTF-8, so that earlier jobs stay as they were.
  Prop<ptString>(proc, param, Encoding, "Encoding", !Encoding.empty());
}

void TTextFileDatasetInfo::ReadFrom(const TTextFileDataset& dataset) {
  MaxFieldsWarn = dataset.MaxFieldsWarn;
  ColumnSeperator = dataset.ColumnSeperator();
  ColumnWidths = dataset.ColumnWidths();
  ExtractColumnNamesFromFirstLine = dataset.ExtractColumnNamesFromFirstLine();
  RowSeperator = dataset.RowSeperator();
  SkipRows = dataset.SkipRows();
  StringQualifier = dataset.StringQualifier();
  TextFileType = dataset.TextFileType();
  LoadBadRecords = dataset.LoadBadRecords;
  TableName = dataset.TableName();
  Encoding = TextEncodingKind(dataset.Encoding()) == tekUtf8 ? std::string() : dataset.Encoding();
}

void TTextFileDatasetInfo::ApplyTo(TTextFileDataset& dataset) const {
  dataset.MaxFieldsWarn = MaxFieldsWarn;
  dataset.SetColumnSeperator(ColumnSeperator);
  dataset.SetColumnWidths(ColumnWidths);
  dataset.SetExtractColumnNamesFromFirstLine(ExtractColumnNamesFromFirstLine);
  dataset.SetRowSeperator(RowSeperator);
  dataset.SetSkipRows(SkipRows);
  dataset.SetStringQualifier(StringQualifier);
  dataset.SetTextFileType(TextFileType);
  dataset.LoadBadRecords = LoadBadRecords;
  dataset.SetTableName(TableName);
  dataset.SetEncoding(Encoding.empty() ? std::string("UTF-8") : Encoding);
}

}  // namespace kv
