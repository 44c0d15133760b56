/*
 * What the vlio driver and its user-mode clients agree on: the device's names, its two
 * control codes and the buffers that go with them. Included by the driver (C, kernel mode)
 * and by the client (C++), so it needs nothing but <stdint.h> and whichever CTL_CODE the
 * includer already has.
 */
#ifndef PINSCOPE_VLIO_IOCTL_H
#define PINSCOPE_VLIO_IOCTL_H

#include <stdint.h>

/* The kernel's names for the device and the link that makes it visible to Win32. */
#define VLIO_DEVICE_NAME L"\\Device\\vlio"
#define VLIO_LINK_NAME L"\\DosDevices\\vlio"
/* What a client opens with CreateFile. */
#define VLIO_WIN32_NAME "\\\\.\\vlio"

/* Host builds of the client have neither winioctl.h nor wdm.h; this is their macro. */
#ifndef CTL_CODE
#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#endif
#ifndef METHOD_BUFFERED
#define METHOD_BUFFERED 0
#endif
#ifndef FILE_ANY_ACCESS
#define FILE_ANY_ACCESS 0
#endif

/* A device type from the range left to vendors; unsigned, since it reaches bit 31. */
#define VLIO_DEVICE_TYPE 0x9C40u

/* In: VLIO_READ_INPUT. Out: the byte read from the port. */
#define IOCTL_VLIO_READ CTL_CODE(VLIO_DEVICE_TYPE, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* In: VLIO_WRITE_INPUT. Out: nothing. */
#define IOCTL_VLIO_WRITE CTL_CODE(VLIO_DEVICE_TYPE, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Byte-packed: clients send exactly these bytes, with the port number little-endian. */
#pragma pack(push, 1)
typedef struct VLIO_READ_INPUT {
  uint16_t Port;
} VLIO_READ_INPUT;

typedef struct VLIO_WRITE_INPUT {
  uint16_t Port;
  uint8_t Value;
} VLIO_WRITE_INPUT;
#pragma pack(pop)

#ifdef __cplusplus
#define VLIO_STATIC_ASSERT static_assert
#else
#define VLIO_STATIC_ASSERT _Static_assert
#endif
VLIO_STATIC_ASSERT(IOCTL_VLIO_READ == 0x9C402004u, "the read code is fixed by existing clients");
VLIO_STATIC_ASSERT(IOCTL_VLIO_WRITE == 0x9C402008u, "the write code is fixed by existing clients");
VLIO_STATIC_ASSERT(sizeof(VLIO_READ_INPUT) == 2, "a read request is the 2-byte port number");
VLIO_STATIC_ASSERT(sizeof(VLIO_WRITE_INPUT) == 3, "a write request is the port number and the byte");

#endif /* PINSCOPE_VLIO_IOCTL_H */
