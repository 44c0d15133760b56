// The kernel's handle table: typed objects behind HANDLE values that look like Windows' own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace sim {

/// Anything a HANDLE can stand for: an event, an open device, later a file or a service.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  /// What kind of object this is, for OpenCount and for reading a failing test.
  virtual std::string_view Kind() const = 0;
};

class HandleTable {
 public:
  HandleTable() = default;
  /// A table whose values start at `first` (a multiple of 4), so that handles of another
  /// kind (service handles) never equal a kernel handle and reach the wrong call's object.
  explicit HandleTable(std::uintptr_t first) : next_(first) {}

  /// A new handle to `object`; several handles may share one object (a named event opened twice).
  HANDLE Add(std::shared_ptr<KernelObject> object);

  /// The object behind `handle`, or null when the handle is not open.
  KernelObject* Find(HANDLE handle) const;
  template <typename T>
  T* FindAs(HANDLE handle) const {
    return dynamic_cast<T*>(Find(handle));
  }
  std::shared_ptr<KernelObject> Share(HANDLE handle) const;

  /// Closes the handle; the object goes when its last handle does. False if it was not open.
  bool Close(HANDLE handle);

  std::size_t OpenCount() const { return open_.size(); }
  std::size_t OpenCount(std::string_view kind) const;
  std::vector<HANDLE> Open() const;

 private:
  // Closed values are never handed out again, so that a handle used after CloseHandle fails
  // as invalid instead of reaching whatever object took its place.
  std::uintptr_t next_ = 0x100;
  std::map<std::uintptr_t, std::shared_ptr<KernelObject>> open_;
};

}  // namespace sim
