// The error raised by datasets: a cursor used in the wrong state, a field
// or record that is not there, a value an engine refuses.
#pragma once

#include <string>

#include "KVCore_export.h"
#include "foundation/Exceptions.h"

namespace kv {

class KVCORE_EXPORT EDatabaseError : public Exception {
public:
  using Exception::Exception;
  ~EDatabaseError() override;
};

}  // namespace kv
