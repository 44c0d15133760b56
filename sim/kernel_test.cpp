// The kernel driver vlio, loaded by its service and reached through \\.\vlio, on the PC's
// port bus; and the port instructions of the 9x family on the same bus.
#include "sim/kernel.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver/vlio_ioctl.h"
#include "platform/nt_names.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace sim {
namespace {

using By = SimPortBus::By;

constexpr LPCSTR kImagePath = "C:\\Windows\\System32\\drivers\\vlio.sys";

class SimKernelTest : public ::testing::Test {
 protected:
  SimKernelTest() {
    vport_plug(&pc.ports.AddPort(0x378), &vport_loopback_plug);
    pc.kernel.AddImage(image, &DriverEntry);
    pc.disk.Write(kImagePath, image);
    manager = win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    service =
        win::CreateServiceA(manager, "vlio", "vlio", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                            SERVICE_ERROR_NORMAL, kImagePath, nullptr, nullptr, nullptr, nullptr, nullptr);
    // vlio lets in only a caller with the load-driver privilege enabled, as its client does.
    SetLoadDriverPrivilege(true);
  }
  ~SimKernelTest() override {
    win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
    EXPECT_TRUE(pc.kernel.DriverFaults().empty()) << pc.kernel.DriverFaults().front();
  }

  static void SetLoadDriverPrivilege(bool enabled) {
    HANDLE token = nullptr;
    ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES state{1, {{{0, 0}, enabled ? DWORD{SE_PRIVILEGE_ENABLED} : DWORD{0}}}};
    ASSERT_TRUE(win::LookupPrivilegeValueA(nullptr, SE_LOAD_DRIVER_NAME, &state.Privileges[0].Luid));
    ASSERT_TRUE(win::AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SUCCESS});
    win::CloseHandle(token);
  }

  static HANDLE OpenVlio() {
    return win::CreateFileA(VLIO_WIN32_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // The error of the claim of the port at `base`; ERROR_SUCCESS when it held.
  static DWORD Claim(HANDLE device, WORD base) {
    const VLIO_CLAIM_INPUT request{base};
    DWORD returned = 0xdeadbeef;
    win::SetLastError(0xdeadbeef);
    if (win::DeviceIoControl(device, IOCTL_VLIO_CLAIM, const_cast<VLIO_CLAIM_INPUT*>(&request), sizeof request,
                             nullptr, 0, &returned, nullptr))
      return ERROR_SUCCESS;
    EXPECT_EQ(returned, 0u);
    return win::GetLastError();
  }
  static BOOL WritePort(HANDLE device, WORD port, BYTE value) {
    const VLIO_WRITE_INPUT request{port, value};
    DWORD returned = 0xdeadbeef;
    return win::DeviceIoControl(device, IOCTL_VLIO_WRITE, const_cast<VLIO_WRITE_INPUT*>(&request), sizeof request,
                                nullptr, 0, &returned, nullptr);
  }
  // The byte read from `port`, or -1 when the request failed.
  static int ReadPort(HANDLE device, WORD port) {
    VLIO_READ_INPUT request{port};
    BYTE value = 0xEE;
    DWORD returned = 0xdeadbeef;
    if (!win::DeviceIoControl(device, IOCTL_VLIO_READ, &request, sizeof request, &value, 1, &returned, nullptr)) {
      return -1;
    }
    EXPECT_EQ(returned, 1u);
    return value;
  }
  SERVICE_STATUS Stop() {
    SERVICE_STATUS status{};
    win::SetLastError(0xdeadbeef);
    EXPECT_TRUE(win::ControlService(service, SERVICE_CONTROL_STOP, &status)) << win::GetLastError();
    return status;
  }

  InstalledPc pc;
  std::vector<BYTE> image = {'M', 'Z', 0x90, 0x00, 'v', 'l', 'i', 'o'};
  SC_HANDLE manager;
  SC_HANDLE service;
};

TEST_F(SimKernelTest, TheDeviceOpensOnlyWhileItsDriverIsLoaded) {
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenVlio(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "no driver made the link yet";

  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr)) << win::GetLastError();
  HANDLE device = OpenVlio();
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << win::GetLastError();
  HANDLE again = win::CreateFileA("\\\\.\\VLIO", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE) << "link names ignore case, and the device is not exclusive";
  EXPECT_TRUE(win::CloseHandle(again));
  EXPECT_TRUE(win::CloseHandle(device));

  EXPECT_EQ(Stop().dwCurrentState, SERVICE_STOPPED);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenVlio(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
}

TEST_F(SimKernelTest, AnOpenWithoutTheLoadDriverPrivilegeEnabledIsDeniedBeforeAnyPortAccess) {
  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
  SetLoadDriverPrivilege(false);
  pc.ports.ClearAccesses();
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenVlio(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(pc.core.handles.OpenCount("Device"), 0u);
  EXPECT_TRUE(pc.ports.Accesses().empty());
  // Nothing is held open, so the driver stops at once.
  EXPECT_EQ(Stop().dwCurrentState, SERVICE_STOPPED);
}

TEST_F(SimKernelTest, RequestsReachTheLoopbackPlugOnePortAccessEach) {
  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
  HANDLE device = OpenVlio();
  HANDLE other = OpenVlio();
  pc.ports.ClearAccesses();
  EXPECT_EQ(Claim(device, 0xD000), DWORD{ERROR_ACCESS_DENIED}) << "no parallel port there";
  EXPECT_EQ(Claim(device, 0x378), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(Claim(other, 0x378), DWORD{ERROR_BUSY}) << "each handle holds its own port";
  EXPECT_EQ(Claim(other, 0x278), DWORD{ERROR_SUCCESS});

  EXPECT_TRUE(WritePort(device, 0x378, 0x01));
  EXPECT_EQ(ReadPort(device, 0x379) & VPORT_STATUS_FAULT, int{VPORT_STATUS_FAULT}) << "Fault follows D0";
  EXPECT_TRUE(WritePort(device, 0x378, 0x00));
  EXPECT_EQ(ReadPort(device, 0x379) & VPORT_STATUS_FAULT, 0);
  EXPECT_EQ(ReadPort(device, 0x278), -1) << "not the port this handle holds";
  EXPECT_EQ(ReadPort(other, 0x278), 0xFF) << "no port answers there";
  const std::vector<SimPortBus::Access> expected = {{0x378, 0x01, true, By::Driver},
                                                    {0x379, 0x8F, false, By::Driver},
                                                    {0x378, 0x00, true, By::Driver},
                                                    {0x379, 0x87, false, By::Driver},
                                                    {0x278, 0xFF, false, By::Driver}};
  EXPECT_EQ(pc.ports.Accesses(), expected);

  // A code the driver does not know: STATUS_UNSUCCESSFUL, which Win32 reads as a general failure.
  BYTE buffer[4] = {0x78, 0x03, 0, 0};
  DWORD returned = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeviceIoControl(device, IOCTL_VLIO_READ + 0x100, buffer, 2, buffer, 4, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_GEN_FAILURE});
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(pc.ports.Accesses().size(), expected.size()) << "a refused request touches no port";
  win::CloseHandle(device);
  EXPECT_EQ(Claim(other, 0x378), DWORD{ERROR_SUCCESS}) << "the close let the port go";
  win::CloseHandle(other);
  Stop();
}

TEST_F(SimKernelTest, SystemPortRequestsAreDeniedWithoutReachingTheBus) {
  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
  HANDLE device = OpenVlio();
  pc.ports.ClearAccesses();
  EXPECT_EQ(Claim(device, 0x378), DWORD{ERROR_SUCCESS});
  for (const WORD port : {0x0020, 0x0070, 0x00B2, 0x0CF9, 0x0CFC}) {
    SCOPED_TRACE(port);
    VLIO_READ_INPUT request{port};
    BYTE value = 0xEE;
    DWORD returned = 0xdeadbeef;
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::DeviceIoControl(device, IOCTL_VLIO_READ, &request, sizeof request, &value, 1, &returned, nullptr));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(value, 0xEE);
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePort(device, port, 0x06));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  }
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_TRUE(WritePort(device, 0x378, 0x01)) << "the parallel port is still served";
  win::CloseHandle(device);
  Stop();
}

TEST_F(SimKernelTest, StoppingWithAHandleOpenWaitsForItsClose) {
  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
  HANDLE device = OpenVlio();
  EXPECT_EQ(Claim(device, 0x378), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(Stop().dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_EQ(pc.kernel.Links().size(), 1u) << "the unload routine has not run";
  EXPECT_TRUE(WritePort(device, 0x378, 0x01)) << "the open handle still reaches the driver";
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenVlio(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "no new handles on a driver being unloaded";

  SERVICE_STATUS status{};
  EXPECT_FALSE(win::ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_FALSE(win::StartServiceA(service, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_ALREADY_RUNNING});

  EXPECT_TRUE(win::DeleteService(service));
  win::CloseHandle(device);
  EXPECT_TRUE(pc.kernel.Links().empty());
  EXPECT_EQ(pc.services.Find("vlio")->state, SERVICE_STOPPED);
  win::CloseServiceHandle(service);
  service = nullptr;
  EXPECT_EQ(pc.services.Find("vlio"), nullptr) << "stopped, deleted and closed: gone";
}

TEST_F(SimKernelTest, AFailingDriverEntryLeavesTheServiceStopped) {
  pc.kernel.FailNext(SimKernel::Routine::IoCreateDevice, nt::kStatusInsufficientResources);
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::StartServiceA(service, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_SYSTEM_RESOURCES});
  EXPECT_EQ(pc.services.Find("vlio")->state, SERVICE_STOPPED);
  EXPECT_TRUE(pc.kernel.Devices().empty());

  // A second service of the same driver: its device name is taken.
  ASSERT_TRUE(win::StartServiceA(service, 0, nullptr));
  SC_HANDLE twin =
      win::CreateServiceA(manager, "vlio2", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                          SERVICE_ERROR_NORMAL, kImagePath, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(win::StartServiceA(twin, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 1u);
  win::CloseServiceHandle(twin);
  Stop();
}

TEST_F(SimKernelTest, PortInstructionsReachTheSameBusUnder9xOnly) {
  EXPECT_THROW(win::OutByte(0x378, 0x01), PrivilegedInstruction) << "NT ends a program that executes OUT";
  EXPECT_THROW(win::InByte(0x379), PrivilegedInstruction);

  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  pc.ports.ClearAccesses();
  win::OutByte(0x378, 0x01);
  EXPECT_EQ(win::InByte(0x379) & VPORT_STATUS_FAULT, VPORT_STATUS_FAULT);
  EXPECT_EQ(win::InByte(0x3BC), 0xFF);
  EXPECT_EQ(pc.ports.Count(By::Program), 3u);
  EXPECT_EQ(pc.ports.Count(By::Driver), 0u);
  EXPECT_EQ(pc.core.journal.Count("OutByte"), 2u);
  EXPECT_EQ(pc.core.journal.Entries().back().line, "InByte(0x3bc)");
  EXPECT_THROW(pc.ports.AddPort(0x37A), std::invalid_argument) << "it would overlap the port at 0x378";
}

TEST_F(SimKernelTest, EachAccessTakesAMicrosecondOfTheCounterThatLpt3sGeneratorRunsOn) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  pc.AddSignalGeneratorPort();
  win::OutByte(0x3BC, 0x5A);
  EXPECT_EQ(win::InByte(0x3BC), 0x5A);
  EXPECT_EQ(pc.core.clock.Counter(), 2 * Clock::kCounterFrequency / 1'000'000);
  // Ack is high for the first half millisecond: reads from 2 us on, one a microsecond.
  int high = 0;
  while (win::InByte(0x3BD) & VPORT_STATUS_ACK) ++high;
  EXPECT_EQ(high, 498);
  EXPECT_EQ(pc.core.clock.Now(), 0u) << "bus time leaves the millisecond clock alone";
}

}  // namespace
}  // namespace sim
