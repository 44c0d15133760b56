// Files on the simulated disk, through the kernel32 seam.
#include "sim/disk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/intruder.h"
#include "sim/pc.h"

namespace sim {
namespace {

using Bytes = std::vector<BYTE>;

class DiskTest : public ::testing::Test {
 protected:
  static HANDLE Open(LPCSTR name, DWORD access, DWORD share, DWORD disposition) {
    return win::CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // CreateFileA's handle and last error, for one case.
  struct Opened {
    HANDLE handle;
    DWORD error;
  };
  static Opened Try(LPCSTR name, DWORD access, DWORD share, DWORD disposition) {
    win::SetLastError(0xdeadbeef);
    HANDLE handle = Open(name, access, share, disposition);
    return {handle, win::GetLastError()};
  }

  InstalledPc pc;
};

TEST_F(DiskTest, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
  pc.disk.Write("C:\\Windows\\Temp\\old.sys", {1, 2, 3});
  struct Case {
    LPCSTR name;
    DWORD disposition;
    bool opens;
    DWORD error;  // the last error either way
    std::size_t size_after;
  } const cases[] = {
      {"C:\\Windows\\Temp\\new.sys", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, 0},
      {"C:\\Windows\\Tmp\\new.sys", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND, 0},
      {"C:\\Windows\\Temp\\old.sys\\x", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND, 0},
      {"C:\\Windows\\Temp\\OLD.SYS", CREATE_NEW, false, ERROR_FILE_EXISTS, 3},
      {"c:/windows/temp/old.sys", OPEN_EXISTING, true, ERROR_SUCCESS, 3},
      {"C:\\Windows\\Temp\\old.sys", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 3},
      {"C:\\Windows\\Temp\\old.sys", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, 0},
      {"C:\\Windows\\Temp\\new.sys", CREATE_ALWAYS, true, ERROR_SUCCESS, 0},
      {"C:\\Windows\\Temp", CREATE_ALWAYS, false, ERROR_ACCESS_DENIED, 0},
      {"C:\\Windows\\Temp\\a|b", CREATE_ALWAYS, false, ERROR_INVALID_NAME, 0},
  };
  for (const Case& c : cases) {
    const Opened opened = Try(c.name, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    EXPECT_EQ(opened.handle != INVALID_HANDLE_VALUE, c.opens) << c.name << " disposition " << c.disposition;
    EXPECT_EQ(opened.error, c.error) << c.name << " disposition " << c.disposition;
    if (opened.handle == INVALID_HANDLE_VALUE) continue;
    DWORD high = 0xdeadbeef;
    EXPECT_EQ(win::GetFileSize(opened.handle, &high), c.size_after) << c.name;
    EXPECT_EQ(high, 0u);
    win::CloseHandle(opened.handle);
  }
  EXPECT_TRUE(pc.disk.Exists("C:\\WINDOWS\\TEMP\\NEW.SYS"));
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST_F(DiskTest, WhatIsWrittenReadsBackThroughAnotherHandle) {
  HANDLE file = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD done = 0xdeadbeef;
  ASSERT_TRUE(win::WriteFile(file, "MZ\x90", 3, &done, nullptr));
  ASSERT_TRUE(win::WriteFile(file, "!", 1, &done, nullptr));
  EXPECT_EQ(done, 1u);
  char buffer[8] = {};
  EXPECT_FALSE(win::ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "a handle opened for writing only";
  win::CloseHandle(file);
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\vlio.sys"), (Bytes{'M', 'Z', 0x90, '!'}));

  file = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_TRUE(win::ReadFile(file, buffer, 3, &done, nullptr));
  EXPECT_EQ(done, 3u);
  EXPECT_TRUE(win::ReadFile(file, buffer + 3, sizeof buffer - 3, &done, nullptr));
  EXPECT_EQ(done, 1u) << "the rest of the file";
  EXPECT_EQ(std::memcmp(buffer, "MZ\x90!", 4), 0);
  EXPECT_TRUE(win::ReadFile(file, buffer, sizeof buffer, &done, nullptr)) << "the end is not an error";
  EXPECT_EQ(done, 0u);
  win::CloseHandle(file);
}

TEST_F(DiskTest, AHandleThatSharesNothingKeepsEveryOtherOpenOut) {
  pc.disk.Write("C:\\Windows\\Temp\\vlio.sys", {1});
  HANDLE first = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
    const Opened second = Try("C:\\WINDOWS\\TEMP\\VLIO.SYS", access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(second.handle, INVALID_HANDLE_VALUE) << std::hex << access;
    EXPECT_EQ(second.error, DWORD{ERROR_SHARING_VIOLATION}) << std::hex << access;
  }
  const Opened attributes_only = Try("C:\\Windows\\Temp\\vlio.sys", 0, 0, OPEN_EXISTING);
  EXPECT_NE(attributes_only.handle, INVALID_HANDLE_VALUE) << "an open without data access takes no part in sharing";
  win::CloseHandle(attributes_only.handle);
  win::CloseHandle(first);

  // Sharing runs both ways: a reader that shares reading still keeps a writer out.
  HANDLE reader = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE reader2 = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(reader2, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Try("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING).error,
            DWORD{ERROR_SHARING_VIOLATION});
  win::CloseHandle(reader);
  win::CloseHandle(reader2);
  HANDLE writer = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "free again once the others closed";
  win::CloseHandle(writer);
}

TEST_F(DiskTest, DeleteFileWaitsForHandlesThatShareDeleteAndIsRefusedByOthers) {
  pc.disk.Write("C:\\Windows\\Temp\\vlio.sys", {1});
  HANDLE holder = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeleteFileA("C:\\Windows\\Temp\\vlio.sys"));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  win::CloseHandle(holder);

  holder = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  EXPECT_TRUE(win::DeleteFileA("c:\\windows\\temp\\VLIO.sys"));
  // Deleted but still open: nothing may open it or ask after it until the last handle goes.
  EXPECT_EQ(Try("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).error,
            DWORD{ERROR_ACCESS_DENIED});
  EXPECT_FALSE(win::DeleteFileA("C:\\Windows\\Temp\\vlio.sys"));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  win::CloseHandle(holder);
  EXPECT_FALSE(pc.disk.Exists("C:\\Windows\\Temp\\vlio.sys"));

  struct Case {
    LPCSTR name;
    DWORD error;
  } const cases[] = {{"C:\\Windows\\Temp\\vlio.sys", ERROR_FILE_NOT_FOUND},
                     {"C:\\Nowhere\\vlio.sys", ERROR_PATH_NOT_FOUND},
                     {"C:\\Windows\\Temp", ERROR_ACCESS_DENIED}};
  for (const Case& c : cases) {
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::DeleteFileA(c.name)) << c.name;
    EXPECT_EQ(win::GetLastError(), c.error) << c.name;
  }
}

TEST_F(DiskTest, AFullDiskCutsAWriteShort) {
  HANDLE file = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, 0, CREATE_ALWAYS);
  pc.disk.SetFreeSpace(3);
  DWORD written = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::WriteFile(file, "12345", 5, &written, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_DISK_FULL});
  EXPECT_EQ(written, 3u) << "what fitted was written";
  EXPECT_EQ(pc.disk.FreeSpace(), 0u);
  EXPECT_FALSE(win::WriteFile(file, "6", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(win::WriteFile(file, "", 0, &written, nullptr)) << "writing nothing needs no room";
  win::CloseHandle(file);
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\vlio.sys"), (Bytes{'1', '2', '3'}));

  EXPECT_TRUE(win::DeleteFileA("C:\\Windows\\Temp\\vlio.sys"));
  EXPECT_EQ(pc.disk.FreeSpace(), 3u) << "deleting gives the room back";
  file = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, 0, CREATE_ALWAYS);
  pc.core.faults.Fail("WriteFile", ERROR_WRITE_FAULT);
  EXPECT_FALSE(win::WriteFile(file, "1", 1, &written, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_WRITE_FAULT});
  win::CloseHandle(file);
}

TEST_F(DiskTest, SystemDirectoryHonoursTheBufferSize) {
  char buffer[MAX_PATH];
  EXPECT_EQ(win::GetSystemDirectoryA(buffer, sizeof buffer), 19u);
  EXPECT_STREQ(buffer, "C:\\Windows\\System32");
  // Too small: the size needed with its terminator, and the buffer untouched.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(win::GetSystemDirectoryA(buffer, 19), 20u) << "exactly the length is still too small";
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(win::GetSystemDirectoryA(buffer, 20), 19u);
}

TEST_F(DiskTest, OnlyAnElevatedProgramChangesTheSystemFolderAndTheUsersFolderIsTheUsers) {
  pc.disk.Write("C:\\Windows\\System32\\drivers\\vlio.sys", {1});
  pc.disk.Write("C:\\Windows\\Temp\\vlio.sys", {1});
  Intruder other(pc.disk);
  EXPECT_EQ(other.Rewrite("C:\\Windows\\System32\\drivers\\vlio.sys", {2}), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(other.Replace("C:\\Windows\\System32\\drivers\\vlio.sys", {2}), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(other.Swap("C:\\Windows\\System32\\drivers\\vlio.sys", {2}), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(other.Hold("C:\\Windows\\System32\\drivers\\new.sys"), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\System32\\drivers\\vlio.sys"), Bytes{1});
  EXPECT_FALSE(pc.disk.Exists("C:\\Windows\\System32\\drivers\\new.sys"));
  EXPECT_EQ(other.Swap("C:\\Windows\\Temp\\vlio.sys", {2}), 0u);
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\vlio.sys"), Bytes{2});
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\vlio.sys.old"), Bytes{1});

  // The program itself: elevated (as it starts) it may, not elevated it may only read.
  HANDLE file = Open("C:\\Windows\\System32\\drivers\\vlio.sys", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  win::CloseHandle(file);
  pc.services.SetElevated(false);
  EXPECT_EQ(Try("C:\\Windows\\System32\\drivers\\vlio.sys", GENERIC_WRITE, 0, CREATE_ALWAYS).error,
            DWORD{ERROR_ACCESS_DENIED});
  EXPECT_FALSE(win::DeleteFileA("C:\\Windows\\System32\\drivers\\vlio.sys"));
  file = Open("C:\\Windows\\System32\\drivers\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  win::CloseHandle(file);
}

TEST_F(DiskTest, AFileHeldSharingOnlyReadsCannotBeChangedButStillLoads) {
  pc.disk.Write("C:\\Windows\\Temp\\vlio.sys", {1, 2});
  HANDLE held = Open("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Intruder other(pc.disk);
  EXPECT_EQ(other.Rewrite("C:\\Windows\\Temp\\vlio.sys", {9}), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(other.Truncate("C:\\Windows\\Temp\\vlio.sys"), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(other.Replace("C:\\Windows\\Temp\\vlio.sys", {9}), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(other.Swap("C:\\Windows\\Temp\\vlio.sys", {9}), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(other.Hold("C:\\Windows\\Temp\\vlio.sys"), DWORD{ERROR_SHARING_VIOLATION});
  std::vector<BYTE> image;
  EXPECT_EQ(pc.disk.ReadImage("C:\\Windows\\Temp\\vlio.sys", image), 0u);
  EXPECT_EQ(image, (Bytes{1, 2}));
  win::CloseHandle(held);

  // A write handle held from before refuses the holder, and the loader too.
  EXPECT_EQ(other.Hold("C:\\Windows\\Temp\\vlio.sys"), 0u);
  EXPECT_EQ(Try("C:\\Windows\\Temp\\vlio.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).error,
            DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(pc.disk.ReadImage("C:\\Windows\\Temp\\vlio.sys", image), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(other.WriteHeld({7}), 0u);
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\vlio.sys"), (Bytes{7, 2}));
}

TEST_F(DiskTest, AFolderTheAccountMayNotWriteStillReads) {
  pc.disk.Write("C:\\Windows\\Temp\\old.sys", {7});
  pc.disk.SetWritable("C:\\Windows\\Temp", false);
  struct Case {
    LPCSTR name;
    DWORD access;
    DWORD disposition;
  } const refused[] = {{"C:\\Windows\\Temp\\vlio.sys", GENERIC_WRITE, CREATE_ALWAYS},
                       {"C:\\Windows\\Temp\\old.sys", GENERIC_WRITE, OPEN_EXISTING},
                       {"C:\\Windows\\Temp\\old.sys", GENERIC_READ, CREATE_ALWAYS}};
  for (const Case& c : refused) {
    const Opened opened = Try(c.name, c.access, 0, c.disposition);
    EXPECT_EQ(opened.handle, INVALID_HANDLE_VALUE) << c.name;
    EXPECT_EQ(opened.error, DWORD{ERROR_ACCESS_DENIED}) << c.name;
  }
  EXPECT_FALSE(win::DeleteFileA("C:\\Windows\\Temp\\old.sys"));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  HANDLE reader = Open("C:\\Windows\\Temp\\old.sys", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  win::CloseHandle(reader);
  EXPECT_FALSE(pc.disk.Exists("C:\\Windows\\Temp\\vlio.sys"));
  EXPECT_EQ(pc.disk.Read("C:\\Windows\\Temp\\old.sys"), Bytes{7});
}

}  // namespace
}  // namespace sim
