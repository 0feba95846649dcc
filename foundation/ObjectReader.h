// The reader of the binary object stream (layout: foundation/ObjectStreamFormat.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/BaseObject.h"
#include "foundation/Filer.h"
#include "foundation/ObjectStreamFormat.h"

namespace kv {

class KVLIB_EXPORT TObjReader : public TFiler {
public:
  explicit TObjReader(TStream& stream);
  ~TObjReader() override;  // leaves the stream just after the last byte consumed
  bool IsReader() const override { return true; }

  void ReadSignature();  // EReadError "Invalid stream format" when absent
  // 0x00 gives null; otherwise one object record.
  std::unique_ptr<TBaseObject> ReadObject();
  // One object record whose class must derive from `expected` (any when null).
  std::unique_ptr<TBaseObject> ReadInstance(const TClassInfo* expected = nullptr);

  std::string CurrentPropName;

  // Values
  int64_t Position() const { return streamPos_ - (bufLen_ - bufPos_); }
  void SetPosition(int64_t pos);
  int64_t Remaining() const { return size_ - Position(); }
  void Read(void* data, size_t count);
  uint8_t ReadByte();
  uint8_t PeekByte();
  bool EndOfList();       // next byte is 0x00 (not consumed)
  void ReadListEnd();     // consumes a 0x00 or fails
  std::string ReadStr();  // name string
  int64_t ReadInteger();  // tags 0x02..0x04 (and 0x13 for 64-bit fields)
  int64_t ReadInt64();
  std::string ReadString();     // tags 0x06 / 0x0C
  long double ReadFloat();      // 0x05 (or an integer)
  float ReadSingle();           // 0x0F (or an integer)
  double ReadDate();            // 0x11 (or an integer)
  bool ReadBoolean();           // 0x08 / 0x09
  uint32_t ReadBinaryLength();  // 0x0A and its length
  void SkipValue();             // skips one tagged value of any kind
  void SkipObjectRecord();      // skips one child record

  bool ReadProperty(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra, void* param);
  // True once for the property whose name is CurrentPropName (ignoring
  // case): marks it consumed, so the caller reads its value.
  bool MatchProperty(std::string_view name);

  [[noreturn]] static void Error(const std::string& message);
  [[noreturn]] static void InvalidValue();

private:
  void Fill();
  void ReadValue(void* prop, TPropType type, const void* extra);
  void ReadStrings(TObjSlot& slot);
  void SkipPrefix();

protected:
  void CheckLength(uint64_t count);
  void EnterNesting();
  void LeaveNesting() { --depth_; }
  // Puts a list read from the stream into its property, or fails with
  // "Invalid list type" when the property holds another kind of list.
  static void StoreList(TObjSlot& slot, std::unique_ptr<TObject> list);
  static void StoreInteger(void* prop, TPropType type, int64_t value);
  static void StoreEnum(void* prop, const void* extra, std::string_view name);
  static void AppendPChar(void* prop, std::string_view text);
  bool propConsumed_ = false;
  bool inChildSection_ = false;

private:
  int64_t size_ = 0;
  int64_t streamPos_ = 0;  // stream position at the end of the buffered bytes
};

}  // namespace kv
