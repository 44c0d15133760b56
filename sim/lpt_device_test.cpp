// The system's parallel port device, opened and written through the kernel32 seam.
#include "sim/lpt_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/nt_names.h"
#include "sim/pc.h"
#include "sim/printer.h"

namespace sim {
namespace {

constexpr DWORD kShareReadWrite = 0x3;

class LptDeviceTest : public ::testing::Test {
 protected:
  LptDeviceTest() { pc.files.AddDevice("\\\\.\\LPT1", lpt); }
  ~LptDeviceTest() override { vport_plug(&port, nullptr); }

  // As the library opens the port in handle mode.
  HANDLE Open(DWORD flags = 0) {
    return win::CreateFileA("\\\\.\\LPT1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  }

  BOOL Init(HANDLE handle, BYTE request) {
    DWORD returned = 0xdeadbeef;
    const BOOL ok =
        win::DeviceIoControl(handle, IOCTL_PAR_SET_INFORMATION, &request, sizeof request, nullptr, 0, &returned, nullptr);
    EXPECT_EQ(returned, 0u);
    return ok;
  }

  BOOL Write(HANDLE handle, const std::string& text, DWORD& written) {
    written = 0xdeadbeef;
    return win::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  InstalledPc pc;
  std::shared_ptr<LptDevice> lpt = std::make_shared<LptDevice>(pc.core);
  vport port = VPORT_INITIALIZER(nullptr);
  VirtualPrinter printer{pc.core.clock};
};

TEST_F(LptDeviceTest, OpensOneAtATime) {
  HANDLE first = Open();
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(win::CreateFileA("LPT1", GENERIC_WRITE, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE)
      << "the DOS name reaches the same device, and sharing does not help";
  EXPECT_TRUE(win::CloseHandle(first));
  EXPECT_FALSE(lpt->IsOpen());
  HANDLE second = Open();
  EXPECT_NE(second, INVALID_HANDLE_VALUE) << win::GetLastError();
  EXPECT_EQ(lpt->Opens(), 2u);
  win::CloseHandle(second);
}

TEST_F(LptDeviceTest, InitialisesOnRequestOnly) {
  vport_plug(&port, printer.Peripheral());
  lpt->Connect(port);
  HANDLE handle = Open();
  EXPECT_TRUE(Init(handle, PARALLEL_INIT));
  EXPECT_EQ(lpt->InitRequests(), 1u);
  EXPECT_EQ(printer.Resets(), 1u) << "Init was pulsed low";
  EXPECT_NE(vport_read(&port, VPORT_CONTROL) & VPORT_CONTROL_INIT, 0) << "and released";

  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(Init(handle, 0x02));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  DWORD returned = 0;
  EXPECT_FALSE(win::DeviceIoControl(handle, IOCTL_PAR_SET_INFORMATION, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(lpt->InitRequests(), 1u);
  win::CloseHandle(handle);
}

TEST_F(LptDeviceTest, AnswersTheDecodedStatesAndWhetherThePortIsFreeWithoutTouchingIt) {
  HANDLE handle = Open();
  const auto ask = [&](DWORD code) {
    BYTE answer = 0xEE;
    DWORD returned = 0;
    EXPECT_TRUE(win::DeviceIoControl(handle, code, nullptr, 0, &answer, 1, &returned, nullptr));
    EXPECT_EQ(returned, 1u);
    return answer;
  };
  EXPECT_EQ(ask(IOCTL_PAR_QUERY_INFORMATION), PARALLEL_NOT_CONNECTED) << "no port behind it";
  vport_plug(&port, printer.Peripheral());
  lpt->Connect(port);
  EXPECT_EQ(ask(IOCTL_PAR_QUERY_INFORMATION), PARALLEL_SELECTED);
  printer.SetOnline(false);  // Busy high, Select and Fault low
  vport_write(&port, VPORT_CONTROL, VPORT_CONTROL_AUTO_LF);  // Init low too
  EXPECT_EQ(ask(IOCTL_PAR_QUERY_INFORMATION), PARALLEL_BUSY | PARALLEL_OFF_LINE | PARALLEL_INIT | PARALLEL_AUTOFEED);
  EXPECT_EQ(printer.Resets(), 1u) << "only the write above pulled Init; the queries did not";

  EXPECT_EQ(ask(IOCTL_PAR_IS_PORT_FREE), TRUE);
  lpt->SetHeldElsewhere(true);
  EXPECT_EQ(ask(IOCTL_PAR_IS_PORT_FREE), FALSE);

  DWORD returned = 0;
  EXPECT_FALSE(win::DeviceIoControl(handle, IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  win::CloseHandle(handle);
}

TEST_F(LptDeviceTest, KeepsEveryByteInOrderOverlappedWritesToo) {
  HANDLE handle = Open();
  DWORD written = 0;
  EXPECT_TRUE(Write(handle, "AB", written));
  EXPECT_EQ(written, 2u);
  win::CloseHandle(handle);

  HANDLE overlapped_handle = Open(FILE_FLAG_OVERLAPPED);
  OVERLAPPED overlapped{};
  overlapped.hEvent = win::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const char byte = 'C';
  EXPECT_TRUE(win::WriteFile(overlapped_handle, &byte, 1, &written, &overlapped)) << "completed at once";
  EXPECT_EQ(overlapped.InternalHigh, 1u);
  EXPECT_TRUE(pc.files.EventOf(overlapped.hEvent)->signalled);
  EXPECT_EQ(std::string(lpt->Written().begin(), lpt->Written().end()), "ABC");
  win::CloseHandle(overlapped.hEvent);
  win::CloseHandle(overlapped_handle);
}

TEST_F(LptDeviceTest, WritesThroughThePortWaitForThePrinter) {
  printer.SetBusyTime(3);
  vport_plug(&port, printer.Peripheral());
  lpt->Connect(port);
  lpt->SetWriteTimeout(50);
  HANDLE handle = Open();
  DWORD written = 0;
  EXPECT_TRUE(Write(handle, "HI!", written));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(printer.ReceivedText(), "HI!");
  EXPECT_EQ(pc.core.clock.Now(), 6u) << "each byte after the first waited out Busy";

  // A printer that stays busy: the write ends when the timeout passes, with what it took.
  printer.SetBusyTime(1000);
  EXPECT_FALSE(Write(handle, "xy", written));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_BUSY});
  EXPECT_EQ(written, 1u);
  EXPECT_EQ(pc.core.clock.Now(), 6u + 3 + 50);
  EXPECT_EQ(std::string(lpt->Written().begin(), lpt->Written().end()), "HI!x");

  // The status lines say why a printer is not taking bytes.
  pc.core.clock.Advance(1000);
  printer.SetOnline(false);
  EXPECT_FALSE(Write(handle, "a", written));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_READY});
  printer.SetOnline(true);
  printer.SetPaperOut(true);
  EXPECT_FALSE(Write(handle, "a", written));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_OUT_OF_PAPER});
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(printer.ReceivedText(), "HI!x");
  win::CloseHandle(handle);
}

}  // namespace
}  // namespace sim
