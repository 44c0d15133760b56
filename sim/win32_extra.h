// Win32 names that the registry, SetupAPI, module, spooler and parallel port pieces of the
// simulated PC need beyond the library's own. Windows headers have them; the host build gets
// them here, inside namespace sim, like those of sim/win32_more.h; each name is in one of
// the two only.
// The kernel's status codes and structures that no Win32 header carries are here for both.
#pragma once

#include <cstdint>

#include "platform/win32_types.h"

namespace sim {

#ifndef _WIN32
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_OUT_OF_PAPER = 28;
inline constexpr DWORD ERROR_INVALID_LEVEL = 124;
inline constexpr DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr DWORD ERROR_BUSY = 170;
inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;
inline constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;
inline constexpr DWORD ERROR_KEY_DOES_NOT_EXIST = 0xE0000204;  // SetupAPI's own

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr REGSAM KEY_READ = 0x20019;

inline constexpr DWORD DIGCF_DEFAULT = 0x01;
inline constexpr DWORD DIGCF_ALLCLASSES = 0x04;
inline constexpr DWORD DIGCF_PROFILE = 0x08;
inline constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
inline constexpr DWORD SPDRP_HARDWAREID = 0x01;
inline constexpr DWORD SPDRP_COMPATIBLEIDS = 0x02;
inline constexpr DWORD SPDRP_CLASS = 0x07;
inline constexpr DWORD SPDRP_CLASSGUID = 0x08;
inline constexpr DWORD SPDRP_DRIVER = 0x09;
inline constexpr DWORD SPDRP_MFG = 0x0B;
inline constexpr DWORD SPDRP_LOCATION_INFORMATION = 0x0D;
inline constexpr DWORD DICS_FLAG_CONFIGSPECIFIC = 0x02;
inline constexpr DWORD DIREG_DRV = 0x02;

struct PORT_INFO_1A {
  LPSTR pName;
};
inline constexpr DWORD PORT_TYPE_WRITE = 0x1;
inline constexpr DWORD PORT_TYPE_READ = 0x2;
#endif

// NTSTATUS values, under names of their own: some Windows headers make macros of a few.
inline constexpr LONG kStatusSuccess = 0;
inline constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005u);
inline constexpr LONG kStatusUnsuccessful = static_cast<LONG>(0xC0000001u);
inline constexpr LONG kStatusAccessViolation = static_cast<LONG>(0xC0000005u);
inline constexpr LONG kStatusInvalidHandle = static_cast<LONG>(0xC0000008u);
inline constexpr LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000Du);
inline constexpr LONG kStatusNoSuchDevice = static_cast<LONG>(0xC000000Eu);
inline constexpr LONG kStatusInvalidDeviceRequest = static_cast<LONG>(0xC0000010u);
inline constexpr LONG kStatusNoMemory = static_cast<LONG>(0xC0000017u);
inline constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022u);
inline constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023u);
inline constexpr LONG kStatusObjectTypeMismatch = static_cast<LONG>(0xC0000024u);
inline constexpr LONG kStatusObjectNameNotFound = static_cast<LONG>(0xC0000034u);
inline constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035u);
inline constexpr LONG kStatusObjectPathNotFound = static_cast<LONG>(0xC000003Au);
inline constexpr LONG kStatusInsufficientResources = static_cast<LONG>(0xC000009Au);
inline constexpr LONG kStatusNotSupported = static_cast<LONG>(0xC00000BBu);

// ZwQueryKey's information classes.
inline constexpr int kKeyNameInformation = 3;

// The parallel port driver's requests (ntddpar.h).
inline constexpr DWORD kIoctlParSetInformation = 0x00160008;
inline constexpr BYTE kParallelInit = 0x01;

}  // namespace sim
