// The connection parameters of a database dataset (TDataBaseInfo) and the
// small enumerations the database dataset kinds share: how a connection is
// made, how a destination is written, and what a dataset is used for.
//
// The password is stored as entered: stored jobs rely on it. It is never
// part of a message or an error: nothing here formats it.
#pragma once

#include <cstdint>
#include <string>

#include "KVCore_export.h"
#include "foundation/BaseObject.h"

namespace kv {

// How a database dataset reaches its database (stored as one byte).
enum TConnectType : uint8_t { ctDBParams = 0, ctAlias = 1, ctOracle = 2 };

// How rows are written into a destination (stored as one byte).
enum TImportMode : uint8_t { imAppend = 0, imUpdate = 1, imAppendUpdate = 2, imDelete = 3, imCopy = 4 };

// What a dataset is used for: a one-byte set, bit n = value n.
enum TTablePurposeItem : uint8_t { ttSource = 0, ttDest = 1 };
using TTablePurpose = uint8_t;
constexpr TTablePurpose TablePurposeBit(TTablePurposeItem item) { return static_cast<TTablePurpose>(1u << item); }

class KVCORE_EXPORT TDataBaseInfo : public TBaseObject {
  KV_CLASS(TDataBaseInfo, TBaseObject)
public:
  void Assign(const TBaseObject* source) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  TConnectType ConnectType = ctDBParams;
  std::string AliasName;     // with ctAlias; ODBC sources are reached as aliases
  std::string DriverName;    // "PARADOX", "DBASE", "FOXPRO", "SQLITE" or a server driver
  std::string ServerName;    // for Oracle the database (service) name
  std::string DataBaseName;  // database name on the server
  std::string HostName;      // kept for stored jobs; not used
  std::string Path;          // directory (or file) of a file database
  std::string UserName;      // login user; for Oracle also the schema owner
  std::string PassWord;      // as entered; never shown
  bool DBConnected = false;  // kept for stored jobs; not used
};

}  // namespace kv
