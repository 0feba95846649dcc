// The writer of the binary object stream (layout: foundation/ObjectStreamFormat.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/BaseObject.h"
#include "foundation/Filer.h"
#include "foundation/ObjectStreamFormat.h"

namespace kv {

class KVLIB_EXPORT TObjWriter : public TFiler {
public:
  explicit TObjWriter(TStream& stream) : TFiler(stream) {}
  ~TObjWriter() override;  // flushes
  bool IsReader() const override { return false; }

  void WriteSignature();
  // One object record named `name`; a null object is a single vaNull.
  void WriteObject(TBaseObject* obj, std::string_view name);
  void FlushBuffer();

  // Values
  void Write(const void* data, size_t count);
  void WriteByte(uint8_t b) { Write(&b, 1); }
  void WriteStr(std::string_view name);                // name string, untagged
  void WriteInteger(int64_t value);                    // smallest of 0x02..0x04, else 0x13
  void WriteString(std::string_view text);             // 0x06 or 0x0C
  void WriteFloat(long double value);                  // 0x05, 10 bytes
  void WriteSingle(float value);                       // 0x0F
  void WriteDate(double value);                        // 0x11
  void WriteBoolean(bool value);                       // 0x08 / 0x09
  void WriteBinary(const void* data, uint32_t count);  // 0x0A
  void WriteListBegin() { WriteByte(vaList); }
  void WriteListEnd() { WriteByte(vaNull); }

  // The processors of the property and child sections.
  bool WritePropertyData(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                         void* param);
  bool WriteChild(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra, void* param);

private:
  void WriteStrings(const TObject* list);
};

}  // namespace kv
