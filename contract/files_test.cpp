// Files and devices: the dispositions, errors and share modes the driver loader's image
// handling relies on.
#include <string>

#include "contract/pc_under_test.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using platform::UniqueFile;

template <class Pc>
class Files : public OnPc<Pc> {
 protected:
  std::string folder = this->pc.NewFolder();
  std::string path = folder + "\\image.sys";

  UniqueFile Open(DWORD access, DWORD share, DWORD disposition, const std::string& name = {}) {
    return UniqueFile(win::CreateFileA((name.empty() ? path : name).c_str(), access, share, nullptr, disposition, 0,
                                       nullptr));
  }
  DWORD SizeOf(HANDLE file) { return win::GetFileSize(file, nullptr); }
};
TYPED_TEST_SUITE(Files, PcsUnderTest, PcName);

TYPED_TEST(Files, EachDispositionOpensCreatesOrRefusesAsDocumented) {
  struct Case {
    DWORD disposition;
    bool exists;
    DWORD error;  // of a refusal, or the last error a success leaves (checked for the "always" ones)
    bool opens, empties;
  };
  const Case cases[] = {
      {CREATE_NEW, false, ERROR_SUCCESS, true, false},
      {CREATE_NEW, true, ERROR_FILE_EXISTS, false, false},
      {CREATE_ALWAYS, false, ERROR_SUCCESS, true, false},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, true, true},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, false, false},
      {OPEN_EXISTING, true, ERROR_SUCCESS, true, false},
      {OPEN_ALWAYS, false, ERROR_SUCCESS, true, false},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, true, false},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, false, false},
      {TRUNCATE_EXISTING, true, ERROR_SUCCESS, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("disposition " + std::to_string(c.disposition) + (c.exists ? ", file there" : ", no file"));
    win::DeleteFileA(this->path.c_str());
    if (c.exists) this->pc.PutFile(this->path, "MZ old");
    win::SetLastError(0xdeadbeef);
    UniqueFile file = this->Open(GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    const DWORD error = win::GetLastError();
    ASSERT_EQ(static_cast<bool>(file), c.opens) << "last error " << error;
    if (!c.opens || c.disposition == CREATE_ALWAYS || c.disposition == OPEN_ALWAYS) {
      EXPECT_EQ(error, c.error) << "got " << error;
    }
    if (c.opens) {
      EXPECT_EQ(this->SizeOf(file.get()), c.exists && !c.empties ? 6u : 0u);
    }
  }
}

TYPED_TEST(Files, NamesInAMissingFolderOrOfNoDeviceAreNotFound) {
  const std::string missing = this->folder + "\\missing\\image.sys";
  for (const DWORD disposition : {DWORD{OPEN_EXISTING}, DWORD{CREATE_ALWAYS}}) {
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(this->Open(GENERIC_WRITE, 0, disposition, missing)) << disposition;
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_PATH_NOT_FOUND}) << disposition;
  }
  // What opening a driver's device meets while the driver is not loaded.
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Open(GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, "\\\\.\\pscontract-none"));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "got " << win::GetLastError();

  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeleteFileA(this->path.c_str()));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TYPED_TEST(Files, FoldersAreNeitherOpenedNorDeleted) {
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DeleteFileA(this->folder.c_str()));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  // A folder where the image should be is no file to read or to replace.
  for (const DWORD disposition : {DWORD{OPEN_EXISTING}, DWORD{CREATE_ALWAYS}}) {
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(this->Open(GENERIC_READ, FILE_SHARE_READ, disposition, this->folder)) << disposition;
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << disposition << ": got " << win::GetLastError();
  }
}

TYPED_TEST(Files, ReadsAndWritesMoveThroughTheFileAndKeepToTheHandlesAccess) {
  {
    UniqueFile writer = this->Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_TRUE(writer);
    DWORD done = 0xdeadbeef;
    ASSERT_TRUE(win::WriteFile(writer.get(), "MZ", 2, &done, nullptr));
    ASSERT_TRUE(win::WriteFile(writer.get(), "1234", 4, &done, nullptr));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(this->SizeOf(writer.get()), 6u);
    char byte = 0;
    done = 0xdeadbeef;
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::ReadFile(writer.get(), &byte, 1, &done, nullptr));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
    EXPECT_EQ(done, 0u);
  }
  UniqueFile reader = this->Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_TRUE(reader);
  DWORD size_high = 0xdeadbeef;
  EXPECT_EQ(win::GetFileSize(reader.get(), &size_high), 6u);
  EXPECT_EQ(size_high, 0u);
  char bytes[16] = {};
  DWORD done = 0;
  ASSERT_TRUE(win::ReadFile(reader.get(), bytes, 4, &done, nullptr));
  EXPECT_EQ(std::string(bytes, done), "MZ12");
  ASSERT_TRUE(win::ReadFile(reader.get(), bytes, sizeof bytes, &done, nullptr));
  EXPECT_EQ(std::string(bytes, done), "34");
  done = 0xdeadbeef;
  EXPECT_TRUE(win::ReadFile(reader.get(), bytes, sizeof bytes, &done, nullptr)) << "the end is no error";
  EXPECT_EQ(done, 0u);
  done = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::WriteFile(reader.get(), "x", 1, &done, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  EXPECT_EQ(done, 0u);
}

// Handle mode writes each byte with an OVERLAPPED whose offset is 0; on a handle opened
// without FILE_FLAG_OVERLAPPED the write is done when the call returns, at that offset.
TYPED_TEST(Files, AWriteWithAnOverlappedGoesToItsOffsetAndCompletesAtOnce) {
  UniqueFile file = this->Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(file);
  for (const auto& [offset, bytes] : {std::pair<DWORD, const char*>{0, "MZ"}, {0, "ab"}, {1, "XY"}}) {
    OVERLAPPED overlapped{};
    overlapped.Offset = offset;
    overlapped.Internal = overlapped.InternalHigh = 0xdead;
    DWORD written = 0;
    ASSERT_TRUE(win::WriteFile(file.get(), bytes, 2, &written, &overlapped)) << win::GetLastError();
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(overlapped.Internal, 0u) << "STATUS_SUCCESS";
    EXPECT_EQ(overlapped.InternalHigh, 2u);
    DWORD transferred = 0xdeadbeef;
    EXPECT_TRUE(win::GetOverlappedResult(file.get(), &overlapped, &transferred, TRUE)) << win::GetLastError();
    EXPECT_EQ(transferred, 2u) << "the completed write's count, asked again";
  }
  EXPECT_EQ(win::GetFileType(file.get()), DWORD{FILE_TYPE_DISK});
  file.reset();
  EXPECT_EQ(this->pc.FileBytes(this->path), "aXY");
}

// The capture writes a file beside the user's and moves it over theirs once complete: the move
// replaces a closed file, and leaves one that is open, and its own file, as they were.
TYPED_TEST(Files, AMoveReplacesAClosedFileButNotAnOpenOne) {
  const std::string beside = this->folder + "\\beside.part";
  this->pc.PutFile(this->path, "MZ old");
  this->pc.PutFile(beside, "MZ new");
  {
    UniqueFile reader = this->Open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_TRUE(reader);
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::MoveFileExA(beside.c_str(), this->path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  }
  EXPECT_EQ(this->pc.FileBytes(this->path), "MZ old");
  EXPECT_EQ(this->pc.FileBytes(beside), "MZ new");
  EXPECT_TRUE(win::MoveFileExA(beside.c_str(), this->path.c_str(), MOVEFILE_REPLACE_EXISTING)) << win::GetLastError();
  EXPECT_EQ(this->pc.FileBytes(this->path), "MZ new");
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Open(GENERIC_READ, 0, OPEN_EXISTING, beside)) << "the moved file is gone from its old name";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << "got " << win::GetLastError();
}

// The loader holds the driver's image open for reading, sharing reading only, from the check
// of its bytes until the service manager has loaded it.
TYPED_TEST(Files, AnImageHeldForReadingRefusesEveryChangeButNotTheImageLoader) {
  this->pc.PutFile(this->path, "MZ image");
  const std::string aside = this->folder + "\\aside.sys";
  this->pc.PutFile(aside, "MZ other");
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  struct Change {
    const char* what;
    DWORD access, share, disposition;
  };
  const Change changes[] = {
      {"write", GENERIC_WRITE, kShareAll, OPEN_EXISTING},
      {"truncate", GENERIC_WRITE, kShareAll, TRUNCATE_EXISTING},
      {"replace", GENERIC_WRITE, kShareAll, CREATE_ALWAYS},
      {"read, sharing nothing", GENERIC_READ, 0, OPEN_EXISTING},
      {"delete", DELETE, kShareAll, OPEN_EXISTING},
  };
  {
    UniqueFile held = this->Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_TRUE(held);
    for (const Change& change : changes) {
      win::SetLastError(0xdeadbeef);
      EXPECT_FALSE(this->Open(change.access, change.share, change.disposition)) << change.what;
      EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SHARING_VIOLATION}) << change.what << ": got " << win::GetLastError();
      EXPECT_EQ(this->pc.OpenElsewhere(this->path, change.access, change.share, change.disposition),
                DWORD{ERROR_SHARING_VIOLATION})
          << "another program's " << change.what;
    }
    win::SetLastError(0xdeadbeef);
    EXPECT_FALSE(win::DeleteFileA(this->path.c_str()));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SHARING_VIOLATION}) << "got " << win::GetLastError();
    EXPECT_EQ(this->pc.DeleteElsewhere(this->path), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(this->pc.RenameElsewhere(this->path, aside), DWORD{ERROR_SHARING_VIOLATION}) << "moved away";
    EXPECT_EQ(this->pc.RenameElsewhere(aside, this->path), DWORD{ERROR_ACCESS_DENIED}) << "replaced";

    // The kernel's image loader: reading, sharing reading and deleting.
    EXPECT_TRUE(this->Open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING));
    EXPECT_EQ(this->pc.OpenElsewhere(this->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING),
              DWORD{ERROR_SUCCESS});
  }
  EXPECT_EQ(this->pc.FileBytes(this->path), "MZ image");
  EXPECT_EQ(this->pc.RenameElsewhere(aside, this->path), DWORD{ERROR_SUCCESS}) << "once let go";
  EXPECT_EQ(this->pc.FileBytes(this->path), "MZ other");
}

TYPED_TEST(Files, AnImageBeingWrittenIsNotLoaded) {
  UniqueFile writer = this->Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(writer);
  EXPECT_EQ(this->pc.OpenElsewhere(this->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING),
            DWORD{ERROR_SHARING_VIOLATION});
}

TYPED_TEST(Files, TheSystemDirectoryHoldsTheDriversFolderAndTellsTheSizeItNeeds) {
  char buffer[MAX_PATH] = {};
  const UINT length = win::GetSystemDirectoryA(buffer, MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, UINT{MAX_PATH});
  EXPECT_EQ(std::string(buffer).size(), length) << "the length leaves out the terminating zero";
  EXPECT_EQ(buffer[1], ':') << buffer;

  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(win::GetSystemDirectoryA(small, sizeof small), length + 1) << "too small: the size with the zero";
}

TYPED_TEST(Files, OnlyAnElevatedProgramMayWriteInTheDriversFolder) {
  // Wine keeps a file's security descriptor but checks it against nobody.
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine does not enforce file ACLs";
  char system[MAX_PATH];
  const std::string image =
      std::string(system, win::GetSystemDirectoryA(system, MAX_PATH)) + "\\drivers\\pscontract-denied.sys";
  this->pc.DropElevation();
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Open(GENERIC_WRITE, 0, CREATE_ALWAYS, image));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  // The user's own folders stay theirs.
  EXPECT_TRUE(this->Open(GENERIC_WRITE, 0, CREATE_ALWAYS));
}

TYPED_TEST(Files, ThePortDeviceAnswersItsStatesAndWhetherItIsHeldInOneByteAndItsName) {
  const std::string device = this->pc.ParallelPortDevice();
  UniqueFile port(win::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(port) << win::GetLastError();
  for (const DWORD code : {IOCTL_PAR_QUERY_INFORMATION, IOCTL_PAR_IS_PORT_FREE}) {
    SCOPED_TRACE(code);
    BYTE answer = 0xEE;
    DWORD returned = 0;
    win::SetLastError(0);
    const BOOL answered = win::DeviceIoControl(port.get(), code, nullptr, 0, &answer, 1, &returned, nullptr);
    const DWORD error = win::GetLastError();
    if (this->pc.OnWine()) {
      // Wine's \\.\LPTn is a file or a Linux device, with no parallel port driver behind it.
      EXPECT_FALSE(answered);
      EXPECT_EQ(error, DWORD{ERROR_NOT_SUPPORTED});
      continue;
    }
    ASSERT_TRUE(answered) << error;
    EXPECT_EQ(returned, 1u);
    if (code == IOCTL_PAR_IS_PORT_FREE) {
      EXPECT_TRUE(answer == TRUE || answer == FALSE) << int{answer};
    } else {
      EXPECT_EQ(answer & PARALLEL_NOT_CONNECTED, 0) << "a port was there";
    }
  }
  char location[32] = {};
  DWORD returned = 0;
  win::SetLastError(0);
  const BOOL located = win::DeviceIoControl(port.get(), IOCTL_PAR_QUERY_LOCATION, nullptr, 0, location,
                                            sizeof location, &returned, nullptr);
  if (this->pc.OnWine()) {
    EXPECT_FALSE(located);
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_SUPPORTED});
    GTEST_SKIP() << "Wine has no parallel port driver: its \\\\.\\LPTn answers the three requests with"
                    " ERROR_NOT_SUPPORTED";
  }
  ASSERT_TRUE(located) << win::GetLastError();
  ASSERT_GT(returned, 0u);
  EXPECT_EQ(location[returned - 1], '\0') << "zero-terminated";
  EXPECT_EQ(std::string(location), device.substr(4)) << "its own name, LPTn";
}

}  // namespace
}  // namespace contract
