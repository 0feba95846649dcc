// The reader of the older object-stream layout: no signature, no object
// names, no child sections, untagged values matched through
// DefinePropertiesOld. Nothing writes this layout any more.
#pragma once

#include <memory>
#include <string_view>

#include "foundation/ObjectReader.h"

namespace kv {

class KVLIB_EXPORT TOldObjReader : public TObjReader {
public:
  using TObjReader::TObjReader;
  // 0x00 gives null; otherwise one object record.
  std::unique_ptr<TBaseObject> ReadObjectOld();
  bool ReadPropertyOld(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra, void* param);
  // The stored-string-list "List" entry: (string value, old object)* 0x00.
  void ReadStoredListOld(TStoredStrList& list);

private:
  void ReadListOld(TObjSlot& slot, bool withObjects);
};

}  // namespace kv
