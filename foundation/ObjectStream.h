// The binary object stream: a 4-byte signature "TPF0" and one object record
//   class name, object name, (property name, value)*, 0x00, child record*, 0x00
// where a child record is an object record named after its property. Values
// start with a one-byte tag (see TValueTag). Names carry no tag: a length
// byte 0-254 and the bytes, or 0xFF, a 4-byte length and the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/BaseObject.h"
#include "foundation/Streams.h"

namespace kv {

enum TValueTag : uint8_t {
  vaNull = 0x00,
  vaList = 0x01,
  vaInt8 = 0x02,
  vaInt16 = 0x03,
  vaInt32 = 0x04,
  vaExtended = 0x05,
  vaString = 0x06,
  vaIdent = 0x07,
  vaFalse = 0x08,
  vaTrue = 0x09,
  vaBinary = 0x0A,
  vaSet = 0x0B,
  vaLString = 0x0C,
  vaNil = 0x0D,
  vaCollection = 0x0E,
  vaSingle = 0x0F,
  vaCurrency = 0x10,
  vaDate = 0x11,
  vaWString = 0x12,
  vaInt64 = 0x13,
};

inline constexpr char kStreamSignature[4] = {'T', 'P', 'F', '0'};
// Object records nest at most this deep; deeper input is rejected.
inline constexpr int kMaxObjectDepth = 256;

// Reader or writer of one top-level object, with a 4096-byte buffer over its stream.
class KVLIB_EXPORT TFiler {
public:
  explicit TFiler(TStream& stream) : stream_(stream) {}
  virtual ~TFiler();
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;
  virtual bool IsReader() const = 0;
  TStream& Stream() { return stream_; }

protected:
  static constexpr int kBufferSize = 4096;
  TStream& stream_;
  uint8_t buf_[kBufferSize];
  int bufPos_ = 0;
  int bufLen_ = 0;
};

class KVLIB_EXPORT TObjWriter : public TFiler {
public:
  explicit TObjWriter(TStream& stream) : TFiler(stream) {}
  ~TObjWriter() override;  // flushes
  bool IsReader() const override { return false; }

  void WriteSignature();
  void WriteObject(TBaseObject* obj, std::string_view name);
  void FlushBuffer();

  // Values
  void Write(const void* data, size_t count);
  void WriteByte(uint8_t b) { Write(&b, 1); }
  void WriteStr(std::string_view name);        // name string, untagged
  void WriteInteger(int64_t value);             // smallest of 0x02..0x04, else 0x13
  void WriteString(std::string_view text);      // 0x06 or 0x0C
  void WriteFloat(long double value);           // 0x05, 10 bytes
  void WriteSingle(float value);                // 0x0F
  void WriteDate(double value);                 // 0x11
  void WriteBoolean(bool value);                // 0x08 / 0x09
  void WriteBinary(const void* data, uint32_t count);  // 0x0A
  void WriteListBegin() { WriteByte(vaList); }
  void WriteListEnd() { WriteByte(vaNull); }

  // The processors of the property and child sections.
  bool WritePropertyData(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                         void* param);
  bool WriteChild(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra, void* param);

private:
  void WriteStrings(const TObject* list);
  int depth_ = 0;
};

class KVLIB_EXPORT TObjReader : public TFiler {
public:
  explicit TObjReader(TStream& stream);
  ~TObjReader() override;  // leaves the stream just after the last byte consumed
  bool IsReader() const override { return true; }

  void ReadSignature();  // EReadError "Invalid stream format" when absent
  // 0x00 gives null; otherwise one object record. The caller owns the result.
  TBaseObject* ReadObject();
  // One object record whose class must derive from `expected` (any when null).
  TBaseObject* ReadInstance(const TClassInfo* expected = nullptr);

  std::string CurrentPropName;

  // Values
  int64_t Position() const { return streamPos_ - (bufLen_ - bufPos_); }
  void SetPosition(int64_t pos);
  int64_t Remaining() const { return size_ - Position(); }
  void Read(void* data, size_t count);
  uint8_t ReadByte();
  uint8_t PeekByte();
  bool EndOfList();                      // next byte is 0x00 (not consumed)
  void ReadListEnd();                    // consumes a 0x00 or fails
  std::string ReadStr();                 // name string
  int64_t ReadInteger();                 // tags 0x02..0x04 (and 0x13 for 64-bit fields)
  int64_t ReadInt64();
  std::string ReadString();              // tags 0x06 / 0x0C
  long double ReadFloat();               // 0x05 (or an integer)
  float ReadSingle();                    // 0x0F (or an integer)
  double ReadDate();                     // 0x11 (or an integer)
  bool ReadBoolean();                    // 0x08 / 0x09
  uint32_t ReadBinaryLength();           // 0x0A and its length
  void SkipValue();                      // skips one tagged value of any kind
  void SkipObjectRecord();               // skips one child record

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
  static void StoreInteger(void* prop, TPropType type, int64_t value);
  static void StoreEnum(void* prop, const void* extra, std::string_view name);
  static void AppendPChar(void* prop, std::string_view text);
  bool propConsumed_ = false;
  bool inChildSection_ = false;
  int depth_ = 0;

private:
  int64_t size_ = 0;
  int64_t streamPos_ = 0;  // stream position at the end of the buffered bytes
};

// Reader of the older layout: no signature, no object names, no child
// sections, untagged values matched through DefinePropertiesOld.
class KVLIB_EXPORT TOldObjReader : public TObjReader {
public:
  using TObjReader::TObjReader;
  TBaseObject* ReadObjectOld();
  bool ReadPropertyOld(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                       void* param);
  // The stored-string-list "List" entry: (string value, old object)* 0x00.
  void ReadStoredListOld(TStoredStrList& list);

private:
  void ReadListOld(TObjSlot& slot, bool withObjects);
};

// ---- Whole streams ------------------------------------------------------------
KVLIB_EXPORT void StreamWriteObject(TStream& stream, const TBaseObject* obj);
KVLIB_EXPORT TBaseObject* StreamReadObject(TStream& stream);
KVLIB_EXPORT TBaseObject* StreamReadObjectOld(TStream& stream);
KVLIB_EXPORT void StreamWriteStr(TStream& stream, std::string_view text);
KVLIB_EXPORT std::string StreamReadStr(TStream& stream);
// A 16-bit count of UTF-16 units (up to the first zero unit), then the units.
KVLIB_EXPORT void StreamWriteAsWideStr(TStream& stream, std::string_view utf8);
KVLIB_EXPORT std::string StreamReadAsAnsiStr(TStream& stream);
// Copies the whole stream from its start into a new (truncated) file and
// restores the stream's position; False on any error.
KVLIB_EXPORT bool StreamToFile(TStream& stream, const std::string& fileName);

// ---- Whole files ----------------------------------------------------------------
// Writes the object stream to `fileName` atomically: a temporary file beside
// it is written and synced, then renamed over the old file, so a failure
// leaves the old file untouched.
KVLIB_EXPORT void WriteObjectToFile(const std::string& fileName, const TBaseObject* obj);
// Reads one object; any failure is raised as Exception("打不开数据结构类文件\r\n\n" + reason).
KVLIB_EXPORT TBaseObject* ReadObjectFromFile(const std::string& fileName);
inline constexpr const char* kCannotOpenObjectFile = "打不开数据结构类文件\r\n\n";

}  // namespace kv
