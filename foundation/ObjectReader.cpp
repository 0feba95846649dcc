#include "foundation/ObjectReader.h"

#include <algorithm>
#include <cstring>

#include "foundation/Exceptions.h"
#include "foundation/Utf8.h"

namespace kv {

namespace {

constexpr const char* kInvalidStreamFormat = "Invalid stream format";
constexpr const char* kInvalidPropertyValue = "Invalid property value";
constexpr const char* kStreamReadError = "Stream read error";

// The next sizeof(T) bytes of the stream as a little-endian T.
template <class T>
T ReadLE(TObjReader& r) {
  uint8_t b[sizeof(T)];
  r.Read(b, sizeof b);
  return LoadLE<T>(b);
}

}  // namespace

TFiler::~TFiler() = default;

TObjReader::TObjReader(TStream& stream) : TFiler(stream) {
  streamPos_ = stream.Position();
  size_ = stream.Size();
}

TObjReader::~TObjReader() {
  try {
    stream_.Seek(Position(), soBeginning);
  } catch (...) {
    // A destructor must not throw, and the object or error the caller already
    // has is worth more than the stream position: it stays where it was.
  }
}

void TObjReader::Error(const std::string& message) { throw EReadError(message); }
void TObjReader::InvalidValue() { throw EReadError(kInvalidPropertyValue); }

void TObjReader::Fill() {
  int64_t n = stream_.Read(buf_, kBufferSize);
  if (n <= 0) Error(kStreamReadError);
  bufLen_ = static_cast<int>(n);
  bufPos_ = 0;
  streamPos_ += n;
}

void TObjReader::SetPosition(int64_t pos) {
  int64_t bufStart = streamPos_ - bufLen_;
  if (pos >= bufStart && pos <= streamPos_) {
    bufPos_ = static_cast<int>(pos - bufStart);
    return;
  }
  stream_.Seek(pos, soBeginning);
  streamPos_ = pos;
  bufLen_ = bufPos_ = 0;
}

void TObjReader::CheckLength(uint64_t count) {
  int64_t rest = Remaining();
  if (rest < 0 || count > static_cast<uint64_t>(rest)) Error(kStreamReadError);
}

void TObjReader::Read(void* data, size_t count) {
  auto* p = static_cast<uint8_t*>(data);
  while (count > 0) {
    if (bufPos_ == bufLen_) {
      if (count >= static_cast<size_t>(kBufferSize)) {
        stream_.ReadBuffer(p, static_cast<int64_t>(count));
        streamPos_ += static_cast<int64_t>(count);
        bufLen_ = bufPos_ = 0;
        return;
      }
      Fill();
    }
    size_t n = std::min(count, static_cast<size_t>(bufLen_ - bufPos_));
    std::memcpy(p, buf_ + bufPos_, n);
    bufPos_ += static_cast<int>(n);
    p += n;
    count -= n;
  }
}

uint8_t TObjReader::ReadByte() {
  if (bufPos_ == bufLen_) Fill();
  return buf_[bufPos_++];
}

uint8_t TObjReader::PeekByte() {
  if (bufPos_ == bufLen_) Fill();
  return buf_[bufPos_];
}

bool TObjReader::EndOfList() { return PeekByte() == vaNull; }

void TObjReader::ReadListEnd() {
  if (ReadByte() != vaNull) InvalidValue();
}

void TObjReader::ReadSignature() {
  char sig[sizeof kStreamSignature];
  if (Remaining() < static_cast<int64_t>(sizeof sig)) Error(kInvalidStreamFormat);
  Read(sig, sizeof sig);
  if (std::memcmp(sig, kStreamSignature, sizeof sig) != 0) Error(kInvalidStreamFormat);
}

std::string TObjReader::ReadStr() {
  uint64_t n = ReadByte();
  if (n == kLongNameMarker) n = ReadLE<uint32_t>(*this);
  CheckLength(n);
  std::string s(n, '\0');
  Read(s.data(), n);
  return s;
}

int64_t TObjReader::ReadInteger() {
  switch (ReadByte()) {
    case vaInt8: return ReadLE<int8_t>(*this);
    case vaInt16: return ReadLE<int16_t>(*this);
    case vaInt32: return ReadLE<int32_t>(*this);
    default: InvalidValue();
  }
}

int64_t TObjReader::ReadInt64() {
  if (PeekByte() != vaInt64) return ReadInteger();
  ReadByte();
  return ReadLE<int64_t>(*this);
}

std::string TObjReader::ReadString() {
  uint8_t tag = ReadByte();
  uint64_t n;
  switch (tag) {
    case vaString: n = ReadByte(); break;
    case vaLString:
    case vaWString: n = ReadLE<uint32_t>(*this); break;
    default: InvalidValue();
  }
  if (tag == vaWString) {
    CheckLength(n * 2);
    std::u16string w(n, u'\0');
    Read(w.data(), n * 2);
    return Utf16ToUtf8(w);
  }
  CheckLength(n);
  std::string s(n, '\0');
  Read(s.data(), n);
  return s;
}

long double TObjReader::ReadFloat() {
  uint8_t b[16] = {};
  switch (PeekByte()) {
    case vaExtended: {
      ReadByte();
      Read(b, 10);
      long double v = 0;
      std::memcpy(&v, b, 10);
      return v;
    }
    case vaSingle: return ReadSingle();
    default: return static_cast<long double>(ReadInt64());
  }
}

float TObjReader::ReadSingle() {
  switch (PeekByte()) {
    case vaSingle: ReadByte(); return ReadLE<float>(*this);
    case vaExtended: return static_cast<float>(ReadFloat());
    default: return static_cast<float>(ReadInt64());
  }
}

double TObjReader::ReadDate() {
  if (PeekByte() != vaDate) return static_cast<double>(ReadInt64());
  ReadByte();
  return ReadLE<double>(*this);
}

bool TObjReader::ReadBoolean() {
  switch (ReadByte()) {
    case vaFalse: return false;
    case vaTrue: return true;
    default: InvalidValue();
  }
}

uint32_t TObjReader::ReadBinaryLength() {
  if (ReadByte() != vaBinary) InvalidValue();
  return ReadLE<uint32_t>(*this);
}

void TObjReader::EnterNesting() {
  if (++depth_ > kMaxObjectDepth) {
    --depth_;
    Error("Objects are nested too deeply in the stream");
  }
}

void TObjReader::SkipValue() {
  auto skip = [this](uint64_t n) {
    CheckLength(n);
    SetPosition(Position() + static_cast<int64_t>(n));
  };
  auto len32 = [this]() { return static_cast<uint64_t>(ReadLE<uint32_t>(*this)); };
  uint8_t tag = ReadByte();
  switch (tag) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: return;
    case vaList: {
      EnterNesting();
      TNestingGuard g(depth_);
      while (!EndOfList()) SkipValue();
      ReadByte();
      return;
    }
    case vaInt8: skip(1); return;
    case vaInt16: skip(2); return;
    case vaInt32:
    case vaSingle: skip(4); return;
    case vaExtended: skip(10); return;
    case vaCurrency:
    case vaDate:
    case vaInt64: skip(8); return;
    case vaString:
    case vaIdent: skip(ReadByte()); return;
    case vaBinary:
    case vaLString:
    case vaUtf8String: skip(len32()); return;
    case vaWString: skip(len32() * 2); return;
    case vaSet:
      while (!ReadStr().empty()) {
      }
      return;
    case vaCollection: {
      EnterNesting();
      TNestingGuard g(depth_);
      while (!EndOfList()) {
        uint8_t b = PeekByte();
        if (b == vaInt8 || b == vaInt16 || b == vaInt32) ReadInteger();
        if (ReadByte() != vaList) InvalidValue();
        while (!EndOfList()) {
          ReadStr();
          SkipValue();
        }
        ReadByte();
      }
      ReadByte();
      return;
    }
    default: InvalidValue();
  }
}

void TObjReader::SkipPrefix() {
  // Records made from the text form may carry the "inherited"/index prefix.
  uint8_t b = PeekByte();
  if (b >= kRecordPrefixFirst && b <= kRecordPrefixLast) {
    ReadByte();
    if (b & kRecordPrefixHasIndex) ReadInteger();
  }
}

void TObjReader::SkipObjectRecord() {
  EnterNesting();
  TNestingGuard g(depth_);
  SkipPrefix();
  ReadStr();
  ReadStr();
  while (!EndOfList()) {
    ReadStr();
    SkipValue();
  }
  ReadByte();
  while (!EndOfList()) SkipObjectRecord();
  ReadByte();
}

std::unique_ptr<TBaseObject> TObjReader::ReadObject() {
  if (PeekByte() == vaNull) {
    ReadByte();
    return nullptr;
  }
  return ReadInstance(nullptr);
}

std::unique_ptr<TBaseObject> TObjReader::ReadInstance(const TClassInfo* expected) {
  EnterNesting();
  TNestingGuard g(depth_);
  SkipPrefix();
  std::string className = ReadStr();
  const TClassInfo* cls = FindClass(className);
  if (!cls || !cls->Factory) throw EClassNotFound("Class " + className + " not found");
  if (!cls->InheritsFrom(TBaseObject::StaticClass()) || (expected && !cls->InheritsFrom(expected)))
    Error("Invalid class type " + className +
          (expected ? std::string(" where ") + expected->Name + " is expected" : ""));
  ReadStr();  // the object's own name is not used at this level
  std::unique_ptr<TObject> made = cls->Create();
  std::unique_ptr<TBaseObject> obj = OwnedCast<TBaseObject>(made);
  obj->BeforeLoad(*this);

  bool savedSection = inChildSection_;
  inChildSection_ = false;
  while (!EndOfList()) {
    CurrentPropName = ReadStr();
    propConsumed_ = false;
    obj->DefineProperties(*this);
    // A property this class does not declare (a newer file): skip its value.
    if (!propConsumed_) SkipValue();
  }
  ReadByte();

  inChildSection_ = true;
  while (!EndOfList()) {
    int64_t pos = Position();
    SkipPrefix();
    ReadStr();
    CurrentPropName = ReadStr();
    SetPosition(pos);
    propConsumed_ = false;
    obj->EnumrateProperties(TPropProcessor::Bind<&TObjReader::ReadProperty>(this), paRead, this);
    if (!propConsumed_) SkipObjectRecord();
  }
  ReadByte();
  inChildSection_ = savedSection;
  CurrentPropName.clear();
  obj->AfterLoad(*this);
  return obj;
}

bool TObjReader::MatchProperty(std::string_view name) {
  if (propConsumed_ || !SameTextAscii(name, CurrentPropName)) return false;
  propConsumed_ = true;
  CurrentPropName.clear();
  return true;
}

bool TObjReader::ReadProperty(void* prop, std::string_view name, TPropType type, bool, const void* extra, void*) {
  if (IsStoredAsChild(type) != inChildSection_) return true;
  if (!MatchProperty(name)) return true;
  bool saved = inChildSection_;
  ReadValue(prop, type, extra);
  inChildSection_ = saved;
  propConsumed_ = true;
  return false;
}

void TObjReader::StoreInteger(void* prop, TPropType type, int64_t v) {
  switch (PropDataSize[type]) {
    case 1: {
      uint8_t x = static_cast<uint8_t>(v);
      std::memcpy(prop, &x, 1);
      break;
    }
    case 2: {
      uint16_t x = static_cast<uint16_t>(v);
      std::memcpy(prop, &x, 2);
      break;
    }
    case 4: {
      uint32_t x = static_cast<uint32_t>(v);
      std::memcpy(prop, &x, 4);
      break;
    }
    default: break;
  }
}

void TObjReader::StoreEnum(void* prop, const void* extra, std::string_view value) {
  std::vector<std::string_view> names = SplitEnumNames(static_cast<const char*>(extra));
  auto it = std::find(names.begin(), names.end(), value);
  // A name this version does not know keeps the constructed default.
  if (it != names.end()) *static_cast<uint8_t*>(prop) = static_cast<uint8_t>(it - names.begin());
}

void TObjReader::StoreList(TObjSlot& slot, std::unique_ptr<TObject> list) {
  if (!slot.Accepts(list.get()))
    Error(std::string("Invalid list type ") + list->ClassName() + " where " + slot.Type()->Name + " is expected");
  slot.Take(std::move(list));
}

void TObjReader::AppendPChar(void* prop, std::string_view text) {
  TPChar& buf = *static_cast<TPChar*>(prop);
  size_t old = buf ? std::strlen(buf.get()) : 0;
  TPChar fresh(new char[old + text.size() + 1]);
  if (old) std::memcpy(fresh.get(), buf.get(), old);
  if (!text.empty()) std::memcpy(fresh.get() + old, text.data(), text.size());
  fresh[old + text.size()] = '\0';
  buf = std::move(fresh);
}

void TObjReader::ReadStrings(TObjSlot& slot) {
  if (ReadByte() != vaList) InvalidValue();
  int64_t kind = ReadInteger();
  std::unique_ptr<TObject> list = CreateList(kind);
  TPlainStringList* lines = nullptr;
  if (auto* s = ObjCast<TStoredStrList>(list.get()))
    lines = &s->Inner();
  else
    lines = ObjCast<TPlainStringList>(list.get());
  while (!EndOfList()) {
    std::string s = ReadString();
    if (lines) lines->Add(s);
  }
  ReadByte();
  StoreList(slot, std::move(list));
}

void TObjReader::ReadValue(void* prop, TPropType type, const void* extra) {
  if (IsStoredAsBinary(type)) {
    uint32_t n = ReadBinaryLength();
    // Never more than the field holds: a longer value is a broken file.
    if (n > PropDataSize[type] || (n > 0 && !prop)) Error("Invalid property value: binary value longer than its field");
    if (n) Read(prop, n);
    return;
  }
  switch (type) {
    case ptComponent:
    case ptColllection:
    case ptObject: {
      auto& slot = *static_cast<TObjSlot*>(prop);
      slot.Take(ReadInstance(slot.Type()));
      break;
    }
    case ptObjects: {
      std::unique_ptr<TBaseObject> c = ReadInstance(TListContainer::StaticClass());
      StoreList(*static_cast<TObjSlot*>(prop), static_cast<TListContainer*>(c.get())->TakeList());
      break;
    }
    case ptStrings: ReadStrings(*static_cast<TObjSlot*>(prop)); break;
    case ptString: *static_cast<std::string*>(prop) = ReadString(); break;
    case ptShortStr: {
      std::string s = ReadString();
      if (s.size() > kMaxShortStringLength) s.resize(kMaxShortStringLength);
      *static_cast<std::string*>(prop) = std::move(s);
      break;
    }
    case ptPChar: AppendPChar(prop, ReadString()); break;
    case ptEnum: StoreEnum(prop, extra, ReadString()); break;
    case ptInteger:
    case ptLongint:
    case ptShortint:
    case ptSmallInt:
    case ptByte:
    case ptWord:
    case ptCardinal: StoreInteger(prop, type, ReadInt64()); break;
    case ptBoolean: *static_cast<bool*>(prop) = ReadBoolean(); break;
    case ptByteBool:
    case ptWordBool:
    case ptLongBool: StoreInteger(prop, type, ReadBoolean() ? -1 : 0); break;
    case ptChar: {
      std::string s = ReadString();
      if (s.size() != 1) InvalidValue();
      *static_cast<char*>(prop) = s[0];
      break;
    }
    case ptReal:
    case ptDouble: *static_cast<double*>(prop) = static_cast<double>(ReadFloat()); break;
    case ptSingle: *static_cast<float*>(prop) = ReadSingle(); break;
    case ptExtended: *static_cast<long double*>(prop) = ReadFloat(); break;
    case ptDate:
    case ptTime:
    case ptDateTime: *static_cast<double*>(prop) = ReadDate(); break;
    default: InvalidValue();
  }
}

}  // namespace kv
