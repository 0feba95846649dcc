// Screenshots of the mapping editor (with its lines and both
// field-definition pages) and of the auto-match options dialog, on a
// sample DB link whose datasets carry their field definitions, so nothing
// is opened.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <memory>

#include "app/shots/Shots.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/AutoMatchForm.h"
#include "editors/MapingForm.h"
#include "jobs/DBLink.h"

namespace kv {

namespace {

void AddField(TKVCustomDataSet& dataSet, const char* name, TFieldType type, int size, bool required = false) {
  TKVFieldDef* def = dataSet.FieldDefs->AddFieldDef(name);
  def->DataType = static_cast<uint8_t>(type);
  def->Size = size;
  if (required) def->Attributes = static_cast<TFieldAttributes>(1u << faRequired);
}

// The datasets outlive the link (it only refers to them).
struct TSampleLink {
  TKVTextDataSet orders;
  TKVTableDataSet sales;
  TDBLink link;

  TSampleLink() {
    orders.Name = "Orders";
    orders.FieldDefs.reset(new TKVFieldDefs);
    for (const char* field : {"ORDER_ID", "CUSTOMER", "AMOUNT", "ORDER_DATE", "REGION"})
      AddField(orders, field, ftString, 30);
    sales.Name = "Sales";
    sales.FieldDefs.reset(new TKVFieldDefs);
    AddField(sales, "ID", ftInteger, 0, true);
    AddField(sales, "CUSTID", ftInteger, 0);
    AddField(sales, "CUSTOMER_NAME", ftString, 60);
    AddField(sales, "TOTAL", ftFloat, 0);
    AddField(sales, "SOLD_ON", ftDate, 0);
    AddField(sales, "REGION", ftString, 20);
    AddField(sales, "NOTE", ftMemo, 0);
    sales.IndexDefs.reset(new TKVIndexDefs);
    sales.IndexDefs->AddIndexDef()->FieldExpression = "ID";
    link.Name = "orders-to-sales";
    link.SetSourceDataSet(&orders);
    link.SetDestDataSet(&sales);
    for (const char* line : {"ID=Orders.ORDER_ID", "CUSTOMER_NAME=Upper(Trim(Orders.CUSTOMER))",
                             "TOTAL=ToReal(Orders.AMOUNT) * 1.2", "SOLD_ON=ToTime(Orders.ORDER_DATE)",
                             "REGION=Orders.REGION"})
      link.Mappings().Add(line);
  }
};

}  // namespace

void ShootMaping(const QString& outDir, const QString& suffix, const QString& home) {
  (void)home;  // the sample link is built here
  TSampleLink sample;
  {
    TKVMapingForm form(sample.link);
    form.resize(860, 620);
    ShootWindow(form, outDir, "KVMapingForm", suffix, TShotEnd::Hide);
    form.findChild<QTabWidget*>("pgcFieldDef")->setCurrentIndex(1);
    ShootWindow(form, outDir, "KVMapingForm-DestFieldDef", suffix, TShotEnd::Hide);
  }
  TAutoMatchForm match(static_cast<TMatchModes>(1u << mmPartialToOutput));
  ShootWindow(match, outDir, "AutoMatchForm", suffix, TShotEnd::Hide);
}

}  // namespace kv
