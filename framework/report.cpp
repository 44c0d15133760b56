#include "framework/report.h"

#include <cstdint>
#include <cstring>

#include "framework/exception.h"
#include "framework/format.h"
#include "platform/win32.h"

namespace fw {

void ReportException(const std::exception& error) {
  win::MessageBoxA(win::GetForegroundWindow(), error.what(), "Error", MB_OK | MB_ICONERROR);
}

void ShowRuntimeError(const Exception& error, const void* address) {
  const HMODULE module = win::GetModuleHandleA(nullptr);
  char path[MAX_PATH] = "";
  win::GetModuleFileNameA(module, path, sizeof path);
  const char* name = std::strrchr(path, '\\') ? std::strrchr(path, '\\') + 1 : path;
  const std::string offset =
      HexText(reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module), 8);
  const std::string text = std::string("Exception ") + error.ClassName() + " in module " + name + " at " + offset +
                           ".\n" + error.Message();
  win::MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace fw
