#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"

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
    EXPECT_EQ(kernel_.OutstandingPool(), 0u) << "the interface list was not freed";
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
  EXPECT_EQ(device.characteristics, 0u);
  EXPECT_FALSE(device.exclusive);
  EXPECT_EQ(driver_.Object().DeviceObject, device.object);
  EXPECT_EQ(kernel_.Links(), (std::map<std::string, std::string>{{"\\DosDevices\\vlio", "\\Device\\vlio"}}));

  for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
    bool own = major == IRP_MJ_CREATE || major == IRP_MJ_CLOSE || major == IRP_MJ_DEVICE_CONTROL;
    EXPECT_EQ(driver_.Object().MajorFunction[major] != &kernel_host::InvalidDeviceRequest, own) << major;
  }
  EXPECT_NE(driver_.Object().DriverUnload, nullptr);

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
  // edge/level, Plug and Play ISA write data, power-management index, PCI configuration and reset.
  const PortSpan fixed[] = {{0x00, 0x77},   {0x80, 0xDF},   {0x170, 0x177}, {0x1F0, 0x1F7}, {0x370, 0x377},
                            {0x3F0, 0x3F7}, {0x40B, 0x40B}, {0x480, 0x48F}, {0x4D6, 0x4D6}, {0x4D0, 0x4D1},
                            {0xA79, 0xA79}, {0xCD6, 0xCD7}, {0xCF8, 0xCFF}};
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

TEST(VlioLoad, WithoutAUsableParallelPortOnlyTheLegacyBasesAreServed) {
  using kernel_host::ParallelPort;
  ParallelPort refusing = Lpt1();
  refusing.answer = STATUS_INVALID_DEVICE_REQUEST;
  ParallelPort beyond_io_space = PciCard();
  beyond_io_space.base = beyond_io_space.controller = 0xFE000000;
  ParallelPort past_the_end = PciCard();
  past_the_end.base = past_the_end.controller = 0xFFFC;
  ParallelPort mapped_elsewhere = PciCard();
  mapped_elsewhere.controller = 0xFFFF8000DEAD0000;
  struct Case {
    const char* what;
    std::vector<ParallelPort> ports;
    bool interfaces_fail;
  };
  const Case cases[] = {
      {"no parallel port interface", {}, false},
      {"the interface query fails", {Lpt1(), PciCard()}, true},
      {"the ports do not answer, or their registers are no I/O ports that fit",
       {refusing, beyond_io_space, past_the_end, mapped_elsewhere}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kernel_host::Kernel kernel;
    std::vector<ParallelPort*> ports;
    for (const ParallelPort& port : c.ports) ports.push_back(&kernel.AddParallelPort(port));
    if (c.interfaces_fail) kernel.FailNext(kernel_host::Routine::IoGetDeviceInterfaces, STATUS_INSUFFICIENT_RESOURCES);
    kernel_host::Driver driver(kernel, &DriverEntry);
    ASSERT_EQ(driver.Load(), STATUS_SUCCESS);
    EXPECT_EQ(kernel.ParallelPortReferences(), 0);
    ASSERT_EQ(driver.Create().status, STATUS_SUCCESS);
    for (uint16_t base : {0x3BC, 0x378, 0x278})
      EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, Le(base), {}).status, STATUS_SUCCESS) << std::hex << base;
    for (uint16_t base : {0xD000, 0xFFFC})
      EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, Le(base), {}).status, STATUS_ACCESS_DENIED) << std::hex << base;
    for (const ParallelPort* port : ports) EXPECT_FALSE(port->allocated);
    driver.Close();
    driver.Unload();
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

}  // namespace
