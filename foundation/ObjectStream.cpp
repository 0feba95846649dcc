#include "foundation/ObjectStream.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Utf8.h"

namespace kv {

static_assert(LDBL_MANT_DIG == 64, "extended values are stored as the 80-bit x87 format");

namespace {

constexpr const char* kInvalidStreamFormat = "Invalid stream format";
constexpr const char* kInvalidPropertyValue = "Invalid property value";
constexpr const char* kStreamReadError = "Stream read error";

template <class T>
T LoadLE(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool IsObjectKind(TPropType t) { return t == ptComponent || t == ptColllection || t == ptObject || t == ptObjects; }

// Splits "a,b,c" and returns the name at `ordinal`, or the last name when past the end.
std::string_view EnumName(const char* names, unsigned ordinal) {
  std::string_view all = names ? names : "";
  std::string_view last;
  unsigned i = 0;
  size_t start = 0;
  for (;;) {
    size_t comma = all.find(',', start);
    last = all.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (i == ordinal || comma == std::string_view::npos) return last;
    start = comma + 1;
    ++i;
  }
}

long double Real48ToExtended(const uint8_t* b) {
  if (b[0] == 0) return 0.0L;
  uint64_t frac = 0;
  for (int i = 5; i >= 1; --i) frac = (frac << 8) | b[i];
  bool negative = (frac >> 39) & 1;
  frac &= (uint64_t{1} << 39) - 1;
  long double m = 1.0L + std::ldexp(static_cast<long double>(frac), -39);
  long double v = std::ldexp(m, static_cast<int>(b[0]) - 129);
  return negative ? -v : v;
}

struct NestingGuard {
  int& depth;
  explicit NestingGuard(int& d) : depth(d) {}
  ~NestingGuard() { --depth; }
};

}  // namespace

TFiler::~TFiler() = default;

// ---- Writer -------------------------------------------------------------------

TObjWriter::~TObjWriter() {
  try {
    FlushBuffer();
  } catch (...) {
    // Callers that care flush explicitly and see the error there.
  }
}

void TObjWriter::FlushBuffer() {
  if (bufPos_ > 0) {
    int n = bufPos_;
    bufPos_ = 0;
    stream_.WriteBuffer(buf_, n);
  }
}

void TObjWriter::Write(const void* data, size_t count) {
  auto* p = static_cast<const uint8_t*>(data);
  if (count > static_cast<size_t>(kBufferSize - bufPos_)) {
    FlushBuffer();
    if (count >= static_cast<size_t>(kBufferSize)) {
      stream_.WriteBuffer(p, static_cast<int64_t>(count));
      return;
    }
  }
  std::memcpy(buf_ + bufPos_, p, count);
  bufPos_ += static_cast<int>(count);
}

void TObjWriter::WriteSignature() { Write(kStreamSignature, 4); }

void TObjWriter::WriteStr(std::string_view name) {
  if (name.size() <= 254) {
    WriteByte(static_cast<uint8_t>(name.size()));
  } else {
    if (name.size() > UINT32_MAX) throw EWriteError("Name too long to store");
    WriteByte(0xFF);
    uint32_t n = static_cast<uint32_t>(name.size());
    Write(&n, 4);
  }
  Write(name.data(), name.size());
}

void TObjWriter::WriteInteger(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    int8_t v = static_cast<int8_t>(value);
    WriteByte(vaInt8);
    Write(&v, 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    int16_t v = static_cast<int16_t>(value);
    WriteByte(vaInt16);
    Write(&v, 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    int32_t v = static_cast<int32_t>(value);
    WriteByte(vaInt32);
    Write(&v, 4);
  } else {
    WriteByte(vaInt64);
    Write(&value, 8);
  }
}

void TObjWriter::WriteString(std::string_view text) {
  if (text.size() <= 255) {
    WriteByte(vaString);
    WriteByte(static_cast<uint8_t>(text.size()));
  } else {
    if (text.size() > UINT32_MAX) throw EWriteError("Text too long to store");
    WriteByte(vaLString);
    uint32_t n = static_cast<uint32_t>(text.size());
    Write(&n, 4);
  }
  Write(text.data(), text.size());
}

void TObjWriter::WriteFloat(long double value) {
  uint8_t bytes[16] = {};
  std::memcpy(bytes, &value, 10);
  WriteByte(vaExtended);
  Write(bytes, 10);
}

void TObjWriter::WriteSingle(float value) {
  WriteByte(vaSingle);
  Write(&value, 4);
}

void TObjWriter::WriteDate(double value) {
  WriteByte(vaDate);
  Write(&value, 8);
}

void TObjWriter::WriteBoolean(bool value) { WriteByte(value ? vaTrue : vaFalse); }

void TObjWriter::WriteBinary(const void* data, uint32_t count) {
  WriteByte(vaBinary);
  Write(&count, 4);
  if (count) Write(data, count);
}

void TObjWriter::WriteStrings(const TObject* list) {
  WriteListBegin();
  TListClassType kind = GetListClassType(list);
  WriteInteger(kind);
  const TPlainStringList* lines = nullptr;
  if (kind == lcStoredStrList)
    lines = &static_cast<const TStoredStrList*>(list)->Inner();
  else if (kind == lcZrStringList || kind == lcStringList)
    lines = static_cast<const TPlainStringList*>(list);
  if (lines)
    for (int i = 0; i < lines->Count(); ++i) WriteString(lines->Strings(i));
  WriteListEnd();
}

void TObjWriter::WriteObject(TBaseObject* obj, std::string_view name) {
  if (!obj) {
    WriteByte(vaNull);
    return;
  }
  if (++depth_ > kMaxObjectDepth) {
    --depth_;
    throw EWriteError("Objects are nested too deeply to store");
  }
  NestingGuard guard(depth_);
  WriteStr(obj->ClassName());
  WriteStr(name);
  obj->BeforeSave(*this);
  obj->DefineProperties(*this);
  WriteByte(vaNull);
  obj->EnumrateProperties(TPropProcessor::Bind<&TObjWriter::WriteChild>(this), paWrite, this);
  WriteByte(vaNull);
  obj->AfterSave(*this);
}

bool TObjWriter::WritePropertyData(void* prop, std::string_view name, TPropType type, bool hasData,
                                   const void* extra, void*) {
  if (!hasData || type <= ptObjects || type >= kPropTypeCount) return true;
  WriteStr(name);
  switch (type) {
    case ptString: WriteString(*static_cast<const std::string*>(prop)); break;
    case ptShortStr: WriteString(std::string_view(*static_cast<const std::string*>(prop)).substr(0, 255)); break;
    case ptPString_:
    case ptSet: WriteBinary(nullptr, 0); break;
    case ptStrings: WriteStrings(static_cast<TObjSlot*>(prop)->Get()); break;
    case ptPChar: {
      const TPChar& b = *static_cast<const TPChar*>(prop);
      WriteString(b ? std::string_view(b.get()) : std::string_view());
      break;
    }
    case ptEnum: WriteString(EnumName(static_cast<const char*>(extra), *static_cast<uint8_t*>(prop))); break;
    case ptInteger:
    case ptLongint: WriteInteger(LoadLE<int32_t>(static_cast<uint8_t*>(prop))); break;
    case ptShortint: WriteInteger(LoadLE<int8_t>(static_cast<uint8_t*>(prop))); break;
    case ptSmallInt: WriteInteger(LoadLE<int16_t>(static_cast<uint8_t*>(prop))); break;
    case ptByte: WriteInteger(LoadLE<uint8_t>(static_cast<uint8_t*>(prop))); break;
    case ptWord: WriteInteger(LoadLE<uint16_t>(static_cast<uint8_t*>(prop))); break;
    case ptCardinal: WriteInteger(LoadLE<uint32_t>(static_cast<uint8_t*>(prop))); break;
    case ptBoolean: WriteBoolean(*static_cast<bool*>(prop)); break;
    case ptByteBool: WriteBoolean(LoadLE<uint8_t>(static_cast<uint8_t*>(prop)) != 0); break;
    case ptWordBool: WriteBoolean(LoadLE<uint16_t>(static_cast<uint8_t*>(prop)) != 0); break;
    case ptLongBool: WriteBoolean(LoadLE<uint32_t>(static_cast<uint8_t*>(prop)) != 0); break;
    case ptChar: WriteString(std::string_view(static_cast<const char*>(prop), 1)); break;
    case ptReal:
    case ptDouble: WriteFloat(*static_cast<double*>(prop)); break;
    case ptSingle: WriteSingle(*static_cast<float*>(prop)); break;
    case ptExtended: WriteFloat(*static_cast<long double*>(prop)); break;
    case ptDate:
    case ptTime:
    case ptDateTime: WriteDate(*static_cast<double*>(prop)); break;
    case ptComp:
    case ptSet8:
    case ptSet16:
    case ptSet32:
    case ptSet64:
    case ptSet128:
    case ptSet256: WriteBinary(prop, PropDataSize[type]); break;
    default: break;
  }
  return true;
}

bool TObjWriter::WriteChild(void* prop, std::string_view name, TPropType type, bool hasData, const void*, void*) {
  if (!hasData || !IsObjectKind(type)) return true;
  TObject* value = static_cast<TObjSlot*>(prop)->Get();
  if (!value) {
    // Declared as present but absent: store nothing rather than an empty record.
    return true;
  }
  if (type == ptObjects) {
    TListContainer container(value);
    WriteObject(&container, name);
    return true;
  }
  auto* obj = ObjCast<TBaseObject>(value);
  if (!obj) throw EWriteError(std::string("Property ") + std::string(name) + " holds an object that cannot be stored");
  WriteObject(obj, name);
  return true;
}

// ---- Reader -------------------------------------------------------------------

TObjReader::TObjReader(TStream& stream) : TFiler(stream) {
  streamPos_ = stream.Position();
  size_ = stream.Size();
}

TObjReader::~TObjReader() {
  try {
    stream_.Seek(Position(), soBeginning);
  } catch (...) {
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
  char sig[4];
  if (Remaining() < 4) Error(kInvalidStreamFormat);
  Read(sig, 4);
  if (std::memcmp(sig, kStreamSignature, 4) != 0) Error(kInvalidStreamFormat);
}

std::string TObjReader::ReadStr() {
  uint64_t n = ReadByte();
  if (n == 0xFF) {
    uint8_t b[4];
    Read(b, 4);
    n = LoadLE<uint32_t>(b);
  }
  CheckLength(n);
  std::string s(n, '\0');
  Read(s.data(), n);
  return s;
}

int64_t TObjReader::ReadInteger() {
  uint8_t b[8];
  switch (ReadByte()) {
    case vaInt8: Read(b, 1); return LoadLE<int8_t>(b);
    case vaInt16: Read(b, 2); return LoadLE<int16_t>(b);
    case vaInt32: Read(b, 4); return LoadLE<int32_t>(b);
    default: InvalidValue();
  }
}

int64_t TObjReader::ReadInt64() {
  if (PeekByte() == vaInt64) {
    ReadByte();
    uint8_t b[8];
    Read(b, 8);
    return LoadLE<int64_t>(b);
  }
  return ReadInteger();
}

std::string TObjReader::ReadString() {
  uint8_t tag = ReadByte();
  uint64_t n;
  uint8_t b[4];
  switch (tag) {
    case vaString: n = ReadByte(); break;
    case vaLString:
    case vaWString:
      Read(b, 4);
      n = LoadLE<uint32_t>(b);
      break;
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
    case vaSingle: {
      ReadByte();
      uint8_t b[4];
      Read(b, 4);
      return LoadLE<float>(b);
    }
    case vaExtended: return static_cast<float>(ReadFloat());
    default: return static_cast<float>(ReadInt64());
  }
}

double TObjReader::ReadDate() {
  if (PeekByte() == vaDate) {
    ReadByte();
    uint8_t b[8];
    Read(b, 8);
    return LoadLE<double>(b);
  }
  return static_cast<double>(ReadInt64());
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
  uint8_t b[4];
  Read(b, 4);
  return LoadLE<uint32_t>(b);
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
  auto len32 = [this]() {
    uint8_t b[4];
    Read(b, 4);
    return static_cast<uint64_t>(LoadLE<uint32_t>(b));
  };
  uint8_t tag = ReadByte();
  switch (tag) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: return;
    case vaList: {
      EnterNesting();
      NestingGuard g(depth_);
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
    case 0x14: skip(len32()); return;
    case vaWString: skip(len32() * 2); return;
    case vaSet:
      while (!ReadStr().empty()) {
      }
      return;
    case vaCollection: {
      EnterNesting();
      NestingGuard g(depth_);
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
  if (b >= 0xF1 && b <= 0xF7) {
    ReadByte();
    if (b & 0x02) ReadInteger();
  }
}

void TObjReader::SkipObjectRecord() {
  EnterNesting();
  NestingGuard g(depth_);
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

TBaseObject* TObjReader::ReadObject() {
  if (PeekByte() == vaNull) {
    ReadByte();
    return nullptr;
  }
  return ReadInstance(nullptr);
}

TBaseObject* TObjReader::ReadInstance(const TClassInfo* expected) {
  EnterNesting();
  NestingGuard g(depth_);
  SkipPrefix();
  std::string className = ReadStr();
  const TClassInfo* cls = FindClass(className);
  if (!cls || !cls->Factory) throw EClassNotFound("Class " + className + " not found");
  if (!cls->InheritsFrom(TBaseObject::StaticClass()) || (expected && !cls->InheritsFrom(expected)))
    Error("Invalid class type " + className + (expected ? std::string(" where ") + expected->Name + " is expected" : ""));
  ReadStr();  // the object's own name is not used at this level
  std::unique_ptr<TBaseObject> obj(static_cast<TBaseObject*>(cls->Create()));
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
  return obj.release();
}

bool TObjReader::MatchProperty(std::string_view name) {
  if (propConsumed_ || !SameTextAscii(name, CurrentPropName)) return false;
  propConsumed_ = true;
  CurrentPropName.clear();
  return true;
}

bool TObjReader::ReadProperty(void* prop, std::string_view name, TPropType type, bool, const void* extra, void*) {
  if (IsObjectKind(type) != inChildSection_) return true;
  if (!MatchProperty(name)) return true;
  bool saved = inChildSection_;
  ReadValue(prop, type, extra);
  inChildSection_ = saved;
  propConsumed_ = true;
  return false;
}

void TObjReader::StoreInteger(void* prop, TPropType type, int64_t v) {
  switch (PropDataSize[type]) {
    case 1: { uint8_t x = static_cast<uint8_t>(v); std::memcpy(prop, &x, 1); break; }
    case 2: { uint16_t x = static_cast<uint16_t>(v); std::memcpy(prop, &x, 2); break; }
    case 4: { uint32_t x = static_cast<uint32_t>(v); std::memcpy(prop, &x, 4); break; }
    default: break;
  }
}

void TObjReader::StoreEnum(void* prop, const void* extra, std::string_view value) {
  std::string_view all = extra ? static_cast<const char*>(extra) : "";
  unsigned ordinal = 0;
  size_t start = 0;
  for (;;) {
    size_t comma = all.find(',', start);
    std::string_view n = all.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (n == value) {
      *static_cast<uint8_t*>(prop) = static_cast<uint8_t>(ordinal);
      return;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
    ++ordinal;
  }
  // A name this version does not know keeps the constructed default.
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
  std::unique_ptr<TObject> list(CreateList(static_cast<int>(kind < 0 || kind > 6 ? 6 : kind)));
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
  if (!slot.Accepts(list.get()))
    Error(std::string("Invalid list type ") + list->ClassName() + " where " + slot.Type()->Name + " is expected");
  slot.Reset(list.release());
}

void TObjReader::ReadValue(void* prop, TPropType type, const void* extra) {
  switch (type) {
    case ptComponent:
    case ptColllection:
    case ptObject: {
      auto& slot = *static_cast<TObjSlot*>(prop);
      std::unique_ptr<TBaseObject> obj(ReadInstance(slot.Type()));
      slot.Reset(obj.release());
      break;
    }
    case ptObjects: {
      auto& slot = *static_cast<TObjSlot*>(prop);
      std::unique_ptr<TBaseObject> c(ReadInstance(TListContainer::StaticClass()));
      std::unique_ptr<TObject> list(static_cast<TListContainer*>(c.get())->TakeList());
      if (!slot.Accepts(list.get()))
        Error(std::string("Invalid list type ") + list->ClassName() + " where " + slot.Type()->Name + " is expected");
      slot.Reset(list.release());
      break;
    }
    case ptStrings: ReadStrings(*static_cast<TObjSlot*>(prop)); break;
    case ptString: *static_cast<std::string*>(prop) = ReadString(); break;
    case ptShortStr: {
      std::string s = ReadString();
      if (s.size() > 255) s.resize(255);
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
    case ptComp:
    case ptSet8:
    case ptSet16:
    case ptSet32:
    case ptSet64:
    case ptSet128:
    case ptSet256:
    case ptPString_:
    case ptSet: {
      uint32_t n = ReadBinaryLength();
      // Never more than the field holds: a longer value is a broken file.
      if (n > PropDataSize[type] || (n > 0 && !prop)) Error("Invalid property value: binary value longer than its field");
      if (n) Read(prop, n);
      break;
    }
    default: InvalidValue();
  }
}

// ---- Older layout -------------------------------------------------------------

TBaseObject* TOldObjReader::ReadObjectOld() {
  if (PeekByte() == vaNull) {
    ReadByte();
    return nullptr;
  }
  EnterNesting();
  NestingGuard g(depth_);
  std::string className = ReadStr();
  const TClassInfo* cls = FindClass(className);
  if (!cls || !cls->Factory) throw EClassNotFound("Class " + className + " not found");
  if (!cls->InheritsFrom(TBaseObject::StaticClass())) Error("Invalid class type " + className);
  std::unique_ptr<TBaseObject> obj(static_cast<TBaseObject*>(cls->Create()));
  obj->BeforeLoad(*this);
  while (!EndOfList()) {
    CurrentPropName = ReadStr();
    propConsumed_ = false;
    std::string name = CurrentPropName;
    obj->DefinePropertiesOld(*this);
    // Old values carry no tag, so an unknown one cannot be stepped over.
    if (!propConsumed_) Error("Unknown property " + name + " in " + className);
  }
  ReadByte();
  CurrentPropName.clear();
  obj->AfterLoad(*this);
  return obj.release();
}

void TOldObjReader::ReadStoredListOld(TStoredStrList& list) {
  list.Clear();
  while (!EndOfList()) {
    std::string key = ReadString();
    std::unique_ptr<TBaseObject> obj(ReadObjectOld());
    list.AddObject(key, obj.get());
    obj.release();
  }
  ReadByte();
}

void TOldObjReader::ReadListOld(TObjSlot& slot, bool withObjects) {
  int64_t kind = ReadInteger();
  if (ReadByte() != vaList) InvalidValue();
  std::unique_ptr<TObject> list(CreateList(static_cast<int>(kind < 0 || kind > 6 ? 6 : kind)));
  if (!list) InvalidValue();
  TPlainStringList* lines = nullptr;
  if (auto* s = ObjCast<TStoredStrList>(list.get()))
    lines = &s->Inner();
  else
    lines = ObjCast<TPlainStringList>(list.get());
  auto* items = ObjCast<TList>(list.get());
  if (withObjects) {
    if (lines) lines->SetOwnsObjects(true);
    if (items) items->OwnsObjects = true;
  }
  while (!EndOfList()) {
    if (lines) {
      std::string key = ReadString();
      std::unique_ptr<TBaseObject> obj(withObjects ? ReadObjectOld() : nullptr);
      lines->AddObject(key, obj.get());
      obj.release();
    } else {
      std::unique_ptr<TBaseObject> obj(ReadObjectOld());
      items->Add(obj.get());
      obj.release();
    }
  }
  ReadByte();
  if (!slot.Accepts(list.get()))
    Error(std::string("Invalid list type ") + list->ClassName() + " where " + slot.Type()->Name + " is expected");
  slot.Reset(list.release());
}

bool TOldObjReader::ReadPropertyOld(void* prop, std::string_view name, TPropType type, bool, const void* extra, void*) {
  if (!MatchProperty(name)) return true;
  switch (type) {
    case ptComponent:
    case ptColllection:
    case ptObject: {
      auto& slot = *static_cast<TObjSlot*>(prop);
      std::unique_ptr<TBaseObject> obj(ReadObjectOld());
      if (!slot.Accepts(obj.get())) Error(std::string("Invalid class type ") + obj->ClassName());
      slot.Reset(obj.release());
      break;
    }
    case ptObjects: ReadListOld(*static_cast<TObjSlot*>(prop), true); break;
    case ptStrings: ReadListOld(*static_cast<TObjSlot*>(prop), false); break;
    case ptString: *static_cast<std::string*>(prop) = ReadStr(); break;
    case ptShortStr: {
      std::string s = ReadStr();
      if (s.size() > 255) s.resize(255);
      *static_cast<std::string*>(prop) = std::move(s);
      break;
    }
    case ptPChar: {
      int64_t n = ReadInteger();
      if (n < 0) InvalidValue();
      CheckLength(static_cast<uint64_t>(n));
      std::string s(static_cast<size_t>(n), '\0');
      Read(s.data(), s.size());
      AppendPChar(prop, s);
      break;
    }
    case ptEnum: StoreEnum(prop, extra, ReadStr()); break;
    case ptReal: {
      // The old six-byte real.
      uint8_t b[6];
      Read(b, 6);
      *static_cast<double*>(prop) = static_cast<double>(Real48ToExtended(b));
      break;
    }
    case ptBoolean: *static_cast<bool*>(prop) = ReadByte() != 0; break;
    case ptExtended: {
      uint8_t b[16] = {};
      Read(b, 10);
      std::memcpy(prop, b, 10);
      break;
    }
    default: {
      uint8_t size = PropDataSize[type < kPropTypeCount ? type : 0];
      if (size && prop) Read(prop, size);
      break;
    }
  }
  return false;
}

// ---- Whole streams --------------------------------------------------------------

void StreamWriteObject(TStream& stream, const TBaseObject* obj) {
  TObjWriter w(stream);
  w.WriteSignature();
  w.WriteObject(const_cast<TBaseObject*>(obj), "");
  w.FlushBuffer();
}

TBaseObject* StreamReadObject(TStream& stream) {
  TObjReader r(stream);
  r.ReadSignature();
  return r.ReadObject();
}

TBaseObject* StreamReadObjectOld(TStream& stream) {
  TOldObjReader r(stream);
  return r.ReadObjectOld();
}

void StreamWriteStr(TStream& stream, std::string_view text) {
  TObjWriter w(stream);
  w.WriteStr(text);
  w.FlushBuffer();
}

std::string StreamReadStr(TStream& stream) {
  TObjReader r(stream);
  return r.ReadStr();
}

void StreamWriteAsWideStr(TStream& stream, std::string_view utf8) {
  std::u16string w = Utf8ToUtf16(utf8);
  size_t n = w.find(u'\0');
  if (n == std::u16string::npos) n = w.size();
  if (n > 0xFFFF) throw EWriteError("Text too long for a 16-bit character count");
  uint16_t count = static_cast<uint16_t>(n);
  stream.WriteBuffer(&count, 2);
  stream.WriteBuffer(w.data(), static_cast<int64_t>(n * 2));
}

std::string StreamReadAsAnsiStr(TStream& stream) {
  uint16_t count;
  stream.ReadBuffer(&count, 2);
  std::u16string w(count, u'\0');
  stream.ReadBuffer(w.data(), count * 2);
  return Utf16ToUtf8(w);
}

bool StreamToFile(TStream& stream, const std::string& fileName) {
  int64_t pos = 0;
  try {
    pos = stream.Position();
    TFileStream f(fileName, fmCreate);
    stream.SetPosition(0);
    int64_t size = stream.Size();
    if (size > 0) f.CopyFrom(stream, size);
    stream.SetPosition(pos);
    return true;
  } catch (...) {
    try {
      stream.SetPosition(pos);
    } catch (...) {
    }
    return false;
  }
}

void WriteObjectToFile(const std::string& fileName, const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  AtomicWriteFile(fileName, std::string_view(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())));
}

TBaseObject* ReadObjectFromFile(const std::string& fileName) {
  try {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    return StreamReadObject(f);
  } catch (const std::exception& e) {
    throw Exception(std::string(kCannotOpenObjectFile) + e.what());
  }
}

// ---- Stream class extras ----------------------------------------------------------

void TMemoryStream::WriteStr(const std::string& text) { StreamWriteStr(*this, text); }
std::string TMemoryStream::ReadStr() { return StreamReadStr(*this); }
void TMemoryStream::WriteObject(const TBaseObject* obj) { StreamWriteObject(*this, obj); }
TBaseObject* TMemoryStream::ReadObject() { return StreamReadObject(*this); }
bool TMemoryStream::CopyToFile(const std::string& fileName) { return StreamToFile(*this, fileName); }

void TFileStream::WriteStr(const std::string& text) { StreamWriteStr(*this, text); }
std::string TFileStream::ReadStr() { return StreamReadStr(*this); }
void TFileStream::WriteObject(const TBaseObject* obj) { StreamWriteObject(*this, obj); }
TBaseObject* TFileStream::ReadObject() { return StreamReadObject(*this); }
TBaseObject* TFileStream::ReadObjectOld() { return StreamReadObjectOld(*this); }
bool TFileStream::CopyToFile(const std::string& fileName) { return StreamToFile(*this, fileName); }

}  // namespace kv
