// Whole streams and whole files of the binary object stream.
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/LibMessages.h"
#include "foundation/ObjectStream.h"
#include "foundation/Utf8.h"

namespace kv {

void StreamWriteObject(TStream& stream, const TBaseObject* obj) {
  TObjWriter w(stream);
  w.WriteSignature();
  w.WriteObject(const_cast<TBaseObject*>(obj), "");
  w.FlushBuffer();
}

std::unique_ptr<TBaseObject> StreamReadObject(TStream& stream) {
  TObjReader r(stream);
  r.ReadSignature();
  return r.ReadObject();
}

std::unique_ptr<TBaseObject> StreamReadObjectOld(TStream& stream) {
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

std::string CannotOpenObjectFilePrefix() { return SCanotOpenFile.Text() + "\r\n\n"; }

std::unique_ptr<TBaseObject> ReadObjectFromFile(const std::string& fileName) {
  try {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    return StreamReadObject(f);
  } catch (const std::exception& e) {
    throw Exception(CannotOpenObjectFilePrefix() + e.what());
  }
}

}  // namespace kv
