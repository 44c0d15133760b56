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
#include "testing/framework/raised.h"
#include "lib/vllpt.h"
#include "sim/intruder.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'v', 'l', 'i', 'o', 0, 1, 2, 3};
const std::string kImagePath = "C:\\Windows\\System32\\drivers\\vlio.sys";
const std::string kTempImagePath = "C:\\Windows\\Temp\\vlio.sys";
// What the loader names the image by: the kernel's own name of it.
const std::string kGlobalImagePath = "\\\\?\\GLOBALROOT\\SystemRoot\\System32\\drivers\\vlio.sys";
const std::string kKernelImagePath = "\\SystemRoot\\System32\\drivers\\vlio.sys";
const std::string kDevicePath = "\\\\?\\GLOBALROOT\\Device\\vlio";
// Administrators own it; they and SYSTEM alone have any access.
const std::string kImageSecurity = "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";

/// The journal lines of the calls named, with the handle a call was made on shown as "h".
std::vector<std::string> Named(const std::vector<std::string>& lines, std::initializer_list<std::string> names) {
  static const std::regex handle(R"(^(\w+)\(0x[0-9a-f]+([,)]))");
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    for (const std::string& name : names)
      if (line.rfind(name + "(", 0) == 0) kept.push_back(std::regex_replace(line, handle, "$1(h$2"));
  return kept;
}

/// A PC whose program carries the driver image, and whose kernel would run it.
void CarryImage(sim::Pc& pc) {
  pc.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
  pc.kernel.AddImage(kImage, &DriverEntry);
}

class Loader : public testing::Test {
 protected:
  sim::InstalledPc pc;

  void SetUp() override {
    CarryImage(pc);
    vport_plug(&pc.ports.AddPort(0x378), &vport_loopback_plug);
  }

  std::vector<std::string> ServiceCalls() {
    return Named(pc.core.journal.Lines(),
                 {"IsWow64Process", "GetSystemDirectoryA", "DeleteFileA", "CreateFileA", "WriteFile", "GetFileSize", "ReadFile",
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
  EXPECT_EQ(pc.disk.Security(kImagePath), kImageSecurity);
  const auto* service = pc.services.Find("vlio");
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(service->start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(service->error_control, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(service->binary_path, kKernelImagePath);
  EXPECT_EQ(service->state, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(pc.kernel.LoadedImages(), std::vector<std::vector<BYTE>>{kImage});
  // The manager first (a user who may not install gets nowhere near the file), then the image
  // made anew, opened so that nobody can change it, compared, and held so until the service
  // has started.
  const std::vector<std::string> open_calls = ServiceCalls();
  const std::vector<std::string> install_calls(open_calls.begin(),
                                               std::find(open_calls.begin(), open_calls.end(),
                                                         "OpenProcessToken(-1, 0x28, ptr)"));
  const std::string image = "\"\\\\?\\GLOBALROOT\\SystemRoot\\System32\\drivers\\vlio.sys\"";
  EXPECT_EQ(install_calls,
            (std::vector<std::string>{
                "IsWow64Process(-1, ptr)",
                "GetSystemDirectoryA(ptr, 260)",
                "OpenSCManagerA(null, null, 2)",
                "OpenServiceA(h, \"vlio\", 0x10025)",
                "DeleteFileA(" + image + ")",
                "CreateFileA(" + image + ", 0x40000000, 0, ptr, 1, 0, null)",
                "WriteFile(h, [4d 5a 76 6c 69 6f 00 01 02 03], 10, ptr, null)",
                "CloseHandle(h)",
                "CreateFileA(" + image + ", 0x80000000, 1, null, 3, 0, null)",
                "GetFileSize(h, ptr)",
                "ReadFile(h, ptr, 10, ptr, null)",
                "CreateServiceA(h, \"vlio\", \"vlio\", 0x10, 1, 3, 1, \"\\SystemRoot\\System32\\drivers\\vlio.sys\", null, "
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
            "CreateFileA(\"\\\\?\\GLOBALROOT\\Device\\vlio\", 0xc0000000, 0, null, 3, 0x80, null)");
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
            (std::vector<std::string>{"OpenSCManagerA(null, null, 1)", "OpenServiceA(h, \"vlio\", 0x24)",
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

TEST_F(Loader, AnyFileInTheImagesPlaceIsMadeAnewWithOnlyOurAccessList) {
  // A planted file keeps neither its bytes nor its owner and access list, even one with our
  // very bytes: whoever could open it could lock it against the next start.
  std::vector<BYTE> longer = kImage;
  longer.push_back('!');
  const std::vector<BYTE> same_size = {'M', 'Z', 'e', 'v', 'i', 'l', 0, 1, 2, 3};
  const std::vector<BYTE> files[] = {{'M', 'Z', 'v'}, same_size, longer, {}, kImage};
  for (const std::vector<BYTE>& file : files) {
    SCOPED_TRACE(testing::PrintToString(file));
    sim::InstalledPc fresh;
    CarryImage(fresh);
    if (file != kImage) fresh.kernel.AddImage(file, &DriverEntry);  // it would run, were it ever loaded
    fresh.disk.Write(kImagePath, file);
    fresh.disk.SetSecurity(kImagePath, "O:S-1-5-21-1-2-3-1001D:(A;;FA;;;WD)");  // a user's, open to everyone
    TvlLptDriver driver;
    ASSERT_NE(driver.Open(), -1);
    EXPECT_EQ(fresh.disk.Read(kImagePath), kImage);
    EXPECT_EQ(fresh.disk.Security(kImagePath), kImageSecurity);
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
    EXPECT_TRUE(line.find(kGlobalImagePath) != std::string::npos || line.find(kDevicePath) != std::string::npos)
        << line;
  }
}

TEST_F(Loader, ImageChangedAsItWasWrittenFailsTheOpenAndNothingLoads) {
  // Another program with an administrator's rights rewriting the image just after it was
  // written (under Wine, whose files keep no access lists, any program).
  std::string previous;
  pc.core.before_each_call = [&](std::string_view name) {
    if (previous == "CloseHandle" && pc.disk.Exists(kImagePath))
      pc.disk.Write(kImagePath, {'M', 'Z', 'e', 'v', 'i', 'l', 0, 1, 2, 3});
    previous = name;
  };
  TvlLptDriver driver;
  EXPECT_EQ(MessageOf(driver),
            "Create service failed.\rAnother program changed C:\\Windows\\System32\\drivers\\vlio.sys as it was written");
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
  without_file.ServiceName = "other";
  EXPECT_THROW(without_file.Open(), fw::Exception);
}

TEST_F(Loader, ForeignImageThatCannotBeReplacedIsNeverLoaded) {
  const std::vector<BYTE> foreign = {'M', 'Z', 'e', 'v', 'i', 'l'};
  pc.disk.Write(kImagePath, foreign);
  pc.kernel.AddImage(foreign, &DriverEntry);  // it would load, were it ever started
  pc.disk.SetWritable("C:\\Windows\\System32\\drivers", false);
  TvlLptDriver driver;
  EXPECT_EQ(MessageOf(driver), "Create service failed.\rAccess is denied: " + kImagePath);
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
    std::string cause;
  };
  const std::string wow64 =
      "This 32-bit Pinscope cannot load its driver on 64-bit Windows; the 64-bit Pinscope can";
  const std::vector<Case> cases = {
      {"a 32-bit program on 64-bit Windows", [](sim::Pc& pc) { pc.process.SetWow64(true); },
       ERROR_EXE_MACHINE_TYPE_MISMATCH, wow64},
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
       "Access is denied: " + kImagePath},
      {"no system folder", [](sim::Pc& pc) { pc.core.faults.Fail("GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY); },
       ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command"},
      {"disk full", [](sim::Pc& pc) { pc.disk.SetFreeSpace(4); }, ERROR_DISK_FULL,
       "There is not enough space on the disk: " + kImagePath},
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
    const std::string message = "Create service failed.\r" + c.cause;
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

TEST_F(Loader, WhatIsNotOursIsRefusedByNameAndLeftAsItWas) {
  // A caller's names that could reach another object, and what another program put there.
  struct Case {
    const char* what;
    std::string service_name, driver_path;
    std::function<void(sim::Pc&)> arrange;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a service name with a path in it", "..\\vlio", "", nullptr,
       "Create service failed.\rThe service name \"..\\vlio\" may hold only letters, digits and _"},
      {"a service name that is blank", "", "", nullptr,
       "Create service failed.\rThe service name \"\" may hold only letters, digits and _"},
      {"the temporary folder", "vlio", kTempImagePath, nullptr,
       "Create service failed.\rThe driver image " + kTempImagePath +
           " must be a file of the system's drivers folder, C:\\Windows\\System32\\drivers"},
      {"out of the drivers folder by ..", "vlio", "C:\\Windows\\System32\\drivers\\..\\vlio.sys", nullptr,
       "Create service failed.\rThe driver image C:\\Windows\\System32\\drivers\\..\\vlio.sys must be a file of the "
       "system's drivers folder, C:\\Windows\\System32\\drivers"},
      {"a stream of a file there", "vlio", kImagePath + ":hidden", nullptr,
       "Create service failed.\rThe driver image " + kImagePath +
           ":hidden must be a file of the system's drivers folder, C:\\Windows\\System32\\drivers"},
      {"another product's stopped service", "vlio", "",
       [](sim::Pc& pc) { pc.services.Add({.name = "vlio", .binary_path = "\\??\\C:\\Other\\vlio.sys"}); },
       "Create service failed.\rThe service vlio belongs to another program: it loads \\??\\C:\\Other\\vlio.sys"},
      {"another product's service of our image's place, not a kernel driver", "vlio", "",
       [](sim::Pc& pc) {
         pc.services.Add({.name = "vlio", .binary_path = kImagePath, .type = SERVICE_WIN32_OWN_PROCESS});
       },
       "Create service failed.\rThe service vlio belongs to another program: it loads " + kImagePath},
      {"a service marked for deletion", "vlio", "",
       [](sim::Pc& pc) {
         pc.services.Add({.name = "vlio", .binary_path = kKernelImagePath});
         // Another program deleted it and still holds it open.
         SC_HANDLE manager = win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
         win::DeleteService(win::OpenServiceA(manager, "vlio", SERVICE_ALL_ACCESS));
         win::CloseServiceHandle(manager);
       },
       "Create service failed.\rThe specified service has been marked for deletion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstalledPc fresh;
    CarryImage(fresh);
    if (c.arrange) c.arrange(fresh);
    const size_t handles = fresh.services.OpenHandles();
    const auto* before = fresh.services.Find("vlio");
    const std::string binary = before ? before->binary_path : "";
    {
      TvlLptDriver driver;
      driver.ServiceName = c.service_name;
      driver.DriverPath = c.driver_path;
      EXPECT_EQ(MessageOf(driver), c.message);
    }
    EXPECT_EQ(fresh.core.journal.Count("CreateServiceA"), 0u);
    EXPECT_EQ(fresh.core.journal.Count("WriteFile"), 0u);
    EXPECT_TRUE(fresh.kernel.LoadedImages().empty());
    EXPECT_EQ(fresh.services.OpenHandles(), handles);
    const auto* after = fresh.services.Find("vlio");
    EXPECT_EQ(after ? after->binary_path : "", binary);
  }
}

TEST_F(Loader, ImageHeldOpenByAnotherProgramFailsTheOpenNamingItsPlace) {
  pc.disk.Write(kImagePath, {'M', 'Z'});
  platform::UniqueFile other(win::CreateFileA(kImagePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  TvlLptDriver driver;
  EXPECT_EQ(MessageOf(driver),
            "Create service failed.\rThe process cannot access the file because it is being used by another process: " +
                kImagePath);
  EXPECT_EQ(pc.disk.Read(kImagePath), (std::vector<BYTE>{'M', 'Z'}));
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_TRUE(pc.kernel.LoadedImages().empty());
}

TEST_F(Loader, ForeignDriverHoldingTheDeviceNameIsNeverOpenedAndNothingOfOursStays) {
  // Another product's driver, under a service name of its own, made the device's name first.
  const std::vector<BYTE> foreign = {'M', 'Z', 'o', 't', 'h', 'e', 'r'};
  pc.kernel.AddImage(foreign, &DriverEntry);
  pc.disk.Write("C:\\Windows\\System32\\drivers\\other.sys", foreign);
  pc.services.Add({.name = "other", .binary_path = "\\SystemRoot\\System32\\drivers\\other.sys"});
  ASSERT_EQ(pc.services.Start("other"), 0u);
  TvlLptDriver driver;
  ErrorHandler handler;
  handler.clear = true;
  driver.OnError = TOnFatalErrorEvent::Of<&ErrorHandler::Handle>(&handler);
  EXPECT_EQ(driver.Open(), -1);
  EXPECT_EQ(handler.seen, std::vector<std::string>{"7/183 Start service failed.\rCannot create a file when that file "
                                                   "already exists"});
  for (const std::string& line : Named(pc.core.journal.Lines(), {"CreateFileA"})) {
    EXPECT_EQ(line.find("Device"), std::string::npos) << "a device was opened: " << line;
  }
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  ASSERT_NE(pc.services.Find("other"), nullptr);
  EXPECT_EQ(pc.services.Find("other")->state, DWORD{SERVICE_RUNNING});
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 1u);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, StartFailuresReportStartServiceFailedAndTakeTheServiceDown) {
  // The service is declined by the system, or the driver's entry fails.
  struct Case {
    const char* what;
    std::function<void(sim::Pc&)> arrange;
    std::string seen;
  };
  const std::vector<Case> cases = {
      {"start refused", [](sim::Pc& pc) { pc.core.faults.Fail("StartServiceA", ERROR_SERVICE_DISABLED); },
       "7/1058 Start service failed.\rThe service cannot be started, either because it is disabled or because it "
       "has no enabled devices associated with it"},
      {"no device made",
       [](sim::Pc& pc) {
         pc.kernel.FailNext(sim::SimKernel::Routine::IoCreateDevice, static_cast<int32_t>(0xC000009A));
       },
       "7/1450 Start service failed.\rInsufficient system resources exist to complete the requested service"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstalledPc fresh;
    CarryImage(fresh);
    c.arrange(fresh);
    TvlLptDriver driver;
    ErrorHandler handler;
    handler.clear = true;
    driver.OnError = TOnFatalErrorEvent::Of<&ErrorHandler::Handle>(&handler);
    EXPECT_EQ(driver.Open(), -1);
    EXPECT_EQ(handler.seen, std::vector<std::string>{c.seen});
    EXPECT_EQ(fresh.services.Find("vlio"), nullptr);
    EXPECT_EQ(fresh.services.OpenHandles(), 0u);
    EXPECT_EQ(fresh.core.handles.OpenCount(), 0u);
    // Nothing stays in the way of the next try.
    ASSERT_NE(driver.Open(), -1);
    driver.Close();
    EXPECT_EQ(fresh.services.Find("vlio"), nullptr);
  }
}

// --- A service left running ---------------------------------------------------------------------

/// Opens "vlio"'s device as another program that loaded it would hold it.
platform::UniqueFile OpenDeviceElsewhere() {
  TOKEN_PRIVILEGES enable{1, {{{10, 0}, SE_PRIVILEGE_ENABLED}}};
  HANDLE token = nullptr;
  win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);
  win::AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr);
  win::CloseHandle(token);
  return platform::UniqueFile(
      win::CreateFileA("\\\\.\\vlio", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST_F(Loader, ALeftoverOfOurImageIsRestartedFromTheCheckedImageAndOpened) {
  // What a killed run leaves: our service running, the image at its place changed since.
  const std::vector<BYTE> changed = {'M', 'Z', 'o', 'l', 'd'};
  pc.kernel.AddImage(changed, &DriverEntry);
  pc.disk.Write(kImagePath, changed);
  pc.services.Add({.name = "vlio", .binary_path = kKernelImagePath, .start_type = SERVICE_AUTO_START});
  ASSERT_EQ(pc.services.Start("vlio"), 0u);
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  // Made afresh: our start type, our image.
  EXPECT_EQ(pc.services.Find("vlio")->start_type, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(pc.kernel.LoadedImages(), (std::vector<std::vector<BYTE>>{changed, kImage}));
  EXPECT_EQ(pc.kernel.LoadedDrivers(), 1u);
  ASSERT_TRUE(driver.ClaimPort(0x378));
  driver.WritePort(0x378, 0x01);
  EXPECT_EQ(driver.ReadPort(0x378), 0x01);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

TEST_F(Loader, ALeftoverStillInUseIsRefusedAndItsProgramKeepsItAndTakesItDown) {
  TvlLptDriver first, second;
  ASSERT_NE(first.Open(), -1);
  ASSERT_TRUE(first.ClaimPort(0x378));
  const uint64_t asked = pc.time.Now();
  EXPECT_EQ(MessageOf(second),
            "Start service failed.\rAnother program is using the port driver vlio; it is taken down when that program "
            "closes its port");
  EXPECT_GE(pc.time.Now() - asked, 1000u) << "did not wait for the stop";
  EXPECT_LE(pc.time.Now() - asked, 5000u) << "waited too long for the stop";
  first.WritePort(0x378, 0x01);
  EXPECT_EQ(first.ReadPort(0x378), 0x01) << "the first client lost its driver";
  EXPECT_EQ(pc.kernel.LoadedImages().size(), 1u);

  first.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_NE(second.Open(), -1);
  second.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, ARunningServiceNotOfOurImageIsNeverOpenedAndLeftAlone) {
  const std::vector<BYTE> foreign = {'M', 'Z', 'e', 'v', 'i', 'l'};
  pc.kernel.AddImage(foreign, &DriverEntry);
  pc.disk.Write("C:\\Other\\vlio.sys", foreign);
  pc.services.Add({.name = "vlio", .binary_path = "C:\\Other\\vlio.sys"});
  ASSERT_EQ(pc.services.Start("vlio"), 0u);
  pc.core.journal.Clear();
  {
    TvlLptDriver driver;
    EXPECT_EQ(MessageOf(driver), "Start service failed.\rAn instance of the service is already running");
  }
  EXPECT_EQ(pc.core.journal.Count("ControlService"), 0u);
  EXPECT_EQ(pc.core.journal.Count("DeleteService"), 0u);
  EXPECT_EQ(pc.core.journal.Count("CreateFileA"), 0u);
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_RUNNING});
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(Loader, AStoppedServiceOfOursOrOfAnOlderBuildIsMadeAfresh) {
  const std::string paths[] = {kImagePath, kKernelImagePath, "\\??\\c:\\windows\\SYSTEM32\\Drivers\\VLIO.sys",
                               "System32\\drivers\\vlio.sys", kTempImagePath};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    sim::InstalledPc fresh;
    CarryImage(fresh);
    fresh.services.Add({.name = "vlio", .binary_path = path, .start_type = SERVICE_DISABLED});
    TvlLptDriver driver;
    ASSERT_NE(driver.Open(), -1);
    EXPECT_EQ(fresh.core.journal.Count("DeleteService"), 1u);
    EXPECT_EQ(fresh.core.journal.Count("ChangeServiceConfigA"), 0u);
    EXPECT_EQ(fresh.services.Find("vlio")->binary_path, kKernelImagePath);
    EXPECT_EQ(fresh.services.Find("vlio")->start_type, DWORD{SERVICE_DEMAND_START});
  }
}

// --- Stopping and removing ----------------------------------------------------------------------

TEST_F(Loader, StopAndRemoveAnswerWhatTheSystemDid) {
  TvlLptDriver driver;
  EXPECT_TRUE(driver.StopDriver()) << "a service that does not exist runs nothing";
  EXPECT_TRUE(driver.RemoveDriver());
  ASSERT_NE(driver.Open(), -1);
  platform::UniqueFile other = OpenDeviceElsewhere();
  ASSERT_TRUE(other);
  // The stop stays pending while another program holds the device: not stopped.
  driver.Close();
  ASSERT_NE(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_STOP_PENDING});
  EXPECT_FALSE(driver.StopDriver());
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_BUSY});
  EXPECT_TRUE(driver.RemoveDriver()) << "marked for deletion already";
  other.reset();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  // Close still knew it had started the service, and finds nothing left to do.
  pc.core.journal.Clear();
  driver.Close();
  EXPECT_EQ(pc.core.journal.Count("OpenServiceA"), 2u);
  pc.core.journal.Clear();
  driver.Close();
  EXPECT_TRUE(pc.core.journal.Lines().empty());

  pc.core.faults.Fail("OpenSCManagerA", ERROR_ACCESS_DENIED, 2);
  EXPECT_FALSE(driver.StopDriver());
  EXPECT_FALSE(driver.RemoveDriver());
}

TEST_F(Loader, CloseThatCannotReachTheServiceManagerLeavesTheServiceForALaterClose) {
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
                                      "CreateFileA(\"\\\\?\\GLOBALROOT\\Device\\vlio\", 0xc0000000, 0, null, 3, 0x80, null)",
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
