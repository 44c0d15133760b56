#include "sim/resources.h"

#include <cstdlib>

#include "platform/win32_types.h"
#include "sim/format.h"
#include "sim/modules.h"

namespace sim {

namespace {

using format::Handle;
using format::Ptr;

bool IsNumber(LPCSTR name) { return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0; }

// Names and types are numbers (MAKEINTRESOURCEA) or strings; the journal shows numbers as #N.
std::string Shown(LPCSTR name) {
  if (IsNumber(name)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
  return format::Str(name);
}

// HRSRCs point into the image's resource directory; these sit inside the program's image
// and are told apart by their offset.
constexpr ULONG_PTR kDirectory = 0x00460000;
constexpr ULONG_PTR kEntrySize = 0x10;

}  // namespace

SimResources::SimResources(Core& core) : core_(core) {
  for (const char* name : {"FindResourceA", "LoadResource", "LockResource", "SizeofResource"}) {
    core_.faults.Allow(name);
  }
}

SimResources::Id SimResources::ToId(LPCSTR name) {
  if (IsNumber(name)) return {true, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}};
  // "#10" names the number 10, as Windows reads it.
  if (name[0] == '#' && name[1]) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(name + 1, &end, 10);
    if (!*end && number <= 0xFFFF) return {true, static_cast<WORD>(number), {}};
  }
  return {false, 0, format::Upper(name)};
}

void SimResources::Add(LPCSTR type, LPCSTR name, std::vector<BYTE> bytes) {
  const Id type_id = ToId(type), name_id = ToId(name);
  for (Entry& entry : entries_) {
    if (entry.type == type_id && entry.name == name_id) {
      entry.bytes = std::move(bytes);
      return;
    }
  }
  entries_.push_back({type_id, name_id, std::move(bytes)});
}

bool SimResources::Has(LPCSTR type, LPCSTR name) const {
  const Id type_id = ToId(type), name_id = ToId(name);
  for (const Entry& entry : entries_) {
    if (entry.type == type_id && entry.name == name_id) return true;
  }
  return false;
}

bool SimResources::OwnModule(HMODULE module) const {
  if (!module || module == SimModules::ExeModule()) return true;
  throw NotSimulated("resources of a module other than the program's image");
}

HRSRC SimResources::HandleOf(std::size_t index) const {
  return reinterpret_cast<HRSRC>(kDirectory + (index + 1) * kEntrySize);
}

SimResources::Entry* SimResources::EntryOf(HRSRC resource) {
  const auto value = reinterpret_cast<ULONG_PTR>(resource);
  if (value <= kDirectory || (value - kDirectory) % kEntrySize) return nullptr;
  const std::size_t index = (value - kDirectory) / kEntrySize - 1;
  return index < entries_.size() ? &entries_[index] : nullptr;
}

HRSRC SimResources::FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  core_.Record("FindResourceA", {Handle(module), Shown(name), Shown(type)});
  if (core_.Failing("FindResourceA")) return nullptr;
  OwnModule(module);
  if (!name || !type) throw AccessViolation("FindResourceA: a null name or type");
  const Id type_id = ToId(type), name_id = ToId(name);
  bool type_found = false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!(entries_[i].type == type_id)) continue;
    type_found = true;
    if (entries_[i].name == name_id) return HandleOf(i);
  }
  return core_.Fail(type_found ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND, HRSRC{nullptr});
}

HGLOBAL SimResources::LoadResource(HMODULE module, HRSRC resource) {
  core_.Record("LoadResource", {Handle(module), Handle(resource)});
  if (core_.Failing("LoadResource")) return nullptr;
  OwnModule(module);
  if (!resource) return core_.Fail(ERROR_INVALID_HANDLE, HGLOBAL{nullptr});
  Entry* entry = EntryOf(resource);
  if (!entry) throw AccessViolation("LoadResource: an HRSRC that FindResourceA did not return");
  // Win32 keeps resources mapped with the image: the "global" is the data's address. An
  // empty resource still has one.
  if (entry->bytes.empty()) entry->bytes.reserve(1);
  return entry->bytes.data();
}

LPVOID SimResources::LockResource(HGLOBAL data) {
  core_.Record("LockResource", {Ptr(data)});
  if (core_.Failing("LockResource")) return nullptr;
  return data;
}

DWORD SimResources::SizeofResource(HMODULE module, HRSRC resource) {
  core_.Record("SizeofResource", {Handle(module), Handle(resource)});
  if (core_.Failing("SizeofResource")) return 0;
  OwnModule(module);
  if (!resource) return core_.Fail(ERROR_INVALID_HANDLE, DWORD{0});
  const Entry* entry = EntryOf(resource);
  if (!entry) throw AccessViolation("SizeofResource: an HRSRC that FindResourceA did not return");
  return static_cast<DWORD>(entry->bytes.size());
}

}  // namespace sim
