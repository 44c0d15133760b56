// Devices, events and handles through the kernel32 seam.
#include "sim/files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

// A device that keeps what it was sent and answers what a test scripts.
class FakeDevice : public Device {
 public:
  DWORD Open(const OpenRequest& request) override {
    opened.push_back(request);
    return open_error;
  }
  void Close() override { ++closed; }
  DWORD Write(const void* data, DWORD size, DWORD& written) override {
    const auto* bytes = static_cast<const BYTE*>(data);
    this->written.insert(this->written.end(), bytes, bytes + size);
    written = size;
    return ERROR_SUCCESS;
  }
  DWORD IoControl(DWORD code, const void*, DWORD, void* out, DWORD out_size, DWORD& returned) override {
    codes.push_back(code);
    returned = std::min<DWORD>(out_size, static_cast<DWORD>(answer.size()));
    if (returned) std::memcpy(out, answer.data(), returned);
    return answer.size() > out_size ? ERROR_MORE_DATA : io_error;
  }

  DWORD open_error = ERROR_SUCCESS;
  DWORD io_error = ERROR_SUCCESS;
  std::vector<BYTE> answer;
  std::vector<OpenRequest> opened;
  std::vector<DWORD> codes;
  std::vector<BYTE> written;
  int closed = 0;
};

// Control codes as CTL_CODE makes them: device 0x22, function 0x800, buffered.
constexpr DWORD kAnyAccessCode = 0x00222000;
constexpr DWORD kReadAccessCode = 0x00226000;
constexpr DWORD kWriteAccessCode = 0x0022A000;

class SimFilesTest : public ::testing::Test {
 protected:
  SimFilesTest() { pc.files.AddDevice("\\\\.\\vlio", device); }

  HANDLE Open(LPCSTR name, DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = 0) {
    return win::CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  }

  InstalledPc pc;
  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
};

TEST_F(SimFilesTest, OpensOnlyDevicesThatArePluggedIn) {
  win::SetLastError(0xdeadbeef);
  HANDLE handle = Open("\\\\.\\VLIO");
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "device names ignore case";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SUCCESS});
  ASSERT_EQ(device->opened.size(), 1u);
  EXPECT_EQ(device->opened[0].access, GENERIC_READ | GENERIC_WRITE);

  struct Case {
    LPCSTR name;
    DWORD error;
  } const cases[] = {{"\\\\.\\lptgate", ERROR_FILE_NOT_FOUND},
                     {"C:\\pinscope.ini", ERROR_FILE_NOT_FOUND},
                     {"", ERROR_PATH_NOT_FOUND},
                     {nullptr, ERROR_PATH_NOT_FOUND}};
  for (const Case& c : cases) {
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(c.name), INVALID_HANDLE_VALUE) << (c.name ? c.name : "null");
    EXPECT_EQ(win::GetLastError(), c.error) << (c.name ? c.name : "null");
  }
  EXPECT_EQ(pc.core.handles.OpenCount(), 1u);
  win::CloseHandle(handle);

  pc.files.AddDevice("\\\\.\\LPT1", device);
  for (LPCSTR dos_name : {"LPT1", "lpt1:"}) {
    EXPECT_TRUE(win::CloseHandle(Open(dos_name))) << dos_name << " means the device LPT1 anywhere";
  }
}

TEST_F(SimFilesTest, ADeviceThatRefusesLeavesNoHandle) {
  device->open_error = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(Open("\\\\.\\vlio"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
  EXPECT_EQ(device->closed, 0);

  pc.core.faults.Fail("CreateFileA", ERROR_ACCESS_DENIED);
  device->open_error = ERROR_SUCCESS;
  EXPECT_EQ(Open("\\\\.\\vlio"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(device->opened.size(), 1u) << "an injected failure happens before the device is asked";
}

TEST_F(SimFilesTest, IoControlCarriesBuffersBothWays) {
  HANDLE handle = Open("\\\\.\\vlio");
  device->answer = {0x78, 0x03};
  BYTE in[1] = {0x37}, out[4] = {};
  DWORD returned = 0xdeadbeef;
  EXPECT_TRUE(win::DeviceIoControl(handle, kAnyAccessCode, in, 1, out, sizeof out, &returned, nullptr));
  EXPECT_EQ(returned, 2u);
  EXPECT_EQ(out[0], 0x78);
  EXPECT_EQ(device->codes, std::vector<DWORD>{kAnyAccessCode});

  // A too-small buffer: the device's partial answer and its error both come back.
  EXPECT_FALSE(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 0, out, 1, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MORE_DATA});
  EXPECT_EQ(returned, 1u);

  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 4, out, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOACCESS}) << "a size without a buffer";
  EXPECT_THROW(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 0, nullptr, 0, nullptr, nullptr), AccessViolation);
  win::CloseHandle(handle);
}

TEST_F(SimFilesTest, ControlCodesAskForTheAccessTheyNeed) {
  HANDLE no_access = Open("\\\\.\\vlio", 0);
  HANDLE read_only = Open("\\\\.\\vlio", GENERIC_READ);
  DWORD returned;
  struct Case {
    HANDLE handle;
    DWORD code;
    BOOL allowed;
  } const cases[] = {{no_access, kAnyAccessCode, TRUE},
                     {no_access, kReadAccessCode, FALSE},
                     {read_only, kReadAccessCode, TRUE},
                     {read_only, kWriteAccessCode, FALSE},
                     {read_only, kAnyAccessCode, TRUE}};
  for (const Case& c : cases) {
    win::SetLastError(0xdeadbeef);
    const BOOL result = win::DeviceIoControl(c.handle, c.code, nullptr, 0, nullptr, 0, &returned, nullptr);
    EXPECT_EQ(result, c.allowed) << std::hex << c.code;
    if (!c.allowed) {
      EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << std::hex << c.code;
    }
  }
  DWORD written;
  EXPECT_FALSE(win::WriteFile(read_only, "x", 1, &written, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(device->codes.size(), 3u) << "refused codes never reach the device";
  win::CloseHandle(no_access);
  win::CloseHandle(read_only);
}

TEST_F(SimFilesTest, WriteFileReachesTheDevice) {
  HANDLE handle = Open("\\\\.\\vlio");
  DWORD written = 0xdeadbeef;
  EXPECT_TRUE(win::WriteFile(handle, "\x1b@", 2, &written, nullptr));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(device->written, (std::vector<BYTE>{0x1b, '@'}));

  pc.core.faults.Fail("WriteFile", ERROR_GEN_FAILURE);
  written = 0xdeadbeef;
  EXPECT_FALSE(win::WriteFile(handle, "x", 1, &written, nullptr));
  EXPECT_EQ(written, 0u) << "WriteFile zeroes the count before anything can fail";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_GEN_FAILURE});
  EXPECT_THROW(win::WriteFile(handle, "x", 1, nullptr, nullptr), AccessViolation);
  win::CloseHandle(handle);
}

TEST_F(SimFilesTest, AnOverlappedHandleNeedsAnOverlappedAndSignalsItsEvent) {
  HANDLE handle = Open("\\\\.\\vlio", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  DWORD returned;
  EXPECT_FALSE(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

  OVERLAPPED overlapped{};
  overlapped.hEvent = win::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_TRUE(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 0, nullptr, 0, nullptr, &overlapped));
  EXPECT_TRUE(pc.files.EventOf(overlapped.hEvent)->signalled);
  win::CloseHandle(overlapped.hEvent);
  win::CloseHandle(handle);
}

TEST_F(SimFilesTest, ClosingEndsTheHandleOnce) {
  HANDLE handle = Open("\\\\.\\vlio");
  EXPECT_TRUE(win::CloseHandle(handle));
  EXPECT_EQ(device->closed, 1);
  for (HANDLE bad : {handle, INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::CloseHandle(bad));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
  DWORD returned;
  EXPECT_FALSE(win::DeviceIoControl(handle, kAnyAccessCode, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_EQ(device->closed, 1);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(SimFilesTest, EventsKeepTheirStateAndNamedOnesAreShared) {
  win::SetLastError(0xdeadbeef);
  HANDLE manual = win::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SUCCESS});
  ASSERT_NE(manual, nullptr);
  EXPECT_TRUE(pc.files.EventOf(manual)->manual_reset);
  EXPECT_TRUE(pc.files.EventOf(manual)->signalled);

  HANDLE named = win::CreateEventA(nullptr, FALSE, FALSE, "Pinscope.Stop");
  HANDLE again = win::CreateEventA(nullptr, TRUE, TRUE, "Pinscope.Stop");
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_NE(again, named);
  EXPECT_EQ(pc.files.EventOf(again), pc.files.EventOf(named));
  EXPECT_FALSE(pc.files.EventOf(again)->manual_reset) << "the existing event keeps its kind";
  for (HANDLE each : {manual, named, again}) win::CloseHandle(each);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

}  // namespace
}  // namespace sim
