// The simulated PC as a PC under test (contract/pc_under_test.h). RealPc has the same members.
#pragma once

#include <string>
#include <string_view>

#include "contract/test_resource.h"
#include "sim/pc.h"

namespace contract {

class SimulatedPc {
 public:
  static constexpr const char* kName = "simulated";

  SimulatedPc();

  // Files.
  /// An empty folder of the test's own.
  std::string NewFolder();
  void PutFile(const std::string& path, std::string_view bytes);
  /// A file's bytes; empty for none.
  std::string FileBytes(const std::string& path);
  /// Another program of the same user opens the file and closes it again: 0 or the Win32 error.
  DWORD OpenElsewhere(const std::string& path, DWORD access, DWORD share, DWORD disposition);
  /// Another program's DeleteFileA and MoveFileExA(MOVEFILE_REPLACE_EXISTING): 0 or the error.
  DWORD DeleteElsewhere(const std::string& path);
  DWORD RenameElsewhere(const std::string& from, const std::string& to);
  /// The system's parallel port device of a port with nothing plugged in: its name.
  std::string ParallelPortDevice();
  /// Whether this is Wine, whose differences from Windows the tests skip, saying which.
  bool OnWine() const { return false; }
  /// The program runs as a standard user from now on: not elevated, no load-driver privilege.
  void DropElevation();

  // Registry and the device database.
  /// A key of the test's own below HKEY_LOCAL_MACHINE: its path.
  std::string NewKey();
  void SetValue(const std::string& key, const std::string& name, DWORD type, std::string_view bytes);
  /// A parallel port in the device database as a port driver registers one.
  void ProvisionParallelPort(const std::string& name, WORD base);

  /// The spooler's ports of a fresh installation: LPT1: and the others.
  void ProvisionPrinterPorts() { pc.spooler.AddStandardPorts(); }

  // Services.
  /// A service name of the test's own, removed again afterwards on a real machine.
  std::string NewServiceName();
  /// The virtual-port driver's image as a file in the drivers folder: its path.
  std::string InstallDriverImage(const std::string& service_name);

  // Windows.
  /// The user's left click on a control.
  void Click(HWND control);
  /// The user presses `button` (IDOK, ...) on the next message box.
  void AnswerNextBox(int button);
  /// The caption and text of the message box answered last.
  struct Box {
    std::string caption, text;
  };
  Box AnsweredBox();

  sim::InstalledPc pc;

 private:
  int folders_ = 0;
  int keys_ = 0;
};

}  // namespace contract
