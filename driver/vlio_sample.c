/*
 * The sampling loop. A round reads every named register once; the counter is read only where
 * a round differs from the one before, every few rounds and at the last round, since it may
 * cost more than the reads. How few is measured: the first round is read between two readings
 * of the counter, and where VLIO_SAMPLE_CHECK_EVERY rounds would take more than a quarter of
 * the stall bound, the counter is read after every round, so that a slow port (behind a
 * bridge, or trapped by a hypervisor) is not taken for a stalled loop. For the same reason a
 * stall is a span past the stall bound and past twice what its rounds take. A round's values
 * belong to the reading after it only when no stall lies between the two: after a stall the
 * next round is read and stamped before anything is recorded, and the gap ends there. The
 * layouts are byte-packed, so the output is written field by field at whatever alignment the
 * caller's buffer has.
 */
#include "vlio_sample.h"

#define VLIO_HEADER_SIZE ((uint32_t)sizeof(VLIO_SAMPLE_OUTPUT))
#define VLIO_RECORD_SIZE ((uint32_t)sizeof(VLIO_SAMPLE_RECORD))

/* The input may be the output's own memory, as a buffered request has one buffer for both: the
   records start past it, and the header that lies over it is written last. */
_Static_assert(sizeof(VLIO_SAMPLE_INPUT) <= sizeof(VLIO_SAMPLE_OUTPUT), "the records start past the input");

int VlioSampleInputValid(const VLIO_SAMPLE_INPUT *input, uint32_t input_length, uint32_t output_length)
{
  /* Unsigned x - 1 < limit: 1 to limit, in one comparison. */
  return input_length >= sizeof *input && input->Count - 1u < VLIO_SAMPLE_MAX_REGISTERS &&
         input->MaxRounds - 1u < VLIO_SAMPLE_MAX_ROUNDS && input->MaxMicroseconds - 1u < VLIO_SAMPLE_MAX_MICROSECONDS &&
         output_length >= VLIO_HEADER_SIZE + VLIO_SAMPLE_MIN_RECORDS * VLIO_RECORD_SIZE;
}

uint32_t VlioSample(const VLIO_SAMPLE_INPUT *input, void *output, uint32_t output_length, int64_t frequency,
                    VLIO_SAMPLE_READ read, VLIO_SAMPLE_COUNTER counter, void *context)
{
  VLIO_SAMPLE_OUTPUT *header = output;
  VLIO_SAMPLE_RECORD *record = (VLIO_SAMPLE_RECORD *)((uint8_t *)output + VLIO_HEADER_SIZE);
  const uint32_t capacity = (output_length - VLIO_HEADER_SIZE) / VLIO_RECORD_SIZE;
  const uint32_t count = input->Count;
  const uint32_t max_rounds = input->MaxRounds;
  /* Spans are compared as ticks times a million against microseconds times the frequency:
     no division, which the i386 kernel has no helper for 64 bits of. A span reaching the
     comparison fits 32 bits, so its product fits 52. A counter without a frequency times
     nothing: its first reading ends the request. */
  const uint64_t stall_bound = (uint64_t)VLIO_SAMPLE_STALL_MICROSECONDS * (uint64_t)(frequency > 0 ? frequency : 0);
  const uint64_t time_bound = (uint64_t)input->MaxMicroseconds * (uint64_t)(frequency > 0 ? frequency : 0);
  uint8_t held[VLIO_SAMPLE_MAX_REGISTERS] = {0};
  uint8_t seen[VLIO_SAMPLE_MAX_REGISTERS] = {0};
  /* What the first round took, held below 2^27 ticks (over a second of any counter a request
     keeps) so that twice eight rounds of it fit 32 bits. */
  uint32_t round_ticks = 0;
  uint32_t check_every = VLIO_SAMPLE_CHECK_EVERY;
  uint32_t round;
  uint32_t rounds = 0;
  uint32_t records = 0;
  uint32_t ended = VLIO_SAMPLE_ENDED_ROUNDS;
  uint32_t since_reading = 0;
  uint32_t since_record = 0;
  uint32_t i;
  int64_t first = 0;
  int64_t last = 0;    /* the reading of the last round accounted for */
  int64_t reading = 0; /* the counter's last reading */
  uint32_t last_rounds = 0;
  /* A stall was seen, and no round has been read and stamped since without one: the registers
     read before the stalled reading may come from anywhere in the stall, so the gap runs from
     `last` to the first reading that follows a round read after it. */
  int resync = 0;

  reading = counter(context);
  for (round = 0; round < max_rounds; ++round) {
    int changed = 0;
    int stall;
    int64_t now;
    uint32_t elapsed; /* ticks from first to now */

    for (i = 0; i < count; ++i) {
      seen[i] = read(context, input->Registers[i]);
      changed |= seen[i] != held[i];
    }
    ++since_reading;
    ++since_record;
    if (round != 0 && !changed && !resync && since_reading < check_every &&
        since_record < VLIO_SAMPLE_RECORD_EVERY && round + 1 != max_rounds) {
      rounds = round + 1;
      continue;
    }

    now = counter(context);
    if (round == 0) {
      /* The reading before the first round timed it: as many rounds go between two readings
         as take a quarter of the stall bound. */
      round_ticks = (uint64_t)(now - reading) < 0x08000000u ? (uint32_t)(now - reading) : 0x08000000u;
      if ((uint64_t)round_ticks * (VLIO_SAMPLE_CHECK_EVERY * 4000000u) > stall_bound)
        check_every = 1;
      first = last = reading = now;
    }
    /* Only a reading after a stall lies so far on that its ticks do not fit the record (the
       bound was checked at the reading before), or one of a counter that ran back. The request
       ends at the last round accounted for, and the stall shows as the gap between this request
       and the next. */
    if ((uint64_t)(now - first) > 0xFFFFFFFFu) {
      ended = VLIO_SAMPLE_ENDED_TIME;
      break;
    }
    /* From here on every span lies within 32 bits, and a product of one fits 52. */
    elapsed = (uint32_t)(now - first);
    stall = round != 0 && (uint64_t)(uint32_t)(now - reading) * 1000000u > stall_bound &&
            (uint32_t)(now - reading) > 2 * since_reading * round_ticks;
    reading = now;
    since_reading = 0;
    if (stall) {
      /* The quiet rounds since `last` were read somewhere in the stall too. */
      rounds = last_rounds;
      resync = 1;
    } else {
      if (round == 0 || changed || resync || since_record >= VLIO_SAMPLE_RECORD_EVERY) {
        if (records < capacity) {
          record->Ticks = elapsed;
          record->Round = round;
          record->StallTicks = resync ? (uint32_t)(now - last) : 0;
          for (i = 0; i < VLIO_SAMPLE_MAX_REGISTERS; ++i)
            record->Values[i] = seen[i];
          ++record;
          ++records;
        } else if (changed || resync) {
          /* Not counted: the values it saw, or the gap before it, would be lost. */
          ended = VLIO_SAMPLE_ENDED_FULL;
          break;
        }
        /* A periodic record with no room is only left out. */
        since_record = 0;
      }
      for (i = 0; i < count; ++i)
        held[i] = seen[i];
      resync = 0;
      last = now;
      rounds = last_rounds = round + 1;
    }
    if (round + 1 != max_rounds && (uint64_t)elapsed * 1000000u >= time_bound) {
      ended = VLIO_SAMPLE_ENDED_TIME;
      break;
    }
  }

  header->Frequency = frequency;
  header->First = first;
  header->Last = last;
  header->Rounds = rounds;
  header->Records = records;
  header->Ended = ended;
  header->Reserved = 0;
  return VLIO_HEADER_SIZE + records * VLIO_RECORD_SIZE;
}
