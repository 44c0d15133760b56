// pinscope-cli check: whether direct mode can reach the pins on this machine, and if not, what
// stands in the way. What the system tells is gathered first, without changing anything; the
// answer is worked out from that alone, so that every answer can be held to its facts.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lib/image_signature.h"
#include "lib/vlddbasew32.h"
#include "lib/vllpt.h"

namespace cli {

struct WindowsVersion {
  bool nt = true;
  DWORD major = 0, minor = 0, build = 0;
  bool server = false;
};

/// A parallel port Windows lists, as the driver would find it at its start.
struct CheckedPort {
  std::string name;
  uint32_t base = 0;
  uint32_t span = 0;  // the I/O range's length Windows gave; 0 when it gave none
  std::optional<bool> free;
  std::optional<std::string> location;  // the system's port device's own name of it
};

struct MachineFacts {
  std::optional<WindowsVersion> version;  // nothing when GetVersionEx failed
  bool program_64 = false;
  std::optional<bool> windows_64;       // nothing when the system did not tell
  std::optional<std::string> wine;      // Wine's version, under Wine
  std::optional<bool> elevated;         // nothing before Vista, or when the token did not tell
  /// NtQuerySystemInformation(SystemCodeIntegrityInformation): its status, and the options
  /// when that is success.
  std::optional<LONG> code_integrity_status;
  ULONG code_integrity = 0;
  std::optional<DWORD> secure_boot;  // SecureBoot\State's UEFISecureBootEnabled; nothing: no such value
  std::optional<DWORD> blocklist;    // CI\Config's VulnerableDriverBlocklistEnable; nothing: not set
  ImageSignature image = ImageSignature::kNotAnImage;
  bool image_carried = false;
  std::string image_place;
  TvlDriverBase::FoundService service;
  std::vector<CheckedPort> ports;
  std::vector<SpoolerPort> usb_printer_ports;
};

/// Asks the system, changing nothing: no service is made or started, no port initialised.
MachineFacts GatherFacts(TvlLPT& lpt);

enum class Verdict { kWorks, kOnceElevated, kCannot };

struct CheckAnswer {
  Verdict verdict = Verdict::kWorks;
  std::string reason;              // the first reason of the verdict, for the last line
  std::vector<std::string> notes;  // what each fact means for loading the driver, in order
};
CheckAnswer Judge(const MachineFacts& facts);

/// The exit code of each verdict.
int ExitCodeOf(Verdict verdict);

void PrintCheck(std::ostream& out, const MachineFacts& facts, const CheckAnswer& answer, bool json);

}  // namespace cli
