#include "platform/system_library.h"

#include <string>

namespace platform {

UniqueModule LoadSystemLibrary(std::string_view name) {
  char folder[MAX_PATH];
  const UINT length = win::GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0) return {};
  if (length >= sizeof folder) {
    win::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return {};
  }
  std::string path(folder, length);
  // Only a folder at a drive's root ends in a backslash.
  if (path.back() != '\\') path += '\\';
  path += name;
  return UniqueModule(win::LoadLibraryA(path.c_str()));
}

}  // namespace platform
