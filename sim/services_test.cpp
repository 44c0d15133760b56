// The service control manager through the advapi32 seam, with the vlio driver as the
// kernel driver it starts.
#include "sim/services.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"

namespace sim {
namespace {

constexpr LPCSTR kImagePath = "C:\\Windows\\System32\\drivers\\vlio.sys";

class SimServicesTest : public ::testing::Test {
 protected:
  SimServicesTest() {
    pc.kernel.AddImage(image, &DriverEntry);
    pc.disk.Write(kImagePath, image);
    manager = win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  }
  ~SimServicesTest() override {
    win::CloseServiceHandle(manager);
    EXPECT_EQ(pc.services.OpenHandles(), 0u) << "a test leaked a service handle";
    EXPECT_TRUE(pc.kernel.DriverFaults().empty()) << pc.kernel.DriverFaults().front();
  }

  SC_HANDLE Create(LPCSTR name = "vlio", LPCSTR path = kImagePath, DWORD access = SERVICE_ALL_ACCESS) {
    return win::CreateServiceA(manager, name, name, access, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                               SERVICE_ERROR_NORMAL, path, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  static SERVICE_STATUS Status(SC_HANDLE service) {
    SERVICE_STATUS status{};
    EXPECT_TRUE(win::QueryServiceStatus(service, &status));
    return status;
  }
  // StartServiceA's last error, 0 when it started.
  static DWORD Start(SC_HANDLE service) {
    win::SetLastError(0xdeadbeef);
    if (win::StartServiceA(service, 0, nullptr)) return ERROR_SUCCESS;
    return win::GetLastError();
  }

  InstalledPc pc;
  std::vector<BYTE> image = {'M', 'Z', 0x90, 0x00, 'v', 'l', 'i', 'o'};
  SC_HANDLE manager;
};

TEST_F(SimServicesTest, ADriverServiceRunsThroughItsLifeWithTheKernelFollowing) {
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = Create();
  ASSERT_NE(service, nullptr) << win::GetLastError();
  const SimServices::Service* installed = pc.services.Find("VLIO");
  ASSERT_NE(installed, nullptr);
  EXPECT_EQ(installed->binary_path, std::string("\\??\\") + kImagePath) << "a driver's path is kept as an NT path";
  EXPECT_EQ(installed->type, SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(installed->start_type, SERVICE_DEMAND_START);
  EXPECT_EQ(Status(service).dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(Status(service).dwWin32ExitCode, DWORD{ERROR_SERVICE_NEVER_STARTED});

  EXPECT_EQ(Start(service), DWORD{ERROR_SUCCESS});
  const SERVICE_STATUS running = Status(service);
  EXPECT_EQ(running.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(running.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_EQ(running.dwWin32ExitCode, 0u);
  EXPECT_EQ(pc.kernel.Links().count("\\DosDevices\\vlio"), 1u);
  EXPECT_EQ(Start(service), DWORD{ERROR_SERVICE_ALREADY_RUNNING});

  SERVICE_STATUS status{};
  EXPECT_TRUE(win::ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_TRUE(pc.kernel.Links().empty()) << "stopping ran the unload routine";
  EXPECT_TRUE(pc.kernel.Devices().empty());

  status = SERVICE_STATUS{};
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_NOT_ACTIVE});
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED) << "the status comes back with the refusal";

  EXPECT_EQ(Start(service), DWORD{ERROR_SUCCESS}) << "a stopped driver starts again";
  EXPECT_TRUE(win::ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(win::DeleteService(service));
  EXPECT_NE(pc.services.Find("vlio"), nullptr) << "deleting waits for the last handle";
  EXPECT_TRUE(win::CloseServiceHandle(service));
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

TEST_F(SimServicesTest, NamesAreUniqueAndLookupsReportWhatIsWrong) {
  SC_HANDLE service = Create("vlio");
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(Create("VLIO"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_EXISTS});
  EXPECT_EQ(win::OpenServiceA(manager, "portgate", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
  EXPECT_EQ(Create("a\\b"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_NAME});

  EXPECT_TRUE(win::DeleteService(service));
  EXPECT_FALSE(win::DeleteService(service));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
  EXPECT_EQ(Create("vlio"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
  SC_HANDLE again = win::OpenServiceA(manager, "vlio", SERVICE_ALL_ACCESS);
  ASSERT_NE(again, nullptr) << "a service marked for delete still opens";
  EXPECT_EQ(Start(again), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
  win::CloseServiceHandle(service);
  EXPECT_NE(pc.services.Find("vlio"), nullptr) << "one handle is still open";
  win::CloseServiceHandle(again);
  SC_HANDLE fresh = Create("vlio");
  EXPECT_NE(fresh, nullptr) << "the name is free once the last handle closed";
  win::CloseServiceHandle(fresh);

  for (SC_HANDLE stale : {service, SC_HANDLE{nullptr}}) {
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::CloseServiceHandle(stale));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(win::StartServiceA(stale, 0, nullptr));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
  EXPECT_FALSE(win::StartServiceA(reinterpret_cast<SC_HANDLE>(manager), 0, nullptr))
      << "a manager handle is no service handle";
}

TEST_F(SimServicesTest, EachOperationNeedsItsRight) {
  win::CloseServiceHandle(Create());
  SC_HANDLE query = win::OpenServiceA(manager, "vlio", SERVICE_QUERY_STATUS);
  SC_HANDLE start = win::OpenServiceA(manager, "vlio", SERVICE_START);
  SERVICE_STATUS status{};
  auto error_of = [](BOOL result) { return result ? DWORD{ERROR_SUCCESS} : win::GetLastError(); };
  EXPECT_EQ(error_of(win::StartServiceA(query, 0, nullptr)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(error_of(win::DeleteService(start)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(error_of(win::QueryServiceStatus(start, &status)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(error_of(win::StartServiceA(start, 0, nullptr)), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(error_of(win::ControlService(query, SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(Status(query).dwCurrentState, SERVICE_RUNNING);

  SC_HANDLE stop = win::OpenServiceA(manager, "vlio", GENERIC_EXECUTE);
  EXPECT_EQ(error_of(win::ControlService(stop, SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_SUCCESS})
      << "GENERIC_EXECUTE includes stopping";

  SC_HANDLE connect = win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(connect, nullptr);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(
      win::CreateServiceA(connect, "other", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                          SERVICE_ERROR_NORMAL, kImagePath, nullptr, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  for (SC_HANDLE each : {query, start, stop, connect}) win::CloseServiceHandle(each);
}

TEST_F(SimServicesTest, AProgramThatIsNotElevatedMayOnlyConnectAndQuery) {
  win::CloseServiceHandle(Create());
  pc.services.SetElevated(false);
  struct Case {
    DWORD access;
    bool granted;
  } const managers[] = {{SC_MANAGER_ALL_ACCESS, false},
                        {SC_MANAGER_CREATE_SERVICE, false},
                        {SC_MANAGER_CONNECT, true},
                        {GENERIC_READ, true}};
  for (const Case& c : managers) {
    win::SetLastError(0xdeadbeef);
    SC_HANDLE opened = win::OpenSCManagerA(nullptr, nullptr, c.access);
    EXPECT_EQ(opened != nullptr, c.granted) << std::hex << c.access;
    if (!c.granted) {
      EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << std::hex << c.access;
    }
    win::CloseServiceHandle(opened);
  }
  const Case services[] = {{SERVICE_ALL_ACCESS, false},
                           {SERVICE_START, false},
                           {SERVICE_QUERY_STATUS, true},
                           {GENERIC_READ, true},
                           {MAXIMUM_ALLOWED, true}};
  for (const Case& c : services) {
    win::SetLastError(0xdeadbeef);
    SC_HANDLE opened = win::OpenServiceA(manager, "vlio", c.access);
    EXPECT_EQ(opened != nullptr, c.granted) << std::hex << c.access;
    if (!c.granted) {
      EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << std::hex << c.access;
    }
    if (c.access == MAXIMUM_ALLOWED) {
      EXPECT_FALSE(win::StartServiceA(opened, 0, nullptr)) << "the most a user gets does not start";
    }
    win::CloseServiceHandle(opened);
  }
}

TEST_F(SimServicesTest, StartingLoadsWhateverFileTheServicePointsAt) {
  // A run that was killed left its service behind, pointing at an older file.
  pc.disk.Write("C:\\Windows\\Temp\\old\\vlio.sys", {'M', 'Z', 0x01});
  pc.services.Add({.name = "vlio", .binary_path = "\\??\\C:\\Windows\\Temp\\old\\vlio.sys"});
  SC_HANDLE stale = win::OpenServiceA(manager, "vlio", SERVICE_ALL_ACCESS);
  EXPECT_EQ(Start(stale), DWORD{ERROR_BAD_EXE_FORMAT}) << "the old file is no image the kernel knows";
  EXPECT_EQ(Status(stale).dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(Status(stale).dwWin32ExitCode, DWORD{ERROR_BAD_EXE_FORMAT});
  win::CloseServiceHandle(stale);

  pc.kernel.RefuseImage({'M', 'Z', 0x02}, ERROR_INVALID_IMAGE_HASH);
  pc.disk.Write("C:\\Windows\\Temp\\unsigned.sys", {'M', 'Z', 0x02});
  struct Case {
    const char* path;
    DWORD error;
  } const cases[] = {{"C:\\Windows\\Temp\\unsigned.sys", ERROR_INVALID_IMAGE_HASH},
                     {"C:\\Windows\\Temp\\gone.sys", ERROR_FILE_NOT_FOUND},
                     {"C:\\Gone\\vlio.sys", ERROR_PATH_NOT_FOUND},
                     {"System32\\drivers\\vlio.sys", ERROR_SUCCESS},
                     {"\\SystemRoot\\System32\\drivers\\vlio.sys", ERROR_SUCCESS},
                     {"\"C:\\Windows\\System32\\drivers\\vlio.sys\"", ERROR_SUCCESS}};
  for (const Case& c : cases) {
    SC_HANDLE service = Create("vlio2", c.path);
    EXPECT_EQ(Start(service), c.error) << c.path;
    SERVICE_STATUS status;
    if (!c.error) {
      EXPECT_TRUE(win::ControlService(service, SERVICE_CONTROL_STOP, &status)) << c.path;
    }
    win::DeleteService(service);
    win::CloseServiceHandle(service);
  }
}

TEST_F(SimServicesTest, ConfigurationReadsBackAndRepointsWithItsRights) {
  SC_HANDLE created = Create("vlio", "C:\\Windows\\Temp\\vlio.sys");
  win::CloseServiceHandle(created);
  SC_HANDLE service = win::OpenServiceA(manager, "vlio", SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
  ASSERT_NE(service, nullptr);

  // Too small a buffer: the size needed, and nothing written.
  alignas(QUERY_SERVICE_CONFIGA) char buffer[512];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::QueryServiceConfigA(service, config, sizeof(QUERY_SERVICE_CONFIGA), &needed));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  ASSERT_GT(needed, sizeof(QUERY_SERVICE_CONFIGA));
  ASSERT_TRUE(win::QueryServiceConfigA(service, config, needed, &needed));
  EXPECT_STREQ(config->lpBinaryPathName, "\\??\\C:\\Windows\\Temp\\vlio.sys");
  EXPECT_STREQ(config->lpDisplayName, "vlio");
  EXPECT_EQ(config->dwServiceType, SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(config->dwStartType, SERVICE_DEMAND_START);

  // Only what is named changes.
  ASSERT_TRUE(win::ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, kImagePath,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(pc.services.Find("vlio")->binary_path, std::string("\\??\\") + kImagePath);
  EXPECT_EQ(pc.services.Find("vlio")->start_type, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(Start(service), DWORD{ERROR_ACCESS_DENIED}) << "opened without the right to start";
  win::CloseServiceHandle(service);

  struct Case {
    DWORD access;
    const char* call;
  } const refused[] = {{SERVICE_CHANGE_CONFIG, "QueryServiceConfigA"}, {SERVICE_QUERY_CONFIG, "ChangeServiceConfigA"}};
  for (const Case& c : refused) {
    SC_HANDLE limited = win::OpenServiceA(manager, "vlio", c.access);
    win::SetLastError(0xdeadbeef);
    const BOOL done = std::string(c.call) == "QueryServiceConfigA"
                          ? win::QueryServiceConfigA(limited, config, sizeof buffer, &needed)
                          : win::ChangeServiceConfigA(limited, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                      SERVICE_NO_CHANGE, "C:\\x.sys", nullptr, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr);
    EXPECT_FALSE(done) << c.call;
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << c.call;
    win::CloseServiceHandle(limited);
  }
  EXPECT_EQ(pc.services.Find("vlio")->binary_path, std::string("\\??\\") + kImagePath);

  // Marked for delete, it takes no new configuration.
  SC_HANDLE doomed = win::OpenServiceA(manager, "vlio", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(win::DeleteService(doomed));
  EXPECT_FALSE(win::ChangeServiceConfigA(doomed, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         "C:\\x.sys", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
  win::CloseServiceHandle(doomed);
}

TEST_F(SimServicesTest, TheLoaderIsRefusedAFileTheProgramStillHoldsOpenForWriting) {
  SC_HANDLE service = Create();
  HANDLE file = win::CreateFileA(kImagePath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(Start(service), DWORD{ERROR_SHARING_VIOLATION});
  win::CloseHandle(file);
  EXPECT_EQ(Start(service), DWORD{ERROR_SUCCESS});
  SERVICE_STATUS status;
  win::ControlService(service, SERVICE_CONTROL_STOP, &status);
  win::CloseServiceHandle(service);
}

// --- The process's access token ------------------------------------------------------------------

class ProcessToken : public ::testing::Test {
 protected:
  ProcessToken() { EXPECT_TRUE(win::LookupPrivilegeValueA(nullptr, "SeLoadDriverPrivilege", &load_driver)); }
  ~ProcessToken() override { EXPECT_EQ(pc.core.handles.OpenCount("Token"), 0u) << "a test leaked a token handle"; }

  // AdjustTokenPrivileges of the load-driver privilege alone: its result and last error, and
  // the previous state it wrote.
  struct Adjusted {
    BOOL result;
    DWORD error;
    TOKEN_PRIVILEGES previous;
    DWORD length;
  };
  Adjusted Adjust(bool enable, DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                  DWORD previous_size = sizeof(TOKEN_PRIVILEGES)) {
    HANDLE token = nullptr;
    EXPECT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), access, &token));
    TOKEN_PRIVILEGES state{1, {{load_driver, enable ? DWORD{SE_PRIVILEGE_ENABLED} : DWORD{0}}}};
    Adjusted adjusted{};
    adjusted.previous.PrivilegeCount = 0xdeadbeef;
    adjusted.length = 0xdeadbeef;
    win::SetLastError(0xdeadbeef);
    adjusted.result =
        win::AdjustTokenPrivileges(token, FALSE, &state, previous_size, &adjusted.previous, &adjusted.length);
    adjusted.error = win::GetLastError();
    win::CloseHandle(token);
    return adjusted;
  }

  InstalledPc pc;
  LUID load_driver{};
};

TEST_F(ProcessToken, ElevatedHoldsTheLoadDriverPrivilegeDisabledUntilEnabled) {
  EXPECT_EQ(load_driver.LowPart, 10u);
  EXPECT_TRUE(pc.services.PrivilegeHeld(10));
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10));

  Adjusted enabled = Adjust(true);
  EXPECT_TRUE(enabled.result);
  EXPECT_EQ(enabled.error, DWORD{ERROR_SUCCESS});
  ASSERT_EQ(enabled.previous.PrivilegeCount, 1u) << "the change, with the state before it";
  EXPECT_EQ(enabled.previous.Privileges[0].Luid.LowPart, 10u);
  EXPECT_EQ(enabled.previous.Privileges[0].Attributes, 0u);
  EXPECT_EQ(enabled.length, DWORD{sizeof(TOKEN_PRIVILEGES)});
  EXPECT_TRUE(pc.services.PrivilegeEnabled(10));

  Adjusted again = Adjust(true);
  EXPECT_TRUE(again.result);
  EXPECT_EQ(again.previous.PrivilegeCount, 0u) << "nothing changed, so nothing to put back";

  EXPECT_TRUE(Adjust(false).result);
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10));
}

TEST_F(ProcessToken, NotElevatedTheEnableSucceedsButAssignsNothing) {
  pc.services.SetElevated(false);
  Adjusted enabled = Adjust(true);
  EXPECT_TRUE(enabled.result);
  EXPECT_EQ(enabled.error, DWORD{ERROR_NOT_ALL_ASSIGNED});
  EXPECT_EQ(enabled.previous.PrivilegeCount, 0u);
  EXPECT_FALSE(pc.services.PrivilegeHeld(10));
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10));
}

TEST_F(ProcessToken, RefusedAdjustmentsChangeNothing) {
  Adjusted without_right = Adjust(true, TOKEN_QUERY);
  EXPECT_FALSE(without_right.result);
  EXPECT_EQ(without_right.error, DWORD{ERROR_ACCESS_DENIED});

  Adjusted too_small = Adjust(true, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, 4);
  EXPECT_FALSE(too_small.result);
  EXPECT_EQ(too_small.error, DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(too_small.length, DWORD{sizeof(TOKEN_PRIVILEGES)}) << "the size it needs";
  EXPECT_FALSE(pc.services.PrivilegeEnabled(10));

  LUID luid{0xdeadbeef, 0};
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::LookupPrivilegeValueA(nullptr, "SeLoadDriverPrivileges", &luid));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_SUCH_PRIVILEGE});
}

}  // namespace
}  // namespace sim
