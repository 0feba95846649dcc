// Error classes raised by the libraries. Every error carries the message
// text the user sees; callers catch `Exception` to report any of them.
#pragma once

#include <exception>
#include <string>

#include "KVLib_export.h"

namespace kv {

class KVLIB_EXPORT Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }

private:
  std::string message_;
};

#define KV_DECLARE_EXCEPTION(Name, Base)                     \
  class KVLIB_EXPORT Name : public Base {                    \
  public:                                                    \
    using Base::Base;                                        \
  }

KV_DECLARE_EXCEPTION(EConvertError, Exception);
KV_DECLARE_EXCEPTION(EListError, Exception);
KV_DECLARE_EXCEPTION(EAbort, Exception);
// Integer arithmetic
KV_DECLARE_EXCEPTION(EIntError, Exception);
KV_DECLARE_EXCEPTION(EDivByZero, EIntError);
KV_DECLARE_EXCEPTION(EIntOverflow, EIntError);
// Real arithmetic
KV_DECLARE_EXCEPTION(EMathError, Exception);
KV_DECLARE_EXCEPTION(EZeroDivide, EMathError);
KV_DECLARE_EXCEPTION(EOverflow, EMathError);
KV_DECLARE_EXCEPTION(EInvalidOp, EMathError);
// Files and streams
KV_DECLARE_EXCEPTION(EStreamError, Exception);
KV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
KV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KV_DECLARE_EXCEPTION(EWriteError, EStreamError);
KV_DECLARE_EXCEPTION(EFilerError, EStreamError);
KV_DECLARE_EXCEPTION(EReadError, EFilerError);
KV_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
KV_DECLARE_EXCEPTION(EParserError, Exception);
KV_DECLARE_EXCEPTION(EOutOfResources, Exception);

// Input/output failure with the operating system's error number.
class KVLIB_EXPORT EInOutError : public Exception {
public:
  EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Raises EInOutError for the current errno, naming what failed.
[[noreturn]] KVLIB_EXPORT void RaiseLastOSError(const std::string& what);

}  // namespace kv
