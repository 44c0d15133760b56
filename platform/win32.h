// The one seam between the library and Windows. Each family below is a small interface
// whose operations carry the Win32 calls' own names and arguments. Windows builds install
// a forwarder to the real API by default; the simulated PC (sim/) implements the same
// interfaces for tests. Library code calls the free functions of namespace win, which go
// to whatever platform is installed.
//
// Each family's calls are listed once, in platform/calls/<family>.inc, one entry a call:
//   PINSCOPE_CALL(return type, Name, (parameters), (the parameters' names, in order))
// The entry makes the family's pure virtual Name here, the free function win::Name here, and
// the real forwarder's Name, which calls ::Name, in win32_real.cpp. Where the real call is not
// the system's function of that name (an entry point looked up at run time, a processor
// instruction), the entry is PINSCOPE_CALL_REAL_BY_HAND and win32_real.cpp defines the real
// forwarder's Name by hand. The compiler reports a faulty entry at its line in the list: a
// wrong type, or an argument list that does not pass the parameters once each and in their
// order (platform/call_entry_check.h), which no type would catch when two have one type.
//
// Adding a Windows call to the seam:
//   1. its entry, in its family's list;
//   2. its behaviour on the simulated PC: a declaration and a definition in sim/<family>.h
//      and .cpp (the compiler asks for them: without them the simulated family stays
//      abstract and the simulated PC does not compile);
//   3. on the host, any type or constant it needs that platform/win32_types.h lacks;
//   4. a contract case (contract/) where the library relies on what Windows does.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/call_entry_check.h"
#include "platform/win32_types.h"

// The families' interfaces: each entry is a pure virtual.
#define PINSCOPE_CALL(type, name, parameters, arguments) virtual type name parameters = 0;
#define PINSCOPE_CALL_REAL_BY_HAND(type, name, parameters, arguments) virtual type name parameters = 0;

namespace platform {

/// kernel32: files, devices, events and handles.
class Files {
 public:
  virtual ~Files() = default;
#include "platform/calls/files.inc"
};

/// advapi32: the service control manager, and the process's access token, whose load-driver
/// privilege opening a port driver's device takes.
class Services {
 public:
  virtual ~Services() = default;
#include "platform/calls/services.inc"
};

/// kernel32: the program's own resources.
class Resources {
 public:
  virtual ~Resources() = default;
#include "platform/calls/resources.inc"
};

/// The processor's port instructions, which programs of the 9x family may execute themselves.
class PortInstructions {
 public:
  virtual ~PortInstructions() = default;
#include "platform/calls/port_instructions.inc"
};

/// kernel32: the thread's last error, system message texts, the version, whether the
/// process runs under WOW64, and wide-to-ANSI text.
class Process {
 public:
  virtual ~Process() = default;
#include "platform/calls/process.inc"
};

/// kernel32: the process's modules, its own image among them, and modules loaded by name at
/// run time with their entry points. SetupAPI and ntdll's ZwQueryKey are reached this way,
/// so their calls are the modules' own.
class Modules {
 public:
  virtual ~Modules() = default;
#include "platform/calls/modules.inc"
};

/// advapi32: the registry, read only.
class Registry {
 public:
  virtual ~Registry() = default;
#include "platform/calls/registry.inc"
};

/// winspool: the spooler's list of ports.
class Spooler {
 public:
  virtual ~Spooler() = default;
#include "platform/calls/spooler.inc"
};

/// user32: windows and their messages.
class Windows {
 public:
  virtual ~Windows() = default;
#include "platform/calls/windows.inc"
};

/// gdi32: fonts, brushes, and what a device context is asked to draw with.
class Graphics {
 public:
  virtual ~Graphics() = default;
#include "platform/calls/graphics.inc"
};

/// kernel32: the millisecond clock.
class Time {
 public:
  virtual ~Time() = default;
#include "platform/calls/time.inc"
};

/// One Windows, as seen by the library: a set of families.
struct Platform {
  Files* files;
  Process* process;
  Windows* windows;
  Time* time;
  Services* services;
  Resources* resources;
  PortInstructions* ports;
  Modules* modules;
  Registry* registry;
  Spooler* spooler;
  Graphics* graphics = nullptr;
};

/// The platform the library talks to. Windows builds start with the real one; the host build
/// has none until a test installs the simulated PC.
const Platform& Installed();

/// Installs a platform for the lifetime of this object and restores the previous one after.
class ScopedInstall {
 public:
  explicit ScopedInstall(const Platform& platform);
  ~ScopedInstall();
  ScopedInstall(const ScopedInstall&) = delete;
  ScopedInstall& operator=(const ScopedInstall&) = delete;

 private:
  const Platform* previous_;
};

}  // namespace platform

#undef PINSCOPE_CALL
#undef PINSCOPE_CALL_REAL_BY_HAND

namespace win {

/// The current process's pseudo handle: the constant (HANDLE)-1 that kernel32 returns.
inline HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

/// The gdi32 family, which a platform may lack (a simulated PC put together without it):
/// calling it then stops the program with a message rather than following a null pointer.
inline platform::Graphics& InstalledGraphics() {
  platform::Graphics* graphics = platform::Installed().graphics;
  if (!graphics) {
    std::fputs("pinscope: the installed platform has no gdi32 (Platform::graphics)\n", stderr);
    std::abort();
  }
  return *graphics;
}

// The free functions: each entry goes to its family of the installed platform, which
// PINSCOPE_FAMILY names around each list. The entries are checked once, here.
#define PINSCOPE_CALL(type, name, parameters, arguments)                                             \
  static_assert(platform::call_entry::ArgumentsPassParameters(#parameters, #arguments),             \
                "the entry of " #name " must pass its parameters, each once and in their order"); \
  inline type name parameters { return PINSCOPE_FAMILY.name arguments; }
#define PINSCOPE_CALL_REAL_BY_HAND(type, name, parameters, arguments) PINSCOPE_CALL(type, name, parameters, arguments)

#define PINSCOPE_FAMILY (*platform::Installed().files)
#include "platform/calls/files.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().services)
#include "platform/calls/services.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().resources)
#include "platform/calls/resources.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().ports)
#include "platform/calls/port_instructions.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().process)
#include "platform/calls/process.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().modules)
#include "platform/calls/modules.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().registry)
#include "platform/calls/registry.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().spooler)
#include "platform/calls/spooler.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().windows)
#include "platform/calls/windows.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY InstalledGraphics()
#include "platform/calls/graphics.inc"
#undef PINSCOPE_FAMILY
#define PINSCOPE_FAMILY (*platform::Installed().time)
#include "platform/calls/time.inc"
#undef PINSCOPE_FAMILY

#undef PINSCOPE_CALL
#undef PINSCOPE_CALL_REAL_BY_HAND

}  // namespace win
