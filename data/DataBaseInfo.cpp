#include "data/DataBaseInfo.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDataBaseInfo, TBaseObject)

namespace {
const TClassRegistrar g_registrar{TDataBaseInfo::StaticClass()};
}

void TDataBaseInfo::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TDataBaseInfo>(source)) {
    ConnectType = s->ConnectType;
    AliasName = s->AliasName;
    DriverName = s->DriverName;
    ServerName = s->ServerName;
    DataBaseName = s->DataBaseName;
    HostName = s->HostName;
    Path = s->Path;
    UserName = s->UserName;
    PassWord = s->PassWord;
    DBConnected = s->DBConnected;
    return;
  }
  inherited::Assign(source);
}

// Zeros and empty texts are not stored; they read back as the defaults.
// Path comes before HostName in stored jobs.
void TDataBaseInfo::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, ConnectType, "ConnectType", ConnectType != ctDBParams);
  Prop<ptString>(proc, param, AliasName, "AliasName", !AliasName.empty());
  Prop<ptString>(proc, param, DriverName, "DriverName", !DriverName.empty());
  Prop<ptString>(proc, param, ServerName, "ServerName", !ServerName.empty());
  Prop<ptString>(proc, param, DataBaseName, "DataBaseName", !DataBaseName.empty());
  Prop<ptString>(proc, param, Path, "Path", !Path.empty());
  Prop<ptString>(proc, param, HostName, "HostName", !HostName.empty());
  Prop<ptString>(proc, param, UserName, "UserName", !UserName.empty());
  Prop<ptString>(proc, param, PassWord, "PassWord", !PassWord.empty());
  Prop<ptBoolean>(proc, param, DBConnected, "DBConnected");
}

}  // namespace kv
