#include "TestLinks.h"

namespace fctest {

KV_IMPLEMENT_CLASS(TTestLink, kv::TBaseObject)
KV_IMPLEMENT_CLASS(TTestJob, kv::TBaseObject)

namespace {
const kv::TClassRegistrar g_registrar{TTestLink::StaticClass(), TTestJob::StaticClass()};
// The jobs layer installs its hooks when the library loads; these tests
// start from a chart without a jobs layer and add TestHooks where they need them.
const bool g_noJobsLayer = [] {
  kv::SetDefaultFlowChartHooks({});
  return true;
}();
}

kv::TKVFcJobHooks TestHooks() {
  kv::TKVFcJobHooks h;
  h.MakeJob = [](kv::TKVCustomFlowChart&) { return std::make_unique<TTestJob>(); };
  h.DataSetCreated = [](kv::TKVCustomFlowChart& chart, kv::TKVFcObject& shape) {
    static_cast<TTestJob*>(chart.Job())->DataSets.push_back(shape.DataSet());
  };
  h.MakeDBLink = [](kv::TKVCustomFlowChart& chart, kv::TKVFcConnection&, kv::TKVCustomDataSet* s,
                    kv::TKVCustomDataSet* d) {
    auto link = std::make_unique<TTestLink>();
    link->Source = s;
    link->Dest = d;
    link->StatusHandler = static_cast<TTestJob*>(chart.Job())->Name;
    return link;
  };
  h.WireDBLink = [](kv::TKVFcConnection&, kv::TBaseObject& link, kv::TKVCustomDataSet* s, kv::TKVCustomDataSet* d) {
    static_cast<TTestLink&>(link).Source = s;
    static_cast<TTestLink&>(link).Dest = d;
  };
  h.JobClass = TTestJob::StaticClass();
  h.DBLinkClass = TTestLink::StaticClass();
  return h;
}

}  // namespace fctest
