// The binary object stream: its layout (ObjectStreamFormat.h), its writer
// (ObjectWriter.h), its readers (ObjectReader.h, OldObjectReader.h), and the
// operations on whole streams and whole files declared here.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "foundation/BaseObject.h"
#include "foundation/ObjectReader.h"
#include "foundation/ObjectStreamFormat.h"
#include "foundation/ObjectWriter.h"
#include "foundation/OldObjectReader.h"
#include "foundation/Streams.h"

namespace kv {

// ---- Whole streams ------------------------------------------------------------
KVLIB_EXPORT void StreamWriteObject(TStream& stream, const TBaseObject* obj);
// The signature and one object (null for a stored null object).
KVLIB_EXPORT std::unique_ptr<TBaseObject> StreamReadObject(TStream& stream);
KVLIB_EXPORT std::unique_ptr<TBaseObject> StreamReadObjectOld(TStream& stream);
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
// The start of every error message about an object file that cannot be read:
// the text of SCanotOpenFile, then "\r\n\n".
KVLIB_EXPORT std::string CannotOpenObjectFilePrefix();
// Reads one object; any failure is raised as Exception(CannotOpenObjectFilePrefix() + reason).
KVLIB_EXPORT std::unique_ptr<TBaseObject> ReadObjectFromFile(const std::string& fileName);

}  // namespace kv
