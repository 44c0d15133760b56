/*
 * The part of parallel.h that vlio uses, for the host build against kernel_host: the internal
 * request by which a kernel client learns a port's registers and its allocation routines.
 */
#ifndef PINSCOPE_HOST_PARALLEL_H
#define PINSCOPE_HOST_PARALLEL_H

#include "ntddpar.h"
#include "wdm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO \
  CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 12, METHOD_BUFFERED, FILE_ANY_ACCESS)

typedef BOOLEAN(NTAPI *PPARALLEL_TRY_ALLOCATE_ROUTINE)(PVOID TryAllocateContext);
typedef VOID(NTAPI *PPARALLEL_FREE_ROUTINE)(PVOID FreeContext);
typedef ULONG(NTAPI *PPARALLEL_QUERY_WAITERS_ROUTINE)(PVOID QueryAllocsContext);

typedef struct _PARALLEL_PORT_INFORMATION {
  PHYSICAL_ADDRESS OriginalController;
  PUCHAR Controller;
  ULONG SpanOfController;
  PPARALLEL_TRY_ALLOCATE_ROUTINE TryAllocatePort;
  PPARALLEL_FREE_ROUTINE FreePort;
  PPARALLEL_QUERY_WAITERS_ROUTINE QueryNumWaiters;
  PVOID Context;
} PARALLEL_PORT_INFORMATION, *PPARALLEL_PORT_INFORMATION;

#ifdef __cplusplus
}
#endif

#endif /* PINSCOPE_HOST_PARALLEL_H */
