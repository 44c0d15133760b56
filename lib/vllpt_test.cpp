// The parallel port component on the simulated PC: selection, open and close in both modes,
// registers and pins, handshake output, and the machine's port list.
#include "lib/vllpt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/vlio_ioctl.h"
#include "framework/exception.h"
#include "testing/framework/raised.h"
#include "sim/lpt_device.h"
#include "sim/pc.h"
#include "sim/printer.h"
#include "sim/setup_api.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kLptImage = {'M', 'Z', 'l', 'p', 't'};

struct Counter {
  int calls = 0;
  void Notify(fw::TObject*, int code) { calls += code == ncDevicesChanged; }
};

class Lpt : public testing::Test {
 protected:
  sim::InstalledPc pc;
  vport* lpt1 = nullptr;

  void SetUp() override {
    pc.resources.Add(RT_RCDATA, "VLIOBIN", kLptImage);
    pc.kernel.AddImage(kLptImage, &DriverEntry);
    lpt1 = &pc.ports.AddPort(0x378);
    pc.ports.AddPort(0x278);
  }

  /// An open component in direct mode at 0x378, with its accesses from now on recorded.
  std::unique_ptr<TvlLPT> OpenLpt1() {
    auto lpt = std::make_unique<TvlLPT>(nullptr);
    lpt->SetLptIOBase(0x378);
    lpt->SetActive(true);
    pc.ports.ClearAccesses();
    return lpt;
  }

  std::vector<std::string> Accesses() {
    std::vector<std::string> lines;
    char text[32];
    for (const auto& a : pc.ports.Accesses()) {
      std::snprintf(text, sizeof text, "%s %03X %02X", a.write ? "out" : "in", a.port, a.value);
      lines.push_back(text);
    }
    return lines;
  }
};

// --- The driver client's port accesses --------------------------------------------------------

class DriverClient : public Lpt {
 protected:
  void SetUp() override {
    Lpt::SetUp();
    vport_plug(lpt1, &vport_loopback_plug);
  }
};

TEST_F(DriverClient, EachAccessIsOneRequestWithTheAgreedBuffers) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  pc.core.journal.Clear();
  pc.ports.ClearAccesses();
  EXPECT_TRUE(driver.ClaimPort(0x378));
  driver.WritePort(0x378, 0x01);
  EXPECT_EQ(driver.ReadPort(0x379) & 0x08, 0x08);  // D0 looped back to Fault
  EXPECT_EQ(driver.ReadPort(0x378), 0x01);
  // The last port: all sixteen bits of its number reach the driver, which refuses it.
  driver.WritePort(0xFFFF, 0xA5);
  EXPECT_EQ(driver.ReadPort(0xFFFF), 0) << "a refused read answers nothing";
  EXPECT_EQ(driver.FailedRequests(), 2u);
  const std::vector<std::string> requests = pc.core.journal.Lines();
  const std::vector<std::string> expected = {", 0x9c40200c, [78 03], 2, null, 0, ptr, null)",
                                             ", 0x9c402008, [78 03 01], 3, null, 0, ptr, null)",
                                             ", 0x9c402004, [79 03], 2, ptr, 1, ptr, null)",
                                             ", 0x9c402004, [78 03], 2, ptr, 1, ptr, null)",
                                             ", 0x9c402008, [ff ff a5], 3, null, 0, ptr, null)",
                                             "GetLastError()",
                                             ", 0x9c402004, [ff ff], 2, ptr, 1, ptr, null)",
                                             "GetLastError()"};
  ASSERT_EQ(requests.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    // A refused request is asked why: a port that went away is told apart from the others.
    if (expected[i] == "GetLastError()") {
      EXPECT_EQ(requests[i], expected[i]);
      continue;
    }
    EXPECT_EQ(requests[i].rfind("DeviceIoControl(", 0), 0u) << requests[i];
    EXPECT_TRUE(requests[i].ends_with(expected[i])) << requests[i];
  }
  EXPECT_EQ(Accesses(), (std::vector<std::string>{"out 378 01", "in 379 8F", "in 378 01"}));
}

TEST_F(DriverClient, FailedRequestReadsZeroAndTheNextOneWorks) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  ASSERT_TRUE(driver.ClaimPort(0x378));
  driver.WritePort(0x378, 0x5A);
  pc.core.faults.Fail("DeviceIoControl", ERROR_GEN_FAILURE);
  EXPECT_EQ(driver.ReadPort(0x378), 0) << "a failed request answers nothing of the buffer";
  EXPECT_EQ(driver.ReadPort(0x378), 0x5A);
  EXPECT_NE(driver.DeviceHandle(), -1) << "one failed request does not close the device";
}

TEST_F(DriverClient, WithoutADeviceReadsGiveZeroAndNothingReachesTheSystem) {
  TvlLptDriver driver;
  EXPECT_EQ(driver.ReadPort(0x379), 0);
  driver.WritePort(0x378, 0x55);
  EXPECT_EQ(pc.core.journal.Count("DeviceIoControl"), 0u);
  EXPECT_TRUE(pc.ports.Accesses().empty());
}

TEST_F(DriverClient, NineXFamilyUsesPortInstructionsAndNoDriver) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  TvlLptDriver driver;
  driver.WritePort(0x378, 0x02);  // before Open too
  EXPECT_EQ(driver.ReadPort(0x378), 0x02);
  EXPECT_EQ(driver.Open(), TvlLptDriver::kDirectHandle);
  EXPECT_EQ(driver.DeviceHandle(), -1);
  driver.Close();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.core.journal.Count("OpenSCManagerA") + pc.core.journal.Count("CreateFileA"), 0u);
  EXPECT_EQ(pc.ports.Count(sim::SimPortBus::By::Program), 2u);
}

// --- Selection ---------------------------------------------------------------------------------

TEST_F(Lpt, NewComponentIsClosedInDirectModeOnLpt1) {
  TvlLPT lpt(nullptr);
  EXPECT_TRUE(lpt.GetDirectMode());
  EXPECT_EQ(lpt.GetLptPortNo(), 1);
  EXPECT_EQ(lpt.GetLptPort(), lpLPT1);
  EXPECT_EQ(lpt.GetLptIOBase(), 0);
  EXPECT_FALSE(lpt.GetActive());
  EXPECT_EQ(lpt.Handle(), 4294967295u);
  EXPECT_EQ(LptModeNames[10], std::string("ECP_SW"));
}

TEST_F(Lpt, PortNumberProcedureClosesTakesTheBaseReopensAndNotifiesEveryTime) {
  auto lpt = OpenLpt1();
  lpt->AddPortDevice("LPT1", 1, 0x378);
  lpt->AddPortDevice("LPT2", 2, 0x278);
  lpt->AddPortDevice("LPT2", 2, 0x3BC);  // a second entry of the same number loses
  Counter counter;
  lpt->AddNotify(TvlNotifyProc::Of<&Counter::Notify>(&counter));

  pc.core.journal.Clear();
  lpt->SetLptPortNo(1);  // the same number: closed and opened again all the same
  EXPECT_EQ(counter.calls, 1);
  EXPECT_EQ(pc.core.journal.Count("DeleteService"), 1u);
  EXPECT_EQ(pc.core.journal.Count("StartServiceA"), 1u);
  EXPECT_TRUE(lpt->GetActive());

  lpt->SetLptPortNo(2);
  EXPECT_EQ(lpt->GetLptIOBase(), 0x278);
  EXPECT_EQ(lpt->GetDeviceIndex(), 1);
  lpt->SetLptPortNo(7);  // no such device: the base stays
  EXPECT_EQ(lpt->GetLptIOBase(), 0x278);
  EXPECT_EQ(lpt->GetLptPort(), lpLPTxx);
  lpt->SetLptPort(lpLPTxx);  // changes nothing at all
  EXPECT_EQ(lpt->GetLptPortNo(), 7);
  EXPECT_EQ(counter.calls, 3);
  lpt->SetLptPort(lpLPT3);
  EXPECT_EQ(lpt->GetLptPortNo(), 3);
  lpt->SetLptPortNo(0);
  EXPECT_EQ(lpt->GetLptPort(), lpLPTxx);

  lpt->SetDeviceIndex(-1);
  lpt->SetDeviceIndex(lpt->DeviceCount());
  EXPECT_EQ(counter.calls, 5);
  lpt->SetDeviceIndex(0);
  EXPECT_EQ(lpt->GetLptPortNo(), 1);
  EXPECT_EQ(lpt->GetLptIOBase(), 0x378);
}

TEST_F(Lpt, PortNameIsOneCharacterAfterLpt) {
  TvlLPT lpt(nullptr);
  const std::pair<int, std::string> names[] = {{1, "LPT1"}, {9, "LPT9"}, {10, "LPT:"}, {255, "LPT/"}, {0, "LPT0"}};
  for (const auto& [number, name] : names) {
    lpt.SetLptPortNo(static_cast<uint8_t>(number));
    EXPECT_EQ(lpt.GetPortName(), name);
  }
  TvlLPT empty(nullptr);
  EXPECT_EQ(empty.GetDeviceIndex(), -1);
}

TEST_F(Lpt, DirectModeSwitchReopensInTheNewModeOnlyWhenOpen) {
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  pc.files.AddDevice("\\\\.\\LPT1", device);
  TvlLPT lpt(nullptr);
  lpt.SetDirectMode(false);  // closed: only stored
  EXPECT_EQ(device->Opens(), 0u);
  lpt.SetActive(true);
  EXPECT_EQ(device->InitRequests(), 1u);
  lpt.SetDirectMode(false);
  EXPECT_EQ(device->Opens(), 1u);
  lpt.SetLptIOBase(0x378);
  lpt.SetDirectMode(true);
  EXPECT_FALSE(device->IsOpen());
  EXPECT_NE(pc.services.Find("vlio"), nullptr);
  lpt.SetActive(false);
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
}

// --- Open failures -------------------------------------------------------------------------------

struct Fatal {
  bool clear = false;
  std::vector<std::string> messages;
  void Handle(fw::TObject*, uint32_t code, uint32_t detail, const std::string& message, bool& raise) {
    messages.push_back(std::to_string(code) + "/" + std::to_string(detail) + " " + message);
    if (clear) raise = false;
  }
  /// Hears `lpt`'s fatal errors from now on.
  void Listen(TvlLPT& lpt) { lpt.OnFatalError = TOnFatalErrorEvent::Of<&Fatal::Handle>(this); }
};

TEST_F(Lpt, HandleModeOpenFailureNamesThePortAndTheSystemsText) {
  TvlLPT lpt(nullptr);
  lpt.SetLptPortNo(2);
  lpt.SetDirectMode(false);
  EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }),
            "LPT2 open is failed.\rThe system cannot find the file specified");
  EXPECT_FALSE(lpt.GetActive());
  EXPECT_EQ(pc.core.journal.Lines().back().substr(0, 25), "FormatMessageA(0x1200, nu");
}

TEST_F(Lpt, PortHeldByAnotherProgramIsReportedInTheSystemsWords) {
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  pc.files.AddDevice("\\\\.\\LPT1", device);
  TvlLPT other(nullptr), lpt(nullptr);
  other.SetDirectMode(false);
  other.SetActive(true);
  lpt.SetDirectMode(false);
  Fatal fatal{.clear = true, .messages = {}};
  fatal.Listen(lpt);
  lpt.SetActive(true);
  EXPECT_EQ(fatal.messages, std::vector<std::string>{"10/0 LPT1 open is failed.\rAccess is denied"});
  EXPECT_FALSE(lpt.GetActive());
  // Left behind: nothing of ours; the other program keeps its handle, and once it lets go
  // the port opens.
  EXPECT_EQ(pc.core.handles.OpenCount("File") + pc.core.handles.OpenCount("Device"), 1u);
  other.SetActive(false);
  EXPECT_FALSE(device->IsOpen());
  lpt.SetActive(true);
  EXPECT_TRUE(lpt.GetActive());
}

TEST_F(Lpt, NotElevatedTheServiceManagerRefusesAndTheUserReadsAccessIsDenied) {
  pc.services.SetElevated(false);
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }), "Create service failed.\rAccess is denied");
  EXPECT_FALSE(lpt.GetActive());
  // Left behind: nothing; the drivers folder is not the user's to write.
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_EQ(pc.core.handles.OpenCount("File") + pc.core.handles.OpenCount("Device"), 0u);
  EXPECT_FALSE(pc.disk.Exists("C:\\Windows\\System32\\drivers\\vlio.sys"));
}

TEST_F(Lpt, DeviceThatRefusesTheProgramIsReportedAsAccessDeniedWithoutAPortAccess) {
  pc.core.faults.Fail("AdjustTokenPrivileges", ERROR_ACCESS_DENIED);
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  Fatal fatal{.clear = true, .messages = {}};
  fatal.Listen(lpt);
  lpt.SetActive(true);
  EXPECT_EQ(fatal.messages, std::vector<std::string>{"10/0 LPT1 open is failed.\rAccess is denied"});
  EXPECT_FALSE(lpt.GetActive());
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_EQ(pc.core.handles.OpenCount("Device"), 0u);
}

TEST_F(Lpt, DriverTheSystemRefusesToLoadIsReportedWithItsReason) {
  const std::pair<DWORD, std::string> refusals[] = {
      {ERROR_DRIVER_BLOCKED, "This driver has been blocked from loading"},
      {ERROR_INVALID_IMAGE_HASH, "Windows cannot verify the digital signature for this file"},
  };
  const std::pair<DWORD, std::string> causes[] = {
      {ERROR_DRIVER_BLOCKED, "\rWindows' vulnerable-driver blocklist or this machine's driver policy blocks it."},
      {ERROR_INVALID_IMAGE_HASH, "\rThis Windows loads only kernel drivers that Microsoft has signed (64-bit Windows 10"
                                 " and later, or Secure Boot on), and Pinscope's driver is not."},
  };
  for (const auto& [refusal, text] : refusals) {
    SCOPED_TRACE(refusal);
    sim::InstalledPc fresh;
    fresh.resources.Add(RT_RCDATA, "VLIOBIN", kLptImage);
    fresh.kernel.RefuseImage(kLptImage, refusal);
    TvlLPT lpt(nullptr);
    lpt.SetLptIOBase(0x378);
    const std::string message = fw::RaisedMessage([&] { lpt.SetActive(true); });
    EXPECT_TRUE(message.starts_with("Start service failed.\r" + text)) << message;
    for (const auto& [error, cause] : causes)
      if (error == refusal) {
        EXPECT_TRUE(message.ends_with(cause)) << "the cause on a line of its own: " << message;
      }
    EXPECT_FALSE(lpt.GetActive());
    // Nothing left behind: no service, no handle of any kind.
    EXPECT_EQ(fresh.services.Find("vlio"), nullptr);
    EXPECT_EQ(fresh.services.OpenHandles(), 0u);
    EXPECT_EQ(fresh.core.handles.OpenCount("Device") + fresh.core.handles.OpenCount("File") +
                  fresh.core.handles.OpenCount("Token"),
              0u);
  }
}

TEST_F(Lpt, DirectModeWithoutBaseAddressReportsButStaysOpen) {
  TvlLPT lpt(nullptr);
  EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }),
            "LPT1 open in Direct Mode is failed. Base I/O port is NULL");
  EXPECT_TRUE(lpt.GetActive());
  lpt.SetLptIOBase(0x378);  // usable now without reopening
  lpt.WriteData(0x5A);
  EXPECT_EQ(lpt.ReadData(), 0x5A);
}

TEST_F(Lpt, BaseWhoseRegistersReachASystemPortIsRefusedBeforeAnythingIsInstalled) {
  struct Case {
    uint16_t base;
    const char* said;  // "Base I/O port <base> reaches system port <the first register there>"
  };
  // Each register position, and the 16-bit wrap: 0xFFFE's control register is port 0.
  const Case cases[] = {
      {0xCF8, "0xCF8 reaches system port 0xCF8"}, {0xCF7, "0xCF7 reaches system port 0xCF8"},
      {0xCF6, "0xCF6 reaches system port 0xCF8"}, {0xCFF, "0xCFF reaches system port 0xCFF"},
      {0x3EE, "0x3EE reaches system port 0x3F0"}, {0x36F, "0x36F reaches system port 0x370"},
      {0xA77, "0xA77 reaches system port 0xA79"}, {0x3F5, "0x3F5 reaches system port 0x3F5"},
      {0x4CF, "0x4CF reaches system port 0x4D0"}, {0x1, "0x1 reaches system port 0x1"},
      {0xFE, "0xFE reaches system port 0xFE"},    {0xFFFE, "0xFFFE reaches system port 0x0"}};
  for (const bool nine_x : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << std::hex << c.base << (nine_x ? " 9x" : " NT"));
      sim::InstalledPc fresh;
      fresh.resources.Add(RT_RCDATA, "VLIOBIN", kLptImage);
      fresh.kernel.AddImage(kLptImage, &DriverEntry);
      if (nine_x) fresh.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
      TvlLPT lpt(nullptr);
      lpt.SetLptIOBase(c.base);
      Fatal fatal{.clear = true, .messages = {}};
      fatal.Listen(lpt);
      lpt.SetActive(true);
      EXPECT_EQ(fatal.messages, std::vector<std::string>{
                                    std::string("10/0 LPT1 open in Direct Mode is failed. Base I/O port ") + c.said +
                                    ", which belongs to the machine's own devices and is never served"});
      EXPECT_FALSE(lpt.GetActive());
      EXPECT_EQ(fresh.services.Find("vlio"), nullptr);
      EXPECT_EQ(fresh.kernel.LoadedDrivers(), 0u);
      EXPECT_EQ(fresh.core.handles.OpenCount("Device") + fresh.core.handles.OpenCount("File"), 0u);
      EXPECT_TRUE(fresh.ports.Accesses().empty());
    }
  }
  // Without a handler the refusal is raised, as every failed open is.
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0xCF8);
  EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }),
            "LPT1 open in Direct Mode is failed. Base I/O port 0xCF8 reaches system port 0xCF8, which belongs to "
            "the machine's own devices and is never served");
}

TEST_F(Lpt, OnlyServedParallelPortsOpenAndARefusalLeavesNothingInstalled) {
  for (const uint16_t base : {0x278, 0x3BC, 0x378}) {
    SCOPED_TRACE(testing::Message() << std::hex << base);
    TvlLPT lpt(nullptr);
    lpt.SetLptIOBase(base);
    lpt.SetActive(true);
    EXPECT_TRUE(lpt.GetActive());
  }
  // Bases just clear of the system ports are no parallel port either.
  for (const uint16_t base : {0x100, 0xCF5, 0xD00, 0x36D, 0x3F8, 0x16D, 0xFFFD, 0xA76, 0xA7A, 0x379}) {
    SCOPED_TRACE(testing::Message() << std::hex << base);
    TvlLPT lpt(nullptr);
    lpt.SetLptIOBase(base);
    EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }),
              "LPT1 open in Direct Mode is failed. Base I/O port 0x" + fw::HexText(base) +
                  " is not a parallel port that Windows knows. Served are the ports under \"Ports (COM & LPT)\" in "
                  "Device Manager, at the addresses on their Resources tab, and the legacy addresses 0x3BC, 0x378, "
                  "0x278 unless Windows lists a parallel port whose address the driver could not tell");
    EXPECT_FALSE(lpt.GetActive());
    ASSERT_TRUE(lpt.OpenError());
    EXPECT_EQ(lpt.OpenError()->system_error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(lpt.PortRefused());
    EXPECT_EQ(pc.services.Find("vlio"), nullptr) << "nothing left installed";
    EXPECT_EQ(pc.core.handles.OpenCount("Device"), 0u);
  }
  EXPECT_EQ(pc.services.Find("vlio"), nullptr) << "each closed again when destroyed";
}

TEST_F(Lpt, APortInUseByWindowsPrintingIsRefusedUntilThePrintJobEnds) {
  pc.kernel.SetParallelPort(0x378, true);
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  Fatal fatal{.clear = true, .messages = {}};
  fatal.Listen(lpt);
  lpt.SetActive(true);
  EXPECT_EQ(fatal.messages, std::vector<std::string>{
                                "10/0 LPT1 open in Direct Mode is failed. The port at 0x378 is in use by another program "
                                "or by Windows' printing; try again when the print job has finished"});
  EXPECT_FALSE(lpt.GetActive());
  ASSERT_TRUE(lpt.OpenError());
  EXPECT_EQ(lpt.OpenError()->system_error, DWORD{ERROR_BUSY});
  EXPECT_EQ(pc.services.Find("vlio"), nullptr) << "nothing left installed";
  pc.kernel.SetParallelPort(0x378, false);
  lpt.SetActive(true);
  EXPECT_TRUE(lpt.GetActive());
  lpt.WriteData(0x5A);
  EXPECT_EQ(lpt.ReadData(), 0x5A);
}

TEST_F(Lpt, ALegacyBaseWindowsMayOwnIsRefusedWithWhyAndAPortThatWentAwayWithThat) {
  // Windows lists a card vlio cannot serve, which may sit at any legacy base.
  pc.kernel.AddParallelPortInMemory();
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x278);
  EXPECT_EQ(fw::RaisedMessage([&] { lpt.SetActive(true); }),
            "LPT1 open in Direct Mode is failed. Base I/O port 0x278 is a legacy address, which is not served on "
            "this machine: Windows lists a parallel port whose address the driver could not tell (or one that came "
            "after it started), and Windows' printing may drive that port at this address. Served are the ports "
            "under \"Ports (COM & LPT)\" in Device Manager, at the addresses on their Resources tab");
  ASSERT_TRUE(lpt.OpenError());
  EXPECT_EQ(lpt.OpenError()->system_error, DWORD{ERROR_INVALID_ADDRESS});
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);

  // A port Windows describes stays served; pulled out while open, its registers read 0, writes
  // change nothing and nothing is raised, as for any refused request; its next open says why.
  pc.kernel.SetParallelPort(0x378, false);
  lpt.SetLptIOBase(0x378);
  lpt.SetActive(true);
  lpt.WriteData(0x5A);
  EXPECT_EQ(lpt.ReadData(), 0x5A);
  EXPECT_FALSE(lpt.Driver().PortRemoved());
  pc.kernel.RemoveParallelPort(0x378);
  pc.ports.ClearAccesses();
  EXPECT_EQ(lpt.ReadData(), 0);
  lpt.WriteData(0xA5);
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_TRUE(lpt.Driver().PortRemoved());
  EXPECT_TRUE(lpt.GetActive());
  lpt.SetLptIOBase(0x3BC);
  EXPECT_EQ(lpt.ReadData(), 0) << "no legacy base is served by the driver's own hold here";
  lpt.SetActive(false);
  EXPECT_TRUE(pc.kernel.DriverFaults().empty()) << pc.kernel.DriverFaults().front();
}

TEST_F(Lpt, ABaseChangedWhileOpenIsClaimedAtTheNextAccessAndARefusalAnswersAsARefusedRequest) {
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  lpt.SetActive(true);
  lpt.SetLptIOBase(0xD000);  // raises nothing
  const size_t requests = pc.core.journal.Count("DeviceIoControl");
  pc.ports.ClearAccesses();
  EXPECT_EQ(lpt.ReadData(), 0);
  EXPECT_FALSE(lpt.SendByte(0x41));
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_TRUE(lpt.GetActive());
  lpt.SetLptIOBase(0x278);
  lpt.WriteData(0x5A);
  EXPECT_EQ(Accesses(), std::vector<std::string>{"out 278 5A"});
  // A refused claim at each access (one read, the byte's data write and two pin changes), then
  // one claim and the write.
  EXPECT_EQ(pc.core.journal.Count("DeviceIoControl") - requests, 1u + 5 + 1 + 1);
}

TEST_F(Lpt, TheDriverClientGetsNothingFromASystemPortAndTheBusSeesNothing) {
  TvlLptDriver driver;
  ASSERT_NE(driver.Open(), -1);
  pc.ports.ClearAccesses();
  for (const uint16_t port : {0x00, 0x70, 0xB2, 0xCF9, 0xCFC}) {
    driver.WritePort(port, 0x06);
    EXPECT_EQ(driver.ReadPort(port), 0) << std::hex << port;
  }
  EXPECT_TRUE(pc.ports.Accesses().empty());
  ASSERT_TRUE(driver.ClaimPort(0x378));
  driver.WritePort(0x378, 0x5A);
  EXPECT_EQ(driver.ReadPort(0x378), 0x5A);
}

TEST_F(Lpt, NoRegisterAccessReachesASystemPortWhateverTheBaseBecame) {
  struct Case {
    uint16_t base;
    std::vector<std::string> reached;  // by writing each register, reading each, and SetPin(15)
    bool served;  // a parallel port the driver serves; the NT family's bus sees only those
  };
  const Case cases[] = {
      {0x36E, {"out 36E", "out 36F", "in 36E", "in 36F", "in 36F", "out 36F"}, false},
      {0xA78, {"out A78", "out A7A", "in A78", "in A7A"}, false},
      {0xFFFE, {"out FFFE", "out FFFF", "in FFFE", "in FFFF", "in FFFF", "out FFFF"}, false},  // control wraps to 0
      // LPT2: its status register is the Plug and Play address port, read but never written.
      {0x278, {"out 278", "out 27A", "in 278", "in 279", "in 27A", "in 279"}, true},
      {0, {}, false},
  };
  for (const bool nine_x : {false, true}) {
    if (nine_x) pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << std::hex << c.base << (nine_x ? " 9x" : " NT"));
      TvlLPT lpt(nullptr);
      Fatal fatal{.clear = true, .messages = {}};
      fatal.Listen(lpt);
      // Base 0 is kept open as it is; any other base is set after a clean open.
      lpt.SetLptIOBase(c.base == 0 ? 0 : 0x378);
      lpt.SetActive(true);
      ASSERT_TRUE(lpt.GetActive());
      lpt.SetLptIOBase(c.base);
      pc.ports.ClearAccesses();
      const size_t requests = pc.core.journal.Count("DeviceIoControl");
      lpt.WriteData(0x5A);
      lpt.WriteStatus(0x5A);
      lpt.WriteControl(0x5A);
      const uint8_t read[] = {lpt.ReadData(), lpt.ReadStatus(), lpt.ReadControl()};
      lpt.SetPin(15, true);
      std::vector<std::string> reached;
      for (const std::string& access : Accesses()) reached.push_back(access.substr(0, access.rfind(' ')));
      EXPECT_EQ(reached, nine_x || c.served ? c.reached : std::vector<std::string>{});
      // Each access the NT family asks for: a claim first where served, a refused claim each elsewhere.
      EXPECT_EQ(pc.core.journal.Count("DeviceIoControl") - requests, nine_x ? 0u : c.reached.size() + c.served)
          << "a skipped register is not even asked for";
      // A skipped read answers 0, where a port nobody decodes would read 0xFF.
      for (unsigned offset = 0; offset < 3; ++offset) {
        const bool skipped = std::ranges::none_of(c.reached, [&](const std::string& access) {
          return access.rfind("in ", 0) == 0 && std::stoul(access.substr(3), nullptr, 16) == ((c.base + offset) & 0xFFFF);
        });
        if (skipped) {
          EXPECT_EQ(read[offset], 0) << offset;
        }
      }
    }
  }
}

TEST_F(Lpt, TheSystemsErrorComesWithTheFailureFromEitherAccessAndTheLoader) {
  struct Case {
    const char* what;
    bool direct;
    std::function<std::unique_ptr<TvlLPT>(sim::InstalledPc&)> arrange;  // gives what must stay open
    uint32_t code, detail;
    DWORD system_error;
  };
  const Case cases[] = {
      {"the port's device is held", false,
       [](sim::InstalledPc& fresh) {
         fresh.files.AddDevice("\\\\.\\LPT1", std::make_shared<sim::LptDevice>(fresh.core));
         auto other = std::make_unique<TvlLPT>(nullptr);
         other->SetDirectMode(false);
         other->SetActive(true);
         return other;
       },
       10, 0, ERROR_ACCESS_DENIED},
      {"the driver's device refuses", true,
       [](sim::InstalledPc& fresh) {
         fresh.core.faults.Fail("AdjustTokenPrivileges", ERROR_ACCESS_DENIED);
         return nullptr;
       },
       10, 0,
       ERROR_ACCESS_DENIED},
      {"the loader may not install", true,
       [](sim::InstalledPc& fresh) {
         fresh.services.SetElevated(false);
         return nullptr;
       },
       7,
       ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstalledPc fresh;
    fresh.resources.Add(RT_RCDATA, "VLIOBIN", kLptImage);
    fresh.kernel.AddImage(kLptImage, &DriverEntry);
    const std::unique_ptr<TvlLPT> holder = c.arrange(fresh);
    TvlLPT lpt(nullptr);
    lpt.SetLptIOBase(0x378);
    lpt.SetDirectMode(c.direct);
    Fatal fatal, loader;
    fatal.Listen(lpt);
    lpt.Driver().OnError = TOnFatalErrorEvent::Of<&Fatal::Handle>(&loader);
    const std::string raised = fw::RaisedMessage([&] { lpt.SetActive(true); });
    ASSERT_TRUE(lpt.OpenError());
    const FatalError& error = *lpt.OpenError();
    EXPECT_EQ(raised, error.message);
    EXPECT_EQ(error.system_error, c.system_error);
    const std::string reported = std::to_string(c.code) + "/" + std::to_string(c.detail) + " " + error.message;
    // The loader's failure is its own event's, never the component's.
    EXPECT_EQ(fatal.messages, c.code == 7 ? std::vector<std::string>{} : std::vector<std::string>{reported});
    EXPECT_EQ(loader.messages, c.code == 7 ? std::vector<std::string>{reported} : std::vector<std::string>{});
  }
  // Refusals of the component's own carry no system error, and an open that goes well clears it.
  TvlLPT lpt(nullptr);
  Fatal fatal{.clear = true, .messages = {}};
  fatal.Listen(lpt);
  lpt.SetActive(true);
  ASSERT_TRUE(lpt.OpenError());
  EXPECT_EQ(lpt.OpenError()->system_error, static_cast<DWORD>(ERROR_SUCCESS));
  lpt.SetActive(false);
  lpt.SetLptIOBase(0x378);
  lpt.SetActive(true);
  EXPECT_FALSE(lpt.OpenError());
}

TEST_F(Lpt, WhileLoadingAFailedOpenOnlyReachesTheHandler) {
  TvlLPT lpt(nullptr);
  Fatal fatal;
  fatal.Listen(lpt);
  lpt.BeginLoading();
  lpt.SetDirectMode(false);
  lpt.SetActive(true);
  EXPECT_TRUE(fatal.messages.empty());  // loading only stores
  lpt.Loaded();                         // the open fails, and the base shows its box
  EXPECT_EQ(fatal.messages.size(), 1u);
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  EXPECT_EQ(pc.windows.Boxes()[0].text, "error");
}

TEST_F(Lpt, DestroyingAnOpenComponentClosesItFirst) {
  OpenLpt1().reset();
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.core.handles.OpenCount("File"), 0u);
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
}

// --- Registers and pins --------------------------------------------------------------------------

TEST_F(Lpt, PinsAreReadModifyWritesOfTheirRegisters) {
  auto lpt = OpenLpt1();
  lpt->WriteData(0x81);
  lpt->SetPin(5, true);
  EXPECT_EQ(lpt->ReadData(), 0x89);
  lpt->WriteData(0xFF);
  lpt->SetPin(2, false);
  EXPECT_EQ(lpt->ReadData(), 0xFE);
  lpt->WriteControl(0x04);
  lpt->SetPin(17, true);
  EXPECT_EQ(lpt->ReadControl() & 0x0F, 0x0C);
  lpt->WriteControl(0x0F);
  lpt->SetPin(14, false);
  EXPECT_EQ(lpt->ReadControl() & 0x0F, 0x0D);

  pc.ports.ClearAccesses();
  lpt->SetPin(15, true);  // a status pin: read and written back at B + 1
  const auto accesses = Accesses();
  ASSERT_EQ(accesses.size(), 2u);
  EXPECT_EQ(accesses[0].substr(0, 6), "in 379");
  EXPECT_EQ(accesses[1].substr(0, 7), "out 379");
}

TEST_F(Lpt, PinsWithoutARegisterBitTouchNothing) {
  auto lpt = OpenLpt1();
  for (int pin : {0, 18, 25, 26, -1}) {
    EXPECT_FALSE(lpt->GetPin(pin));
    lpt->SetPin(pin, true);
  }
  EXPECT_TRUE(pc.ports.Accesses().empty());
}

TEST_F(Lpt, EveryPinReadsItsOwnRegisterBit) {
  auto lpt = OpenLpt1();
  vport_plug(lpt1, &vport_loopback_plug);
  lpt->WriteData(0x1F);  // D0..D4 high: Fault, Select, Paper out and Ack high, Busy high (bit 7 reads 0)
  EXPECT_TRUE(lpt->GetPin(15));
  EXPECT_TRUE(lpt->GetPin(13));
  EXPECT_TRUE(lpt->GetPin(12));
  EXPECT_TRUE(lpt->GetPin(10));
  EXPECT_FALSE(lpt->GetPin(11));
  lpt->WriteData(0x00);
  EXPECT_TRUE(lpt->GetPin(11));
  EXPECT_FALSE(lpt->GetPin(15));
  pc.ports.ClearAccesses();
  for (int pin = 1; pin <= 17; ++pin) lpt->GetPin(pin);
  EXPECT_EQ(pc.ports.Accesses().size(), 17u);  // one read each, nothing cached
}

TEST_F(Lpt, HandleModeReachesNoRegister) {
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  pc.files.AddDevice("\\\\.\\LPT1", device);
  TvlLPT lpt(nullptr);
  lpt.SetDirectMode(false);
  lpt.SetActive(true);
  lpt.WriteData(0xFF);
  lpt.SetPin(2, true);
  EXPECT_EQ(lpt.ReadData(), 0);
  EXPECT_FALSE(lpt.GetPin(2));
  EXPECT_TRUE(pc.ports.Accesses().empty());
  const DWORD before = win::GetTickCount();
  EXPECT_FALSE(lpt.WaitStatus(0x80, 0x80, 20));
  EXPECT_EQ(win::GetTickCount() - before, 21u);
  EXPECT_TRUE(lpt.WaitStatus(0x80, 0x00, 20));
}

// Sampling answers in the driver's layout whichever way reaches the registers: the driver's
// loop on NT, the same loop with the program's own IN instructions on the 9x family.
TEST_F(DriverClient, SamplingAnswersInTheDriversLayoutAndRefusesWhereNoRegisterIsReached) {
  constexpr unsigned kOffsets[] = {TvlLPT::kStatusRegister, TvlLPT::kControlRegister};
  for (const bool nine_x : {false, true}) {
    SCOPED_TRACE(nine_x ? "9x" : "NT");
    pc.process.SetPlatformId(nine_x ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT);
    std::unique_ptr<TvlLPT> lpt = OpenLpt1();
    lpt->WriteData(0x10);  // D4 reaches Busy through the plug
    const uint8_t status = lpt->ReadStatus(), control = lpt->ReadControl();
    std::vector<uint8_t> answer;
    ASSERT_TRUE(lpt->SampleRegisters(kOffsets, 50, VLIO_SAMPLE_MAX_MICROSECONDS, answer)) << win::GetLastError();
    VLIO_SAMPLE_OUTPUT header;
    ASSERT_GE(answer.size(), sizeof header + sizeof(VLIO_SAMPLE_RECORD));
    std::memcpy(&header, answer.data(), sizeof header);
    EXPECT_EQ(header.Rounds, 50u);
    EXPECT_EQ(header.Ended, VLIO_SAMPLE_ENDED_ROUNDS);
    EXPECT_EQ(answer.size(), sizeof header + header.Records * sizeof(VLIO_SAMPLE_RECORD));
    VLIO_SAMPLE_RECORD first;
    std::memcpy(&first, answer.data() + sizeof header, sizeof first);
    EXPECT_EQ(first.Values[0], status);
    EXPECT_EQ(first.Values[1], control);
    EXPECT_EQ(pc.ports.Count(nine_x ? sim::SimPortBus::By::Program : sim::SimPortBus::By::Driver), 103u)
        << "a write, two reads and fifty rounds of two";
    // A base with no parallel port behind it: the driver refuses the claim; the 9x family has
    // no driver to ask and reads whatever answers there.
    lpt->SetLptIOBase(0xD000);
    EXPECT_EQ(lpt->SampleRegisters(kOffsets, 50, 1000, answer), nine_x);
    if (!nine_x) {
      EXPECT_EQ(win::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    lpt->SetLptIOBase(0x378);
    EXPECT_FALSE(lpt->SampleRegisters(kOffsets, 0, 1000, answer)) << "no rounds asked for";
    EXPECT_EQ(win::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    lpt->SetActive(false);
  }
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  pc.files.AddDevice("\\\\.\\LPT1", device);
  TvlLPT handle_mode(nullptr);
  handle_mode.SetDirectMode(false);
  handle_mode.SetActive(true);
  std::vector<uint8_t> answer;
  EXPECT_FALSE(handle_mode.SampleRegisters(kOffsets, 50, 1000, answer));
  EXPECT_EQ(win::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(Lpt, ClosedDirectModeStillCallsTheClientWhichAnswersZero) {
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  EXPECT_EQ(lpt.ReadStatus(), 0);
  EXPECT_FALSE(lpt.GetPin(11));
  const DWORD before = win::GetTickCount();
  EXPECT_FALSE(lpt.WaitStatus(0, 0, 100));  // closed: at once, no read, no sleep
  EXPECT_EQ(win::GetTickCount(), before);
}

TEST_F(Lpt, WaitStatusWithTimeoutZeroPollsOnlyWithinTheFirstTick) {
  auto lpt = OpenLpt1();
  pc.core.journal.Clear();
  EXPECT_FALSE(lpt->WaitStatus(0x01, 0x00, 0));  // unused status bits read 1
  EXPECT_EQ(pc.core.journal.Count("DeviceIoControl"), 1u);
  EXPECT_FALSE(lpt->WaitStatus(0x01, 0x03, 5));  // a value outside the mask never matches
}

// --- Output ---------------------------------------------------------------------------------------

TEST_F(Lpt, WriteByteIsDataThenAStrobePulseInFiveAccesses) {
  auto lpt = OpenLpt1();
  lpt->WriteControl(0x04);
  pc.ports.ClearAccesses();
  lpt->WriteByte(0x41);
  const auto accesses = Accesses();
  ASSERT_EQ(accesses.size(), 5u);
  EXPECT_EQ(accesses[0], "out 378 41");
  EXPECT_EQ(accesses[1].substr(0, 6), "in 37A");
  EXPECT_EQ(accesses[2], "out 37A C5");  // control bits 6 and 7 read 1 on this port
  EXPECT_EQ(accesses[3].substr(0, 6), "in 37A");
  EXPECT_EQ(accesses[4], "out 37A C4");
}

TEST_F(Lpt, WriteStringReachesTheVirtualPrinterAndLogsOnce) {
  sim::VirtualPrinter printer(pc.core.clock);
  printer.SetBusyTime(3);
  auto lpt = OpenLpt1();
  vport_plug(lpt1, printer.Peripheral());
  lpt->WriteControl(0x0C);  // Init high, printer selected
  lpt->WriteString("Hi!");
  EXPECT_EQ(printer.ReceivedText(), "Hi!");
  lpt->WriteString("");
  EXPECT_EQ(printer.ReceivedText(), "Hi!");
}

TEST_F(Lpt, CharactersAreSkippedWhileThePrinterStaysBusy) {
  sim::VirtualPrinter printer(pc.core.clock);
  printer.SetOnline(false);
  auto lpt = OpenLpt1();
  vport_plug(lpt1, printer.Peripheral());
  const DWORD before = win::GetTickCount();
  lpt->WriteString("abc");
  EXPECT_EQ(printer.ReceivedText(), "");
  EXPECT_EQ(win::GetTickCount() - before, 3u * 101u);  // each character waits out its 100 ms
}

TEST_F(Lpt, HandleModeWritesOneByteToTheDevice) {
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  pc.files.AddDevice("\\\\.\\LPT1", device);
  TvlLPT lpt(nullptr);
  lpt.SetDirectMode(false);
  lpt.WriteByte('x');  // closed: nothing
  lpt.SetActive(true);
  lpt.WriteByte('y');
  EXPECT_EQ(device->Written(), std::vector<BYTE>{'y'});
}

TEST_F(Lpt, SendByteAnswersWhetherEveryRequestOfTheByteWentThrough) {
  auto lpt = OpenLpt1();
  EXPECT_TRUE(lpt->SendByte('a'));
  pc.core.faults.Fail("DeviceIoControl", ERROR_GEN_FAILURE);  // the data register's write
  EXPECT_FALSE(lpt->SendByte('b'));
  EXPECT_TRUE(lpt->SendByte('c')) << "the next byte stands on its own";
  lpt->SetLptIOBase(0x277);  // while open: the control register lands on the Plug and Play address port
  EXPECT_FALSE(lpt->SendByte('e')) << "a strobe the component skipped";
  lpt->SetActive(false);
  EXPECT_FALSE(lpt->SendByte('d')) << "a closed port sends nothing";
}

TEST_F(Lpt, SendStringCountsWhatWentOutWasSkippedOrStopped) {
  sim::VirtualPrinter printer(pc.core.clock);
  auto lpt = OpenLpt1();
  vport_plug(lpt1, printer.Peripheral());
  lpt->WriteControl(0x0C);
  printer.SetBusyTime(5);
  pc.time.After(1, [&] { printer.SetOnline(false); });
  TvlLPT::SendOptions options;
  options.go_on = [](std::size_t done) { return done < 3; };
  const TvlLPT::Delivery delivery = lpt->SendString("abcde", options);
  EXPECT_EQ(printer.ReceivedText(), "a");
  EXPECT_EQ(delivery.sent, 1u);
  EXPECT_EQ(delivery.skipped, 2u);
  EXPECT_EQ(delivery.failed, 0u);
  EXPECT_EQ(delivery.unsent, 2u);
  vport_plug(lpt1, nullptr);
}

TEST_F(Lpt, TheQuickHandshakeStrobesFromOneControlReadAndSleepsOnlyForABusyThatLasts) {
  sim::VirtualPrinter printer(pc.core.clock);
  auto lpt = OpenLpt1();
  vport_plug(lpt1, printer.Peripheral());
  lpt->WriteControl(0x0C);
  TvlLPT::SendOptions options;
  options.quick_handshake = true;
  pc.ports.ClearAccesses();
  pc.core.journal.Clear();
  EXPECT_EQ(lpt->SendString("Hi", options).sent, 2u);
  std::vector<std::string> accesses = Accesses();
  for (std::string& access : accesses)
    if (access.compare(0, 6, "in 379") == 0) access = "in 379";  // the printer's status, whatever it is
  EXPECT_EQ(accesses, (std::vector<std::string>{"in 37A CC", "in 379", "out 378 48", "out 37A CD", "out 37A CC", "in 379",
                                                "out 378 69", "out 37A CD", "out 37A CC"}));
  EXPECT_EQ(pc.core.journal.Count("Sleep"), 0u);

  printer.SetBusyTime(3);  // milliseconds after each byte: the waits take over
  EXPECT_EQ(lpt->SendString("!?", options).sent, 2u);
  EXPECT_EQ(printer.ReceivedText(), "Hi!?");
  EXPECT_GT(pc.core.journal.Count("Sleep"), 0u);
  vport_plug(lpt1, nullptr);
}

// --- The machine's ports ---------------------------------------------------------------------------

TEST_F(Lpt, DeviceDatabaseGivesParallelPortsInOrderWithTheirBases) {
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  pc.setup_api.AddSerialPort("COM1", 0x3F8);
  pc.setup_api.AddParallelPort("LPT2", 0x278);
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  ASSERT_EQ(lpt.DeviceCount(), 2);
  EXPECT_EQ(lpt.GetDevice(0)->Name, "LPT1");
  EXPECT_EQ(lpt.GetDevice(0)->Param, 0x378u);
  EXPECT_EQ(lpt.GetDevice(1)->Name, "LPT2");
  EXPECT_EQ(lpt.GetDevice(1)->Caption, "LPT2");
  EXPECT_EQ(lpt.GetDevice(1)->Number, 2);
  EXPECT_EQ(lpt.GetDevice(1)->Param, 0x278u);
  EXPECT_EQ(pc.registry.OpenKeyCount(), 0u);
  EXPECT_EQ(pc.setup_api.OpenSetCount(), 0u);
}

TEST_F(Lpt, SetupApiIsLoadedOnlyFromTheSystemFolder) {
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  lpt.ClearDevices();
  lpt.EnumDevices();  // loaded once, by the first enumeration
  std::vector<std::string> loads;
  for (const sim::Journal::Entry& entry : pc.core.journal.Entries())
    if (entry.name == "LoadLibraryA" && entry.line.find("ntdll") == std::string::npos) loads.push_back(entry.line);
  EXPECT_EQ(loads, std::vector<std::string>{"LoadLibraryA(\"C:\\Windows\\System32\\SetupAPI.dll\")"});
  EXPECT_EQ(lpt.DeviceCount(), 1);
}

TEST_F(Lpt, OddDeviceDatabaseEntriesAreSkippedOrFallBack) {
  const std::string enumkey = "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\";
  auto add = [&](const std::string& instance, const char* service) {
    sim::SimSetupApi::NewDevice device;
    device.instance_key = enumkey + instance;
    device.service = service;
    pc.setup_api.AddDevice(device);
    return enumkey + instance + "\\Device Parameters";
  };
  pc.registry.SetString(HKEY_LOCAL_MACHINE, add("1", "parport"), "PortName", "LPT1");  // service case differs
  pc.registry.SetString(HKEY_LOCAL_MACHINE, add("2", "Parport"), "PortName", "lpt2");   // name case differs
  pc.registry.SetString(HKEY_LOCAL_MACHINE, add("3", "Parport"), "PortName", "LPT");    // number 1
  const std::string lpt4 = add("4", "Parport");
  pc.registry.SetString(HKEY_LOCAL_MACHINE, lpt4, "PortName", "LPT4");
  pc.registry.SetBinary(HKEY_LOCAL_MACHINE, enumkey + "4\\LogConf", "BootConfig", std::vector<BYTE>(25, 0x11));
  const std::string lpt6 = add("6", "Parport");
  pc.registry.SetString(HKEY_LOCAL_MACHINE, lpt6, "PortName", "LPT99999999999");  // overflows: number 1
  const std::string full(128, 'L');
  pc.registry.SetString(HKEY_LOCAL_MACHINE, add("7", "Parport"), "PortName", "LPT7" + full.substr(4),
                        /*with_terminator=*/false);

  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  ASSERT_EQ(lpt.DeviceCount(), 4);
  EXPECT_EQ(lpt.GetDevice(0)->Name, "LPT");
  EXPECT_EQ(lpt.GetDevice(0)->Number, 1);
  EXPECT_EQ(lpt.GetDevice(1)->Param, 0x378u);  // 25 bytes: not enough
  EXPECT_EQ(lpt.GetDevice(2)->Number, 1);
  EXPECT_EQ(lpt.GetDevice(3)->Name.size(), 128u);  // all of it, and not a byte past it
  EXPECT_EQ(lpt.GetDevice(3)->Number, 1);
}

TEST_F(Lpt, BootConfigGivesTheBaseAndSpanOnlyWhenItIsAPortRangeOnA16BitPort) {
  // The list the system writes for one port range, then one field of it spoilt.
  const std::vector<BYTE> good = sim::SimSetupApi::PortResourceList(0x3BC);
  auto with = [&](size_t at, std::vector<BYTE> bytes) {
    std::vector<BYTE> list = good;
    std::copy(bytes.begin(), bytes.end(), list.begin() + static_cast<std::ptrdiff_t>(at));
    return list;
  };
  struct Case {
    const char* what;
    std::vector<BYTE> boot_config;
    uint32_t base;
  };
  const Case cases[] = {
      {"a port range at 0x3BC", good, 0x3BC},
      {"longer than one descriptor", [&] { auto l = good; l.resize(good.size() + 16, 0xAA); return l; }(), 0x3BC},
      {"cut inside the descriptor", std::vector<BYTE>(good.begin(), good.end() - 1), 0x378},
      {"no full descriptor", with(0, {0, 0, 0, 0}), 0x378},
      {"no partial descriptor", with(16, {0, 0, 0, 0}), 0x378},
      {"an interrupt, not a port range", with(20, {2}), 0x378},
      {"memory, not a port range", with(20, {3}), 0x378},
      {"a start past 16 bits", with(24, {0xBC, 0x03, 0x01, 0x00}), 0x378},
      {"a start in the high half", with(28, {0x00, 0x00, 0x00, 0x80}), 0x378},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    pc.setup_api.AddParallelPort("LPT1", 0x9999);
    pc.registry.SetValue(HKEY_LOCAL_MACHINE, pc.setup_api.Devices()[i].instance_key + "\\LogConf", "BootConfig",
                         REG_RESOURCE_LIST, cases[i].boot_config);
  }
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  ASSERT_EQ(lpt.DeviceCount(), static_cast<int>(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(lpt.GetDevice(static_cast<int>(i))->Param, cases[i].base) << cases[i].what;
    // The span is told only with a base Windows gave; 0 says the base is assumed.
    EXPECT_EQ(lpt.GetDevice(static_cast<int>(i))->Span, cases[i].base == 0x3BC ? 8u : 0u) << cases[i].what;
  }
}

TEST_F(Lpt, WineSpellingOfTheMachineHiveStillFindsThePorts) {
  pc.registry.SetHiveNames("\\REGISTRY\\Machine", "\\REGISTRY\\User");
  pc.setup_api.AddParallelPort("LPT1", 0x278);
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  ASSERT_EQ(lpt.DeviceCount(), 1);
  EXPECT_EQ(lpt.GetDevice(0)->Param, 0x278u);
}

TEST_F(Lpt, KeyNameLengthNoKernelNameCanHaveIsNotBelieved) {
  // Found by fuzzing: a sizing answer of 3 GB was allocated as asked.
  pc.setup_api.AddParallelPort("LPT1", 0x278);
  pc.setup_api.AddParallelPort("LPT2", 0x3BC);
  pc.registry.ScriptKeyName({0, 0xBC1D4C20, {}});
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  // The first device's key has no name, so it is skipped; the next one is read as usual.
  ASSERT_EQ(lpt.DeviceCount(), 1);
  EXPECT_EQ(lpt.GetDevice(0)->Name, "LPT2");
  EXPECT_EQ(pc.core.journal.Count("ZwQueryKey"), 3u) << "the name was asked for after all";
  EXPECT_EQ(pc.registry.OpenKeyCount(), 0u);
  EXPECT_EQ(pc.modules.References("ntdll.dll"), 0);
}

TEST_F(Lpt, TheDeviceSetIsDestroyedOnceWhenMadeAndNeverWhenNot) {
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  TvlLPT lpt(nullptr);
  pc.core.faults.Fail("SetupDiGetClassDevsA", ERROR_GEN_FAILURE);
  lpt.EnumDevices();
  EXPECT_EQ(pc.core.journal.Count("SetupDiDestroyDeviceInfoList"), 0u) << "the failure value is no set";
  pc.core.faults.Fail("SetupDiEnumDeviceInfo", ERROR_GEN_FAILURE);
  lpt.EnumDevices();
  EXPECT_EQ(lpt.DeviceCount(), 0);
  EXPECT_EQ(pc.core.journal.Count("SetupDiDestroyDeviceInfoList"), 1u);
  EXPECT_EQ(pc.setup_api.OpenSetCount(), 0u);
}

TEST_F(Lpt, MissingSetupApiListsNothingAndLeavesNothingLoaded) {
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  pc.modules.RemoveEntry("SetupAPI.dll", "SetupDiOpenDevRegKey");
  TvlLPT lpt(nullptr);
  fw::TStringList names;
  lpt.GetDeviceNames(&names);
  EXPECT_EQ(names.Count(), 0);
  EXPECT_EQ(pc.modules.References("SetupAPI.dll"), 0u);
}

TEST_F(Lpt, NineXFamilyListsTheSpoolersLptPortsWithTheirColon) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  pc.spooler.AddStandardPorts();
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  ASSERT_EQ(lpt.DeviceCount(), 3);
  const uint32_t bases[] = {0x378, 0x278, 0x3BC};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lpt.GetDevice(i)->Name, "LPT" + std::to_string(i + 1) + ":");
    EXPECT_EQ(lpt.GetDevice(i)->Number, i + 1);
    EXPECT_EQ(lpt.GetDevice(i)->Param, bases[i]);
  }
}

TEST_F(Lpt, SpoolerThatOverstatesItsCountIsNotReadPastItsBuffer) {
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  pc.spooler.AddStandardPorts();
  pc.spooler.OverstateCount(5);
  TvlLPT lpt(nullptr);
  lpt.EnumDevices();
  EXPECT_EQ(lpt.DeviceCount(), 3);
}

// --- Each pin's own bit, and the string output's log line ----------------------------------------

// Pins by register: the bit each one is, alone. Setting it in its register reads that pin
// and no other; SetPin from a clear register writes that bit and no other.
TEST_F(Lpt, EachOutputPinIsItsOwnRegisterBit) {
  struct Pin {
    int pin;
    bool control;  // else data
    uint8_t bit;
  };
  const std::vector<Pin> pins = {{1, true, 0x01},  {2, false, 0x01},  {3, false, 0x02}, {4, false, 0x04},
                                 {5, false, 0x08}, {6, false, 0x10},  {7, false, 0x20}, {8, false, 0x40},
                                 {9, false, 0x80}, {14, true, 0x02},  {16, true, 0x04}, {17, true, 0x08}};
  auto lpt = OpenLpt1();
  auto write = [&](bool control, uint8_t value) { control ? lpt->WriteControl(value) : lpt->WriteData(value); };
  auto read = [&](bool control) { return control ? lpt->ReadControl() & 0x0F : lpt->ReadData(); };
  for (const Pin& p : pins) {
    SCOPED_TRACE("pin " + std::to_string(p.pin));
    write(p.control, p.bit);
    for (const Pin& other : pins) {
      if (other.control == p.control) {
        EXPECT_EQ(lpt->GetPin(other.pin), other.pin == p.pin) << "pin " << other.pin;
      }
    }
    write(p.control, 0);
    lpt->SetPin(p.pin, true);
    EXPECT_EQ(read(p.control), p.bit);
    lpt->SetPin(p.pin, false);
    EXPECT_EQ(read(p.control), 0);
  }
}

// Through the loopback plug one data line at a time: D0 to Fault (15), D1 to Select (13), D2
// to Paper out (12), D3 to Ack (10), D4 to Busy (11), whose bit reads the line inverted.
TEST_F(Lpt, EachStatusPinFollowsItsOwnLine) {
  struct Line {
    uint8_t data;
    uint8_t status;        // the register, bits 0-2 unwired
    std::vector<int> set;  // of the status pins 10, 11, 12, 13, 15
  };
  auto lpt = OpenLpt1();
  vport_plug(lpt1, &vport_loopback_plug);
  for (const Line& line : std::vector<Line>{{0x00, 0x87, {11}},
                                            {0x01, 0x8F, {11, 15}},
                                            {0x02, 0x97, {11, 13}},
                                            {0x04, 0xA7, {11, 12}},
                                            {0x08, 0xC7, {10, 11}},
                                            {0x10, 0x07, {}}}) {
    lpt->WriteData(line.data);
    EXPECT_EQ(lpt->ReadStatus(), line.status) << "data " << int{line.data};
    std::vector<int> set;
    for (int pin : {10, 11, 12, 13, 15}) {
      if (lpt->GetPin(pin)) set.push_back(pin);
    }
    EXPECT_EQ(set, line.set) << "data " << int{line.data};
  }
}

TEST_F(Lpt, WriteStringLogsItsTextOncePerCallAtLevel2) {
  struct Log : TvlCustomLogFile {
    using TvlCustomLogFile::TvlCustomLogFile;
    std::vector<std::string> lines;
    void WriteLog(int level, const std::string& format, std::span<const fw::FormatArg> args) override {
      lines.push_back(std::to_string(level) + " " + fw::Format(format, args));
    }
  } log(nullptr);
  auto lpt = OpenLpt1();
  lpt->SetLog(&log);
  lpt->WriteString("Hi");
  lpt->WriteString("");
  lpt->WriteString("x");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"2 Try to send string Hi ...", "2 Try to send string x ..."}));
  lpt->SetLog(nullptr);
}

}  // namespace
