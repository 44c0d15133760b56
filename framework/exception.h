// The runtime's exceptions: a message text, and the few kinds that the library raises itself.
#pragma once

#include <exception>
#include <string>

namespace fw {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  /// The class name shown by the standard exception report.
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

/// A virtual operation that a descendant was meant to supply was called on the base.
class EAbstractError : public Exception {
 public:
  EAbstractError() : Exception("Abstract Error") {}
  const char* ClassName() const override { return "EAbstractError"; }
};

/// A list was asked for an item that it does not have.
class EListError : public Exception {
 public:
  explicit EListError(int index);
  const char* ClassName() const override { return "EListError"; }
};

/// A format and its arguments do not fit together.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};

/// An operation that the object's state does not allow, such as a control without a parent window.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EInvalidOperation"; }
};

/// A call to Windows failed: a window, window class, font or brush the framework asked for
/// could not be made, or a resource would not load. Code() is the call's last error.
class EOSError : public Exception {
 public:
  EOSError(unsigned long code, std::string message) : Exception(std::move(message)), code_(code) {}
  unsigned long Code() const { return code_; }
  const char* ClassName() const override { return "EOSError"; }

 private:
  unsigned long code_;
};

[[noreturn]] inline void AbstractError() { throw EAbstractError(); }

}  // namespace fw
