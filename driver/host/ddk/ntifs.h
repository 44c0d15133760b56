/*
 * The part of ntifs.h beyond ntddk.h that vlio uses, for the host build against kernel_host:
 * the privilege check on a request's own subject, which MinGW's headers declare here.
 */
#ifndef PINSCOPE_HOST_NTIFS_H
#define PINSCOPE_HOST_NTIFS_H

#include "ntddk.h"

#ifdef __cplusplus
extern "C" {
#endif

BOOLEAN NTAPI SePrivilegeCheck(PPRIVILEGE_SET RequiredPrivileges, PSECURITY_SUBJECT_CONTEXT SubjectContext,
                               KPROCESSOR_MODE AccessMode);

#ifdef __cplusplus
}
#endif

#endif /* PINSCOPE_HOST_NTIFS_H */
