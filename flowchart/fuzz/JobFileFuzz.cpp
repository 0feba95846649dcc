// Feeds arbitrary bytes to the job-file reader. A failed load must leave
// the chart as it was; whatever loads must write back to bytes that load
// again. From the second writing on the bytes are stable (the first may
// differ inside an embedded object: a stored empty or zero value is not
// written and reads back as its default).
//
// The charts use the jobs layer's hooks, as the program's do, so that the
// embedded TJob and TDBLink objects are read and checked for what they are.
#include <cstddef>
#include <cstdint>
#include <string>

#include "flowchart/FlowChart.h"
#include "foundation/Exceptions.h"
#include "jobs/Job.h"

using namespace kv;

namespace {
std::string Save(const TKVFlowChart& chart) {
  TMemoryStream m;
  chart.SaveToStream(m);
  return m.Bytes();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetDefaultFlowChartHooks(JobChartHooks());
  TKVFlowChart probe;
  if (!ObjCast<TJob>(probe.Job())) __builtin_trap();  // the job model is not registered
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TKVFlowChart chart;
  chart.CreateObject(1, 2, 30, 40, fcsEllipse, dotText);
  std::string before = Save(chart);
  try {
    TMemoryStream m(std::string(reinterpret_cast<const char*>(data), size));
    chart.LoadFromStream(m);
  } catch (const EReadError&) {
    if (Save(chart) != before) __builtin_trap();
    return 0;
  }
  // Geometry of whatever loaded must be computable.
  for (int i = 0; i < chart.GetConnectionCount(); ++i) chart.GetConnection(i)->DisplayRect();
  for (int i = 0; i < chart.GetObjectCount(); ++i) chart.GetObject(i)->Outline();
  chart.GetHitTestAt({10, 10});
  std::string once = Save(chart);
  TKVFlowChart again;
  TMemoryStream m2(once);
  again.LoadFromStream(m2);
  std::string twice = Save(again);
  TKVFlowChart third;
  TMemoryStream m3(twice);
  third.LoadFromStream(m3);
  if (Save(third) != twice) __builtin_trap();
  return 0;
}
