#include "foundation/ObjectWriter.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <string>

#include "foundation/Exceptions.h"

namespace kv {

static_assert(LDBL_MANT_DIG == 64, "extended values are stored as the 80-bit x87 format");

namespace {

// The name at `ordinal` in the property's name list, or the last name past its end.
std::string_view EnumName(const char* names, unsigned ordinal) {
  std::vector<std::string_view> all = SplitEnumNames(names);
  return all[std::min<size_t>(ordinal, all.size() - 1)];
}

// The long form of a length: `mark`, then the length in 4 bytes.
void WriteLongLength(TObjWriter& w, uint8_t mark, size_t length, const char* what) {
  if (length > UINT32_MAX) throw EWriteError(std::string(what) + " too long to store");
  w.WriteByte(mark);
  uint32_t n = static_cast<uint32_t>(length);
  w.Write(&n, 4);
}

}  // namespace

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

void TObjWriter::WriteSignature() { Write(kStreamSignature, sizeof kStreamSignature); }

void TObjWriter::WriteStr(std::string_view name) {
  if (name.size() <= kMaxShortNameLength)
    WriteByte(static_cast<uint8_t>(name.size()));
  else
    WriteLongLength(*this, kLongNameMarker, name.size(), "Name");
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
  if (text.size() <= kMaxShortStringLength) {
    WriteByte(vaString);
    WriteByte(static_cast<uint8_t>(text.size()));
  } else {
    WriteLongLength(*this, vaLString, text.size(), "Text");
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
  TNestingGuard guard(depth_);
  WriteStr(obj->ClassName());
  WriteStr(name);
  obj->BeforeSave(*this);
  obj->DefineProperties(*this);
  WriteByte(vaNull);
  obj->EnumrateProperties(TPropProcessor::Bind<&TObjWriter::WriteChild>(this), paWrite, this);
  WriteByte(vaNull);
  obj->AfterSave(*this);
}

bool TObjWriter::WritePropertyData(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                                   void*) {
  if (!hasData || type <= ptObjects || type >= kPropTypeCount) return true;
  WriteStr(name);
  if (IsStoredAsBinary(type)) {
    WriteBinary(prop, PropDataSize[type]);
    return true;
  }
  switch (type) {
    case ptString: WriteString(*static_cast<const std::string*>(prop)); break;
    case ptShortStr:
      WriteString(std::string_view(*static_cast<const std::string*>(prop)).substr(0, kMaxShortStringLength));
      break;
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
    default: break;
  }
  return true;
}

bool TObjWriter::WriteChild(void* prop, std::string_view name, TPropType type, bool hasData, const void*, void*) {
  if (!hasData || !IsStoredAsChild(type)) return true;
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

}  // namespace kv
