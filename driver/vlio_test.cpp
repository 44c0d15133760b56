#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"
#include "driver/vlio_sample.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

using kernel_host::PortAccess;
using Bytes = std::vector<uint8_t>;

// A bus whose ports hold fixed bytes; anything else reads 0x00.
class FixedPorts : public kernel_host::PortBus {
 public:
  std::map<uint16_t, uint8_t> bytes;
  uint8_t Read(uint16_t port) override { return bytes.count(port) ? bytes[port] : 0x00; }
  void Write(uint16_t, uint8_t) override {}
};

// Windows' parallel port driver with three ports: LPT1 at its legacy base, a PCI card whose
// answer comes later (through the event), and a card whose registers take in three system ports.
kernel_host::ParallelPort Lpt1() { return {"\\??\\ACPI#PNP0400#1", 0x378, 8, 0x378}; }
kernel_host::ParallelPort PciCard() {
  kernel_host::ParallelPort card{"\\??\\PCI#VEN_1415&DEV_C118#2", 0xD000, 8, 0xD000};
  card.pending = true;
  return card;
}
kernel_host::ParallelPort OddCard() { return {"\\??\\PCI#VEN_9710&DEV_9805#3", 0x4D0, 8, 0x4D0}; }

Bytes Le(uint16_t value) { return {uint8_t(value), uint8_t(value >> 8)}; }

// A sampling request for `registers`, as its bytes.
Bytes SampleInput(std::vector<uint16_t> registers, uint32_t rounds, uint32_t microseconds) {
  VLIO_SAMPLE_INPUT input{};
  for (size_t i = 0; i < registers.size() && i < VLIO_SAMPLE_MAX_REGISTERS; ++i) input.Registers[i] = registers[i];
  input.Count = static_cast<uint32_t>(registers.size());
  input.MaxRounds = rounds;
  input.MaxMicroseconds = microseconds;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&input);
  return Bytes(bytes, bytes + sizeof input);
}

constexpr size_t OutputFor(size_t records) {
  return sizeof(VLIO_SAMPLE_OUTPUT) + records * sizeof(VLIO_SAMPLE_RECORD);
}

class Vlio : public testing::Test {
 protected:
  void SetUp() override {
    kernel_.ConnectPorts(&ports_);
    ports_.bytes = {{0x378, 0x11}, {0x379, 0x7F}, {0x37A, 0xCC}};
    lpt1_ = &kernel_.AddParallelPort(Lpt1());
    card_ = &kernel_.AddParallelPort(PciCard());
    kernel_.AddParallelPort(OddCard());
    ASSERT_EQ(driver_.Load(), STATUS_SUCCESS);
    ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  }
  void TearDown() override {
    // The interface list is kept while the driver runs.
    if (driver_.Object().DeviceObject != nullptr) driver_.Unload();
    EXPECT_EQ(kernel_.OutstandingPool(), 0u) << "the interface list was not freed";
    EXPECT_EQ(kernel_.Registrations(), 0u) << "a watch outlived the driver";
    EXPECT_TRUE(kernel_.Faults().empty()) << kernel_.Faults().front();
  }

  // Every request is completed once, without a boost, with the status it returns.
  kernel_host::Reply Send(ULONG code, Bytes input, Bytes output) {
    kernel_host::Reply reply = driver_.DeviceControl(code, std::move(input), std::move(output));
    EXPECT_EQ(reply.completions, 1);
    EXPECT_EQ(reply.boost, IO_NO_INCREMENT);
    EXPECT_EQ(reply.returned, reply.status);
    return reply;
  }
  NTSTATUS Claim(uint16_t base) {
    kernel_host::Reply reply = Send(IOCTL_VLIO_CLAIM, Le(base), Bytes(2, 0xEE));
    EXPECT_EQ(reply.information, 0u);
    EXPECT_EQ(reply.output, Bytes(2, 0xEE));
    return reply.status;
  }
  kernel_host::Reply Read(uint16_t port) { return Send(IOCTL_VLIO_READ, Le(port), Bytes(1, 0xEE)); }
  kernel_host::Reply Write(uint16_t port, uint8_t value = 0x5A) {
    return Send(IOCTL_VLIO_WRITE, {uint8_t(port), uint8_t(port >> 8), value}, Bytes(2, 0xEE));
  }

  kernel_host::Kernel kernel_;
  FixedPorts ports_;
  kernel_host::Driver driver_{kernel_, &DriverEntry};
  kernel_host::ParallelPort* lpt1_;
  kernel_host::ParallelPort* card_;
};

TEST_F(Vlio, LoadMakesOneDeviceAndItsLinkAndLeavesCloseToTheSystem) {
  ASSERT_EQ(kernel_.Devices().size(), 1u);
  const kernel_host::Device device = kernel_.Devices()[0];
  EXPECT_EQ(device.name, "\\Device\\vlio");
  EXPECT_EQ(device.type, 0x22u);
  EXPECT_EQ(device.characteristics, ULONG{FILE_DEVICE_SECURE_OPEN});
  EXPECT_FALSE(device.exclusive);
  EXPECT_EQ(driver_.Object().DeviceObject, device.object);
  EXPECT_EQ(kernel_.Links(), (std::map<std::string, std::string>{{"\\DosDevices\\vlio", "\\Device\\vlio"}}));

  for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
    bool own = major == IRP_MJ_CREATE || major == IRP_MJ_CLOSE || major == IRP_MJ_DEVICE_CONTROL;
    EXPECT_EQ(driver_.Object().MajorFunction[major] != &kernel_host::InvalidDeviceRequest, own) << major;
  }
  EXPECT_NE(driver_.Object().DriverUnload, nullptr);
  EXPECT_EQ(kernel_.Registrations(), 1u + 3) << "the arrivals of parallel ports, and each port's removal";

  kernel_host::Reply opened = driver_.Create();
  EXPECT_EQ(opened.returned, STATUS_SUCCESS);
  EXPECT_EQ(opened.status, STATUS_SUCCESS);
  EXPECT_EQ(opened.information, 0u);
  EXPECT_EQ(opened.completions, 1);
  EXPECT_EQ(opened.boost, IO_NO_INCREMENT);
  EXPECT_TRUE(kernel_.PortAccesses().empty());
}

TEST_F(Vlio, OnlyACallerThatCouldLoadADriverItselfOpensTheDevice) {
  struct Case {
    const char* who;
    kernel_host::Requestor requestor;
    NTSTATUS status;
  };
  const Case cases[] = {
      {"client with the load-driver privilege enabled", kernel_host::PrivilegedClient(), STATUS_SUCCESS},
      {"program without it", kernel_host::UnprivilegedClient(), STATUS_ACCESS_DENIED},
      {"program with other privileges only", {UserMode, {19, 20, 23}}, STATUS_ACCESS_DENIED},
      {"the kernel itself", {KernelMode, {}}, STATUS_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    kernel_.SetRequestor(c.requestor);
    const size_t checks = kernel_.PrivilegeChecks().size();
    kernel_host::Reply opened = driver_.Create();
    EXPECT_EQ(opened.status, c.status);
    EXPECT_EQ(opened.returned, c.status);
    EXPECT_EQ(opened.information, 0u);
    EXPECT_EQ(opened.completions, 1);
    // Judged by the mode the request came from, never as the kernel's own call.
    ASSERT_EQ(kernel_.PrivilegeChecks().size(), checks + 1);
    const kernel_host::PrivilegeCheck check = kernel_.PrivilegeChecks().back();
    EXPECT_EQ(check.privilege, ULONG{SE_LOAD_DRIVER_PRIVILEGE});
    EXPECT_EQ(check.mode, c.requestor.mode);
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());
}

TEST_F(Vlio, CreateJudgesTheSubjectOfTheRequestNotTheThreadItRunsOn) {
  using kernel_host::CreateRequest;
  using kernel_host::PrivilegeCheck;
  const kernel_host::Requestor unprivileged = kernel_host::UnprivilegedClient();
  const kernel_host::Requestor privileged = kernel_host::PrivilegedClient();
  const kernel_host::Requestor kernel_unprivileged{KernelMode, {}};
  struct Case {
    const char* who;
    CreateRequest create;
    NTSTATUS status;
    KPROCESSOR_MODE checked_as;
    PrivilegeCheck::Of of;
  };
  const Case cases[] = {
      {"unprivileged subject, passed on by a system thread",
       {unprivileged, kernel_host::SystemThreadToken()}, STATUS_ACCESS_DENIED, UserMode, PrivilegeCheck::Subject},
      {"privileged subject, passed on by an unprivileged thread",
       {privileged, {}}, STATUS_SUCCESS, UserMode, PrivilegeCheck::Subject},
      {"kernel-mode open forced to check an unprivileged subject",
       {kernel_unprivileged, kernel_host::SystemThreadToken(), true}, STATUS_ACCESS_DENIED, UserMode,
       PrivilegeCheck::Subject},
      {"kernel-mode open forced to check a privileged subject",
       {{KernelMode, privileged.enabled_privileges}, {}, true}, STATUS_SUCCESS, UserMode, PrivilegeCheck::Subject},
      {"kernel-mode open without the flag", {kernel_unprivileged, {}}, STATUS_SUCCESS, KernelMode,
       PrivilegeCheck::Subject},
      // What Wine sends: no security context. Judged by the thread, as the kernel's own
      // single-privilege check does, never more leniently.
      {"no security context, unprivileged thread", {privileged, {}, false, false}, STATUS_ACCESS_DENIED, UserMode,
       PrivilegeCheck::Thread},
      {"no security context, privileged thread", {unprivileged, privileged.enabled_privileges, false, false},
       STATUS_SUCCESS, UserMode, PrivilegeCheck::Thread},
      {"no security context, forced check of a kernel-mode open", {kernel_unprivileged, {}, true, false},
       STATUS_ACCESS_DENIED, UserMode, PrivilegeCheck::Thread},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    const size_t checks = kernel_.PrivilegeChecks().size();
    kernel_host::Reply opened = driver_.Create(c.create);
    EXPECT_EQ(opened.status, c.status);
    EXPECT_EQ(opened.returned, c.status);
    EXPECT_EQ(opened.information, 0u);
    EXPECT_EQ(opened.completions, 1);
    ASSERT_EQ(kernel_.PrivilegeChecks().size(), checks + 1);
    const PrivilegeCheck check = kernel_.PrivilegeChecks().back();
    EXPECT_EQ(check.privilege, ULONG{SE_LOAD_DRIVER_PRIVILEGE});
    EXPECT_EQ(check.mode, c.checked_as);
    EXPECT_EQ(check.of, c.of);
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());
}

TEST_F(Vlio, ReadReturnsThePortByteWhenTheBuffersHoldPortAndAnswer) {
  ASSERT_EQ(Claim(0x378), STATUS_SUCCESS);
  kernel_host::Reply reply = Send(IOCTL_VLIO_READ, {0x79, 0x03}, Bytes(1, 0xEE));
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 1u);
  EXPECT_EQ(reply.output, Bytes{0x7F});
  EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{false, 0x379, 0x7F}}));

  // Longer buffers change nothing: only the answer comes back.
  reply = Send(IOCTL_VLIO_READ, {0x7A, 0x03, 0x55, 0x55}, Bytes(4, 0xEE));
  EXPECT_EQ(reply.information, 1u);
  EXPECT_EQ(reply.output, (Bytes{0xCC, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(kernel_.PortAccesses().back(), (PortAccess{false, 0x37A, 0xCC}));
}

TEST_F(Vlio, ShortRequestsAreInvalidAndTouchNoPort) {
  struct Case {
    ULONG code;
    Bytes input;
    size_t output;
  };
  // 0x0CF9 is a system port, and no port is claimed: a request too short to be served is
  // invalid before it is refused.
  const Case cases[] = {
      {IOCTL_VLIO_CLAIM, {}, 0},        {IOCTL_VLIO_CLAIM, {0x78}, 4},
      {IOCTL_VLIO_READ, {}, 0},         {IOCTL_VLIO_READ, {0x79}, 1},        {IOCTL_VLIO_READ, {0x79, 0x03}, 0},
      {IOCTL_VLIO_READ, {0x79}, 8},     {IOCTL_VLIO_READ, {0xF9, 0x0C}, 0},  {IOCTL_VLIO_WRITE, {}, 0},
      {IOCTL_VLIO_WRITE, {0x78}, 0},    {IOCTL_VLIO_WRITE, {0x78, 0x03}, 4}, {IOCTL_VLIO_WRITE, {0xF9, 0x0C}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << " in " << c.input.size() << " out " << c.output);
    kernel_host::Reply reply = Send(c.code, c.input, Bytes(c.output, 0xEE));
    EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(reply.information, 0u);
    EXPECT_EQ(reply.output, Bytes(c.output, 0xEE));
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());
  EXPECT_FALSE(lpt1_->allocated);
}

TEST_F(Vlio, WriteUsesPortAndValueAndReturnsNothing) {
  ASSERT_EQ(Claim(0x378), STATUS_SUCCESS);
  kernel_host::Reply reply = Send(IOCTL_VLIO_WRITE, {0x78, 0x03, 0xA5}, {});
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 0u);

  // Bytes past the value are ignored, and an output buffer gets nothing back.
  ASSERT_EQ(Claim(0x278), STATUS_SUCCESS);
  reply = Send(IOCTL_VLIO_WRITE, {0x7A, 0x02, 0x0D, 0xFF, 0xFF}, Bytes(4, 0xEE));
  EXPECT_EQ(reply.information, 0u);
  EXPECT_EQ(reply.output, Bytes(4, 0xEE));

  EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{true, 0x378, 0xA5}, {true, 0x27A, 0x0D}}));
}

TEST_F(Vlio, OtherCodesFailWithoutTouchingAPort) {
  const ULONG codes[] = {
      0,
      CTL_CODE(0x9C40u, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS),
      CTL_CODE(0x9C40u, 0x805, METHOD_BUFFERED, FILE_ANY_ACCESS),
      CTL_CODE(0x9C40u, 0x801, METHOD_NEITHER, FILE_ANY_ACCESS),
      CTL_CODE(0x9C40u, 0x803, METHOD_NEITHER, FILE_ANY_ACCESS),
      CTL_CODE(0x9C41u, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS),
  };
  ASSERT_EQ(Claim(0x378), STATUS_SUCCESS);
  for (ULONG code : codes) {
    SCOPED_TRACE(testing::Message() << std::hex << code);
    kernel_host::Reply reply = Send(code, {0x78, 0x03, 0xA5}, Bytes(4, 0xEE));
    EXPECT_EQ(reply.status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(reply.information, 0u);
    EXPECT_EQ(reply.output, Bytes(4, 0xEE));
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());

  // A kernel-mode sender that set no file object has no open, hence no claim to look up.
  for (ULONG code : {IOCTL_VLIO_CLAIM, IOCTL_VLIO_READ, IOCTL_VLIO_WRITE, IOCTL_VLIO_SAMPLE}) {
    kernel_host::Reply reply = driver_.DeviceControl(nullptr, code, {0x78, 0x03, 0xA5}, Bytes(4, 0xEE));
    EXPECT_EQ(reply.status, STATUS_INVALID_DEVICE_REQUEST) << std::hex << code;
    EXPECT_EQ(reply.information, 0u);
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());
}

// Every port a parallel port can sit at: the legacy bases with their registers, and each
// one's ECP registers 0x400 above.
struct PortSpan {
  uint16_t first, last;
};
constexpr PortSpan kParallelPorts[] = {{0x3BC, 0x3BF}, {0x378, 0x37F}, {0x278, 0x27F},
                                       {0x7BC, 0x7BE}, {0x778, 0x77A}, {0x678, 0x67A}};

TEST(VlioSystemPorts, LeaveEveryParallelPortRangeFree) {
  for (const VLIO_PORT_RANGE& system : VlioSystemPorts) {
    EXPECT_LE(system.First, system.Last);
    for (const PortSpan& parallel : kParallelPorts) {
      EXPECT_TRUE(system.Last < parallel.first || system.First > parallel.last)
          << std::hex << "system ports 0x" << system.First << "-0x" << system.Last << " overlap 0x" << parallel.first
          << "-0x" << parallel.last;
    }
  }
}

TEST(VlioSystemPorts, CoverTheMachinesFixedDevices) {
  // DMA, interrupt controllers, timer, keyboard and embedded controllers, RTC/CMOS and the NMI
  // mask, DMA pages and system control, the SMI command port, Super I/O configuration, ATA,
  // both floppy controllers with the ATA control ports among them, extended DMA, interrupt
  // edge/level, Plug and Play ISA write data, power-management index, PCI configuration and reset,
  // and the display's registers on either side of LPT3.
  const PortSpan fixed[] = {{0x00, 0x77},   {0x80, 0xDF},   {0x170, 0x177}, {0x1F0, 0x1F7}, {0x370, 0x377},
                            {0x3B0, 0x3BB}, {0x3C0, 0x3DF}, {0x3F0, 0x3F7}, {0x40B, 0x40B}, {0x480, 0x48F},
                            {0x4D6, 0x4D6}, {0x4D0, 0x4D1}, {0xA79, 0xA79}, {0xCD6, 0xCD7}, {0xCF8, 0xCFF}};
  for (const PortSpan& span : fixed) {
    for (unsigned port = span.first; port <= span.last; ++port)
      EXPECT_TRUE(VlioIsSystemPort(static_cast<uint16_t>(port))) << std::hex << "0x" << port;
  }
  for (const PortSpan& parallel : kParallelPorts) {
    for (unsigned port = parallel.first; port <= parallel.last; ++port) {
      EXPECT_FALSE(VlioIsSystemPort(static_cast<uint16_t>(port))) << std::hex << "0x" << port;
      EXPECT_EQ(VlioIsWriteRefused(static_cast<uint16_t>(port)), port == 0x279) << std::hex << "0x" << port;
    }
  }
}

// Refused: no request reaches the bus, nothing is copied back.
void ExpectRefused(const kernel_host::Kernel& kernel, const kernel_host::Reply& reply) {
  EXPECT_EQ(reply.status, STATUS_ACCESS_DENIED);
  EXPECT_EQ(reply.information, 0u);
  EXPECT_EQ(reply.output, Bytes(reply.output.size(), 0xEE));
  EXPECT_TRUE(kernel.PortAccesses().empty()) << "a refused request reached the bus";
}

TEST_F(Vlio, EachServedPortIsClaimedByItsBaseAndServesItsRegistersAndNoOthers) {
  // The legacy bases (0x378 through LPT1's parallel driver, the others by the driver's own
  // hold), and the cards the parallel driver knows, with the ports just outside each.
  const PortSpan served[] = {{0x3BC, 0x3BF}, {0x378, 0x37F}, {0x278, 0x27F}, {0xD000, 0xD007}};
  for (const PortSpan& port : served) {
    SCOPED_TRACE(testing::Message() << std::hex << "port at 0x" << port.first);
    ASSERT_EQ(Claim(port.first), STATUS_SUCCESS);
    for (uint16_t outside : {uint16_t(port.first - 1), uint16_t(port.last + 1)}) {
      ExpectRefused(kernel_, Read(outside));
      ExpectRefused(kernel_, Write(outside));
    }
    for (uint16_t inside : {port.first, port.last}) {
      ports_.bytes[inside] = 0x3C;
      EXPECT_EQ(Read(inside).output, Bytes{0x3C});
      EXPECT_EQ(Write(inside).status, STATUS_SUCCESS);
    }
    EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{false, port.first, 0x3C},
                                                                {true, port.first, 0x5A},
                                                                {false, port.last, 0x3C},
                                                                {true, port.last, 0x5A}}));
    kernel_.ClearPortAccesses();
  }
  // Not a base: a register of a served port, an ECP range, a serial port, a system port, a
  // card's neighbour, nothing at all.
  for (uint16_t base : {0x379, 0x3BD, 0x7BC, 0x3F8, 0x2F8, 0x0CF8, 0xD008, 0xCFF8, 0x0000}) {
    SCOPED_TRACE(testing::Message() << std::hex << "base 0x" << base);
    EXPECT_EQ(Claim(base), STATUS_ACCESS_DENIED);
  }
  // A refused claim leaves the open's port as it was.
  EXPECT_EQ(Read(0xD007).status, STATUS_SUCCESS);
}

TEST_F(Vlio, SystemPortsStayRefusedInsideAPortThatTakesThemIn) {
  // The odd card's registers are 0x4D0-0x4D7, of which 0x4D0, 0x4D1 and 0x4D6 are the
  // interrupt edge/level and DMA registers.
  ASSERT_EQ(Claim(0x4D0), STATUS_SUCCESS);
  for (uint16_t port = 0x4D0; port <= 0x4D7; ++port) {
    SCOPED_TRACE(testing::Message() << std::hex << "0x" << port);
    const NTSTATUS expected = VlioIsSystemPort(port) ? STATUS_ACCESS_DENIED : STATUS_SUCCESS;
    EXPECT_EQ(Read(port).status, expected);
    EXPECT_EQ(Write(port).status, expected);
  }
  EXPECT_EQ(kernel_.PortAccesses().size(), 2u * 5);
}

TEST_F(Vlio, AnOpenHoldsItsOnePortFromEveryoneElseUntilItClaimsAnotherOrCloses) {
  FILE_OBJECT* first = driver_.Current();
  ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  FILE_OBJECT* second = driver_.Current();
  auto as = [&](FILE_OBJECT* file) {
    driver_.Use(file);
    return this;
  };

  EXPECT_EQ(as(first)->Claim(0x378), STATUS_SUCCESS);
  EXPECT_TRUE(lpt1_->allocated) << "held through Windows' parallel port driver";
  EXPECT_EQ(as(second)->Claim(0x378), STATUS_DEVICE_BUSY);
  ExpectRefused(kernel_, as(second)->Read(0x379));
  EXPECT_EQ(as(first)->Claim(0x378), STATUS_SUCCESS) << "a claim of the port it holds";

  // A new claim replaces the old, which goes free.
  EXPECT_EQ(as(first)->Claim(0x278), STATUS_SUCCESS);
  EXPECT_FALSE(lpt1_->allocated);
  ExpectRefused(kernel_, as(first)->Read(0x379));
  EXPECT_EQ(as(second)->Claim(0x378), STATUS_SUCCESS);
  EXPECT_EQ(as(second)->Claim(0x278), STATUS_DEVICE_BUSY) << "the legacy port is held by the first open";
  EXPECT_EQ(as(second)->Read(0x379).status, STATUS_SUCCESS) << "a refused claim keeps the port held";

  // The close frees the port, as it does when the system closes a killed process's handle.
  EXPECT_EQ(driver_.Close(first).status, STATUS_SUCCESS);
  EXPECT_EQ(as(second)->Claim(0x278), STATUS_SUCCESS);
  EXPECT_FALSE(lpt1_->allocated);

  // A print job holds LPT1 through the parallel driver; the card's claim goes free at close.
  lpt1_->allocated = true;
  EXPECT_EQ(as(second)->Claim(0x378), STATUS_DEVICE_BUSY);
  EXPECT_EQ(as(second)->Claim(0xD000), STATUS_SUCCESS);
  EXPECT_TRUE(card_->allocated);
  EXPECT_EQ(driver_.Close(second).status, STATUS_SUCCESS);
  EXPECT_FALSE(card_->allocated);
  EXPECT_TRUE(lpt1_->allocated) << "the print job's hold is not the driver's to free";
}

// Removal as the PnP manager runs it: a query (with the open that holds the card idle), its
// cancellation, and a surprise removal, which comes with no query; then a query and completion of
// a port nobody holds. The kernel faults a FreePort after the reference on the port was let go.
TEST_F(Vlio, ARemovedPortIsLetGoAndRefusedUntilACancelledRemovalServesItAgain) {
  FILE_OBJECT* holder = driver_.Current();
  ASSERT_EQ(Claim(0xD000), STATUS_SUCCESS);
  auto refused_everywhere = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(Read(0xD000).status, STATUS_DEVICE_REMOVED);
    EXPECT_EQ(Write(0xD001).status, STATUS_DEVICE_REMOVED);
    EXPECT_EQ(Send(IOCTL_VLIO_SAMPLE, SampleInput({0xD001}, 1, 1), Bytes(OutputFor(2))).status, STATUS_DEVICE_REMOVED);
    EXPECT_EQ(Claim(0xD000), STATUS_DEVICE_REMOVED);
    EXPECT_TRUE(kernel_.PortAccesses().empty());
  };

  EXPECT_TRUE(kernel_.QueryRemove(*card_)) << "the driver must let the card go, or Windows cannot remove it";
  EXPECT_FALSE(card_->allocated);
  EXPECT_EQ(kernel_.ParallelPortReferences(), 2);
  refused_everywhere("after the query");
  ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  EXPECT_EQ(Claim(0xD000), STATUS_DEVICE_REMOVED) << "another open";

  kernel_.CancelRemove(*card_);
  EXPECT_EQ(kernel_.ParallelPortReferences(), 3);
  EXPECT_EQ(kernel_.Registrations(), 1u + 3);
  driver_.Use(holder);
  EXPECT_EQ(Read(0xD000).status, STATUS_DEVICE_REMOVED) << "let go at the query: claimed again before use";
  EXPECT_EQ(Claim(0xD000), STATUS_SUCCESS);
  EXPECT_TRUE(card_->allocated);
  EXPECT_EQ(Read(0xD000).status, STATUS_SUCCESS);
  kernel_.ClearPortAccesses();

  kernel_.CompleteRemove(*card_);
  EXPECT_FALSE(card_->allocated);
  EXPECT_EQ(kernel_.ParallelPortReferences(), 2);
  EXPECT_EQ(kernel_.Registrations(), 1u + 2);
  refused_everywhere("after a surprise removal");

  EXPECT_TRUE(kernel_.QueryRemove(*lpt1_));
  kernel_.CompleteRemove(*lpt1_);
  EXPECT_EQ(Claim(0x378), STATUS_DEVICE_REMOVED) << "not taken over by the driver's own hold";
  EXPECT_EQ(Claim(0x278), STATUS_SUCCESS) << "the ports that stay are served as before";
  EXPECT_EQ(kernel_.Registrations(), 1u + 1);
}

// A card plugged in after load may sit at a legacy base: from then on no legacy base is held by
// the driver's own flag; an open that holds one keeps it until it claims again.
TEST_F(Vlio, AParallelPortThatArrivesAfterLoadEndsTheDriversOwnHoldOfLegacyBases) {
  FILE_OBJECT* first = driver_.Current();
  ASSERT_EQ(Claim(0x278), STATUS_SUCCESS);
  kernel_.ArriveParallelPort({"\\??\\PCI#VEN_1C00&DEV_3050#4", 0x3BC, 8, 0x3BC});
  EXPECT_EQ(Read(0x27A).status, STATUS_SUCCESS);
  ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  EXPECT_EQ(Claim(0x3BC), STATUS_CONFLICTING_ADDRESSES);
  EXPECT_EQ(Claim(0x278), STATUS_CONFLICTING_ADDRESSES);
  EXPECT_EQ(Claim(0x378), STATUS_SUCCESS) << "a port Windows described stays served";
  driver_.Use(first);
  EXPECT_EQ(Claim(0xD000), STATUS_SUCCESS);
  EXPECT_EQ(Claim(0x278), STATUS_CONFLICTING_ADDRESSES);
}

// A port reported at 0x3BC with a span of 8 would reach the display's registers from 0x3C0.
TEST(VlioLoad, APortReportedAt3BCWithASpanOf8ReachesNoneOfTheDisplaysRegisters) {
  kernel_host::Kernel kernel;
  FixedPorts ports;
  kernel.ConnectPorts(&ports);
  kernel.AddParallelPort({"\\??\\ACPI#PNP0400#3", 0x3BC, 8, 0x3BC});
  kernel_host::Driver driver(kernel, &DriverEntry);
  ASSERT_EQ(driver.Load(), STATUS_SUCCESS);
  ASSERT_EQ(driver.Create().status, STATUS_SUCCESS);
  ASSERT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, Le(0x3BC), {}).status, STATUS_SUCCESS);
  for (uint16_t port = 0x3BC; port <= 0x3C3; ++port) {
    EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_READ, Le(port), Bytes(1)).status,
              port <= 0x3BF ? STATUS_SUCCESS : STATUS_ACCESS_DENIED)
        << std::hex << port;
  }
  EXPECT_EQ(kernel.PortAccesses().size(), 4u);
  driver.Close();
  driver.Unload();
  EXPECT_TRUE(kernel.Faults().empty()) << kernel.Faults().front();
}

TEST_F(Vlio, ThePlugAndPlayAddressPortIsReadButNeverWritten) {
  // LPT2's status register shares its address: reading it stays served.
  ASSERT_EQ(Claim(0x278), STATUS_SUCCESS);
  ports_.bytes[0x279] = 0x87;
  kernel_host::Reply reply = Send(IOCTL_VLIO_READ, {0x79, 0x02}, Bytes(1, 0xEE));
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.output, Bytes{0x87});
  reply = Send(IOCTL_VLIO_WRITE, {0x79, 0x02, 0x06}, {});
  EXPECT_EQ(reply.status, STATUS_ACCESS_DENIED);
  EXPECT_EQ(reply.information, 0u);
  EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{false, 0x279, 0x87}}));
  // The ports beside it are LPT2's data and control registers.
  EXPECT_EQ(Send(IOCTL_VLIO_WRITE, {0x78, 0x02, 0x06}, {}).status, STATUS_SUCCESS);
  EXPECT_EQ(Send(IOCTL_VLIO_WRITE, {0x7A, 0x02, 0x06}, {}).status, STATUS_SUCCESS);
  EXPECT_EQ(kernel_.PortAccesses().size(), 3u);
}

TEST_F(Vlio, UnloadLetsGoOfEveryPortAndRemovesLinkAndDeviceSoTheDriverCanLoadAgain) {
  EXPECT_EQ(kernel_.ParallelPortReferences(), 3);
  driver_.Close();
  driver_.Unload();
  EXPECT_EQ(kernel_.ParallelPortReferences(), 0);
  EXPECT_TRUE(kernel_.Devices().empty());
  EXPECT_TRUE(kernel_.Links().empty());
  EXPECT_EQ(driver_.Load(), STATUS_SUCCESS);
  EXPECT_EQ(kernel_.Devices().size(), 1u);
  EXPECT_EQ(kernel_.Links().size(), 1u);
  EXPECT_EQ(kernel_.ParallelPortReferences(), 3);
  driver_.Unload();
}

// A legacy base is held by the driver's own flag only while every parallel port that Windows
// lists was described: one it could not describe may sit at that base, and a print job would
// then drive the port beside Pinscope.
TEST(VlioLoad, LegacyBasesAreHeldByTheDriverOnlyWhenEveryListedPortWasDescribed) {
  using kernel_host::ParallelPort;
  ParallelPort refusing = Lpt1();
  refusing.answer = STATUS_INVALID_DEVICE_REQUEST;
  ParallelPort beyond_io_space = PciCard();
  beyond_io_space.base = beyond_io_space.controller = 0xFE000000;
  ParallelPort past_the_end = PciCard();
  past_the_end.base = past_the_end.controller = 0xFFFC;
  ParallelPort mapped_elsewhere = PciCard();
  mapped_elsewhere.controller = 0xFFFF8000DEAD0000;
  std::vector<ParallelPort> nine;
  for (uint16_t i = 0; i < 9; ++i)
    nine.push_back({"\\??\\PCI#CARD#" + std::to_string(i), uint64_t(0xD000 + 8 * i), 8, uint64_t(0xD000 + 8 * i)});
  struct Case {
    const char* what;
    std::vector<ParallelPort> ports;
    NTSTATUS interfaces, arrivals;  // what the interface query and the arrival watch fail with
    NTSTATUS legacy;
  };
  const Case cases[] = {
      {"no parallel port interface", {}, STATUS_SUCCESS, STATUS_SUCCESS, STATUS_SUCCESS},
      // Wine's kernel stubs both: it has no parallel port driver at all.
      {"a kernel without either", {}, STATUS_NOT_IMPLEMENTED, STATUS_NOT_IMPLEMENTED, STATUS_SUCCESS},
      {"the interface query fails", {Lpt1(), PciCard()}, STATUS_INSUFFICIENT_RESOURCES, STATUS_SUCCESS,
       STATUS_CONFLICTING_ADDRESSES},
      {"the arrivals cannot be watched", {}, STATUS_SUCCESS, STATUS_INSUFFICIENT_RESOURCES,
       STATUS_CONFLICTING_ADDRESSES},
      {"a port does not answer", {refusing}, STATUS_SUCCESS, STATUS_SUCCESS, STATUS_CONFLICTING_ADDRESSES},
      {"its registers are not I/O ports", {beyond_io_space}, STATUS_SUCCESS, STATUS_SUCCESS,
       STATUS_CONFLICTING_ADDRESSES},
      {"its registers run past the last port", {past_the_end}, STATUS_SUCCESS, STATUS_SUCCESS,
       STATUS_CONFLICTING_ADDRESSES},
      {"its driver reaches them elsewhere", {mapped_elsewhere}, STATUS_SUCCESS, STATUS_SUCCESS,
       STATUS_CONFLICTING_ADDRESSES},
      {"more ports than the table holds", nine, STATUS_SUCCESS, STATUS_SUCCESS, STATUS_CONFLICTING_ADDRESSES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kernel_host::Kernel kernel;
    std::vector<ParallelPort*> ports;
    for (const ParallelPort& port : c.ports) ports.push_back(&kernel.AddParallelPort(port));
    if (c.interfaces != STATUS_SUCCESS) kernel.FailNext(kernel_host::Routine::IoGetDeviceInterfaces, c.interfaces);
    if (c.arrivals != STATUS_SUCCESS) kernel.FailNext(kernel_host::Routine::IoRegisterPlugPlayNotification, c.arrivals);
    kernel_host::Driver driver(kernel, &DriverEntry);
    ASSERT_EQ(driver.Load(), STATUS_SUCCESS);
    ASSERT_EQ(driver.Create().status, STATUS_SUCCESS);
    for (uint16_t base : {0x3BC, 0x378, 0x278})
      EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, Le(base), {}).status, c.legacy) << std::hex << base;
    EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, Le(0xFFFC), {}).status, STATUS_ACCESS_DENIED);
    for (const ParallelPort* port : ports) EXPECT_FALSE(port->allocated);
    driver.Close();
    driver.Unload();
    EXPECT_EQ(kernel.ParallelPortReferences(), 0);
    EXPECT_EQ(kernel.Registrations(), 0u);
    EXPECT_EQ(kernel.OutstandingPool(), 0u);
    EXPECT_TRUE(kernel.Faults().empty()) << kernel.Faults().front();
  }
}

TEST(VlioLoad, FailureAtTheDeviceOrTheLinkLeavesNothingBehind) {
  for (kernel_host::Routine routine : {kernel_host::Routine::IoCreateDevice, kernel_host::Routine::IoCreateSymbolicLink}) {
    SCOPED_TRACE(static_cast<int>(routine));
    kernel_host::Kernel kernel;
    kernel_host::Driver driver(kernel, &DriverEntry);
    kernel.FailNext(routine, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(driver.Load(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(kernel.Devices().empty());
    EXPECT_TRUE(kernel.Links().empty());
    EXPECT_EQ(driver.Object().DeviceObject, nullptr);
    EXPECT_TRUE(kernel.Faults().empty());
  }
}

TEST_F(Vlio, SamplingRequestsOutsideTheRulesAreRefusedWithoutTouchingAPort) {
  ASSERT_EQ(Claim(0x378), STATUS_SUCCESS);
  Bytes short_input = SampleInput({0x379}, 1, 1);
  short_input.pop_back();
  struct Case {
    const char* what;
    Bytes input;
    size_t output;
    NTSTATUS status;
  };
  const Case cases[] = {
      {"short input", short_input, OutputFor(2), STATUS_INVALID_PARAMETER},
      {"no register", SampleInput({}, 1, 1), OutputFor(2), STATUS_INVALID_PARAMETER},
      {"too many registers", SampleInput({0x379, 0x379, 0x379, 0x379, 0x379}, 1, 1), OutputFor(2),
       STATUS_INVALID_PARAMETER},
      {"no rounds", SampleInput({0x379}, 0, 1), OutputFor(2), STATUS_INVALID_PARAMETER},
      {"too many rounds", SampleInput({0x379}, VLIO_SAMPLE_MAX_ROUNDS + 1, 1), OutputFor(2), STATUS_INVALID_PARAMETER},
      {"no time", SampleInput({0x379}, 1, 0), OutputFor(2), STATUS_INVALID_PARAMETER},
      {"too long", SampleInput({0x379}, 1, VLIO_SAMPLE_MAX_MICROSECONDS + 1), OutputFor(2), STATUS_INVALID_PARAMETER},
      {"room for one record", SampleInput({0x379}, 1, 1), OutputFor(2) - 1, STATUS_INVALID_PARAMETER},
      {"unclaimed register last", SampleInput({0x379, 0x37A, 0x27A}, 1, 1), OutputFor(2), STATUS_ACCESS_DENIED},
      {"past the claimed port", SampleInput({0x380}, 1, 1), OutputFor(2), STATUS_ACCESS_DENIED},
      {"below the claimed port", SampleInput({0x377}, 1, 1), OutputFor(2), STATUS_ACCESS_DENIED},
      {"system port", SampleInput({0x379, 0x0CF9}, 1, 1), OutputFor(2), STATUS_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kernel_host::Reply reply = Send(IOCTL_VLIO_SAMPLE, c.input, Bytes(c.output, 0xEE));
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.information, 0u);
    EXPECT_EQ(reply.output, Bytes(c.output, 0xEE));
  }
  EXPECT_TRUE(kernel_.PortAccesses().empty());

  // Without a claim, nothing is the open's; a system port inside a claimed range stays refused.
  FILE_OBJECT* claimed = driver_.Current();
  ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  EXPECT_EQ(Send(IOCTL_VLIO_SAMPLE, SampleInput({0x379}, 1, 1), Bytes(OutputFor(2))).status, STATUS_ACCESS_DENIED);
  ASSERT_EQ(Claim(0x4D0), STATUS_SUCCESS);
  EXPECT_EQ(Send(IOCTL_VLIO_SAMPLE, SampleInput({0x4D2, 0x4D6}, 1, 1), Bytes(OutputFor(2))).status,
            STATUS_ACCESS_DENIED);
  EXPECT_TRUE(kernel_.PortAccesses().empty());

  // The edges of the claimed port, registers past the count whatever they hold, and the
  // smallest output are served.
  driver_.Use(claimed);
  Bytes edges = SampleInput({0x378, 0x37F, 0x0CF9}, 1, 1);
  edges[offsetof(VLIO_SAMPLE_INPUT, Count)] = 2;
  EXPECT_EQ(Send(IOCTL_VLIO_SAMPLE, edges, Bytes(OutputFor(2))).status, STATUS_SUCCESS);
  EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{false, 0x378, 0x11}, {false, 0x37F, 0x00}}));
}

// The registers answer by a script of the round (each register's own count of reads), and the
// performance counter moves on by `step` ticks at each reading, plus `jump` from reading
// `jump_at` on (reading 0 is the driver's query of the frequency, reading 1 the one that times
// round 0).
class VlioSampling : public Vlio {
 protected:
  struct Output {
    VLIO_SAMPLE_OUTPUT header;
    std::vector<VLIO_SAMPLE_RECORD> records;
  };
  class ScriptedPorts : public kernel_host::PortBus {
   public:
    std::function<uint8_t(uint16_t port, uint32_t round)> script;
    std::map<uint16_t, uint32_t> reads;
    uint8_t Read(uint16_t port) override { return script(port, reads[port]++); }
    void Write(uint16_t, uint8_t) override {}
  };

  void SetUp() override {
    Vlio::SetUp();
    ASSERT_EQ(Claim(0x378), STATUS_SUCCESS);
    kernel_.ConnectPorts(&scripted_);
    scripted_.script = [](uint16_t, uint32_t) { return uint8_t{0x7F}; };
    Counter(10'000'000, 10);
  }
  void Counter(int64_t frequency, int64_t step, int64_t jump_at = 0, int64_t jump = 0) {
    kernel_.SetPerformanceCounter(
        [this, step, jump_at, jump] {
          const int64_t reading = readings_++;
          return 5000 + step * reading + (jump_at != 0 && reading >= jump_at ? jump : 0);
        },
        frequency);
  }
  // A request whose reply is checked against the layout: Information covers the header and
  // the records it counts, the first of which is round 0 at tick 0.
  Output Sample(std::vector<uint16_t> registers, uint32_t rounds, uint32_t microseconds, size_t room = 64) {
    kernel_host::Reply reply =
        Send(IOCTL_VLIO_SAMPLE, SampleInput(registers, rounds, microseconds), Bytes(OutputFor(room), 0xEE));
    Output out{};
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    if (reply.status != STATUS_SUCCESS || reply.information < sizeof out.header) return out;
    std::memcpy(&out.header, reply.output.data(), sizeof out.header);
    EXPECT_EQ(reply.information, OutputFor(out.header.Records));
    EXPECT_EQ(out.header.Reserved, 0u);
    out.records.resize(std::min<size_t>(out.header.Records, room));
    std::memcpy(out.records.data(), reply.output.data() + sizeof out.header,
                out.records.size() * sizeof(VLIO_SAMPLE_RECORD));
    EXPECT_TRUE(!out.records.empty() && out.records[0].Round == 0 && out.records[0].Ticks == 0);
    return out;
  }

  ScriptedPorts scripted_;
  int64_t readings_ = 0;
};

// Round, Ticks, StallTicks of each record.
using Moments = std::vector<std::vector<uint32_t>>;
Moments MomentsOf(const std::vector<VLIO_SAMPLE_RECORD>& records) {
  Moments moments;
  for (const VLIO_SAMPLE_RECORD& record : records) moments.push_back({record.Round, record.Ticks, record.StallTicks});
  return moments;
}

TEST_F(VlioSampling, ChangesAreRecordedWithTheirRoundTheirTicksAndTheValuesInTheOrderNamed) {
  // Control holds 0xC4; Busy (status) drops for rounds 5 to 12.
  scripted_.script = [](uint16_t port, uint32_t round) {
    return port == 0x37A ? uint8_t{0xC4} : round >= 5 && round < 13 ? uint8_t{0x7F} : uint8_t{0xFF};
  };
  Output out = Sample({0x37A, 0x379}, 20, 1000);
  // The counter is read before round 0 (which times the round), at round 0, at each change, and
  // at the last round (no eight quiet rounds in a row here): readings 1 to 5, a microsecond
  // apart.
  EXPECT_EQ(MomentsOf(out.records), (Moments{{0, 0, 0}, {5, 10, 0}, {13, 20, 0}}));
  ASSERT_EQ(out.records.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const uint8_t status = i == 1 ? 0x7F : 0xFF;
    EXPECT_EQ(Bytes(out.records[i].Values, out.records[i].Values + 4), (Bytes{0xC4, status, 0, 0})) << i;
  }
  EXPECT_EQ(out.header.Frequency, 10'000'000);
  EXPECT_EQ(out.header.First, 5020);
  EXPECT_EQ(out.header.Last, 5050);
  EXPECT_EQ(out.header.Rounds, 20u);
  EXPECT_EQ(out.header.Ended, VLIO_SAMPLE_ENDED_ROUNDS);
  EXPECT_EQ(kernel_.PortAccesses().size(), 40u);
  EXPECT_EQ(readings_, 6);
}

// The round before a stalled reading may have been read anywhere in the stall: the gap runs on
// to the round read and stamped after it, whose values are known to be of its time.
TEST_F(VlioSampling, AStallIsRecordedAtTheFirstRoundReadAfterItAndAStallOfExactlyTheBoundIsNot) {
  // Quiet lines: readings every eight rounds (0, 8, 16, ...). 200 us pass before the one at
  // round 16, so round 17 is read and stamped at once, and the gap runs from round 8's reading.
  Counter(10'000'000, 10, 4, 2000);
  Output out = Sample({0x379}, 40, 1000);
  EXPECT_EQ(MomentsOf(out.records), (Moments{{0, 0, 0}, {17, 2030, 2020}}));
  EXPECT_EQ(out.header.Rounds, 40u);
  EXPECT_EQ(out.header.Last - out.header.First, 2060);  // at the last round, eight rounds on from 25 and 33

  // 100 us between two readings is no stall; a tick more is.
  readings_ = 0;
  Counter(10'000'000, 10, 4, 990);
  EXPECT_EQ(Sample({0x379}, 40, 1000).records.size(), 1u);
  readings_ = 0;
  Counter(10'000'000, 10, 4, 991);
  EXPECT_EQ(MomentsOf(Sample({0x379}, 40, 1000).records), (Moments{{0, 0, 0}, {17, 1021, 1011}}));

  // A change read before the stalled reading is not taken for a change at its time: it shows at
  // the round after, at the gap's end.
  readings_ = 0;
  scripted_.reads.clear();
  scripted_.script = [](uint16_t, uint32_t round) { return round >= 16 ? uint8_t{0x3F} : uint8_t{0x7F}; };
  Counter(10'000'000, 10, 4, 2000);
  out = Sample({0x379}, 40, 1000);
  EXPECT_EQ(MomentsOf(out.records), (Moments{{0, 0, 0}, {17, 2030, 2020}}));
  EXPECT_EQ(out.records[1].Values[0], 0x3F);

  // A stall at the last reading: the request ends at the last round accounted for, and the gap
  // lies between it and the next request.
  readings_ = 0;
  scripted_.reads.clear();
  scripted_.script = [](uint16_t, uint32_t) { return uint8_t{0x7F}; };
  Counter(10'000'000, 10, 4, 2000);
  out = Sample({0x379}, 17, 1000);
  EXPECT_EQ(out.header.Rounds, 9u);
  EXPECT_EQ(out.header.Last - out.header.First, 10);
}

TEST_F(VlioSampling, QuietLinesAreRecordedEveryFewThousandRoundsWhileThereIsRoom) {
  Counter(10'000'000, 1);
  Output out = Sample({0x379}, 2 * VLIO_SAMPLE_RECORD_EVERY + 5, 20000);
  EXPECT_EQ(MomentsOf(out.records),
            (Moments{{0, 0, 0}, {VLIO_SAMPLE_RECORD_EVERY, 512, 0}, {2 * VLIO_SAMPLE_RECORD_EVERY, 1024, 0}}));
  EXPECT_EQ(out.header.Ended, VLIO_SAMPLE_ENDED_ROUNDS);
  // Without room a periodic record is left out, and the request goes on.
  out = Sample({0x379}, 2 * VLIO_SAMPLE_RECORD_EVERY + 5, 20000, 2);
  EXPECT_EQ(out.header.Records, 2u);
  EXPECT_EQ(out.header.Rounds, 2 * VLIO_SAMPLE_RECORD_EVERY + 5);
  EXPECT_EQ(out.header.Ended, VLIO_SAMPLE_ENDED_ROUNDS);
}

TEST_F(VlioSampling, EachBoundEndsTheRequestAndSaysWhich) {
  struct Case {
    const char* what;
    int64_t frequency, step, jump_at, jump;
    bool toggling;
    uint32_t rounds, microseconds;
    size_t room;
    uint32_t expected_rounds, expected_records, ended;
    int64_t span;  // Last - First
  };
  const Case cases[] = {
      // 3.579545 MHz (an ACPI timer): 1000 us are 3579.545 ticks, first reached at the 358th
      // reading after round 0's.
      {"time", 3'579'545, 10, 0, 0, false, 1'000'000, 1000, 8, 358 * 8 + 1, 1, VLIO_SAMPLE_ENDED_TIME, 3580},
      {"time to the tick", 10'000'000, 10, 0, 0, false, 1'000'000, 50, 8, 50 * 8 + 1, 1, VLIO_SAMPLE_ENDED_TIME, 500},
      {"rounds before the time", 3'579'545, 10, 0, 0, false, 100, 1000, 8, 100, 1, VLIO_SAMPLE_ENDED_ROUNDS, 130},
      // Lines that change every round: two records fit, the third change ends the request
      // before its round, whose time the header does not claim.
      {"full", 10'000'000, 10, 0, 0, true, 1000, 1000, 2, 2, 2, VLIO_SAMPLE_ENDED_FULL, 10},
      {"full with room", 10'000'000, 10, 0, 0, true, 5, 1000, 8, 5, 5, VLIO_SAMPLE_ENDED_ROUNDS, 40},
      // A stall so long its ticks would not fit a record ends the request before it.
      {"stall past 32 bits", 10'000'000, 10, 4, int64_t{1} << 33, false, 1000, 1000, 8, 16, 1, VLIO_SAMPLE_ENDED_TIME,
       10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    readings_ = 0;
    scripted_.reads.clear();
    scripted_.script = [&c](uint16_t, uint32_t round) { return uint8_t(c.toggling && round % 2 ? 0x3F : 0x7F); };
    Counter(c.frequency, c.step, c.jump_at, c.jump);
    Output out = Sample({0x379}, c.rounds, c.microseconds, c.room);
    EXPECT_EQ(out.header.Rounds, c.expected_rounds);
    EXPECT_EQ(out.header.Records, c.expected_records);
    EXPECT_EQ(out.header.Ended, c.ended);
    EXPECT_EQ(out.header.Last - out.header.First, c.span);
  }
}

// A port whose reads are slow (behind a bridge, trapped by a hypervisor): the counter moves on
// with each read, and a little with each reading of its own. The loop reads the counter often
// enough that its own reads never look like a stall, and still finds a real one.
TEST_F(VlioSampling, ASlowPortIsSampledWithoutGapsAndARealStallStillShows) {
  int64_t now = 0;
  int64_t read_ticks = 0;
  int64_t stall_at = -1;  // the read after which the loop is preempted for 500 us
  uint32_t reads = 0;
  scripted_.script = [&](uint16_t, uint32_t) {
    now += read_ticks;
    if (++reads == stall_at) now += 5000;
    return uint8_t{0x7F};
  };
  kernel_.SetPerformanceCounter([&] { return now += 2; }, 10'000'000);
  struct Case {
    int64_t microseconds_a_read;
    size_t registers;
  };
  for (const Case c : {Case{1, 2}, Case{10, 2}, Case{30, 2}, Case{30, 4}}) {
    SCOPED_TRACE(testing::Message() << c.microseconds_a_read << " us a read, " << c.registers << " registers");
    const std::vector<uint16_t> registers(c.registers, 0x379);
    read_ticks = 10 * c.microseconds_a_read;
    for (const bool stalled : {false, true}) {
      reads = 0;
      stall_at = stalled ? 400 : -1;
      const Output out = Sample(registers, VLIO_SAMPLE_MAX_ROUNDS, 40'000);
      EXPECT_EQ(out.header.Ended, VLIO_SAMPLE_ENDED_TIME);
      // Every round but those the stall took is accounted for, and only the stall is a gap.
      const uint32_t read_rounds = reads / static_cast<uint32_t>(c.registers);
      std::vector<uint32_t> gaps;
      for (const VLIO_SAMPLE_RECORD& record : out.records)
        if (record.StallTicks != 0) gaps.push_back(record.StallTicks);
      ASSERT_EQ(gaps.size(), stalled ? 1u : 0u);
      if (stalled) {
        EXPECT_GE(gaps[0], 5000u);
      }
      EXPECT_GE(out.header.Rounds + (stalled ? 8u : 0u), read_rounds - 1) << "rounds thrown away";
    }
  }
}

// A claim changes what the open reaches: one sent on the same open while its sampling runs (a
// handle opened for overlapped I/O) is refused, and the sampled port stays held throughout.
TEST_F(VlioSampling, AClaimOnTheSameOpenWhileItSamplesIsRefusedAndThePortStaysHeld) {
  NTSTATUS claimed = STATUS_PENDING;
  bool held_throughout = true;
  scripted_.script = [&](uint16_t, uint32_t round) {
    if (round == 4) claimed = Claim(0x278);
    held_throughout &= lpt1_->allocated;
    return uint8_t{0x7F};
  };
  EXPECT_EQ(Sample({0x379}, 20, 1000).header.Rounds, 20u);
  EXPECT_EQ(claimed, STATUS_DEVICE_BUSY);
  EXPECT_TRUE(held_throughout);
  for (const PortAccess& access : kernel_.PortAccesses()) EXPECT_EQ(access.port, 0x379) << std::hex << access.port;
  ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
  EXPECT_EQ(Claim(0x278), STATUS_SUCCESS) << "the refused claim took nothing";
}

// A removal while the holder samples waits for the request (bounded at 50 ms) and lets the port
// go only after its last read: the removal runs on a thread of its own, as the PnP manager's.
TEST_F(VlioSampling, ARemovalWaitsForTheSamplingInFlightAndLetsThePortGoAfterIt) {
  std::thread remover;
  std::atomic<bool> agreed{false};
  bool waited = false;
  bool held_throughout = true;
  scripted_.script = [&](uint16_t, uint32_t round) {
    if (round == 4) remover = std::thread([&] { agreed = kernel_.QueryRemove(*lpt1_); });
    if (round == 5) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (kernel_.Delays() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      waited = kernel_.Delays() > 0;
    }
    held_throughout &= kernel_.Allocated(*lpt1_);
    return uint8_t{0x7F};
  };
  Output out = Sample({0x379}, 40, 1000);
  remover.join();
  EXPECT_EQ(out.header.Rounds, 40u);
  EXPECT_TRUE(waited) << "the removal did not wait for the request in flight";
  EXPECT_TRUE(held_throughout) << "the port was let go while the request still read it";
  EXPECT_TRUE(agreed);
  EXPECT_FALSE(lpt1_->allocated);
  EXPECT_EQ(Read(0x379).status, STATUS_DEVICE_REMOVED);
  EXPECT_EQ(kernel_.PortAccesses().size(), 40u);
}

// The loop on its own, as a user-mode caller runs it: at an odd address, into an output longer
// than its records, past which nothing is written.
TEST(VlioSample, WritesAtAnyAlignmentAndNeverPastWhatItReturns) {
  struct State {
    uint32_t reads = 0;
    int64_t now = 0;
  } state;
  const VLIO_SAMPLE_READ read = [](void* context, uint16_t) {
    return uint8_t(static_cast<State*>(context)->reads++ % 2);
  };
  const VLIO_SAMPLE_COUNTER counter = [](void* context) { return static_cast<State*>(context)->now += 7; };
  VLIO_SAMPLE_INPUT input{{0x379}, 1, 100, 1000};
  const uint32_t length = static_cast<uint32_t>(OutputFor(3) + 15);
  Bytes buffer(1 + length + 16, 0xEE);
  ASSERT_TRUE(VlioSampleInputValid(&input, sizeof input, length));
  const uint32_t written = VlioSample(&input, buffer.data() + 1, length, 1'000'000, read, counter, &state);
  EXPECT_EQ(written, OutputFor(3));
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(Bytes(buffer.begin() + 1 + written, buffer.end()), Bytes(buffer.size() - 1 - written, 0xEE));
  VLIO_SAMPLE_OUTPUT header;
  std::memcpy(&header, buffer.data() + 1, sizeof header);
  EXPECT_EQ(header.Records, 3u);
  EXPECT_EQ(header.Rounds, 3u);
  EXPECT_EQ(header.Ended, VLIO_SAMPLE_ENDED_FULL);
  VLIO_SAMPLE_RECORD last;
  std::memcpy(&last, buffer.data() + 1 + OutputFor(2), sizeof last);
  EXPECT_EQ(last.Round, 2u);
  EXPECT_EQ(last.Ticks, 14u);
  EXPECT_EQ(last.Values[0], 0);
}

}  // namespace
