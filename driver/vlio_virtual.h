/*
 * The virtual-port flavour of vlio answers port accesses from simulated parallel ports
 * instead of the bus, for machines without one (Wine, demonstrations).
 */
#ifndef PINSCOPE_VLIO_VIRTUAL_H
#define PINSCOPE_VLIO_VIRTUAL_H

#include <ddk/wdm.h>

UCHAR VlioVirtualRead(USHORT port);
VOID VlioVirtualWrite(USHORT port, UCHAR value);

#endif /* PINSCOPE_VLIO_VIRTUAL_H */
