#include "foundation/Exceptions.h"

#include <cerrno>
#include <cstring>

namespace kv {

void RaiseLastOSError(const std::string& what) {
  int code = errno;
  throw EInOutError(what + ": " + std::strerror(code), code);
}

}  // namespace kv
