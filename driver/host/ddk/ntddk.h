/*
 * The part of ntddk.h beyond wdm.h that vlio uses, for the host build against kernel_host:
 * the privilege check of its create routine.
 */
#ifndef PINSCOPE_HOST_NTDDK_H
#define PINSCOPE_HOST_NTDDK_H

#include "wdm.h"

#ifdef __cplusplus
extern "C" {
#endif

static inline LUID RtlConvertLongToLuid(LONG Value)
{
  LUID luid;
  luid.LowPart = (ULONG)Value;
  luid.HighPart = Value < 0 ? -1 : 0;
  return luid;
}

BOOLEAN NTAPI SeSinglePrivilegeCheck(LUID PrivilegeValue, KPROCESSOR_MODE PreviousMode);

#ifdef __cplusplus
}
#endif

#endif /* PINSCOPE_HOST_NTDDK_H */
