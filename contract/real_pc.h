// Windows itself (Wine here) as a PC under test (contract/pc_under_test.h): the seam's real
// forwarder, and what tests arrange done with the system's own calls. The members are
// SimulatedPc's; everything made is taken away again when it goes.
#pragma once

#include <string>
#include <thread>
#include <string_view>
#include <vector>

#include "contract/test_resource.h"
#include "platform/win32.h"

namespace contract {

class RealPc {
 public:
  static constexpr const char* kName = "windows";

  RealPc();
  ~RealPc();
  RealPc(const RealPc&) = delete;
  RealPc& operator=(const RealPc&) = delete;

  std::string NewFolder();
  void PutFile(const std::string& path, std::string_view bytes);
  std::string FileBytes(const std::string& path);
  DWORD OpenElsewhere(const std::string& path, DWORD access, DWORD share, DWORD disposition);
  DWORD DeleteElsewhere(const std::string& path);
  DWORD RenameElsewhere(const std::string& from, const std::string& to);
  /// The prefix's LPT1, which the test scripts map to C:\lpt1.out (Wine has no port driver).
  std::string ParallelPortDevice() { return "\\\\.\\LPT1"; }
  bool OnWine() const;
  void DropElevation();

  std::string NewKey();
  void SetValue(const std::string& key, const std::string& name, DWORD type, std::string_view bytes);
  void ProvisionParallelPort(const std::string& name, WORD base);

  /// Every installation has them.
  void ProvisionPrinterPorts() {}

  std::string NewServiceName();
  std::string InstallDriverImage(const std::string& service_name);

  void Click(HWND control);
  void AnswerNextBox(int button);
  struct Box {
    std::string caption, text;
  };
  Box AnsweredBox();

 private:
  std::string Unique();

  int made_ = 0;
  std::vector<std::string> folders_, keys_, services_, images_;
  bool impersonating_ = false;
  // Presses the button of the next message box, from a thread of its own while this one
  // waits in MessageBoxA.
  std::thread answerer_;
  Box answered_;
};

}  // namespace contract
