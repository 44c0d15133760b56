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

class Vlio : public testing::Test {
 protected:
  void SetUp() override {
    kernel_.ConnectPorts(&ports_);
    ports_.bytes = {{0x378, 0x11}, {0x379, 0x7F}, {0x37A, 0xCC}};
    ASSERT_EQ(driver_.Load(), STATUS_SUCCESS);
  }
  void TearDown() override { EXPECT_TRUE(kernel_.Faults().empty()) << kernel_.Faults().front(); }

  // Every request is completed once, without a boost, with the status it returns.
  kernel_host::Reply Send(ULONG code, Bytes input, Bytes output) {
    kernel_host::Reply reply = driver_.DeviceControl(code, std::move(input), std::move(output));
    EXPECT_EQ(reply.completions, 1);
    EXPECT_EQ(reply.boost, IO_NO_INCREMENT);
    EXPECT_EQ(reply.returned, reply.status);
    return reply;
  }

  kernel_host::Kernel kernel_;
  FixedPorts ports_;
  kernel_host::Driver driver_{kernel_, &DriverEntry};
};

TEST_F(Vlio, LoadMakesOneDeviceAndItsLinkAndLeavesCloseToTheSystem) {
  ASSERT_EQ(kernel_.Devices().size(), 1u);
  const kernel_host::Device device = kernel_.Devices()[0];
  EXPECT_EQ(device.name, "\\Device\\vlio");
  EXPECT_EQ(device.type, 0x22u);
  EXPECT_EQ(device.extension_size, 0u);
  EXPECT_EQ(device.characteristics, 0u);
  EXPECT_FALSE(device.exclusive);
  EXPECT_EQ(driver_.Object().DeviceObject, device.object);
  EXPECT_EQ(kernel_.Links(), (std::map<std::string, std::string>{{"\\DosDevices\\vlio", "\\Device\\vlio"}}));

  for (int major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
    bool own = major == IRP_MJ_CREATE || major == IRP_MJ_DEVICE_CONTROL;
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
  // 0x0CF9 is a system port: a request too short to be served is invalid before it is refused.
  const Case cases[] = {
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
}

TEST_F(Vlio, WriteUsesPortAndValueAndReturnsNothing) {
  kernel_host::Reply reply = Send(IOCTL_VLIO_WRITE, {0x78, 0x03, 0xA5}, {});
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 0u);

  // Bytes past the value are ignored, and an output buffer gets nothing back.
  reply = Send(IOCTL_VLIO_WRITE, {0x7A, 0x02, 0x0D, 0xFF, 0xFF}, Bytes(4, 0xEE));
  EXPECT_EQ(reply.information, 0u);
  EXPECT_EQ(reply.output, Bytes(4, 0xEE));

  EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{true, 0x378, 0xA5}, {true, 0x27A, 0x0D}}));
}

TEST_F(Vlio, OtherCodesFailWithoutTouchingAPort) {
  const ULONG codes[] = {
      0,
      CTL_CODE(0x9C40u, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS),
      CTL_CODE(0x9C40u, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS),
      CTL_CODE(0x9C40u, 0x801, METHOD_NEITHER, FILE_ANY_ACCESS),
      CTL_CODE(0x9C41u, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS),
  };
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

TEST_F(Vlio, SystemPortsAreRefusedAtEveryEdgeAndTheirNeighboursServed) {
  auto read = [&](uint16_t port) { return Send(IOCTL_VLIO_READ, {uint8_t(port), uint8_t(port >> 8)}, Bytes(1, 0xEE)); };
  auto write = [&](uint16_t port) {
    return Send(IOCTL_VLIO_WRITE, {uint8_t(port), uint8_t(port >> 8), 0x5A}, Bytes(2, 0xEE));
  };
  for (const VLIO_PORT_RANGE& range : VlioSystemPorts) {
    for (uint16_t port : {range.First, range.Last}) {
      SCOPED_TRACE(testing::Message() << std::hex << "system port 0x" << port);
      for (const kernel_host::Reply& reply : {read(port), write(port)}) {
        EXPECT_EQ(reply.status, STATUS_ACCESS_DENIED);
        EXPECT_EQ(reply.information, 0u);
        EXPECT_EQ(reply.output, Bytes(reply.output.size(), 0xEE));
      }
      EXPECT_TRUE(kernel_.PortAccesses().empty()) << "a refused request reached the bus";
    }
    // The ports just outside (none below 0): no table entry touches another.
    for (int neighbour : {range.First - 1, range.Last + 1}) {
      if (neighbour < 0 || neighbour > 0xFFFF) continue;
      const auto port = static_cast<uint16_t>(neighbour);
      SCOPED_TRACE(testing::Message() << std::hex << "neighbour 0x" << port);
      ports_.bytes[port] = 0x3C;
      kernel_host::Reply reply = read(port);
      EXPECT_EQ(reply.status, STATUS_SUCCESS);
      EXPECT_EQ(reply.output, Bytes{0x3C});
      EXPECT_EQ(write(port).status, STATUS_SUCCESS);
      EXPECT_EQ(kernel_.PortAccesses(), (std::vector<PortAccess>{{false, port, 0x3C}, {true, port, 0x5A}}));
      kernel_.ClearPortAccesses();
    }
  }
}

TEST_F(Vlio, ThePlugAndPlayAddressPortIsReadButNeverWritten) {
  // LPT2's status register shares its address: reading it stays served.
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

TEST_F(Vlio, UnloadRemovesLinkAndDeviceSoTheDriverCanLoadAgain) {
  driver_.Unload();
  EXPECT_TRUE(kernel_.Devices().empty());
  EXPECT_TRUE(kernel_.Links().empty());
  EXPECT_EQ(driver_.Load(), STATUS_SUCCESS);
  EXPECT_EQ(kernel_.Devices().size(), 1u);
  EXPECT_EQ(kernel_.Links().size(), 1u);
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
