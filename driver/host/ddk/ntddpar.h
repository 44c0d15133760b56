/*
 * The part of ntddpar.h that vlio uses, for the host build against kernel_host: the interface
 * class of Windows' parallel port driver. The GUID is made by whichever DEFINE_GUID the
 * includer has, as with the system's header.
 */
#ifndef PINSCOPE_HOST_NTDDPAR_H
#define PINSCOPE_HOST_NTDDPAR_H

#include "wdm.h"

#ifndef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

DEFINE_GUID(GUID_DEVINTERFACE_PARALLEL, 0x97F76EF0, 0xF883, 0x11D0, 0xAF, 0x1F, 0x00, 0x00, 0xF8, 0x00, 0x84, 0x5C);
#define GUID_PARALLEL_DEVICE GUID_DEVINTERFACE_PARALLEL

#endif /* PINSCOPE_HOST_NTDDPAR_H */
