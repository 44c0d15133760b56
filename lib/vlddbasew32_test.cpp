// The driver loader and the port I/O client on the simulated PC: which calls reach the
// service manager, in what order and with what, and what is left on the machine after.
#include "lib/vlddbasew32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "driver/vlio_ioctl.h"
#include "framework/exception.h"
#include "framework/raised.h"
#include "lib/vllpt.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'v', 'l', 'i', 'o', 0, 1, 2, 3};
const std::string kImagePath = "C:\\Windows\\Temp\\vlio.sys";
constexpr DWORD kEnvironmentVariableNotFound = 203;

/// The journal lines of the calls named, with the handle a call was made on shown as "h".
std::vector<std::string> Named(const std::vector<std::string>& lines, std::initializer_list<std::string> names) {
  static const std::regex handle(R"(^(\w+)\(0x[0-9a-f]+([,)]))");
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    for (const std::string& name : names)
      if (line.rfind(name + "(", 0) == 0) kept.push_back(std::regex_replace(line, handle, "$1(h$2"));
  return kept;
}

class Loader : public testing::Test {
 protected:
  sim::InstalledPc pc;

  void SetUp() override {
    pc.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    pc.kernel.AddImage(kImage, &DriverEntry);
    vport_plug(&pc.ports.AddPort(0x378), &vport_loopback_plug);
  }

  std::vector<std::string> ServiceCalls() {
    return Named(pc.core.journal.Lines(), {"OpenSCManagerA", "CreateServiceA", "OpenServiceA", "StartServiceA",
                                           "ControlService", "DeleteService", "CloseServiceHandle", "CreateFileA",
                                           "CloseHandle"});
  }
};

TEST_F(Loader, OpenInstallsStartsAndOpensCloseTakesTheServiceDown) {
  TvlLptDriver driver;
  const int32_t handle = driver.Open();
  ASSERT_NE(handle, -1);
  EXPECT_EQ(driver.DriverPath, kImagePath);
  EXPECT_EQ(pc.disk.Read(kImagePath), kImage);
  const auto* service = pc.services.Find("vlio");
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(service->start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(service->error_control, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(service->binary_path, kImagePath);
  EXPECT_EQ(service->state, static_cast<DWORD>(SERVICE_RUNNING));
  const std::vector<std::string> open_calls = ServiceCalls();
  ASSERT_GE(open_calls.size(), 9u);
  EXPECT_EQ(Named(open_calls, {"OpenSCManagerA", "CreateServiceA", "OpenServiceA", "StartServiceA"}),
            (std::vector<std::string>{
                "OpenSCManagerA(null, null, 2)",
                "CreateServiceA(h, \"vlio\", \"vlio\", 0x10, 1, 3, 1, \"C:\\Windows\\Temp\\vlio.sys\", null, null, "
                "null, null, null)",
                "OpenSCManagerA(null, null, 1)", "OpenServiceA(h, \"vlio\", 0x10)", "StartServiceA(h, 0, null)"}));
  EXPECT_EQ(Named(open_calls, {"CreateFileA"}).back(),
            "CreateFileA(\"\\\\.\\vlio\", 0xc0000000, 0, null, 3, 0x80, null)");
  EXPECT_EQ(pc.services.OpenHandles(), 0u);

  pc.core.journal.Clear();
  EXPECT_EQ(driver.Open(), handle);  // held: nothing is asked again
  EXPECT_TRUE(pc.core.journal.Lines().empty());

  driver.Close();
  const std::vector<std::string> close_calls = Named(
      ServiceCalls(), {"CloseHandle", "OpenSCManagerA", "OpenServiceA", "ControlService", "DeleteService"});
  ASSERT_EQ(close_calls.size(), 7u);
  EXPECT_EQ(close_calls[0].rfind("CloseHandle(", 0), 0u) << "the device closes before the stop";
  EXPECT_EQ(std::vector<std::string>(close_calls.begin() + 1, close_calls.end()),
            (std::vector<std::string>{"OpenSCManagerA(null, null, 1)", "OpenServiceA(h, \"vlio\", 0x20)",
                                      "ControlService(h, 1, ptr)", "OpenSCManagerA(null, null, 0xf003f)",
                                      "OpenServiceA(h, \"vlio\", 0xf01ff)", "DeleteService(h)"}));
  EXPECT_EQ(driver.DeviceHandle(), -1);
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_TRUE(pc.disk.Exists(kImagePath));  // the image stays
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount("File"), 0u);

  pc.core.journal.Clear();
  driver.Close();
  EXPECT_TRUE(pc.core.journal.Lines().empty());
}

TEST_F(Loader, ExistingServiceIsAcceptedAndAnEqualImageIsNotWrittenAgain) {
  pc.disk.Write(kImagePath, kImage);
  pc.services.Add({.name = "vlio", .binary_path = kImagePath});
  TvlLptDriver driver;
  driver.DriverPath = kImagePath;
  ASSERT_NE(driver.Open(), -1);
  EXPECT_EQ(pc.core.journal.Count("WriteFile"), 0u);
  EXPECT_EQ(pc.services.Find("vlio")->state, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(Loader, ForeignOrHalfWrittenImageIsReplacedBeforeTheServiceStarts) {
  pc.disk.Write(kImagePath, {'M', 'Z', 'v'});  // an earlier attempt cut short, or another program's file
  TvlLptDriver driver;
  driver.DriverPath = kImagePath;
  ASSERT_NE(driver.Open(), -1);
  EXPECT_EQ(pc.disk.Read(kImagePath), kImage);
}

TEST_F(Loader, TempPathWithOrWithoutBackslashGivesOnePath) {
  for (const std::string temp : {"C:\\Windows\\Temp", "C:\\Windows\\Temp\\"}) {
    pc.disk.SetTempPath(temp);
    TvlLptDriver driver;
    driver.DriverPath = "   ";  // blank counts as unset
    ASSERT_NE(driver.Open(), -1);
    EXPECT_EQ(driver.DriverPath, kImagePath);
  }
}

TEST_F(Loader, BlankResourceNameDoesNotMatterWhenTheFileIsThere) {
  pc.disk.Write(kImagePath, kImage);
  TvlLptDriver driver;
  driver.ResourceName = " ";
  driver.DriverPath = kImagePath;
  EXPECT_NE(driver.Open(), -1);

  TvlLptDriver without_file;
  without_file.ResourceName = "";
  EXPECT_THROW(without_file.Open(), fw::Exception);
}

struct ErrorHandler {
  bool clear = false;
  std::vector<std::string> seen;
  void Handle(fw::TObject*, uint32_t code, uint32_t detail, const std::string& message, bool& raise) {
    seen.push_back(std::to_string(code) + "/" + std::to_string(detail) + " " + message);
    if (clear) raise = false;
  }
};

std::string MessageOf(TvlLptDriver& driver) {
  return fw::RaisedMessage([&] { driver.Open(); });
}

TEST_F(Loader, ForeignImageThatCannotBeReplacedIsNeverLoaded) {
  const std::vector<BYTE> foreign = {'M', 'Z', 'e', 'v', 'i', 'l'};
  pc.disk.Write(kImagePath, foreign);
  pc.kernel.AddImage(foreign, &DriverEntry);  // it would load, were it ever started
  pc.disk.SetWritable("C:\\Windows\\Temp", false);
  TvlLptDriver driver;
  EXPECT_EQ(MessageOf(driver), "Create service failed.\rAccess is denied");
  // Left behind: the foreign file as it was, no service, nothing loaded, no handle.
  EXPECT_EQ(pc.disk.Read(kImagePath), foreign);
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, InstallFailuresReportCreateServiceFailed) {
  // The message names the cause in the system's words on a second line.
  struct Case {
    const char* what;
    std::function<void(sim::Pc&)> arrange;
    DWORD detail;
    const char* cause;
  };
  const std::vector<Case> cases = {
      {"manager unreachable", [](sim::Pc& pc) { pc.core.faults.Fail("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED, "Access is denied"},
      {"not elevated", [](sim::Pc& pc) { pc.services.SetElevated(false); }, ERROR_ACCESS_DENIED, "Access is denied"},
      {"create refused", [](sim::Pc& pc) { pc.core.faults.Fail("CreateServiceA", ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED, "Access is denied"},
      {"create failing", [](sim::Pc& pc) { pc.core.faults.Fail("CreateServiceA", ERROR_INVALID_PARAMETER); },
       ERROR_INVALID_PARAMETER, "The parameter is incorrect"},
      {"resource missing", nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND,
       "The specified resource type cannot be found in the image file"},
      {"temp folder not writable", [](sim::Pc& pc) { pc.disk.SetWritable("C:\\Windows\\Temp", false); },
       ERROR_ACCESS_DENIED, "Access is denied"},
      {"no temp path", [](sim::Pc& pc) { pc.core.faults.Fail("GetTempPathA", kEnvironmentVariableNotFound); },
       kEnvironmentVariableNotFound, "The system could not find the environment option that was entered"},
      {"temp path too long",
       [](sim::Pc& pc) { pc.disk.SetTempPath("C:\\" + std::string(300, 'x') + "\\"); }, ERROR_FILENAME_EXCED_RANGE,
       "The filename or extension is too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstalledPc fresh;
    if (c.arrange) {
      fresh.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
      c.arrange(fresh);
    }
    TvlLptDriver driver;
    ErrorHandler handler;
    driver.OnError = TOnFatalErrorEvent::Of<&ErrorHandler::Handle>(&handler);
    const std::string message = std::string("Create service failed.\r") + c.cause;
    EXPECT_EQ(MessageOf(driver), message);
    EXPECT_EQ(handler.seen, std::vector<std::string>{"7/" + std::to_string(c.detail) + " " + message});
    // Left behind: no service, no handle, no partial file (a complete image may stay).
    EXPECT_EQ(fresh.services.Find("vlio"), nullptr);
    EXPECT_EQ(fresh.services.OpenHandles(), 0u);
    EXPECT_EQ(fresh.core.handles.OpenCount(), 0u);
    if (fresh.disk.Exists(kImagePath)) {
      EXPECT_EQ(fresh.disk.Read(kImagePath), kImage);
    }
  }
}

TEST_F(Loader, ImageWrittenOnlyInPartIsDeletedAndTheOpenFails) {
  pc.disk.SetFreeSpace(4);
  TvlLptDriver driver;
  EXPECT_EQ(MessageOf(driver), "Create service failed.\rThere is not enough space on the disk");
  EXPECT_FALSE(pc.disk.Exists(kImagePath));
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

TEST_F(Loader, StartFailureReportsStartServiceFailedAndAHandlerCanDecline) {
  pc.core.faults.Fail("OpenServiceA", ERROR_SERVICE_DOES_NOT_EXIST);
  TvlLptDriver driver;
  ErrorHandler handler;
  handler.clear = true;
  driver.OnError = TOnFatalErrorEvent::Of<&ErrorHandler::Handle>(&handler);
  EXPECT_EQ(driver.Open(), -1);
  EXPECT_EQ(handler.seen, std::vector<std::string>{
                              "7/1060 Start service failed.\rThe specified service does not exist as an installed "
                              "service"});
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
}

TEST_F(Loader, DeviceThatDoesNotOpenLeavesTheServiceAndTheNextOpenTriesAgain) {
  pc.kernel.FailNext(sim::SimKernel::Routine::IoCreateDevice, static_cast<int32_t>(0xC000009A));
  TvlLptDriver driver;
  EXPECT_EQ(driver.Open(), -1);  // no error event: the caller reports it in its own words
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  driver.Close();
  EXPECT_NE(pc.services.Find("vlio"), nullptr);

  // The stale service is stopped; starting it again brings the device.
  EXPECT_NE(driver.Open(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

TEST_F(Loader, StaleServiceFromAKilledRunIsReusedAndGoneAfterClose) {
  pc.disk.Write(kImagePath, kImage);
  pc.services.Add({.name = "vlio", .binary_path = kImagePath});
  ASSERT_EQ(pc.services.Start("vlio"), 0u);  // still running, as the killed run left it
  {
    TvlLptDriver driver;
    ASSERT_NE(driver.Open(), -1);
  }
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
}

TEST_F(Loader, TwoClientsShareTheServiceAndTheLastCloseRemovesIt) {
  TvlLptDriver first, second;
  ASSERT_NE(first.Open(), -1);
  ASSERT_NE(second.Open(), -1);  // the service is there and running already
  first.Close();                 // the stop waits for the other handle; the delete only marks it
  second.WritePort(0x378, 0x01);
  EXPECT_EQ(second.ReadPort(0x378), 0x01) << "the other client lost its driver";
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_STOP_PENDING});

  // Meanwhile a new client is told why it cannot install the service.
  TvlLptDriver third;
  EXPECT_EQ(MessageOf(third), "Create service failed.\rThe specified service has been marked for deletion");

  // The last handle lets the driver unload and the service go; the next run starts afresh.
  second.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
  TvlLptDriver next;
  EXPECT_NE(next.Open(), -1);
  next.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, CloseThatCannotReachTheServiceManagerLeavesTheServiceForTheNextRun) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  pc.core.faults.Fail("OpenSCManagerA", ERROR_ACCESS_DENIED, 2);  // for the stop and the delete
  driver.Close();
  EXPECT_EQ(driver.DeviceHandle(), -1);
  // Left behind: the service, still running, and no handle.
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_RUNNING});
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);

  TvlLptDriver next;
  ASSERT_NE(next.Open(), -1);
  next.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

// --- Who may open the device ------------------------------------------------------------------

TEST_F(Loader, DeviceIsOpenedWithTheLoadDriverPrivilegeEnabledOnlyForTheOpen) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  const std::vector<std::string> lines = pc.core.journal.Lines();
  const auto started = std::find_if(lines.begin(), lines.end(),
                                    [](const std::string& line) { return line.starts_with("StartServiceA("); });
  ASSERT_NE(started, lines.end());
  EXPECT_EQ(Named(std::vector<std::string>(started + 1, lines.end()),
                  {"OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges", "CreateFileA", "CloseHandle"}),
            (std::vector<std::string>{"OpenProcessToken(-1, 0x28, ptr)",
                                      "LookupPrivilegeValueA(null, \"SeLoadDriverPrivilege\", ptr)",
                                      "AdjustTokenPrivileges(h, 0, ptr, 16, ptr, ptr)",
                                      "CreateFileA(\"\\\\.\\vlio\", 0xc0000000, 0, null, 3, 0x80, null)",
                                      "AdjustTokenPrivileges(h, 0, ptr, 0, null, null)", "CloseHandle(h)"}));
  EXPECT_TRUE(pc.services.PrivilegeHeld(10));
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10)) << "the privilege was left enabled";
  EXPECT_EQ(pc.core.handles.OpenCount("Token"), 0u);
  driver.Close();

  // A caller that had it enabled already (a service running as SYSTEM) keeps it so.
  HANDLE token = nullptr;
  ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES enable{1, {{{10, 0}, SE_PRIVILEGE_ENABLED}}};
  ASSERT_TRUE(win::AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr));
  win::CloseHandle(token);
  ASSERT_NE(driver.Open(), -1);
  EXPECT_TRUE(pc.services.PrivilegeEnabled(10));
}

TEST_F(Loader, DeviceRefusingACallerWithoutThePrivilegeFailsTheOpenWithAccessDenied) {
  // The token cannot be adjusted, so the open comes without the privilege.
  pc.core.faults.Fail("AdjustTokenPrivileges", ERROR_ACCESS_DENIED);
  TvlLptDriver driver;
  pc.ports.ClearAccesses();
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(driver.Open(), -1);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "the device's answer, for the caller to report";
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10));
  // Left behind: the service, started, which the next open takes over; no handle.
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  ASSERT_NE(pc.services.Find("vlio"), nullptr);

  ASSERT_NE(driver.Open(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

// --- The client's port accesses ---------------------------------------------------------------

TEST_F(Loader, EachAccessIsOneRequestWithTheAgreedBuffers) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  pc.core.journal.Clear();
  pc.ports.ClearAccesses();
  driver.WritePort(0x378, 0x01);
  EXPECT_EQ(driver.ReadPort(0x379) & 0x08, 0x08);  // D0 looped back to Fault
  EXPECT_EQ(driver.ReadPort(0x378), 0x01);
  const std::vector<std::string> requests = pc.core.journal.Lines();
  const std::vector<std::string> expected = {", 0x9c402008, [78 03 01], 3, null, 0, ptr, null)",
                                             ", 0x9c402004, [79 03], 2, ptr, 1, ptr, null)",
                                             ", 0x9c402004, [78 03], 2, ptr, 1, ptr, null)"};
  ASSERT_EQ(requests.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(requests[i].rfind("DeviceIoControl(", 0), 0u) << requests[i];
    EXPECT_TRUE(requests[i].ends_with(expected[i])) << requests[i];
  }
  EXPECT_EQ(pc.ports.Accesses().size(), 3u);
}

TEST_F(Loader, FailedRequestReadsZeroAndTheNextOneWorks) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  driver.WritePort(0x378, 0x5A);
  pc.core.faults.Fail("DeviceIoControl", ERROR_GEN_FAILURE);
  EXPECT_EQ(driver.ReadPort(0x378), 0) << "a failed request answers nothing of the buffer";
  EXPECT_EQ(driver.ReadPort(0x378), 0x5A);
  EXPECT_NE(driver.DeviceHandle(), -1) << "one failed request does not close the device";
}

TEST_F(Loader, WithoutADeviceReadsGiveZeroAndNothingReachesTheSystem) {
  TvlLptDriver driver;
  EXPECT_EQ(driver.ReadPort(0x379), 0);
  driver.WritePort(0x378, 0x55);
  EXPECT_EQ(pc.core.journal.Count("DeviceIoControl"), 0u);
  EXPECT_TRUE(pc.ports.Accesses().empty());
}

TEST_F(Loader, NineXFamilyUsesPortInstructionsAndNoDriver) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  TvlLptDriver driver;
  driver.WritePort(0x378, 0x02);  // before Open too
  EXPECT_EQ(driver.ReadPort(0x378), 0x02);
  EXPECT_EQ(driver.Open(), TvlLptDriver::kDirectHandle);
  EXPECT_EQ(driver.DeviceHandle(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.core.journal.Count("OpenSCManagerA") + pc.core.journal.Count("CreateFileA"), 0u);
  EXPECT_EQ(pc.ports.Count(sim::SimPortBus::By::Program), 2u);
}

}  // namespace
