// Move-only owners of Windows handles, each with its explicit empty value, in the manner of
// WIL's unique_any: a handle is closed exactly once, on every path.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/win32.h"

namespace platform {

template <typename Traits>
class UniqueAny {
 public:
  using Handle = typename Traits::Handle;

  UniqueAny() : handle_(Traits::Empty()) {}
  explicit UniqueAny(Handle handle) : handle_(handle) {}
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueAny() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Empty(); }
  Handle release() { return std::exchange(handle_, Traits::Empty()); }
  void reset(Handle handle = Traits::Empty()) {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::Empty()) Traits::Close(old);
  }

 private:
  Handle handle_;
};

/// Handles whose failure value is null, closed by `close`: events and other kernel objects,
/// service handles, registry keys, loaded libraries, our own fonts and brushes.
template <typename H, auto close>
struct NullHandleTraits {
  using Handle = H;
  static Handle Empty() { return nullptr; }
  static void Close(Handle handle) { close(handle); }
};

/// Files and devices, whose failure value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { win::CloseHandle(handle); }
};

using UniqueHandle = UniqueAny<NullHandleTraits<HANDLE, &win::CloseHandle>>;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueServiceHandle = UniqueAny<NullHandleTraits<SC_HANDLE, &win::CloseServiceHandle>>;
using UniqueRegistryKey = UniqueAny<NullHandleTraits<HKEY, &win::RegCloseKey>>;
using UniqueModule = UniqueAny<NullHandleTraits<HMODULE, &win::FreeLibrary>>;
using UniqueGdiObject = UniqueAny<NullHandleTraits<HGDIOBJ, &win::DeleteObject>>;

/// A handle as the 32-bit value that components keep. Kernel handles fit in 32 bits on
/// 64-bit Windows too, and sign-extend back, so -1 stays INVALID_HANDLE_VALUE.
inline int32_t HandleValue(HANDLE handle) {
  return static_cast<int32_t>(reinterpret_cast<LONG_PTR>(handle));
}
inline HANDLE HandleOf(int32_t value) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(value)); }

}  // namespace platform
