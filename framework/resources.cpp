#include "framework/resources.h"

#include "platform/win32.h"

namespace fw {

ResourceBytes ReadProgramResource(const char* name) {
  const HMODULE module = win::GetModuleHandleA(nullptr);
  const HRSRC resource = win::FindResourceA(module, name, RT_RCDATA);
  if (!resource) return {};
  const HGLOBAL loaded = win::LoadResource(module, resource);
  const void* data = loaded ? win::LockResource(loaded) : nullptr;
  if (!data) return {true, {}};
  return {true, {static_cast<const std::uint8_t*>(data), win::SizeofResource(module, resource)}};
}

}  // namespace fw
