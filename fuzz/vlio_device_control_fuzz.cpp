// The driver's dispatch routines on the host kernel, with any control code, any buffer
// lengths and contents, several opens made and closed in any order, callers with or without
// the load-driver privilege, requests that carry no file object, and a card of Windows'
// parallel port driver that is queried for removal, kept, removed or pulled out in between.
// Besides what the sanitizers see (a read or write past the system buffer), every request must
// be answered as the driver's contract says: completed once,
// Information never past the output buffer, a claim answered by who holds which port, and a
// port touched only by a well-formed read, write or sampling of registers of the port its open
// holds that are not the machine's own (an ill-formed request is invalid, any other is denied);
// a sampling reads its registers in turn for the rounds it reports and no more.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

// The bus answers every port with its own low byte, so a read's answer tells which port it was;
// while `noise` is set, its bits flip bit 0 of the answers in turn, so that a sampling sees
// changes.
class EchoPorts final : public kernel_host::PortBus {
 public:
  uint32_t noise = 0;
  uint32_t reads = 0;
  uint8_t Read(uint16_t port) override { return static_cast<uint8_t>(port ^ (noise >> (reads++ % 32) & 1)); }
  void Write(uint16_t, uint8_t) override {}
};

// Fuzzed bytes become a sampling request with small bounds (a few hundred rounds and
// microseconds at most), sometimes just outside the limits, and registers near the legacy ports.
void ShapeSampleInput(FuzzedDataProvider& input, std::vector<uint8_t>& in) {
  VLIO_SAMPLE_INPUT request{};
  const bool card = input.ConsumeBool();
  for (uint16_t& port : request.Registers)
    port = static_cast<uint16_t>((card ? 0xCFFF : 0x277) + input.ConsumeIntegralInRange(0, 10));
  if (input.ConsumeBool()) request.Registers[input.ConsumeIntegralInRange(0, 3)] += 0x100;  // LPT1
  request.Count = input.ConsumeIntegralInRange<uint32_t>(0, 5);
  auto bound = [&](uint32_t limit) {
    switch (input.ConsumeIntegralInRange(0, 7)) {
      case 0: return 0u;
      case 1: return limit + 1;
      default: return input.ConsumeIntegralInRange<uint32_t>(1, 300);
    }
  };
  request.MaxRounds = bound(VLIO_SAMPLE_MAX_ROUNDS);
  request.MaxMicroseconds = bound(VLIO_SAMPLE_MAX_MICROSECONDS);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
  std::copy(bytes, bytes + std::min(in.size(), sizeof request), in.begin());
}

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "vlio broke its contract: %s\n", what);
  std::abort();
}

// What the driver serves: the legacy ports, and a card of the parallel port driver's.
struct ServedPort {
  uint16_t first, last;
};
constexpr ServedPort kServed[] = {{0x3BC, 0x3BF}, {0x378, 0x37F}, {0x278, 0x27F}, {0xD000, 0xD007}};
constexpr int kCard = 3;
constexpr int kNone = -1;

struct Open {
  FILE_OBJECT* file;
  int port;           // index into kServed, or kNone
  bool lost = false;  // its port was taken away by a removal since it claimed it
};

// The card's removal as far as the driver has been told.
enum class Card { Present, QueriedForRemoval, Gone };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  kernel_host::Kernel kernel;
  EchoPorts ports;
  kernel.ConnectPorts(&ports);
  kernel_host::ParallelPort& card_port = kernel.AddParallelPort({"\\??\\PCI#VEN_1415&DEV_C118#2", 0xD000, 8, 0xD000});
  kernel_host::Driver driver(kernel, &DriverEntry);
  if (driver.Load() != STATUS_SUCCESS) Broken("load failed on a kernel that fails nothing");
  Card card = Card::Present;

  std::vector<Open> opens;
  auto holder = [&](int port) {
    for (const Open& open : opens)
      if (open.port == port && !open.lost) return &open;
    return static_cast<const Open*>(nullptr);
  };
  // A removal takes the card from the open that holds it.
  auto take_card = [&] {
    for (Open& open : opens)
      if (open.port == kCard) open.lost = true;
  };
  // A few requests per input, so that the opens' histories matter too.
  while (input.remaining_bytes() > 0) {
    const bool privileged = input.ConsumeBool();
    kernel.SetRequestor(privileged ? kernel_host::PrivilegedClient() : kernel_host::UnprivilegedClient());
    const size_t accesses = kernel.PortAccesses().size();
    const int what = input.ConsumeIntegralInRange(0, 9);
    if (what == 8) {
      // The card's removal, one step of it: a query, its cancellation, the completion (after a
      // query, or none as when it is pulled out).
      const int step = input.ConsumeIntegralInRange(0, 2);
      if (step == 0) {
        if (!kernel.QueryRemove(card_port)) Broken("a query-remove left the card held");
        if (card == Card::Present) card = Card::QueriedForRemoval;
        take_card();
      } else if (step == 1) {
        kernel.CancelRemove(card_port);
        if (card == Card::QueriedForRemoval) card = Card::Present;
      } else {
        kernel.CompleteRemove(card_port);
        card = Card::Gone;
        take_card();
      }
      if (card_port.allocated != (holder(kCard) != nullptr)) Broken("the card's allocation is not its holder's");
      if (kernel.PortAccesses().size() != accesses) Broken("a removal touched a port");
      continue;
    }
    if (what == 9) {
      const kernel_host::Reply reply = driver.DeviceControl(nullptr, IOCTL_VLIO_READ, {0x79, 0x03}, {0xEE});
      if (reply.status != STATUS_INVALID_DEVICE_REQUEST || reply.information != 0) Broken("a request with no open");
      if (kernel.PortAccesses().size() != accesses) Broken("a request with no open touched a port");
      continue;
    }
    if (opens.empty() || what == 0) {
      const kernel_host::Reply opened = driver.Create();
      if (opened.status != (privileged ? STATUS_SUCCESS : STATUS_ACCESS_DENIED)) Broken("create status");
      if (opened.completions != 1 || opened.information != 0) Broken("create completion");
      if (kernel.PortAccesses().size() != accesses) Broken("create touched a port");
      if (privileged) opens.push_back({opened.file, kNone});
      continue;
    }
    const size_t which = input.ConsumeIntegralInRange<size_t>(0, opens.size() - 1);
    Open& open = opens[which];
    if (what == 1) {
      const kernel_host::Reply closed = driver.Close(open.file);
      if (closed.status != STATUS_SUCCESS || closed.completions != 1) Broken("close");
      if (kernel.PortAccesses().size() != accesses) Broken("close touched a port");
      opens.erase(opens.begin() + static_cast<std::ptrdiff_t>(which));
      continue;
    }
    // Mostly the driver's own four codes, sometimes anything at all.
    ULONG code = input.ConsumeIntegral<ULONG>();
    switch (code % 6) {
      case 0: code = IOCTL_VLIO_READ; break;
      case 1: code = IOCTL_VLIO_WRITE; break;
      case 2: code = IOCTL_VLIO_CLAIM; break;
      case 3: code = IOCTL_VLIO_SAMPLE; break;
      default: break;
    }
    const bool sample = code == IOCTL_VLIO_SAMPLE;
    // A sampling request takes 20 bytes and answers in 40 and 16 a record.
    const size_t in_size = input.ConsumeIntegralInRange<size_t>(0, sample ? 24 : 16);
    const size_t out_size = input.ConsumeIntegralInRange<size_t>(0, sample ? 200 : 16);
    std::vector<uint8_t> in = input.ConsumeBytes<uint8_t>(in_size);
    in.resize(in_size, 0);
    if (sample) {
      ShapeSampleInput(input, in);
      ports.noise = input.ConsumeIntegral<uint32_t>();
    } else if (in_size >= 2 && input.ConsumeBool()) {
      // Mostly near the served ports, whose claims and registers are the interesting part.
      const ServedPort& near = kServed[in[0] % 4];
      const uint16_t port = static_cast<uint16_t>(near.first - 1 + in[1] % 10);
      in[0] = static_cast<uint8_t>(port);
      in[1] = static_cast<uint8_t>(port >> 8);
    }
    const std::vector<uint8_t> out(out_size, 0xEE);
    const kernel_host::Reply reply = driver.DeviceControl(open.file, code, in, out);
    ports.noise = 0;

    if (reply.completions != 1 || reply.returned != reply.status) Broken("completion");
    if (reply.information > out_size) Broken("Information past the output buffer");
    const size_t made = kernel.PortAccesses().size() - accesses;
    const uint16_t port = in_size >= 2 ? static_cast<uint16_t>(in[0] | in[1] << 8) : 0;
    const bool read = code == IOCTL_VLIO_READ, write = code == IOCTL_VLIO_WRITE;
    if (code == IOCTL_VLIO_CLAIM) {
      int served = kNone;
      for (int i = 0; i < 4; ++i)
        if (kServed[i].first == port) served = i;
      const Open* held_by = served == kNone ? nullptr : holder(served);
      const NTSTATUS expected = in_size < 2                                 ? STATUS_INVALID_PARAMETER
                                : served == kNone                           ? STATUS_ACCESS_DENIED
                                : served == kCard && card != Card::Present  ? STATUS_DEVICE_REMOVED
                                : held_by != nullptr && held_by != &open    ? STATUS_DEVICE_BUSY
                                                                            : STATUS_SUCCESS;
      if (reply.status != expected) Broken("claim status");
      if (reply.information != 0 || made != 0) Broken("a claim answered with data or touched a port");
      if (expected == STATUS_SUCCESS) open = {open.file, served, false};
      if (card_port.allocated != (holder(kCard) != nullptr)) Broken("the card's allocation is not its holder's");
      continue;
    }
    // Served as far as its registers go, but the port went away under the open.
    const bool removed = open.port == kCard && (open.lost || card != Card::Present);
    const bool well_formed = (read && in_size >= 2 && out_size >= 1) || (write && in_size >= 3);
    auto claimed_register = [&](uint16_t each) {
      return open.port != kNone && each >= kServed[open.port].first && each <= kServed[open.port].last;
    };
    const bool claimed = claimed_register(port);
    if (sample) {
      VLIO_SAMPLE_INPUT request{};
      if (!in.empty()) std::memcpy(&request, in.data(), std::min(in.size(), sizeof request));
      const bool valid = in_size >= sizeof request && request.Count - 1 < VLIO_SAMPLE_MAX_REGISTERS &&
                         request.MaxRounds - 1 < VLIO_SAMPLE_MAX_ROUNDS &&
                         request.MaxMicroseconds - 1 < VLIO_SAMPLE_MAX_MICROSECONDS &&
                         out_size >= sizeof(VLIO_SAMPLE_OUTPUT) + 2 * sizeof(VLIO_SAMPLE_RECORD);
      bool served = valid;
      for (uint32_t i = 0; valid && i < request.Count; ++i)
        served = served && claimed_register(request.Registers[i]) && !VlioIsSystemPort(request.Registers[i]);
      if (!served || removed) {
        if (reply.status !=
            (!valid ? STATUS_INVALID_PARAMETER : !served ? STATUS_ACCESS_DENIED : STATUS_DEVICE_REMOVED))
          Broken("sampling refusal status");
        if (reply.information != 0 || made != 0 || reply.output != out) Broken("a refused sampling was served");
        continue;
      }
      if (reply.status != STATUS_SUCCESS) Broken("sampling status");
      VLIO_SAMPLE_OUTPUT header;
      std::memcpy(&header, reply.output.data(), sizeof header);
      if (reply.information != sizeof header + header.Records * sizeof(VLIO_SAMPLE_RECORD)) Broken("sampling size");
      if (header.Rounds < 1 || header.Rounds > request.MaxRounds || header.Records < 1 ||
          header.Records > header.Rounds || header.Ended - 1 > 2 || header.Reserved != 0 || header.Last < header.First)
        Broken("sampling header");
      // Every round read, and the one a full output could not take.
      const size_t rounds = header.Rounds + (header.Ended == VLIO_SAMPLE_ENDED_FULL);
      if (made != rounds * request.Count) Broken("sampling read other than its rounds");
      for (size_t i = 0; i < made; ++i) {
        const kernel_host::PortAccess access = kernel.PortAccesses()[accesses + i];
        if (access.write || access.port != request.Registers[i % request.Count]) Broken("sampling read elsewhere");
      }
      uint32_t previous = 0;
      for (uint32_t i = 0; i < header.Records; ++i) {
        VLIO_SAMPLE_RECORD record;
        std::memcpy(&record, reply.output.data() + sizeof header + i * sizeof record, sizeof record);
        if ((i == 0) != (record.Round == 0) || (i != 0 && record.Round <= previous) || record.Round >= header.Rounds ||
            record.StallTicks > record.Ticks)
          Broken("sampling record");
        for (uint32_t j = request.Count; j < VLIO_SAMPLE_MAX_REGISTERS; ++j)
          if (record.Values[j] != 0) Broken("sampling value of no register");
        previous = record.Round;
      }
      continue;
    }
    const bool denied = well_formed && (!claimed || (read ? VlioIsSystemPort(port) : VlioIsWriteRefused(port)));
    if ((read || write) && (!well_formed || denied || removed)) {
      if (reply.status !=
          (!well_formed ? STATUS_INVALID_PARAMETER : denied ? STATUS_ACCESS_DENIED : STATUS_DEVICE_REMOVED))
        Broken("refusal status");
      if (reply.information != 0 || made != 0) Broken("a refused request was served");
      if (reply.output != out) Broken("a refused request wrote to the output buffer");
    } else if (read) {
      if (reply.status != STATUS_SUCCESS || made != 1) Broken("read status");
      const kernel_host::PortAccess access = kernel.PortAccesses().back();
      if (access.write || access.port != port) Broken("read went to another port");
      if (reply.information != 1 || reply.output[0] != static_cast<uint8_t>(port)) Broken("read answer");
    } else if (write) {
      if (reply.status != STATUS_SUCCESS || reply.information != 0 || made != 1) Broken("write status");
      const kernel_host::PortAccess access = kernel.PortAccesses().back();
      if (!access.write || access.port != port || access.value != in[2]) Broken("write went elsewhere");
    } else {
      if (reply.status != STATUS_UNSUCCESSFUL || reply.information != 0 || made != 0) Broken("unknown code");
    }
  }
  for (const Open& open : opens) driver.Close(open.file);
  if (card_port.allocated) Broken("the card stayed allocated after every open closed");
  if (!kernel.Faults().empty()) Broken(kernel.Faults().front().c_str());
  driver.Unload();
  if (!kernel.Devices().empty() || !kernel.Links().empty()) Broken("unload left the device or the link");
  if (kernel.Registrations() != 0 || kernel.ParallelPortReferences() != 0 || kernel.OutstandingPool() != 0)
    Broken("unload left a watch, a reference on the card or the interface list");
  return 0;
}
