// The real Windows behind the seam: every call forwards to the system's own.
#include "platform/win32.h"

#include "platform/system_library.h"

namespace platform {
namespace {

// Each entry of a family's list forwards to the system's function of its name; an entry
// marked PINSCOPE_CALL_REAL_BY_HAND is only declared here and defined after the classes.
#define PINSCOPE_CALL(type, name, parameters, arguments) \
  type name parameters override { return ::name arguments; }
#define PINSCOPE_CALL_REAL_BY_HAND(type, name, parameters, arguments) type name parameters override;

class RealFiles final : public Files {
 public:
#include "platform/calls/files.inc"
};

class RealServices final : public Services {
 public:
#include "platform/calls/services.inc"
};

class RealResources final : public Resources {
 public:
#include "platform/calls/resources.inc"
};

class RealModules final : public Modules {
 public:
#include "platform/calls/modules.inc"
};

class RealRegistry final : public Registry {
 public:
#include "platform/calls/registry.inc"
};

class RealSpooler final : public Spooler {
 public:
#include "platform/calls/spooler.inc"
};

class RealPortInstructions final : public PortInstructions {
 public:
#include "platform/calls/port_instructions.inc"
};

class RealProcess final : public Process {
 public:
#include "platform/calls/process.inc"
};

class RealWindowsFamily final : public Windows {
 public:
#include "platform/calls/windows.inc"
};

class RealGraphics final : public Graphics {
 public:
#include "platform/calls/graphics.inc"
};

class RealTime final : public Time {
 public:
#include "platform/calls/time.inc"
};

#undef PINSCOPE_CALL
#undef PINSCOPE_CALL_REAL_BY_HAND

// winspool.drv is no KnownDLL: imported, it would be looked for beside the program first. So it
// is loaded from the system folder for each call, which only the 9x family's enumeration makes.
BOOL RealSpooler::EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                             LPDWORD returned) {
  using EnumPortsProc = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  UniqueModule spooler = LoadSystemLibrary("winspool.drv");
  if (!spooler) return FALSE;
  const auto enum_ports =
      reinterpret_cast<EnumPortsProc>(reinterpret_cast<void*>(::GetProcAddress(spooler.get(), "EnumPortsA")));
  if (!enum_ports) return FALSE;
  const BOOL done = enum_ports(server, level, ports, size, needed, returned);
  // The caller reads the error of a failed call (the sizing call's ERROR_INSUFFICIENT_BUFFER).
  const DWORD error = ::GetLastError();
  spooler.reset();
  ::SetLastError(error);
  return done;
}

// Only programs of the 9x family execute these; on the NT family they would fault.
BYTE RealPortInstructions::InByte(WORD port) {
  BYTE value;
  __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

void RealPortInstructions::OutByte(WORD port, BYTE value) {
  __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port));
}

// Taken from kernel32 at run time: a system without it (32-bit Windows before XP SP2) has no
// WOW64 either, and the program still starts there.
BOOL RealProcess::IsWow64Process(HANDLE process, PBOOL wow64) {
  using Proc = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto proc = reinterpret_cast<Proc>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  if (!proc) {
    *wow64 = FALSE;
    return TRUE;
  }
  return proc(process, wow64);
}

// The families hold nothing, so they are made when the program is loaded, with no code at
// start-up and no lock around a first use (the runtime's lock pulls in a thread library).
constinit RealFiles real_files;
constinit RealProcess real_process;
constinit RealWindowsFamily real_windows;
constinit RealTime real_time;
constinit RealServices real_services;
constinit RealResources real_resources;
constinit RealPortInstructions real_ports;
constinit RealModules real_modules;
constinit RealRegistry real_registry;
constinit RealSpooler real_spooler;
constinit RealGraphics real_graphics;
constinit const Platform real_platform{&real_files,    &real_process,   &real_windows, &real_time,
                                       &real_services, &real_resources, &real_ports,   &real_modules,
                                       &real_registry, &real_spooler,   &real_graphics};

}  // namespace

const Platform& RealWindows() { return real_platform; }

}  // namespace platform
