// The framework's reports of exceptions to the user.
#pragma once

#include <exception>

namespace fw {

class Exception;

/// The default exception report of the application: a message box with the exception's
/// message. The program goes on afterwards.
void ReportException(const std::exception& error);

/// The runtime's standard exception display: a task-modal error box captioned
/// "Application Error" naming the exception's class, the module and the code address
/// (relative to the module) where it arose, then its message.
void ShowRuntimeError(const Exception& error, const void* address);

}  // namespace fw
