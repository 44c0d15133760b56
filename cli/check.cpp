#include "cli/check.h"

#include <algorithm>
#include <cctype>

#include "cli/exit_codes.h"
#include "cli/report.h"
#include "cli/system_states.h"
#include "driver/vlio_ioctl.h"
#include "framework/resources.h"
#include "lib/vlwin32.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace cli {

namespace {

constexpr DWORD kFirstMicrosoftSignedOnlyBuild = 14393;  // Windows 10 1607
constexpr char kControl[] = "SYSTEM\\CurrentControlSet\\Control\\";

std::optional<WindowsVersion> AskVersion() {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (!win::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return {};
  WindowsVersion version;
  version.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = version.nt ? info.dwBuildNumber : info.dwBuildNumber & 0xFFFF;
  // Only Windows 2000 and later know the long form, which tells a server.
  info.dwOSVersionInfoSize = sizeof info;
  if (version.nt && version.major >= 5 && win::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)))
    version.server = info.wProductType != VER_NT_WORKSTATION;
  return version;
}

std::optional<bool> AskElevated(const WindowsVersion& version) {
  if (!version.nt || version.major < 6) return {};  // no split tokens before Vista
  HANDLE token = nullptr;
  if (!win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const platform::UniqueHandle held(token);
  TOKEN_ELEVATION elevation{};
  DWORD returned = 0;
  if (!win::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returned)) return {};
  return elevation.TokenIsElevated != 0;
}

void AskCodeIntegrity(MachineFacts& facts) {
  const HMODULE ntdll = win::GetModuleHandleA("ntdll.dll");
  const FARPROC entry = ntdll ? win::GetProcAddress(ntdll, "NtQuerySystemInformation") : nullptr;
  if (!entry) return;
  const auto query = reinterpret_cast<nt::QuerySystemInformation>(reinterpret_cast<void (*)()>(entry));
  nt::CodeIntegrityInformation answer{sizeof answer, 0};
  ULONG returned = 0;
  facts.code_integrity_status = query(nt::kSystemCodeIntegrityInformation, &answer, sizeof answer, &returned);
  if (*facts.code_integrity_status == nt::kStatusSuccess) facts.code_integrity = answer.CodeIntegrityOptions;
}

std::optional<DWORD> ControlValue(const char* key, const char* name) {
  const platform::UniqueRegistryKey opened = OpenRegistryKey(HKEY_LOCAL_MACHINE, std::string(kControl) + key);
  if (!opened) return {};
  const std::optional<std::vector<uint8_t>> value = QueryRegistryValue(opened.get(), name, sizeof(DWORD));
  if (!value || value->size() != sizeof(DWORD)) return {};
  return static_cast<DWORD>((*value)[0] | (*value)[1] << 8 | (*value)[2] << 16 | uint32_t{(*value)[3]} << 24);
}

/// usbprint's ports in the spooler's list: "USB001" and on.
bool IsUsbPrinterPort(const std::string& name) {
  return name.size() > 3 && (name.compare(0, 3, "USB") == 0) &&
         std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool IsLegacyBase(uint32_t base) {
  return std::any_of(std::begin(VlioLegacyPorts), std::end(VlioLegacyPorts),
                     [base](const VLIO_PORT_RANGE& range) { return range.First == base; });
}

bool Is9x(const MachineFacts& facts) { return facts.version && !facts.version->nt; }

// Whether the driver would describe the port at its start: Windows gives it a range of I/O
// ports, starting above 0 and ending by 0xFFFF, it is among the first eight, and no port
// before it has its base.
bool Described(const MachineFacts& facts, std::size_t index) {
  const CheckedPort& port = facts.ports[index];
  if (facts.wine || index >= VLIO_MAX_KNOWN_PORTS || port.span == 0 || port.base == 0 ||
      port.base + port.span > 0x10000)
    return false;
  for (std::size_t i = 0; i < index; ++i)
    if (facts.ports[i].span && facts.ports[i].base == port.base) return false;
  return true;
}

// Wine's kernel lists no Plug and Play port, which leaves the legacy bases served; on Windows
// they are served while every listed port was described.
bool LegacyBasesServed(const MachineFacts& facts) {
  if (facts.wine) return true;
  for (std::size_t i = 0; i < facts.ports.size(); ++i)
    if (!Described(facts, i)) return false;
  return true;
}

enum class Serving { kAtItsAddress, kAsLegacyAddress, kNotServed };

Serving ServingOf(const MachineFacts& facts, std::size_t index) {
  if (Described(facts, index)) return Serving::kAtItsAddress;
  if (IsLegacyBase(facts.ports[index].base) && LegacyBasesServed(facts)) return Serving::kAsLegacyAddress;
  return Serving::kNotServed;
}

std::string ServingText(Serving serving) {
  switch (serving) {
    case Serving::kAtItsAddress:
      return "served at the address Windows gave it";
    case Serving::kAsLegacyAddress:
      return "served as a legacy address";
    case Serving::kNotServed:
      break;
  }
  return "not served";
}

std::string WindowsName(const WindowsVersion& v) {
  if (!v.nt) return v.minor >= 90 ? "Windows Me" : v.minor >= 10 ? "Windows 98" : "Windows 95";
  const auto is = [&v](DWORD major, DWORD minor) { return v.major == major && v.minor == minor; };
  if (v.server) return is(5, 2) ? "Windows Server 2003" : "Windows Server";
  if (is(10, 0)) return v.build >= 22000 ? "Windows 11" : "Windows 10";
  if (is(6, 3)) return "Windows 8.1";
  if (is(6, 2)) return "Windows 8";
  if (is(6, 1)) return "Windows 7";
  if (is(6, 0)) return "Windows Vista";
  if (is(5, 2)) return "Windows XP x64";
  if (is(5, 1)) return "Windows XP";
  if (is(5, 0)) return "Windows 2000";
  return "Windows NT";
}

std::string VersionText(const WindowsVersion& v) {
  return WindowsName(v) + " (" + std::to_string(v.major) + "." + std::to_string(v.minor) + ", build " +
         std::to_string(v.build) + ")";
}

std::string ServiceStateText(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "stopped";
    case SERVICE_RUNNING:
      return "running";
    case SERVICE_START_PENDING:
      return "starting";
    case SERVICE_STOP_PENDING:
      return "stopping";
    default:
      return "in state " + std::to_string(state);
  }
}

const char* OwnerIdent(TvlDriverBase::FoundService::Owner owner) {
  switch (owner) {
    case TvlDriverBase::FoundService::kNone:
      return "none";
    case TvlDriverBase::FoundService::kThisImage:
      return "pinscope";
    case TvlDriverBase::FoundService::kOlderBuild:
      return "older_pinscope";
    case TvlDriverBase::FoundService::kAnotherProgram:
      return "another_program";
    case TvlDriverBase::FoundService::kUnreadable:
      break;
  }
  return "unreadable";
}

std::string ServiceText(const TvlDriverBase::FoundService& service) {
  using Found = TvlDriverBase::FoundService;
  switch (service.owner) {
    case Found::kNone:
      return "none (Pinscope makes it at each open and deletes it at close)";
    case Found::kThisImage:
      return ServiceStateText(service.state) + ", Pinscope's own, loading " + service.binary;
    case Found::kOlderBuild:
      return ServiceStateText(service.state) + ", an older Pinscope's, loading " + service.binary;
    case Found::kAnotherProgram:
      return ServiceStateText(service.state) + ", another program's, loading " + service.binary;
    case Found::kUnreadable:
      break;
  }
  return "could not be read: " + SystemErrorText(service.error);
}

std::string ImageText(const MachineFacts& facts) {
  if (!facts.image_carried) return "none carried by this program";
  switch (facts.image) {
    case ImageSignature::kSigned:
      return "signed (Windows decides at load whether it takes the signer)";
    case ImageSignature::kUnsigned:
      return "not signed";
    case ImageSignature::kNotAnImage:
      break;
  }
  return "not a driver image";
}

std::string PortRangeText(const CheckedPort& port) {
  if (!port.span) return fw::HexNumber(port.base, 3) + " (Windows gives no range; assumed)";
  return fw::HexNumber(port.base, 3) + "-" + fw::HexNumber(port.base + port.span - 1, 3);
}

const char* YesNo(std::optional<bool> value, const char* unknown) {
  return !value ? unknown : *value ? "yes" : "no";
}

}  // namespace

MachineFacts GatherFacts(TvlLPT& lpt) {
  MachineFacts facts;
  facts.version = AskVersion();
  facts.program_64 = sizeof(void*) == 8;
  if (facts.program_64) {
    facts.windows_64 = true;
  } else if (BOOL wow64 = FALSE; win::IsWow64Process(win::GetCurrentProcess(), &wow64)) {
    facts.windows_64 = wow64 != FALSE;
  }
  facts.wine = WineVersion();
  if (facts.version && facts.version->nt) {
    facts.elevated = AskElevated(*facts.version);
    AskCodeIntegrity(facts);
    facts.secure_boot = ControlValue("SecureBoot\\State", "UEFISecureBootEnabled");
    facts.blocklist = ControlValue("CI\\Config", "VulnerableDriverBlocklistEnable");
    TvlLptDriver& driver = lpt.Driver();
    const fw::ResourceBytes image = fw::ReadProgramResource(driver.ResourceName.c_str());
    facts.image_carried = image.found;
    facts.image = SignatureOf(image.bytes);
    facts.image_place = driver.ImagePlace();
    facts.service = driver.FindService();
  }
  lpt.GetDeviceNames(nullptr);
  for (int i = 0; i < lpt.DeviceCount(); ++i) {
    const TvlDevice& device = *lpt.GetDevice(i);
    CheckedPort port{device.Name, device.Param, device.Span, {}, {}};
    // The 9x family's printer ports are the spooler's, with no port driver to ask.
    if (!Is9x(facts)) {
      const PortDeviceAnswer answer = AskPortDevice(device.Name);
      port.free = answer.free;
      port.location = answer.location;
    }
    facts.ports.push_back(port);
  }
  for (const SpoolerPort& port : SpoolerPorts())
    if (IsUsbPrinterPort(port.name)) facts.usb_printer_ports.push_back(port);
  return facts;
}

CheckAnswer Judge(const MachineFacts& facts) {
  CheckAnswer answer;
  std::vector<std::string> cannot;
  auto note = [&answer](std::string text) { answer.notes.push_back(std::move(text)); };
  auto stands_in_the_way = [&](std::string text) {
    cannot.push_back(text);
    note(std::move(text));
  };
  const bool nt = !Is9x(facts);
  const WindowsVersion version = facts.version.value_or(WindowsVersion{});
  if (!nt) {
    note("Windows of the 9x family lets the program use the port's instructions itself: no driver is loaded, and"
         " no signature or elevation is needed");
  } else if (!facts.program_64 && facts.windows_64.value_or(false)) {
    stands_in_the_way("this is the 32-bit pinscope-cli on 64-bit Windows, which cannot load the driver it carries:"
                      " run the 64-bit pinscope-cli");
  }
  if (nt && facts.wine) {
    note("Wine loads a driver image without looking at its signature, whatever code integrity it reports, and has"
         " no Secure Boot or blocklist of its own");
  } else if (nt) {
    const bool reported = facts.code_integrity_status == nt::kStatusSuccess;
    const ULONG ci = facts.code_integrity;
    const bool windows_64 = facts.windows_64.value_or(true);
    const bool secure_boot = facts.secure_boot.value_or(0) != 0;
    // A kernel debugger, or integrity checks switched off at boot, let any image load.
    const bool enforced = reported ? (ci & nt::kCodeIntegrityEnabled) && !(ci & nt::kCodeIntegrityDebugMode)
                                   : windows_64 && version.major >= 6;
    const bool signature_needed =
        enforced && (windows_64 ? version.major >= 6
                               : secure_boot && (version.major > 6 || (version.major == 6 && version.minor >= 2)));
    const bool test_signing = reported && (ci & nt::kCodeIntegrityTestSign);
    if (!reported && windows_64 && version.major >= 6)
      note("The system did not say whether code integrity is on (status " +
           fw::HexNumber(static_cast<uint32_t>(facts.code_integrity_status.value_or(0)), 8) +
           "); 64-bit Windows Vista and later load only signed drivers all the same");
    if (reported && !enforced)
      note("Code integrity does not check driver signatures here (it is off, or a kernel debugger is on): any"
           " driver image loads");
    if (!windows_64 && !signature_needed)
      note("32-bit Windows loads a driver without a signature while Secure Boot is off");
    if (facts.image != ImageSignature::kSigned && signature_needed) {
      stands_in_the_way(std::string(windows_64 ? "64-bit Windows loads only signed drivers"
                                               : "with Secure Boot on, Windows loads only signed drivers") +
                        ", and the driver this program carries is not signed");
      if (test_signing)
        note("Test signing is on: a driver signed with a test certificate this machine trusts would load, but this"
             " one is not signed at all");
      if (secure_boot) note("Test signing cannot be turned on while Secure Boot is on");
    } else if (facts.image == ImageSignature::kSigned && signature_needed && !test_signing && secure_boot &&
               version.major >= 10 && version.build >= kFirstMicrosoftSignedOnlyBuild) {
      note("Windows 10 1607 and later, with Secure Boot on, load a new driver only when Microsoft signed it"
           " (attestation or certification): the image carried loads if its signature is Microsoft's");
    }
    if (reported && (ci & nt::kCodeIntegrityHvciKmci))
      note("Memory integrity (HVCI) is on: it loads only signed drivers that keep its rules, which Pinscope's driver"
           " is built to keep (no page both writable and executable, no pool allocations)");
    if (facts.blocklist && *facts.blocklist == 0)
      note("The vulnerable-driver blocklist is off. It refuses only drivers Microsoft lists as vulnerable, by hash"
           " or signer, never Pinscope's: switching it off does not help here and leaves the machine open; turn it"
           " back on");
    else
      note("The vulnerable-driver blocklist refuses only drivers Microsoft lists as vulnerable, by hash or signer;"
           " Pinscope's is not one of them");
  }
  using Found = TvlDriverBase::FoundService;
  if (nt) {
    switch (facts.service.owner) {
      case Found::kAnotherProgram:
        stands_in_the_way("a service named \"vlio\" belongs to another program (it loads " + facts.service.binary +
                          "): Pinscope leaves it alone, so its own driver cannot be loaded under that name");
        break;
      case Found::kThisImage:
      case Found::kOlderBuild:
        note(facts.service.state == SERVICE_STOPPED
                 ? "A \"vlio\" service of Pinscope's is left from a run that did not close; the next open makes it"
                   " afresh"
                 : "Pinscope's driver service runs: another Pinscope has a port open, or a run that did not close"
                   " left it; the next open takes it over once no program has its device open");
        break;
      case Found::kUnreadable:
        note("Whether a \"vlio\" service is there could not be read: " + SystemErrorText(facts.service.error));
        break;
      case Found::kNone:
        break;
    }
  }
  for (const SpoolerPort& port : facts.usb_printer_ports)
    note(port.name + " is a USB printer-class adapter: it passes bytes to a printer with its own handshake and"
                     " cannot set or read single pins, in any mode");
  bool any_served = false;
  for (std::size_t i = 0; i < facts.ports.size(); ++i) {
    const Serving serving = nt ? ServingOf(facts, i) : Serving::kAtItsAddress;
    any_served |= serving != Serving::kNotServed;
    if (serving == Serving::kNotServed)
      note(facts.ports[i].name + " is not served: " +
           (Described(facts, i) || facts.ports[i].span
                ? std::string("the driver serves the first eight ports Windows lists, each at its own address")
                : "Windows gives no I/O range for it, and a legacy address is served only while every listed port"
                  " has one"));
  }
  if (facts.ports.empty())
    stands_in_the_way(std::string("Windows lists no parallel port on this machine") +
                      (facts.usb_printer_ports.empty() ? "" : " (a USB printer adapter is none)"));
  else if (!any_served)
    stands_in_the_way("the driver would serve none of the parallel ports Windows lists");
  if (!cannot.empty()) {
    answer.verdict = Verdict::kCannot;
    answer.reason = cannot.front();
  } else if (nt && facts.elevated == false) {
    answer.verdict = Verdict::kOnceElevated;
    answer.reason = "installing and starting the driver's service takes an administrator: run pinscope-cli from an"
                    " elevated command prompt (Run as administrator)";
  } else {
    answer.verdict = Verdict::kWorks;
    answer.reason = nt ? "nothing found stands in the way of loading the driver" : "no driver is needed";
  }
  return answer;
}

namespace {

/// Each verdict's name in JSON, its exit code and the last line's words, in Verdict's order.
struct VerdictText {
  const char* ident;
  int exit_code;
  const char* line;
};
constexpr VerdictText kVerdicts[] = {
    {"works", kDone, "Direct mode can work as run"},
    {"once_elevated", kCheckOnceElevated, "Direct mode can work once elevated"},
    {"cannot", kCheckCannot, "Direct mode cannot work here"},
};
const VerdictText& TextOf(Verdict verdict) { return kVerdicts[static_cast<int>(verdict)]; }

}  // namespace

int ExitCodeOf(Verdict verdict) { return TextOf(verdict).exit_code; }

void PrintCheck(std::ostream& out, const MachineFacts& facts, const CheckAnswer& answer, bool json) {
  const bool nt = !Is9x(facts);
  if (json) {
    out << "{\"windows\": ";
    if (facts.version)
      out << "{\"name\": " << JsonString(WindowsName(*facts.version)) << ", \"major\": " << facts.version->major
          << ", \"minor\": " << facts.version->minor << ", \"build\": " << facts.version->build
          << ", \"nt\": " << (facts.version->nt ? "true" : "false")
          << ", \"server\": " << (facts.version->server ? "true" : "false") << "}";
    else
      out << "null";
    auto boolean = [](std::optional<bool> value) { return !value ? "null" : *value ? "true" : "false"; };
    out << ", \"windows_64\": " << boolean(facts.windows_64) << ", \"program_64\": " << boolean(facts.program_64)
        << ", \"wine\": " << (facts.wine ? JsonString(*facts.wine) : "null")
        << ", \"elevated\": " << boolean(facts.elevated) << ", \"code_integrity\": ";
    if (facts.code_integrity_status == nt::kStatusSuccess)
      out << "{\"options\": \"" << fw::HexNumber(facts.code_integrity, 8)
          << "\", \"enabled\": " << boolean((facts.code_integrity & nt::kCodeIntegrityEnabled) != 0)
          << ", \"test_signing\": " << boolean((facts.code_integrity & nt::kCodeIntegrityTestSign) != 0)
          << ", \"memory_integrity\": " << boolean((facts.code_integrity & nt::kCodeIntegrityHvciKmci) != 0) << "}";
    else
      out << "null";
    out << ", \"secure_boot\": " << (facts.secure_boot ? boolean(*facts.secure_boot != 0) : "null")
        << ", \"blocklist\": " << (facts.blocklist ? boolean(*facts.blocklist != 0) : "null")
        << ", \"driver_image\": {\"carried\": " << boolean(facts.image_carried)
        << ", \"signed\": " << boolean(facts.image == ImageSignature::kSigned)
        << ", \"place\": " << JsonString(facts.image_place) << "}, \"service\": {\"owner\": \""
        << OwnerIdent(facts.service.owner) << "\"";
    if (facts.service.owner != TvlDriverBase::FoundService::kNone &&
        facts.service.owner != TvlDriverBase::FoundService::kUnreadable)
      out << ", \"state\": " << JsonString(ServiceStateText(facts.service.state))
          << ", \"binary\": " << JsonString(facts.service.binary);
    out << "}, \"ports\": [";
    for (std::size_t i = 0; i < facts.ports.size(); ++i) {
      const CheckedPort& port = facts.ports[i];
      out << (i ? ", " : "") << "{\"name\": " << JsonString(port.name) << ", \"base\": \"" << fw::HexNumber(port.base, 3)
          << "\", \"span\": " << port.span << ", \"served\": "
          << (nt ? JsonString(ServingText(ServingOf(facts, i))) : "null") << ", \"free\": " << boolean(port.free)
          << ", \"location\": " << (port.location ? JsonString(*port.location) : "null") << "}";
    }
    out << "], \"usb_printer_ports\": [";
    for (std::size_t i = 0; i < facts.usb_printer_ports.size(); ++i)
      out << (i ? ", " : "") << "{\"name\": " << JsonString(facts.usb_printer_ports[i].name)
          << ", \"description\": " << JsonString(facts.usb_printer_ports[i].description) << "}";
    out << "], \"notes\": [";
    for (std::size_t i = 0; i < answer.notes.size(); ++i) out << (i ? ", " : "") << JsonString(answer.notes[i]);
    out << "], \"answer\": \"" << TextOf(answer.verdict).ident
        << "\", \"exit_code\": " << ExitCodeOf(answer.verdict) << ", \"reason\": " << JsonString(answer.reason)
        << "}\n";
    return;
  }
  out << "Windows:          "
      << (facts.version ? VersionText(*facts.version) : std::string("unknown (the system did not tell)"));
  if (facts.windows_64) out << ", " << (*facts.windows_64 ? "64" : "32") << "-bit";
  out << "; this pinscope-cli is " << (facts.program_64 ? "64" : "32") << "-bit\n";
  if (facts.wine) out << "Wine:             " << *facts.wine << "\n";
  if (nt) {
    out << "Elevated:         "
        << YesNo(facts.elevated, facts.version && facts.version->major < 6
                                     ? "no such thing before Vista: an administrator's programs have every right"
                                     : "unknown (the token did not tell)")
        << "\n";
    out << "Code integrity:   ";
    if (facts.code_integrity_status == nt::kStatusSuccess) {
      const ULONG ci = facts.code_integrity;
      out << ((ci & nt::kCodeIntegrityEnabled) ? "on" : "off")
          << "; test signing " << ((ci & nt::kCodeIntegrityTestSign) ? "on" : "off")
          << "; memory integrity (HVCI) " << ((ci & nt::kCodeIntegrityHvciKmci) ? "on" : "off") << " ("
          << fw::HexNumber(ci, 8) << ")\n";
    } else {
      out << "not reported"
          << (facts.code_integrity_status
                  ? " (status " + fw::HexNumber(static_cast<uint32_t>(*facts.code_integrity_status), 8) + ")"
                  : std::string())
          << "\n";
    }
    out << "Secure Boot:      "
        << (!facts.secure_boot ? "not reported (no SecureBoot\\State value: a BIOS machine, or Windows before 8)"
            : *facts.secure_boot ? "on"
                                 : "off")
        << "\n";
    out << "Driver blocklist: "
        << (!facts.blocklist ? "not set (Windows' default: on since Windows 11 22H2, and where memory integrity is on)"
            : *facts.blocklist ? "on"
                               : "off")
        << "\n";
    out << "Driver image:     " << ImageText(facts) << "; written to "
        << (facts.image_place.empty() ? std::string("(no system folder)") : facts.image_place) << " at each open\n";
    out << "Service \"vlio\":   " << ServiceText(facts.service) << "\n";
  }
  out << (facts.ports.empty() ? "Parallel ports:   none listed\n" : "Parallel ports:\n");
  for (std::size_t i = 0; i < facts.ports.size(); ++i) {
    const CheckedPort& port = facts.ports[i];
    out << "  " << port.name << "  " << PortRangeText(port);
    if (nt) out << "  " << ServingText(ServingOf(facts, i));
    if (port.free) out << (*port.free ? "  free" : "  held (a print job or another program has it)");
    if (port.location && *port.location != port.name) out << "  (its device calls itself " << *port.location << ")";
    out << "\n";
  }
  if (!facts.usb_printer_ports.empty()) {
    out << "USB printer adapters:\n";
    for (const SpoolerPort& port : facts.usb_printer_ports)
      out << "  " << port.name << (port.description.empty() ? "" : "  " + port.description) << "\n";
  }
  if (!answer.notes.empty()) {
    out << "What this means:\n";
    for (const std::string& text : answer.notes) out << "  - " << text << "\n";
  }
  out << TextOf(answer.verdict).line << ": " << answer.reason << ".\n";
}

}  // namespace cli
