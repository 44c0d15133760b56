/*
 * The sampling loop behind IOCTL_VLIO_SAMPLE, free of the kernel: the port and the counter
 * come in as routines, so that the driver and a user-mode caller that may reach the ports
 * itself (the Windows 9x family) run the same loop and answer in the same layout. Plain C
 * with no library calls and no 64-bit division, which the i386 driver has no helper for.
 */
#ifndef PINSCOPE_VLIO_SAMPLE_H
#define PINSCOPE_VLIO_SAMPLE_H

#include <stdint.h>

#include "vlio_ioctl.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads one register. */
typedef uint8_t (*VLIO_SAMPLE_READ)(void *context, uint16_t port);
/* Reads the performance counter. */
typedef int64_t (*VLIO_SAMPLE_COUNTER)(void *context);

/* Whether `input` (input_length bytes) is a well-formed request: a count and bounds within the
   limits, and an output of output_length bytes with room for the header and
   VLIO_SAMPLE_MIN_RECORDS records. The registers are not judged: which may be read is the
   caller's rule. */
int VlioSampleInputValid(const VLIO_SAMPLE_INPUT *input, uint32_t input_length, uint32_t output_length);

/* Runs the loop for an input VlioSampleInputValid accepted, with the counter's `frequency`,
   and writes the header and the records to `output`, never past output_length bytes. The
   input may be at the output's own address (a buffered request has one buffer for both).
   Returns the bytes written. */
uint32_t VlioSample(const VLIO_SAMPLE_INPUT *input, void *output, uint32_t output_length, int64_t frequency,
                    VLIO_SAMPLE_READ read, VLIO_SAMPLE_COUNTER counter, void *context);

#ifdef __cplusplus
}
#endif

#endif /* PINSCOPE_VLIO_SAMPLE_H */
