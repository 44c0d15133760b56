// The service control manager: installing, repointing, starting, stopping and deleting the
// driver's service as the loader does, and what it refuses.
#include <cctype>
#include <string>
#include <vector>

#include "contract/pc_under_test.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using platform::UniqueFile;
using platform::UniqueServiceHandle;

/// The path a service's configuration names, as the service manager may write it back
/// ("\??\C:\..." for a driver's Win32 path), compared without regard to case.
bool NamesPath(std::string configured, std::string path) {
  for (std::string* text : {&configured, &path})
    for (char& c : *text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return configured == path || configured == "\\??\\" + path;
}

template <class Pc>
class Services : public OnPc<Pc> {
 protected:
  std::string name = this->pc.NewServiceName();
  std::string image = this->pc.InstallDriverImage(name);
  UniqueServiceHandle manager{win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};

  UniqueServiceHandle Create(const std::string& path) {
    return UniqueServiceHandle(win::CreateServiceA(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                   path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  UniqueServiceHandle OpenService(DWORD access) {
    return UniqueServiceHandle(win::OpenServiceA(manager.get(), name.c_str(), access));
  }
  /// The configuration as the loader reads it: type and binary path.
  std::pair<DWORD, std::string> Config(SC_HANDLE service) {
    std::vector<uint64_t> buffer(8192 / sizeof(uint64_t));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    if (!win::QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size() * sizeof(uint64_t)), &needed))
      return {0, "QueryServiceConfigA failed: " + std::to_string(win::GetLastError())};
    EXPECT_EQ(config->dwStartType, DWORD{SERVICE_DEMAND_START});
    return {config->dwServiceType, config->lpBinaryPathName ? config->lpBinaryPathName : "(null)"};
  }
  DWORD State(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return win::QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
  }
};
TYPED_TEST_SUITE(Services, PcsUnderTest, PcName);

TYPED_TEST(Services, ACreatedDriverServiceIsStoppedNamesItsImageAndIsCreatedOnce) {
  ASSERT_TRUE(this->manager) << win::GetLastError();
  UniqueServiceHandle service = this->Create(this->image);
  ASSERT_TRUE(service) << win::GetLastError();
  EXPECT_EQ(this->State(service.get()), DWORD{SERVICE_STOPPED});
  const auto [type, path] = this->Config(service.get());
  EXPECT_EQ(type, DWORD{SERVICE_KERNEL_DRIVER});
  EXPECT_TRUE(NamesPath(path, this->image)) << path;

  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Create(this->image));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_EXISTS}) << "got " << win::GetLastError();
}

TYPED_TEST(Services, EachCallNeedsItsRightAndTheConfigurationTellsTheSizeItNeeds) {
  ASSERT_TRUE(this->Create(this->image)) << win::GetLastError();
  UniqueServiceHandle service = this->OpenService(SERVICE_QUERY_CONFIG);
  ASSERT_TRUE(service) << win::GetLastError();
  DWORD needed = 0;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::QueryServiceConfigA(service.get(), nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << "got " << win::GetLastError();
  EXPECT_GT(needed, sizeof(QUERY_SERVICE_CONFIGA) + this->image.size()) << "room for the strings too";

  UniqueServiceHandle start_only = this->OpenService(SERVICE_START);
  ASSERT_TRUE(start_only);
  std::vector<uint64_t> buffer(8192 / sizeof(uint64_t));
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::QueryServiceConfigA(start_only.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                        8192, &needed));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::StartServiceA(service.get(), 0, nullptr)) << "opened without the right to start";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
}

// A service left by an older build, or made by another program, is pointed at the image.
TYPED_TEST(Services, ChangingTheConfigurationRepointsTheService) {
  ASSERT_TRUE(this->Create(this->image + ".old")) << win::GetLastError();
  UniqueServiceHandle service = this->OpenService(SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS);
  ASSERT_TRUE(service) << win::GetLastError();
  ASSERT_TRUE(win::ChangeServiceConfigA(service.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                        SERVICE_ERROR_NORMAL, this->image.c_str(), nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr))
      << win::GetLastError();
  const auto [type, path] = this->Config(service.get());
  EXPECT_EQ(type, DWORD{SERVICE_KERNEL_DRIVER});
  EXPECT_TRUE(NamesPath(path, this->image)) << path;

  UniqueServiceHandle query_only = this->OpenService(SERVICE_QUERY_CONFIG);
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::ChangeServiceConfigA(query_only.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                         SERVICE_ERROR_NORMAL, this->image.c_str(), nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
}

TYPED_TEST(Services, ADriverRunsOnceUntilStoppedAndADeletedServiceGoesWithItsLastHandle) {
  UniqueServiceHandle service = this->Create(this->image);
  ASSERT_TRUE(service) << win::GetLastError();
  ASSERT_TRUE(win::StartServiceA(service.get(), 0, nullptr)) << win::GetLastError();
  EXPECT_EQ(this->State(service.get()), DWORD{SERVICE_RUNNING});
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::StartServiceA(service.get(), 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_ALREADY_RUNNING}) << "got " << win::GetLastError();
  SERVICE_STATUS status{};
  EXPECT_TRUE(win::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << win::GetLastError();
  for (int tries = 0; tries < 50 && this->State(service.get()) == SERVICE_STOP_PENDING; ++tries) win::Sleep(100);
  EXPECT_EQ(this->State(service.get()), DWORD{SERVICE_STOPPED});
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_NOT_ACTIVE}) << "got " << win::GetLastError();

  EXPECT_TRUE(win::DeleteService(service.get())) << win::GetLastError();
  // Marked for delete while a handle holds it: neither deleted again nor made anew.
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeleteService(service.get()));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE}) << "got " << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Create(this->image));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE}) << "got " << win::GetLastError();
  service.reset();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->OpenService(SERVICE_QUERY_STATUS));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SERVICE_DOES_NOT_EXIST}) << "got " << win::GetLastError();
  EXPECT_TRUE(this->Create(this->image)) << "made anew once gone: " << win::GetLastError();
}

// The loader holds the image open for reading, sharing only reading, until the driver runs:
// the kernel's image loader, which reads sharing reading and deleting, still loads it.
TYPED_TEST(Services, TheDriverLoadsFromAnImageHeldForReading) {
  UniqueServiceHandle service = this->Create(this->image);
  ASSERT_TRUE(service) << win::GetLastError();
  UniqueFile held(win::CreateFileA(this->image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  ASSERT_TRUE(held) << win::GetLastError();
  EXPECT_TRUE(win::StartServiceA(service.get(), 0, nullptr)) << win::GetLastError();
  EXPECT_EQ(this->State(service.get()), DWORD{SERVICE_RUNNING});
  SERVICE_STATUS status{};
  win::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

// What the program reports when the driver does not start is the load's own error.
TYPED_TEST(Services, ADriverDoesNotStartFromAMissingImageOrOneBeingWritten) {
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine reports every failed driver load as ERROR_DLL_INIT_FAILED";
  UniqueServiceHandle missing = this->Create(this->image + ".missing");
  ASSERT_TRUE(missing) << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::StartServiceA(missing.get(), 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "got " << win::GetLastError();
  EXPECT_EQ(this->State(missing.get()), DWORD{SERVICE_STOPPED});

  ASSERT_TRUE(win::ChangeServiceConfigA(missing.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                        SERVICE_ERROR_NORMAL, this->image.c_str(), nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr));
  UniqueFile writer(win::CreateFileA(this->image.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer) << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::StartServiceA(missing.get(), 0, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SHARING_VIOLATION}) << "got " << win::GetLastError();
}

/// Enables or disables the load-driver privilege of the process's token, which the driver's
/// device asks of whoever opens it.
void SetLoadDriverPrivilege(bool enabled) {
  HANDLE token = nullptr;
  ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = 1;
  state.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  EXPECT_TRUE(win::LookupPrivilegeValueA(nullptr, SE_LOAD_DRIVER_NAME, &state.Privileges[0].Luid));
  EXPECT_TRUE(win::AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr));
  win::CloseHandle(token);
}

// The loader names the image and the device by their kernel names, which no session's map of
// drive letters and DOS devices redirects.
TYPED_TEST(Services, TheImageAndTheDeviceOpenByTheirKernelNames) {
  const std::string file = this->image.substr(this->image.rfind('\\') + 1);
  win::SetLastError(0xdeadbeef);
  UniqueFile image(win::CreateFileA(("\\\\?\\GLOBALROOT\\SystemRoot\\System32\\drivers\\" + file).c_str(),
                                    GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (this->pc.OnWine()) {
    // Wine 8 resolves \SystemRoot\ in a driver service's binary path, but not for user mode:
    // the loader reaches the image by its Win32 path there.
    EXPECT_FALSE(image);
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_PATH_NOT_FOUND}) << "got " << win::GetLastError();
  } else {
    ASSERT_TRUE(image) << win::GetLastError();
    EXPECT_GT(win::GetFileSize(image.get(), nullptr), 0u);
  }
  image.reset();

  UniqueServiceHandle service = this->Create("\\SystemRoot\\System32\\drivers\\" + file);
  ASSERT_TRUE(service) << win::GetLastError();
  ASSERT_TRUE(win::StartServiceA(service.get(), 0, nullptr)) << win::GetLastError();
  SetLoadDriverPrivilege(true);
  UniqueFile device(win::CreateFileA("\\\\?\\GLOBALROOT\\Device\\vlio", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(device) << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(UniqueFile(win::CreateFileA("\\\\?\\GLOBALROOT\\Device\\pinscope_none", GENERIC_READ | GENERIC_WRITE,
                                           0, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "got " << win::GetLastError();
  SetLoadDriverPrivilege(false);
  device.reset();
  SERVICE_STATUS status{};
  win::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  for (int tries = 0; tries < 50 && this->State(service.get()) != SERVICE_STOPPED; ++tries) win::Sleep(100);
}

TYPED_TEST(Services, AStandardUserMayConnectButNotInstall) {
  // Wine's service manager grants every right to every caller.
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine does not enforce the service manager's access rights";
  this->pc.DropElevation();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(UniqueServiceHandle(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE)));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  EXPECT_TRUE(UniqueServiceHandle(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)));
}

}  // namespace
}  // namespace contract
