/*
 * The ports of the virtual-port flavour: LPT1 with the diagnostic loopback plug, so that a
 * program sees its outputs come back, and LPT2 with a printer that takes every byte at once,
 * so that a program's handshake output has somewhere to go and never waits. Statically set
 * up, so that they are ready before the first request without any code in DriverEntry.
 * Requests on several processors are not serialised, just as a real port's registers are
 * not: each access is one byte, and a program that shares a port coordinates itself.
 */
#include "vlio_virtual.h"

#include "vport/vport.h"

static struct vport lpt1 = VPORT_INITIALIZER(&vport_loopback_plug);
static struct vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
static struct vport lpt2 = VPORT_INITIALIZER(&printer.plug);

static const struct vport_slot ports[] = {
    {0x378, &lpt1},
    {0x278, &lpt2},
};

UCHAR VlioVirtualRead(USHORT port)
{
  return vport_bus_read(ports, sizeof ports / sizeof ports[0], port);
}

VOID VlioVirtualWrite(USHORT port, UCHAR value)
{
  vport_bus_write(ports, sizeof ports / sizeof ports[0], port, value);
}
