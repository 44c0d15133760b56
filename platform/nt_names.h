// The NT names that no Win32 header has: the status codes of ntdll's and the kernel's calls,
// ZwQueryKey's and NtQuerySystemInformation's information classes, code integrity's options
// and the system parallel port driver's requests. The
// library and the simulated PC both take them from here.
#pragma once

#include "platform/win32_types.h"

#ifdef _WIN32
#include <winioctl.h>
#include <ntddpar.h>
#else
// The parallel port driver's requests and the flags of its states (ntddpar.h).
constexpr DWORD IOCTL_PAR_QUERY_INFORMATION = 0x00160004;
constexpr DWORD IOCTL_PAR_SET_INFORMATION = 0x00160008;
constexpr DWORD IOCTL_PAR_IS_PORT_FREE = 0x00160054;
constexpr DWORD IOCTL_PAR_QUERY_LOCATION = 0x00160058;
constexpr BYTE PARALLEL_INIT = 0x01;
constexpr BYTE PARALLEL_AUTOFEED = 0x02;
constexpr BYTE PARALLEL_PAPER_EMPTY = 0x04;
constexpr BYTE PARALLEL_OFF_LINE = 0x08;
constexpr BYTE PARALLEL_POWER_OFF = 0x10;
constexpr BYTE PARALLEL_NOT_CONNECTED = 0x20;
constexpr BYTE PARALLEL_BUSY = 0x40;
constexpr BYTE PARALLEL_SELECTED = 0x80;
#endif

namespace nt {

// NTSTATUS values, under names of their own: Windows headers make macros of a few.
inline constexpr LONG kStatusSuccess = 0;
inline constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005u);
inline constexpr LONG kStatusDeviceBusy = static_cast<LONG>(0x80000011u);
inline constexpr LONG kStatusUnsuccessful = static_cast<LONG>(0xC0000001u);
inline constexpr LONG kStatusAccessViolation = static_cast<LONG>(0xC0000005u);
inline constexpr LONG kStatusInvalidHandle = static_cast<LONG>(0xC0000008u);
inline constexpr LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000Du);
inline constexpr LONG kStatusNoSuchDevice = static_cast<LONG>(0xC000000Eu);
inline constexpr LONG kStatusInvalidDeviceRequest = static_cast<LONG>(0xC0000010u);
inline constexpr LONG kStatusNoMemory = static_cast<LONG>(0xC0000017u);
inline constexpr LONG kStatusConflictingAddresses = static_cast<LONG>(0xC0000018u);
inline constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022u);
inline constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023u);
inline constexpr LONG kStatusObjectTypeMismatch = static_cast<LONG>(0xC0000024u);
inline constexpr LONG kStatusObjectNameNotFound = static_cast<LONG>(0xC0000034u);
inline constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035u);
inline constexpr LONG kStatusObjectPathNotFound = static_cast<LONG>(0xC000003Au);
inline constexpr LONG kStatusInsufficientResources = static_cast<LONG>(0xC000009Au);
inline constexpr LONG kStatusInvalidInfoClass = static_cast<LONG>(0xC0000003u);
inline constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004u);
inline constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002u);
inline constexpr LONG kStatusNotSupported = static_cast<LONG>(0xC00000BBu);
inline constexpr LONG kStatusDeviceRemoved = static_cast<LONG>(0xC00002B6u);

// ZwQueryKey's information classes (KEY_INFORMATION_CLASS of the driver kit's wdm.h).
inline constexpr int kKeyNameInformation = 3;

// NtQuerySystemInformation's class for code integrity, and what it answers
// (SYSTEM_CODEINTEGRITY_INFORMATION of winternl.h: its size, then the options).
inline constexpr int kSystemCodeIntegrityInformation = 103;
struct CodeIntegrityInformation {
  ULONG Length;
  ULONG CodeIntegrityOptions;
};
inline constexpr ULONG kCodeIntegrityEnabled = 0x01;
inline constexpr ULONG kCodeIntegrityTestSign = 0x02;
inline constexpr ULONG kCodeIntegrityDebugMode = 0x80;
inline constexpr ULONG kCodeIntegrityHvciKmci = 0x400;  // memory integrity
/// ntdll's NtQuerySystemInformation, reached by name.
using QuerySystemInformation = LONG(WINAPI*)(int information_class, PVOID information, ULONG length,
                                             PULONG return_length);

}  // namespace nt
