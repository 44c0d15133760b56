// kernel32's view of the program's own resources on the simulated PC: what the linker would
// have put into the image, added by the test.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimResources final : public platform::Resources {
 public:
  explicit SimResources(Core& core);

  HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) override;
  HGLOBAL LoadResource(HMODULE module, HRSRC resource) override;
  LPVOID LockResource(HGLOBAL data) override;
  DWORD SizeofResource(HMODULE module, HRSRC resource) override;

  /// Puts a resource into the program's image. `type` and `name` are strings or
  /// MAKEINTRESOURCEA numbers, as in a resource script; a later one of the same type and
  /// name replaces it.
  void Add(LPCSTR type, LPCSTR name, std::vector<BYTE> bytes);
  /// The image holds this resource (not journalled: for user32's loaders).
  bool Has(LPCSTR type, LPCSTR name) const;

 private:
  // A resource name or type as the resource directory keeps it: a number, or an upper-case
  // string (the resource compiler upper-cases names, and lookups ignore case).
  struct Id {
    bool numbered;
    WORD number;
    std::string text;
    bool operator==(const Id&) const = default;
  };
  struct Entry {
    Id type;
    Id name;
    std::vector<BYTE> bytes;
  };

  static Id ToId(LPCSTR name);
  // The entry an HRSRC stands for, or null.
  Entry* EntryOf(HRSRC resource);
  HRSRC HandleOf(std::size_t index) const;
  bool OwnModule(HMODULE module) const;

  Core& core_;
  std::deque<Entry> entries_;  // a deque keeps the bytes where LockResource pointed
};

}  // namespace sim
