/*
 * The ports of the virtual-port flavour: LPT1 with the diagnostic loopback plug, so that a
 * program sees its outputs come back, LPT2 with a printer that takes every byte at once, so
 * that a program's handshake output has somewhere to go and never waits, and LPT3 with a
 * signal generator on the performance counter, so that watching or capturing the inputs has
 * something to show. Statically set up, so that they are ready before the first request
 * without any code in DriverEntry.
 * Requests on several processors are not serialised, just as a real port's registers are
 * not: each access is one byte, and a program that shares a port coordinates itself. The
 * generator keeps no state, so it answers any number of them at once.
 */
#include "vlio_virtual.h"

#include "vport/vport.h"

static int64_t performance_counter(void *context, int64_t *frequency)
{
  LARGE_INTEGER ticks_per_second;
  LARGE_INTEGER now = KeQueryPerformanceCounter(&ticks_per_second);
  (void)context;
  *frequency = ticks_per_second.QuadPart;
  return now.QuadPart;
}

static struct vport lpt1 = VPORT_INITIALIZER(&vport_loopback_plug);
static struct vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
static struct vport lpt2 = VPORT_INITIALIZER(&printer.plug);
static struct vport_signal_generator generator =
    VPORT_SIGNAL_GENERATOR_INITIALIZER(&generator, performance_counter, 0);
static struct vport lpt3 = VPORT_INITIALIZER(&generator.plug);

static const struct vport_slot ports[] = {
    {0x378, &lpt1},
    {0x278, &lpt2},
    {0x3BC, &lpt3},
};

UCHAR VlioVirtualRead(USHORT port)
{
  return vport_bus_read(ports, sizeof ports / sizeof ports[0], port);
}

VOID VlioVirtualWrite(USHORT port, UCHAR value)
{
  vport_bus_write(ports, sizeof ports / sizeof ports[0], port, value);
}
