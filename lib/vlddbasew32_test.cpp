// The driver loader on the simulated PC: which calls reach the service manager, in what
// order and with what, and what is left on the machine after.
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
#include "sim/intruder.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'v', 'l', 'i', 'o', 0, 1, 2, 3};
const std::string kImagePath = "C:\\Windows\\System32\\drivers\\vlio.sys";
const std::string kTempImagePath = "C:\\Windows\\Temp\\vlio.sys";

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
    return Named(pc.core.journal.Lines(),
                 {"IsWow64Process", "GetSystemDirectoryA", "CreateFileA", "WriteFile", "GetFileSize", "ReadFile",
                  "CloseHandle", "OpenSCManagerA", "CreateServiceA", "OpenServiceA", "QueryServiceConfigA",
                  "QueryServiceStatus", "ChangeServiceConfigA", "StartServiceA", "ControlService", "DeleteService",
                  "CloseServiceHandle", "OpenProcessToken"});
  }
};

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
  EXPECT_EQ(service->binary_path, "\\??\\" + kImagePath);
  EXPECT_EQ(service->state, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(pc.kernel.LoadedImages(), std::vector<std::vector<BYTE>>{kImage});
  // The image is written, then opened so that nobody can change it, compared, and held so
  // until the service has started.
  const std::vector<std::string> open_calls = ServiceCalls();
  const std::vector<std::string> install_calls(open_calls.begin(),
                                               std::find(open_calls.begin(), open_calls.end(),
                                                         "OpenProcessToken(-1, 0x28, ptr)"));
  EXPECT_EQ(install_calls,
            (std::vector<std::string>{
                "IsWow64Process(-1, ptr)",
                "GetSystemDirectoryA(ptr, 260)",
                "CreateFileA(\"C:\\Windows\\System32\\drivers\\vlio.sys\", 0x80000000, 1, null, 3, 0, null)",
                "CreateFileA(\"C:\\Windows\\System32\\drivers\\vlio.sys\", 0x40000000, 0, null, 2, 0, null)",
                "WriteFile(h, [4d 5a 76 6c 69 6f 00 01 02 03], 10, ptr, null)",
                "CloseHandle(h)",
                "CreateFileA(\"C:\\Windows\\System32\\drivers\\vlio.sys\", 0x80000000, 1, null, 3, 0, null)",
                "GetFileSize(h, ptr)",
                "ReadFile(h, ptr, 10, ptr, null)",
                "OpenSCManagerA(null, null, 2)",
                "CreateServiceA(h, \"vlio\", \"vlio\", 0x10, 1, 3, 1, \"C:\\Windows\\System32\\drivers\\vlio.sys\", null, "
                "null, null, null, null)",
                "CloseServiceHandle(h)",
                "CloseServiceHandle(h)",
                "OpenSCManagerA(null, null, 1)",
                "OpenServiceA(h, \"vlio\", 0x10)",
                "StartServiceA(h, 0, null)",
                "CloseServiceHandle(h)",
                "CloseServiceHandle(h)",
                "CloseHandle(h)",
            }));
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
  EXPECT_EQ(pc.core.journal.Count("ChangeServiceConfigA"), 0u);
  EXPECT_EQ(pc.services.Find("vlio")->state, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(Loader, AnyOtherFileInTheImagesPlaceIsReplacedBeforeTheServiceStarts) {
  std::vector<BYTE> longer = kImage;
  longer.push_back('!');
  const std::vector<BYTE> same_size = {'M', 'Z', 'e', 'v', 'i', 'l', 0, 1, 2, 3};
  const std::vector<BYTE> files[] = {{'M', 'Z', 'v'}, same_size, longer, {}};
  for (const std::vector<BYTE>& file : files) {
    SCOPED_TRACE(testing::PrintToString(file));
    sim::InstalledPc fresh;
    fresh.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    fresh.kernel.AddImage(kImage, &DriverEntry);
    fresh.kernel.AddImage(file, &DriverEntry);  // it would run, were it ever loaded
    fresh.disk.Write(kImagePath, file);
    TvlLptDriver driver;
    ASSERT_NE(driver.Open(), -1);
    EXPECT_EQ(fresh.disk.Read(kImagePath), kImage);
    EXPECT_EQ(fresh.kernel.LoadedImages(), std::vector<std::vector<BYTE>>{kImage});
  }
}

TEST_F(Loader, TheImageGoesToTheDriversFolderAndNothingElseIsWritten) {
  // Where TEMP pointed, which the user chooses: a file there is left as it is.
  const std::vector<BYTE> precious = {'k', 'e', 'e', 'p'};
  pc.disk.Write(kTempImagePath, precious);
  TvlLptDriver driver;
  driver.DriverPath = "   ";  // blank counts as unset
  ASSERT_NE(driver.Open(), -1);
  EXPECT_EQ(driver.DriverPath, kImagePath);
  EXPECT_EQ(pc.disk.Read(kTempImagePath), precious);
  for (const std::string& line : Named(pc.core.journal.Lines(), {"CreateFileA", "DeleteFileA"})) {
    EXPECT_TRUE(line.find(kImagePath) != std::string::npos || line.find("\\\\.\\vlio") != std::string::npos)
        << line;
  }
}

TEST_F(Loader, ImageChangedAsItWasWrittenFailsTheOpenAndNothingLoads) {
  // A caller's own path in the user's folder, and another program rewriting the image just
  // after it was written.
  sim::Intruder intruder(pc.disk);
  std::string previous;
  pc.core.before_each_call = [&](std::string_view name) {
    if (previous == "CloseHandle") intruder.Rewrite(kTempImagePath, {'M', 'Z', 'e', 'v', 'i', 'l', 0, 1, 2, 3});
    previous = name;
  };
  TvlLptDriver driver;
  driver.DriverPath = kTempImagePath;
  EXPECT_EQ(MessageOf(driver),
            "Create service failed.\rAnother program changed C:\\Windows\\Temp\\vlio.sys as it was written");
  pc.core.before_each_call = nullptr;
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_TRUE(pc.kernel.LoadedImages().empty());
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
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

TEST_F(Loader, ForeignImageThatCannotBeReplacedIsNeverLoaded) {
  const std::vector<BYTE> foreign = {'M', 'Z', 'e', 'v', 'i', 'l'};
  pc.disk.Write(kImagePath, foreign);
  pc.kernel.AddImage(foreign, &DriverEntry);  // it would load, were it ever started
  pc.disk.SetWritable("C:\\Windows\\System32\\drivers", false);
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
  const std::string wow64 =
      "This 32-bit Pinscope cannot load its driver on 64-bit Windows; the 64-bit Pinscope can";
  const std::vector<Case> cases = {
      {"a 32-bit program on 64-bit Windows", [](sim::Pc& pc) { pc.process.SetWow64(true); },
       ERROR_EXE_MACHINE_TYPE_MISMATCH, wow64.c_str()},
      {"manager unreachable", [](sim::Pc& pc) { pc.core.faults.Fail("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED, "Access is denied"},
      {"not elevated", [](sim::Pc& pc) { pc.services.SetElevated(false); }, ERROR_ACCESS_DENIED, "Access is denied"},
      {"create refused", [](sim::Pc& pc) { pc.core.faults.Fail("CreateServiceA", ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED, "Access is denied"},
      {"create failing", [](sim::Pc& pc) { pc.core.faults.Fail("CreateServiceA", ERROR_INVALID_PARAMETER); },
       ERROR_INVALID_PARAMETER, "The parameter is incorrect"},
      {"resource missing", nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND,
       "The specified resource type cannot be found in the image file"},
      {"drivers folder not writable",
       [](sim::Pc& pc) { pc.disk.SetWritable("C:\\Windows\\System32\\drivers", false); }, ERROR_ACCESS_DENIED,
       "Access is denied"},
      {"no system folder", [](sim::Pc& pc) { pc.core.faults.Fail("GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY); },
       ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command"},
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

TEST_F(Loader, ImageHeldOpenForWritingByAnotherProgramFailsTheOpen) {
  pc.disk.Write(kTempImagePath, {'M', 'Z'});
  sim::Intruder other(pc.disk);
  ASSERT_EQ(other.Hold(kTempImagePath), 0u);
  TvlLptDriver driver;
  driver.DriverPath = kTempImagePath;
  EXPECT_EQ(MessageOf(driver),
            "Create service failed.\rThe process cannot access the file because it is being used by another process");
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_TRUE(pc.kernel.LoadedImages().empty());
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

TEST_F(Loader, DeviceThatDoesNotOpenTakesTheServiceDownAndTheNextOpenTriesAgain) {
  pc.kernel.FailNext(sim::SimKernel::Routine::IoCreateDevice, static_cast<int32_t>(0xC000009A));
  TvlLptDriver driver;
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(driver.Open(), -1);  // no error event: the caller reports it in its own words
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_SYSTEM_RESOURCES}) << "why the driver did not start survives the clean-up";
  // Close acts only on a held device, so nothing else would take the driver down.
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);

  EXPECT_NE(driver.Open(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

TEST_F(Loader, AServiceRunningThatThisObjectDidNotStartIsNeverOpenedAndLeftAlone) {
  // One a killed run left running, or another program's driver of the same name.
  const std::vector<BYTE> foreign = {'M', 'Z', 'e', 'v', 'i', 'l'};
  pc.kernel.AddImage(foreign, &DriverEntry);
  struct Case {
    const char* what;
    std::string path;
    std::vector<BYTE> bytes;
  } const cases[] = {{"our own image", kImagePath, kImage}, {"another program's", "C:\\Other\\vlio.sys", foreign}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pc.disk.Write(c.path, c.bytes);
    pc.services.Add({.name = "vlio", .binary_path = c.path});
    ASSERT_EQ(pc.services.Start("vlio"), 0u);
    pc.core.journal.Clear();
    {
      TvlLptDriver driver;
      EXPECT_EQ(MessageOf(driver), "Start service failed.\rAn instance of the service is already running");
      EXPECT_EQ(driver.DeviceHandle(), -1);
    }
    EXPECT_EQ(pc.core.journal.Count("ChangeServiceConfigA"), 0u);
    for (const std::string& line : Named(pc.core.journal.Lines(), {"CreateFileA"})) {
      EXPECT_EQ(line.find("\\\\.\\"), std::string::npos) << "the device was opened: " << line;
    }
    const auto* service = pc.services.Find("vlio");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->binary_path, c.path);
    EXPECT_EQ(service->state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(pc.services.OpenHandles(), 0u);
    EXPECT_EQ(pc.core.handles.OpenCount(), 0u);

    // Taken down by hand, as an administrator would.
    SC_HANDLE manager = win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE opened = win::OpenServiceA(manager, "vlio", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    win::ControlService(opened, SERVICE_CONTROL_STOP, &status);
    win::DeleteService(opened);
    win::CloseServiceHandle(opened);
    win::CloseServiceHandle(manager);
    ASSERT_EQ(pc.services.Find("vlio"), nullptr);
  }
}

TEST_F(Loader, AStoppedServicePointingElsewhereIsPointedAtTheImage) {
  struct Case {
    std::string binary_path;
    DWORD type;
    bool changed;
  } const cases[] = {
      {"C:\\Windows\\Temp\\vlio.sys", SERVICE_KERNEL_DRIVER, true},  // an older build's
      {"\\??\\C:\\Other\\vlio.sys", SERVICE_KERNEL_DRIVER, true},
      {"System32\\drivers\\other.sys", SERVICE_KERNEL_DRIVER, true},
      {kImagePath, SERVICE_WIN32_OWN_PROCESS, true},
      {kImagePath, SERVICE_KERNEL_DRIVER, false},
      {"\\??\\c:\\windows\\SYSTEM32\\Drivers\\VLIO.sys", SERVICE_KERNEL_DRIVER, false},
      {"\\SystemRoot\\System32\\drivers\\vlio.sys", SERVICE_KERNEL_DRIVER, false},
      {"System32\\drivers\\vlio.sys", SERVICE_KERNEL_DRIVER, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.binary_path);
    sim::InstalledPc fresh;
    fresh.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    fresh.kernel.AddImage(kImage, &DriverEntry);
    fresh.services.Add({.name = "vlio", .binary_path = c.binary_path, .type = c.type});
    TvlLptDriver driver;
    ASSERT_NE(driver.Open(), -1);
    const auto* service = fresh.services.Find("vlio");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->binary_path, c.changed ? "\\??\\" + kImagePath : c.binary_path);
    EXPECT_EQ(service->type, DWORD{SERVICE_KERNEL_DRIVER});
    EXPECT_EQ(fresh.core.journal.Count("ChangeServiceConfigA"), c.changed ? 1u : 0u);
    EXPECT_EQ(fresh.kernel.LoadedImages(), std::vector<std::vector<BYTE>>{kImage});
  }
}

TEST_F(Loader, ASecondClientIsRefusedTheRunningServiceAndTheFirstKeepsIt) {
  TvlLptDriver first, second;
  ASSERT_NE(first.Open(), -1);
  // Running already, and not started by this object: as far as it can tell, another program's.
  EXPECT_EQ(MessageOf(second), "Start service failed.\rAn instance of the service is already running");
  first.WritePort(0x378, 0x01);
  EXPECT_EQ(first.ReadPort(0x378), 0x01) << "the first client lost its driver";

  // Another program holds the device: the stop waits for it, the delete only marks the
  // service, and meanwhile a new client is told why it cannot install the service.
  TOKEN_PRIVILEGES enable{1, {{{10, 0}, SE_PRIVILEGE_ENABLED}}};
  HANDLE token = nullptr;
  ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  ASSERT_TRUE(win::AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr));
  win::CloseHandle(token);
  HANDLE other = win::CreateFileA("\\\\.\\vlio", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  first.Close();
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_STOP_PENDING});
  TvlLptDriver third;
  EXPECT_EQ(MessageOf(third), "Create service failed.\rThe specified service has been marked for deletion");

  // The last handle lets the driver unload and the service go; the next open starts afresh.
  win::CloseHandle(other);
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
  EXPECT_NE(second.Open(), -1);
  second.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, CloseThatCannotReachTheServiceManagerLeavesTheServiceForTheSameObject) {
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

  // The driver this object started never stopped: it takes it up again; another does not.
  TvlLptDriver next;
  EXPECT_EQ(MessageOf(next), "Start service failed.\rAn instance of the service is already running");
  ASSERT_NE(driver.Open(), -1);
  driver.Close();
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
            (std::vector<std::string>{"CloseHandle(h)",  // the image, let go once loaded
                                      "OpenProcessToken(-1, 0x28, ptr)",
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
  // Nothing left behind: no handle, no service.
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);

  ASSERT_NE(driver.Open(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

}  // namespace
