/*
 * The part of wdmguid.h that vlio uses, for the host build against kernel_host: the Plug and
 * Play events of an interface class and of a target device. Made by whichever DEFINE_GUID the
 * includer has, as with the system's header.
 */
#ifndef PINSCOPE_HOST_WDMGUID_H
#define PINSCOPE_HOST_WDMGUID_H
#include "wdm.h"
#ifndef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif
DEFINE_GUID(GUID_DEVICE_INTERFACE_ARRIVAL, 0xcb3a4004, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05, 0x3f);
DEFINE_GUID(GUID_DEVICE_INTERFACE_REMOVAL, 0xcb3a4005, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05, 0x3f);
DEFINE_GUID(GUID_TARGET_DEVICE_QUERY_REMOVE, 0xcb3a4006, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05,
            0x3f);
DEFINE_GUID(GUID_TARGET_DEVICE_REMOVE_CANCELLED, 0xcb3a4007, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05,
            0x3f);
DEFINE_GUID(GUID_TARGET_DEVICE_REMOVE_COMPLETE, 0xcb3a4008, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05,
            0x3f);
#endif /* PINSCOPE_HOST_WDMGUID_H */
