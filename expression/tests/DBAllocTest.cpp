// Reading numeric and boolean fields through field variables and database
// functions allocates nothing once the first evaluation settled the types.
#include <gtest/gtest.h>

#include <memory>

#include "CountingNew.h"
#include "FakeCursor.h"
#include "expression/DBVarList.h"
#include "expression/ThreadExp.h"

namespace kv {
namespace {

TEST(DBAllocations, NoneWhileReadingFields) {
  CreatePubVarList();
  RegisterDBFunctions();
  kvtest::TFakeCursor orders(kvtest::OrderFields(), kvtest::OrderRows());
  std::unique_ptr<TDBVarList> list = CreateDBVarList(GetPubVarList());
  list->DefineFields(orders.Handle(), "Orders");
  SetVarList(list.get());
  auto e = TranslateExp(
      "Orders.ID * 2 + Orders.AMOUNT + FieldValue(Orders, 'AMOUNT') + FieldValue(Orders, 0) + RecordNum(Orders) + "
      "FieldPriorValue(Orders, 'ID') + FieldNextValue(Orders, 1) + Iif(DBEOF(Orders) OR DBBOF(Orders), 1, 0)");
  ASSERT_NE(e, nullptr) << GetExpErrorMsg();
  e->Evaluate(NextStamp(e->SyncFlag));  // the first evaluation settles types
  const long before = kvtest::AllocationCount();
  long double sum = 0;
  for (int i = 0; i < 3000; ++i) {
    if (i % 3 == 0)
      orders.First();
    else
      orders.Next();
    e->Evaluate(NextStamp(e->SyncFlag));
    sum += e->GetReal();
  }
  EXPECT_EQ(kvtest::AllocationCount() - before, 0);
  EXPECT_GT(sum, 0);
  SetVarList(GetPubVarList());
}

}  // namespace
}  // namespace kv
