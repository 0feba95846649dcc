// Stand-ins for the jobs layer's DB link and job, registered for the
// object stream, and hooks that make and wire them as the jobs layer will.
#pragma once

#include <string>
#include <vector>

#include "flowchart/FlowChart.h"

namespace fctest {

class TTestLink : public kv::TBaseObject {
  KV_CLASS(TTestLink, kv::TBaseObject)
public:
  void EnumrateProperties(const kv::TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<kv::ptString>(proc, param, Name, "Name", !Name.empty());
  }
  void Assign(const kv::TBaseObject* source) override {
    if (auto* s = kv::ObjCast<TTestLink>(source)) Name = s->Name;
  }
  std::string Name;
  kv::TKVCustomDataSet* Source = nullptr;  // not owned
  kv::TKVCustomDataSet* Dest = nullptr;    // not owned
  std::string StatusHandler;               // which job's handler it was bound to
};

class TTestJob : public kv::TBaseObject {
  KV_CLASS(TTestJob, kv::TBaseObject)
public:
  void EnumrateProperties(const kv::TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<kv::ptString>(proc, param, Name, "Name", !Name.empty());
  }
  void Assign(const kv::TBaseObject* source) override {
    if (auto* s = kv::ObjCast<TTestJob>(source)) Name = s->Name;
  }
  std::string Name;
  std::vector<kv::TKVCustomDataSet*> DataSets;  // not owned
};

// Hooks that make TTestJob and TTestLink objects.
kv::TKVFcJobHooks TestHooks();

}  // namespace fctest
