// pinscope-cli check: the answer follows from the first fact that stands in the way, every
// fact is read as the system gives it, and nothing on the machine changes.
#include "cli/check.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/program.h"
#include "platform/nt_names.h"
#include "sim/lpt_device.h"
#include "sim/pc.h"
#include "testing/pe_image.h"

namespace cli {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The program's own bitness, which the simulated PC's Windows shares (it runs no WOW64 here).
constexpr bool kProgram64 = sizeof(void*) == 8;
const std::string kBits = kProgram64 ? "64" : "32";
const std::string kUnsignedReason = std::string(kProgram64 ? "64-bit Windows" : "with Secure Boot on, Windows") +
                                    " loads only signed drivers, and the driver this program carries is not signed";

/// A machine on which direct mode works: 64-bit Windows 10 whose code integrity takes the
/// signed image, run elevated, with one parallel port Windows describes.
MachineFacts GoodMachine() {
  MachineFacts facts;
  facts.version = WindowsVersion{true, 10, 0, 19045, false};
  facts.program_64 = true;
  facts.windows_64 = true;
  facts.elevated = true;
  facts.code_integrity_status = nt::kStatusSuccess;
  facts.code_integrity = nt::kCodeIntegrityEnabled;
  facts.secure_boot = 1;
  facts.blocklist = 1;
  facts.image_carried = true;
  facts.image = ImageSignature::kSigned;
  facts.ports = {{"LPT1", 0x378, 8, true, "LPT1"}};
  return facts;
}

TEST(Check, EachAnswerFollowsFromTheFirstThingThatStandsInTheWay) {
  struct Case {
    const char* what;
    std::function<void(MachineFacts&)> change;
    Verdict verdict;
    const char* reason;  // a part of the last line's reason
  };
  const Case cases[] = {
      {"as it is", [](MachineFacts&) {}, Verdict::kWorks, "nothing found stands in the way"},
      {"not elevated", [](MachineFacts& f) { f.elevated = false; }, Verdict::kOnceElevated, "Run as administrator"},
      {"unsigned on 64-bit Windows", [](MachineFacts& f) { f.image = ImageSignature::kUnsigned; }, Verdict::kCannot,
       "64-bit Windows loads only signed drivers"},
      {"unsigned with test signing: a test signature is still one",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.code_integrity |= nt::kCodeIntegrityTestSign;
       },
       Verdict::kCannot, "is not signed"},
      {"unsigned under a kernel debugger",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.code_integrity |= nt::kCodeIntegrityDebugMode;
       },
       Verdict::kWorks, ""},
      {"unsigned, code integrity not reported on 64-bit Vista and later",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.code_integrity_status = nt::kStatusInvalidInfoClass;
       },
       Verdict::kCannot, "only signed drivers"},
      {"unsigned on 32-bit Windows without Secure Boot",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.program_64 = false;
         f.windows_64 = false;
         f.secure_boot = 0;
       },
       Verdict::kWorks, ""},
      {"unsigned on 32-bit Windows 7, whose kernel Secure Boot does not lock",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.program_64 = false;
         f.windows_64 = false;
         f.version = WindowsVersion{true, 6, 1, 7601, false};
       },
       Verdict::kWorks, ""},
      {"unsigned on 32-bit Windows 8 and later with Secure Boot",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.program_64 = false;
         f.windows_64 = false;
       },
       Verdict::kCannot, "with Secure Boot on"},
      {"unsigned under Wine, which checks no signature",
       [](MachineFacts& f) {
         f.image = ImageSignature::kUnsigned;
         f.wine = "8.0";
         f.code_integrity_status = nt::kStatusNotImplemented;
       },
       Verdict::kWorks, ""},
      {"the 32-bit program on 64-bit Windows, before everything else",
       [](MachineFacts& f) {
         f.program_64 = false;
         f.image = ImageSignature::kUnsigned;
         f.ports.clear();
       },
       Verdict::kCannot, "32-bit pinscope-cli on 64-bit Windows"},
      {"another program's vlio service",
       [](MachineFacts& f) {
         f.service = {TvlDriverBase::FoundService::kAnotherProgram, "C:\\Tools\\vlio.sys", SERVICE_RUNNING, 0};
       },
       Verdict::kCannot, "belongs to another program (it loads C:\\Tools\\vlio.sys)"},
      {"Pinscope's own service left behind, running",
       [](MachineFacts& f) {
         f.service = {TvlDriverBase::FoundService::kThisImage, "\\SystemRoot\\System32\\drivers\\vlio.sys",
                      SERVICE_RUNNING, 0};
       },
       Verdict::kWorks, ""},
      {"no parallel port, a USB printer adapter",
       [](MachineFacts& f) {
         f.ports.clear();
         f.usb_printer_ports = {{"USB001", "Virtual printer port for USB"}};
       },
       Verdict::kCannot, "lists no parallel port on this machine (a USB printer adapter is none)"},
      {"one port without a range, which withholds the legacy addresses",
       [](MachineFacts& f) { f.ports = {{"LPT1", 0x378, 0, {}, {}}}; }, Verdict::kCannot, "would serve none"},
      {"a described port beside one without a range",
       [](MachineFacts& f) { f.ports = {{"LPT1", 0x378, 0, {}, {}}, {"LPT3", 0xD010, 8, {}, {}}}; },
       Verdict::kWorks, ""},
      {"the 9x family, elevation unknown",
       [](MachineFacts& f) {
         f.version = WindowsVersion{false, 4, 10, 2222, false};
         f.elevated.reset();
         f.image = ImageSignature::kUnsigned;
       },
       Verdict::kWorks, "no driver is needed"},
  };
  for (const Case& c : cases) {
    MachineFacts facts = GoodMachine();
    c.change(facts);
    const CheckAnswer answer = Judge(facts);
    EXPECT_EQ(answer.verdict, c.verdict) << c.what << ": " << answer.reason;
    EXPECT_TRUE(Has(answer.reason, c.reason)) << c.what << ": " << answer.reason;
  }
}

TEST(Check, NotesSayWhatEachFactMeansForLoadingTheDriver) {
  auto notes_of = [](const std::function<void(MachineFacts&)>& change) {
    MachineFacts facts = GoodMachine();
    change(facts);
    std::string all;
    for (const std::string& note : Judge(facts).notes) all += note + "\n";
    return all;
  };
  EXPECT_TRUE(Has(notes_of([](MachineFacts&) {}), "only when Microsoft signed it"))
      << "Secure Boot on Windows 10 1607 and later";
  EXPECT_FALSE(Has(notes_of([](MachineFacts& f) { f.version->build = 10586; }), "only when Microsoft signed it"));
  EXPECT_TRUE(Has(notes_of([](MachineFacts& f) { f.image = ImageSignature::kUnsigned; }),
                  "Test signing cannot be turned on while Secure Boot is on"));
  EXPECT_TRUE(Has(notes_of([](MachineFacts& f) { f.code_integrity |= nt::kCodeIntegrityHvciKmci; }),
                  "Memory integrity (HVCI) is on"));
  EXPECT_TRUE(Has(notes_of([](MachineFacts& f) { f.blocklist = 0; }), "turn it back on"));
  EXPECT_TRUE(Has(notes_of([](MachineFacts& f) { f.usb_printer_ports = {{"USB002", ""}}; }),
                  "USB002 is a USB printer-class adapter: it passes bytes to a printer with its own handshake and"
                  " cannot set or read single pins"));
  EXPECT_TRUE(Has(notes_of([](MachineFacts& f) { f.ports.push_back({"LPT2", 0x278, 0, {}, {}}); }),
                  "LPT2 is not served: Windows gives no I/O range for it"));
}

class CheckOnThePc : public testing::Test {
 protected:
  sim::InstalledPc pc;

  std::pair<int, std::string> Run(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int code = RunProgram(arguments, out, err);
    EXPECT_EQ(err.str(), "");
    return {code, out.str()};
  }
};

// Every answer of the system reaches the output, read as the system gives it, and the check
// leaves the service, the port device and the drivers folder as they were.
TEST_F(CheckOnThePc, ReadsEveryAnswerOfTheSystemAndChangesNothing) {
  pc.resources.Add(RT_RCDATA, "VLIOBIN", testing_pe::Image({}));
  pc.process.SetNtVersion({10, 0, 22631});
  pc.services.SetElevated(false);
  pc.process.SetCodeIntegrity(nt::kStatusSuccess, nt::kCodeIntegrityEnabled | nt::kCodeIntegrityHvciKmci);
  const std::string control = "SYSTEM\\CurrentControlSet\\Control\\";
  pc.registry.SetValue(HKEY_LOCAL_MACHINE, control + "SecureBoot\\State", "UEFISecureBootEnabled", REG_DWORD,
                       {1, 0, 0, 0});
  pc.registry.SetValue(HKEY_LOCAL_MACHINE, control + "CI\\Config", "VulnerableDriverBlocklistEnable", REG_DWORD,
                       {0, 0, 0, 0});
  pc.services.Add({.name = "vlio", .binary_path = "C:\\Tools\\porttalk\\vlio.sys"});
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  pc.setup_api.AddParallelPort("LPT2", 0xD010);
  auto lpt1 = std::make_shared<sim::LptDevice>(pc.core);
  lpt1->SetHeldElsewhere(true);
  pc.files.AddDevice("\\\\.\\LPT1", lpt1);
  pc.spooler.AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
  pc.spooler.AddPort("LPT1:");

  const auto [code, json] = Run({"check", "--json"});
  EXPECT_EQ(code, kCheckCannot);
  const std::string flag = kProgram64 ? "true" : "false";
  for (const std::string& part : std::initializer_list<std::string>{
           "\"windows\": {\"name\": \"Windows 11\", \"major\": 10, \"minor\": 0, \"build\": 22631, \"nt\": true, "
           "\"server\": false}",
           "\"windows_64\": " + flag + ", \"program_64\": " + flag + ", \"wine\": null, \"elevated\": false",
           "\"code_integrity\": {\"options\": \"0x00000401\", \"enabled\": true, \"test_signing\": false, "
           "\"memory_integrity\": true}",
           "\"secure_boot\": true, \"blocklist\": false",
           "\"driver_image\": {\"carried\": true, \"signed\": false, \"place\": "
           "\"C:\\\\Windows\\\\System32\\\\drivers\\\\vlio.sys\"}",
           "\"service\": {\"owner\": \"another_program\", \"state\": \"stopped\", \"binary\": "
           "\"C:\\\\Tools\\\\porttalk\\\\vlio.sys\"}",
           "{\"name\": \"LPT1\", \"base\": \"0x378\", \"span\": 8, \"served\": \"served at the address Windows gave "
           "it\", \"free\": false, \"location\": \"LPT1\"}",
           "{\"name\": \"LPT2\", \"base\": \"0xD010\", \"span\": 8, \"served\": \"served at the address Windows gave "
           "it\", \"free\": null, \"location\": null}",
           "\"usb_printer_ports\": [{\"name\": \"USB001\", \"description\": \"Virtual printer port for USB\"}]",
           "\"answer\": \"cannot\", \"exit_code\": 6, \"reason\": \"" + kUnsignedReason + "\"}",
       })
    EXPECT_TRUE(Has(json, part)) << part << "\nin " << json;

  lpt1->SetHeldElsewhere(false);
  const auto [text_code, text] = Run({"check"});
  EXPECT_EQ(text_code, kCheckCannot);
  for (const std::string& line : std::initializer_list<std::string>{
           "Windows:          Windows 11 (10.0, build 22631), " + kBits + "-bit; this pinscope-cli is " + kBits +
               "-bit\n",
           "Elevated:         no\n",
           "Code integrity:   on; test signing off; memory integrity (HVCI) on (0x00000401)\n",
           "Secure Boot:      on\n",
           "Driver blocklist: off\n",
           "Driver image:     not signed; written to C:\\Windows\\System32\\drivers\\vlio.sys at each open\n",
           "Service \"vlio\":   stopped, another program's, loading C:\\Tools\\porttalk\\vlio.sys\n",
           "  LPT1  0x378-0x37F  served at the address Windows gave it  free\n",
           "  LPT2  0xD010-0xD017  served at the address Windows gave it\n",
           "  USB001  Virtual printer port for USB\n",
       })
    EXPECT_TRUE(Has(text, line)) << line << "in\n" << text;
  EXPECT_TRUE(text.ends_with("Direct mode cannot work here: " + kUnsignedReason + ".\n")) << text;

  for (const char* call : {"CreateServiceA", "StartServiceA", "ControlService", "DeleteService",
                           "ChangeServiceConfigA", "WriteFile", "DeleteFileA", "AdjustTokenPrivileges"})
    EXPECT_EQ(pc.core.journal.Count(call), 0u) << call;
  EXPECT_EQ(lpt1->InitRequests(), 0u);
  EXPECT_NE(pc.services.Find("vlio"), nullptr);
}

TEST_F(CheckOnThePc, ASignedImageOnAMachineThatTakesItWorksAsRunAndTheAnswersThatFailAreSaidSo) {
  pc.resources.Add(RT_RCDATA, "VLIOBIN", testing_pe::Image({.certificate = true}));
  pc.process.SetNtVersion({6, 1, 7601});
  pc.process.SetCodeIntegrity(nt::kStatusInvalidInfoClass, 0);
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  pc.services.Add({.name = "vlio", .binary_path = "\\SystemRoot\\System32\\drivers\\vlio.sys"});
  pc.core.faults.Fail("GetTokenInformation", ERROR_ACCESS_DENIED);
  const auto [code, text] = Run({"check"});
  EXPECT_EQ(code, kDone) << text;
  for (const std::string& line : std::initializer_list<std::string>{
           "Windows:          Windows 7 (6.1, build 7601), " + kBits + "-bit",
           "Elevated:         unknown (the token did not tell)\n",
           "Code integrity:   not reported (status 0xC0000003)\n",
           "Secure Boot:      not reported",
           "Driver blocklist: not set",
           "Driver image:     signed",
           "Service \"vlio\":   stopped, Pinscope's own, loading \\SystemRoot\\System32\\drivers\\vlio.sys\n",
           "left from a run that did not close; the next open makes it afresh",
       })
    EXPECT_TRUE(Has(text, line)) << line << "\nin\n" << text;
  EXPECT_TRUE(text.ends_with("Direct mode can work as run: nothing found stands in the way of loading the driver.\n"))
      << text;
  std::ostringstream out, err;
  const std::vector<std::string> handle = {"check", "--handle"};
  EXPECT_EQ(RunProgram(handle, out, err), kUsage);
}

// The 9x family has no token, code integrity or service manager to ask: none is asked.
TEST_F(CheckOnThePc, OnThe9xFamilyOnlyTheVersionAndThePortsAreAsked) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  pc.spooler.AddStandardPorts();
  const auto [code, text] = Run({"check"});
  EXPECT_EQ(code, kDone);
  EXPECT_TRUE(Has(text, "Windows:          Windows 98 (4.10, build 2222)")) << text;
  EXPECT_TRUE(Has(text, "  LPT1:  0x378 (Windows gives no range; assumed)\n")) << text;
  EXPECT_TRUE(text.ends_with("Direct mode can work as run: no driver is needed.\n")) << text;
  for (const char* call : {"OpenProcessToken", "OpenSCManagerA", "RegOpenKeyExA", "NtQuerySystemInformation",
                           "CreateFileA"})
    EXPECT_EQ(pc.core.journal.Count(call), 0u) << call;
}

}  // namespace
}  // namespace cli
