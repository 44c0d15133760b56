#include "framework/report.h"

#include "framework/exception.h"
#include "platform/win32.h"

namespace fw {

void ReportException(const std::exception& error) {
  win::MessageBoxA(win::GetForegroundWindow(), error.what(), "Error", MB_OK | MB_ICONERROR);
}

void ShowRuntimeError(const Exception& error) {
  const std::string text = std::string("Exception ") + error.ClassName() + ".\n\n" + error.Message();
  win::MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace fw
