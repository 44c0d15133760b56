// pinscope-cli end to end on the simulated PC: LPT1 with the loopback plug, LPT2 with a
// printer, the driver in the PC's kernel. Each case is one run of the program, checked by its
// output, its exit code, and what it left: no service, no handler, never a message box.
#include "cli/program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/capture.h"
#include "cli/exit_codes.h"
#include "cli/report.h"
#include "cli/stop_request.h"
#include "lib/vllpt.h"
#include "sim/lpt_device.h"
#include "sim/pc.h"
#include "sim/printer.h"
#include "sim/vlio_entry.h"

namespace cli {
namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'c', 'l', 'i'};

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class Program : public testing::Test {
 protected:
  sim::InstalledPc pc;
  sim::VirtualPrinter printer{pc.core.clock};
  vport* lpt1 = nullptr;

  void SetUp() override {
    pc.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    pc.kernel.AddImage(kImage, &DriverEntry);
    lpt1 = &pc.ports.AddPort(0x378);
    vport_plug(lpt1, &vport_loopback_plug);
    vport_plug(&pc.ports.AddPort(0x278), printer.Peripheral());
    pc.setup_api.AddParallelPort("LPT1", 0x378);
    pc.setup_api.AddParallelPort("LPT2", 0x278);
  }

  void TearDown() override {
    vport_plug(&pc.ports.Port(0x278), nullptr);
    EXPECT_EQ(pc.services.Find("vlio"), nullptr) << "the driver service outlived the program";
    EXPECT_EQ(pc.core.journal.Count("MessageBoxA"), 0u);
    EXPECT_EQ(pc.process.ConsoleCtrlHandlers(), 0u);
  }

  Outcome Run(const std::string& line) {
    std::istringstream words(line);
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) arguments.push_back(word);
    std::ostringstream out, err;
    const int code = RunProgram(arguments, out, err);
    return {code, out.str(), err.str()};
  }

  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  /// The system's port device \\.\NAME, sending through `port` when given.
  std::shared_ptr<sim::LptDevice> AddPortDevice(const std::string& name, vport* port = nullptr) {
    auto device = std::make_shared<sim::LptDevice>(pc.core);
    if (port) device->Connect(*port);
    pc.files.AddDevice("\\\\.\\" + name, device);
    return device;
  }
};

TEST_F(Program, ListShowsTheMachinesPorts) {
  const Outcome text = Run("list");
  EXPECT_EQ(text.code, kDone) << text.err;
  EXPECT_EQ(text.out, "LPT1  1  0x378\nLPT2  2  0x278\n");
  const Outcome json = Run("list --json");
  EXPECT_EQ(json.out, "[{\"name\": \"LPT1\", \"number\": 1, \"base\": \"0x378\"}, "
                      "{\"name\": \"LPT2\", \"number\": 2, \"base\": \"0x278\"}]\n");
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), 0u) << "listing needs no driver";
}

TEST_F(Program, ListSaysWhetherEachPortIsFreeWhereTheSystemsPortDriverTells) {
  auto lpt1_device = AddPortDevice("LPT1");
  auto lpt2_device = AddPortDevice("LPT2");
  lpt2_device->SetHeldElsewhere(true);
  EXPECT_EQ(Run("list").out, "LPT1  1  0x378  free\nLPT2  2  0x278  held (a print job or another program has it)\n");
  EXPECT_EQ(Run("list --json").out,
            "[{\"name\": \"LPT1\", \"number\": 1, \"base\": \"0x378\", \"free\": true}, "
            "{\"name\": \"LPT2\", \"number\": 2, \"base\": \"0x278\", \"free\": false}]\n");

  lpt2_device->SetHeldElsewhere(false);
  HANDLE printing = win::CreateFileA("\\\\.\\LPT1", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(printing, INVALID_HANDLE_VALUE);  // a print job has the device open
  EXPECT_EQ(Run("list").out, "LPT1  1  0x378  held (a print job or another program has it)\nLPT2  2  0x278  free\n");
  win::CloseHandle(printing);
  EXPECT_EQ(lpt1_device->InitRequests() + lpt2_device->InitRequests(), 0u) << "listing resets no device";
}

TEST_F(Program, SetDrivesDataPinsThatComeBackThroughThePlug) {
  Outcome set = Run("set LPT1 2=1 6=1");
  EXPECT_EQ(set.code, kDone) << set.err;
  EXPECT_TRUE(Has(set.out, "LPT1 at 0x378: data 0x11")) << set.out;
  EXPECT_TRUE(Has(set.out, "Fault (15)           set    high   input")) << set.out;
  // D4 comes back on Busy, which the port inverts: the pin is high, its register bit clear.
  EXPECT_TRUE(Has(set.out, "Busy (11)            clear  high   input   inverted\n")) << set.out;
  EXPECT_TRUE(Has(set.out, "Fault (15)           set    high   input\n")) << set.out;
  // Init is high and Select in low after a reset: both bits set (Select in inverted).
  EXPECT_TRUE(Has(set.out, "Select in (17)       set    low    output")) << set.out;

  set = Run("set LPT1 2=0");  // the virtual ports start fresh only when the driver loads
  EXPECT_TRUE(Has(set.out, "Fault (15)           clear  low    input")) << set.out;
}

TEST_F(Program, ReadShowsEachPinsRegisterBitAsTheComponentReadsIt) {
  // Every output pin's register bit set, through the program: what it prints for each pin
  // must be what TvlLPT::GetPin answers for it, in the window's order.
  Run("set LPT1 1=1 14=1 17=0 16=0 --json");
  const Outcome read = Run("read LPT1 --json");
  ASSERT_EQ(read.code, kDone) << read.err;
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(0x378);
  lpt.SetActive(true);
  std::size_t at = 0;
  for (int pin = 1; pin <= 17; ++pin) {
    const std::string entry = "{\"pin\": " + std::to_string(pin) + ", ";
    at = read.out.find(entry, at);
    ASSERT_NE(at, std::string::npos) << "pin " << pin << " missing or out of order";
    const std::string bit = "\"bit\": " + std::to_string(lpt.GetPin(pin) ? 1 : 0);
    EXPECT_EQ(read.out.compare(read.out.find("\"bit\"", at), bit.size(), bit), 0) << "pin " << pin;
  }
  lpt.SetActive(false);
}

TEST_F(Program, DataWritesTheWholeRegisterInOneAccess) {
  pc.ports.ClearAccesses();
  const Outcome data = Run("data LPT1 0x1F");
  EXPECT_EQ(data.code, kDone) << data.err;
  EXPECT_TRUE(Has(data.out, "data 0x1F")) << data.out;
  std::size_t data_writes = 0;
  for (const auto& access : pc.ports.Accesses()) data_writes += access.write && access.port == 0x378;
  EXPECT_EQ(data_writes, 1u);
  EXPECT_EQ(lpt1->data, 0x1F);
}

TEST_F(Program, SelftestPassesOnThePlugAndFailsOnAPrinter) {
  const Outcome plug = Run("selftest LPT1");
  EXPECT_EQ(plug.code, kDone) << plug.out << plug.err;
  EXPECT_TRUE(Has(plug.out, "Data 0 (2) -> Fault (15)     pass")) << plug.out;
  EXPECT_TRUE(Has(plug.out, "Data 4 (6) -> Busy (11)      pass")) << plug.out;
  EXPECT_EQ(lpt1->data, 0x00) << "the data lines are put back";

  const Outcome printer_port = Run("selftest LPT2 --json");
  EXPECT_EQ(printer_port.code, kDeviceFailed);
  EXPECT_TRUE(Has(printer_port.out, "\"passed\": false")) << printer_port.out;
  EXPECT_TRUE(Has(printer_port.out, "{\"from\": 6, \"to\": 11, \"result\": \"open\"")) << printer_port.out;
}

TEST_F(Program, WriteReportsWhatWentOutAndWhatTheBusyDeviceMissed) {
  Outcome write = Run("write LPT2 hello");
  EXPECT_EQ(write.code, kDone) << write.err;
  EXPECT_EQ(write.out, "LPT2: 5 bytes sent, 0 skipped because the device stayed busy\n");
  EXPECT_EQ(printer.ReceivedText(), "hello");

  printer.SetOnline(false);  // Busy high for good
  write = Run("write LPT2 abc");
  EXPECT_EQ(write.code, kDeviceFailed);
  EXPECT_EQ(write.out, "LPT2: 0 bytes sent, 3 skipped because the device stayed busy\n");
  EXPECT_EQ(printer.ReceivedText(), "hello");
}

TEST_F(Program, WriteSendsNothingWhileTheControlLinesKeepThePrinterFromTakingBytesUnlessReady) {
  const struct {
    const char* pins;
    const char* why;
  } cases[] = {
      {"16=0", "Init (16) is low, which holds the device in reset"},
      {"17=0", "Select in (17) is high, which leaves it deselected"},
      {"1=1", "Strobe (1) is held low"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pins);
    Run(std::string("set LPT2 ") + c.pins);
    std::string received = printer.ReceivedText();  // a strobe set by hand latches the data lines
    const Outcome refused = Run("write LPT2 ab");
    EXPECT_EQ(refused.code, kDeviceFailed);
    EXPECT_TRUE(Has(refused.err, c.why)) << refused.err;
    EXPECT_TRUE(Has(refused.err, "Nothing was sent")) << refused.err;
    EXPECT_EQ(printer.ReceivedText(), received);

    const Outcome ready = Run("write LPT2 --ready ab");
    EXPECT_EQ(ready.code, kDone) << ready.err;
    EXPECT_EQ(printer.ReceivedText(), received += "ab");
    EXPECT_EQ(pc.ports.Port(0x278).control & 0x0F, VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN);
  }
}

TEST_F(Program, WriteSendsAFilesBytesInPiecesAndShowsProgress) {
  std::vector<BYTE> bytes(70000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 7);
  pc.disk.Write("C:\\data\\out.bin", bytes);
  printer.SetBusyTime(1);
  const Outcome write = Run("write LPT2 --file C:\\data\\out.bin");
  EXPECT_EQ(write.code, kDone) << write.err;
  EXPECT_EQ(write.out, "LPT2: 70000 bytes sent, 0 skipped because the device stayed busy\n");
  EXPECT_EQ(printer.Received(), bytes);
  std::vector<std::string> reads;
  for (const auto& entry : pc.core.journal.Entries()) {
    if (entry.name != "ReadFile") continue;
    const std::size_t count = entry.line.find(", ", entry.line.find(", ") + 2) + 2;  // the third argument
    reads.push_back(entry.line.substr(count, entry.line.find(',', count) - count));
  }
  reads.erase(reads.begin());  // the driver's image, as the port opens
  EXPECT_EQ(reads, (std::vector<std::string>{"65536", "4464"})) << "read as it goes out, not whole";
  EXPECT_TRUE(Has(write.err, "bytes tried after 5 s")) << write.err;
}

TEST_F(Program, FileThatIsNotAnOrdinaryFileOrTooLargeIsRefusedWithTheReason) {
  AddPortDevice("LPT1");
  pc.disk.Write("C:\\data\\big.bin", std::vector<BYTE>(16 * 1024 * 1024 + 1));
  struct Case {
    const char* file;
    const char* says;
  } const cases[] = {
      {"C:\\data\\missing.bin", "cannot read C:\\data\\missing.bin: The system cannot find the file specified"},
      {"C:\\data", "(is it a folder?)"},
      {"\\\\.\\LPT1", "is not a file on disk but a device, a pipe or the console"},
      {"C:\\data\\big.bin", "holds 16777217 bytes; --file sends at most 16 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Outcome outcome = Run(std::string("write LPT2 --file ") + c.file);
    EXPECT_EQ(outcome.code, kUsage);
    EXPECT_TRUE(Has(outcome.err, c.says)) << outcome.err;
  }
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), 0u) << "a file refused opens no port";
}

TEST_F(Program, WatchPrintsEachChangeUntilTheCount) {
  pc.time.After(250, [&] { printer.SetOnline(false); });  // Busy up, Select and Fault down
  const Outcome watch = Run("watch LPT2 --interval 100 --count 2");
  EXPECT_EQ(watch.code, kDone) << watch.err;
  EXPECT_EQ(watch.out,
            "0.000 s  start  Ack (10) high  Busy (11) low  Paper out (12) low  Select (13) high  Fault (15) high\n"
            "0.300 s  Busy (11) high\n"
            "0.300 s  Select (13) low\n");
}

TEST_F(Program, CtrlCStopsWatchClosesThePortAndRemovesTheService) {
  bool handled = false;
  pc.time.After(1000, [&] {
    EXPECT_NE(pc.services.Find("vlio"), nullptr) << "the port is open while it watches";
    handled = pc.process.RaiseConsoleCtrl(CTRL_C_EVENT);
  });
  const Outcome watch = Run("watch LPT1 --interval 5000");
  EXPECT_TRUE(handled) << "Windows would have ended the program there and then";
  EXPECT_EQ(watch.code, kStopped);
  EXPECT_TRUE(Has(watch.err, "stopped")) << watch.err;
  EXPECT_LT(pc.time.Now(), 1100u) << "a long interval still sees Ctrl+C at once";
}

TEST_F(Program, CtrlBreakDuringWriteStopsAfterTheByteInHand) {
  printer.SetBusyTime(10);
  pc.time.After(25, [&] { pc.process.RaiseConsoleCtrl(CTRL_BREAK_EVENT); });
  const Outcome write = Run("write LPT2 0123456789");
  EXPECT_EQ(write.code, kStopped);
  EXPECT_TRUE(Has(write.out, "not sent (stopped)")) << write.out;
  EXPECT_GT(printer.Received().size(), 0u);
  EXPECT_LT(printer.Received().size(), 10u);
}

TEST_F(Program, FailuresExitWithTheirCodeAndSayWhyOnStandardError) {
  struct Case {
    const char* line;
    int code;
    const char* says;
  } const cases[] = {
      {"read LPT3", kPortFailed, "LPT3 is not one of this machine's parallel ports (LPT1, LPT2)"},
      {"set LPT1 15=1", kUsage, "pin 15 (Fault) is an input"},
      {"set LPT1 30=1", kUsage, "pin 30 is not on the connector"},
      {"selftest LPT1 --handle", kUsage, "read 0 in handle mode"},
      {"read LPT3 --base 0x70", kUsage, "--base 0x70 reaches system port 0x70"},
      {"frobnicate", kUsage, "unknown command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Outcome outcome = Run(c.line);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_TRUE(Has(outcome.err, c.says)) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), 0u) << "a refused command touches no port";
  EXPECT_TRUE(pc.ports.Accesses().empty());
}

TEST_F(Program, ABytePortOrDeviceDidNotTakeCountsAsNotSent) {
  // Handle mode: the system's port driver gives up on a printer that is off line.
  AddPortDevice("LPT2", &pc.ports.Port(0x278));
  printer.SetOnline(false);
  pc.time.After(1500, [&] { printer.SetOnline(true); });
  const Outcome write = Run("write --handle LPT2 hello");
  EXPECT_EQ(write.code, kDeviceFailed);
  EXPECT_EQ(write.out, "LPT2: 4 bytes sent, 0 skipped because the device stayed busy, 1 not taken by the port\n");
  EXPECT_EQ(printer.ReceivedText(), "ello");
}

TEST_F(Program, ClosingTheConsoleStopsTheCommandAndWaitsUntilThePortIsClosed) {
  for (const DWORD event : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    SCOPED_TRACE(event);
    std::thread console;
    BOOL handled = FALSE;
    std::chrono::steady_clock::duration waited{};
    // The console calls the handler on a thread of its own; it returns, and the process ends,
    // only once the program has closed the port.
    pc.time.After(1000, [&] {
      console = std::thread([&] {
        const auto start = std::chrono::steady_clock::now();
        handled = pc.process.RaiseConsoleCtrl(event);
        waited = std::chrono::steady_clock::now() - start;
      });
    });
    const Outcome watch = Run("watch LPT1 --interval 50");
    console.join();
    EXPECT_TRUE(handled);
    EXPECT_LT(waited, std::chrono::milliseconds(kEndWaitMs)) << "the wait ended by the closed port, not the clock";
    EXPECT_EQ(watch.code, kStopped);
    EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  }
}

TEST_F(Program, WithoutElevationDirectModeAsksForAnElevatedPrompt) {
  pc.services.SetElevated(false);
  const Outcome read = Run("read LPT1");
  EXPECT_EQ(read.code, kPortFailed);
  EXPECT_TRUE(Has(read.err, "Access is denied")) << read.err;
  EXPECT_TRUE(Has(read.err, "elevated command prompt")) << read.err;
  EXPECT_TRUE(Has(read.err, "handle mode (--handle) still works")) << read.err;
}

TEST_F(Program, ADriverImageWindowsRefusesSaysWhatHandleModeStillGivesAndDoesNotSwitch) {
  sim::InstalledPc unsigned_driver;  // a machine of its own, whose loader refuses the image
  unsigned_driver.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
  unsigned_driver.kernel.RefuseImage(kImage, ERROR_INVALID_IMAGE_HASH);
  unsigned_driver.ports.AddPort(0x378);
  unsigned_driver.setup_api.AddParallelPort("LPT1", 0x378);
  const Outcome read = Run("read LPT1");
  EXPECT_EQ(read.code, kPortFailed);
  EXPECT_TRUE(Has(read.err, "Windows cannot verify the digital signature")) << read.err;
  EXPECT_TRUE(Has(read.err, "handle mode (--handle) still works")) << read.err;
  EXPECT_EQ(read.out, "") << "nothing is shown in place of the pins";
  EXPECT_FALSE(Has(Run("read LPT7").err, "--handle")) << "a port that is not there is another matter";
}

TEST_F(Program, WhatIsOddButRunsIsSaidOnStandardError) {
  // Nothing decodes 0x3BC here: the bus reads all ones.
  const Outcome read = Run("READ lpt1: --base 0x3BC --base 0x3BC");
  EXPECT_EQ(read.code, kDone) << read.err;
  EXPECT_TRUE(Has(read.out, "LPT1 at 0x3BC: data 0xFF  status 0xFF  control 0xFF")) << read.out;
  EXPECT_TRUE(Has(read.err, "--base is given more than once")) << read.err;
  EXPECT_TRUE(Has(read.err, "LPT1 is listed at 0x378; --base 0x3BC is used instead")) << read.err;
  EXPECT_TRUE(Has(read.err, "most likely nothing is at 0x3BC")) << read.err;
  EXPECT_FALSE(Has(Run("read LPT1").err, "nothing is at")) << "a port that answers";

  std::ostringstream none;
  PrintPortList(none, {}, false);
  EXPECT_TRUE(Has(none.str(), "This machine lists no parallel ports")) << none.str();
  EXPECT_TRUE(Has(none.str(), "--base")) << none.str();
}

TEST_F(Program, OutputThatCannotBeWrittenFails) {
  struct Full : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  const std::vector<std::string> list{"list"};
  EXPECT_EQ(RunProgram(list, out, err), kOutputFailed);
  EXPECT_TRUE(Has(err.str(), "the output could not be written")) << err.str();
  const std::vector<std::string> help{"--help"};
  EXPECT_EQ(RunProgram(help, out, err), kOutputFailed);
}

TEST_F(Program, WideArgumentsAreTakenExactlyOrRefused) {
  std::ostringstream out, err;
  const std::vector<std::wstring> plain{L"write", L"LPT2", L"--", L"-h"};
  EXPECT_EQ(RunProgram(plain, out, err), kDone) << err.str();
  EXPECT_EQ(printer.ReceivedText(), "-h");
  const std::vector<std::wstring> accented{L"write", L"LPT2", L"caf\u00e9"};
  EXPECT_EQ(RunProgram(accented, out, err), kUsage);
  EXPECT_TRUE(Has(err.str(), "argument 3 holds characters that the system's ANSI code page cannot hold")) << err.str();
  EXPECT_TRUE(Has(err.str(), "write --file")) << err.str();
  EXPECT_EQ(printer.ReceivedText(), "-h") << "nothing of it sent";
}

TEST_F(Program, BaseReachesAPortTheListLacks) {
  pc.ports.AddPort(0x3BC);
  const Outcome data = Run("data LPT3 0x5A --base 0x3BC");
  EXPECT_EQ(data.code, kDone) << data.err;
  EXPECT_TRUE(Has(data.out, "LPT3 at 0x3BC: data 0x5A")) << data.out;
}

TEST_F(Program, WatchFollowsTheSignalGeneratorOnLpt3) {
  pc.AddSignalGeneratorPort();
  const Outcome watch = Run("watch LPT3 --count 3 --interval 1");
  EXPECT_EQ(watch.code, kDone) << watch.err;
  // Sampled a few microseconds after each millisecond: Ack is always in its high half there.
  EXPECT_EQ(watch.out,
            "0.000 s  start  Ack (10) high  Busy (11) low  Paper out (12) high  Select (13) high  Fault (15) high\n"
            "0.001 s  Select (13) low\n"
            "0.003 s  Paper out (12) low\n"
            "0.010 s  Paper out (12) high\n");
}

TEST_F(Program, ABaseTheDriverDoesNotServeIsRefusedWithItsAnswerAndNothingStays) {
  const Outcome read = Run("read LPT3 --base 0xD000");
  EXPECT_EQ(read.code, kPortFailed);
  EXPECT_TRUE(Has(read.err, "Base I/O port 0xD000 is not a parallel port that Windows knows")) << read.err;
  EXPECT_FALSE(Has(read.err, "elevated")) << "the driver's refusal is no matter of elevation";
  EXPECT_EQ(read.out, "");
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_TRUE(pc.ports.Accesses().empty());
}

TEST_F(Program, APortWhoseCardIsPulledOutWhileWatchedEndsTheWatchWithWhy) {
  pc.ports.AddPort(0xD000);
  pc.kernel.SetParallelPort(0xD000, false);
  pc.setup_api.AddParallelPort("LPT3", 0xD000);
  pc.time.After(20, [&] { pc.kernel.RemoveParallelPort(0xD000); });
  const Outcome watch = Run("watch LPT3 --interval 5");
  EXPECT_EQ(watch.code, kPortFailed);
  EXPECT_TRUE(Has(watch.err, "LPT3 at 0xD000 went away while in use (its card was removed or disabled)"))
      << watch.err;
  // Gone for good: the next run's driver finds no such port.
  const Outcome read = Run("read LPT3");
  EXPECT_EQ(read.code, kPortFailed);
  EXPECT_TRUE(Has(read.err, "Base I/O port 0xD000 is not a parallel port that Windows knows")) << read.err;
}

TEST_F(Program, HandleModeWritesThroughTheSystemsPortDevice) {
  auto device = AddPortDevice("LPT2");
  const Outcome write = Run("write --handle LPT2 hi");
  EXPECT_EQ(write.code, kDone) << write.err;
  EXPECT_EQ(write.out, "LPT2: 2 bytes sent, 0 skipped because the device stayed busy\n");
  EXPECT_EQ(device->Written(), (std::vector<BYTE>{'h', 'i'}));
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), 0u);
}

TEST_F(Program, ReadAndWatchInHandleModeShowTheSystemsDecodedStatesWithoutResettingTheDevice) {
  auto device = AddPortDevice("LPT2", &pc.ports.Port(0x278));
  printer.SetOnline(false);  // Busy high, Select and Fault low
  const Outcome read = Run("read --handle LPT2");
  EXPECT_EQ(read.code, kDone) << read.err;
  EXPECT_EQ(read.out,
            "LPT2 in handle mode: the states the system's port driver decodes, not pin levels: 0x48\n"
            "State            Set   Stands for\n"
            "initialising     no    Init (16) low\n"
            "auto line feed   no    Auto line feed (14) low\n"
            "paper empty      no    Paper out (12) high\n"
            "off line         yes   Select (13) low\n"
            "power off        no    no one line\n"
            "not connected    no    no one line\n"
            "busy             yes   Busy (11) high\n"
            "selected         no    Select (13) high\n"
            "Not shown in handle mode: Strobe (1), Data 0 (2), Data 1 (3), Data 2 (4), Data 3 (5), Data 4 (6), Data 5 (7),"
            " Data 6 (8), Data 7 (9), Ack (10), Fault (15), Select in (17)\n");
  EXPECT_EQ(device->InitRequests(), 0u) << "the query's open does not initialise";
  EXPECT_EQ(printer.Resets(), 0u);
  EXPECT_FALSE(device->IsOpen());
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), 0u);

  const Outcome json = Run("read --handle --json LPT2");
  EXPECT_TRUE(Has(json.out, "\"mode\": \"handle\", \"system_states\": \"0x48\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "{\"state\": \"busy\", \"set\": true, \"stands_for\": {\"pin\": 11, \"level\": 1}}"))
      << json.out;
  EXPECT_TRUE(Has(json.out, "\"not_shown\": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 17]")) << json.out;
  EXPECT_FALSE(Has(json.out, "\"level\": 0}, \"pins\"")) << "no pin levels";

  pc.time.After(250, [&] { printer.SetOnline(true); });
  const Outcome watch = Run("watch --handle LPT2 --interval 100 --count 3");
  EXPECT_EQ(watch.code, kDone) << watch.err;
  EXPECT_EQ(watch.out,
            "0.000 s  start, the system's decoded states (not pin levels): off line, busy; not shown: Strobe (1), Data 0"
            " (2), Data 1 (3), Data 2 (4), Data 3 (5), Data 4 (6), Data 5 (7), Data 6 (8), Data 7 (9), Ack (10),"
            " Fault (15), Select in (17)\n"
            "0.300 s  off line clear\n0.300 s  busy clear\n0.300 s  selected set\n");
  EXPECT_EQ(device->InitRequests(), 0u);

  pc.core.faults.Fail("DeviceIoControl", ERROR_NOT_SUPPORTED);  // Wine's answer
  const Outcome refused = Run("read --handle LPT2");
  EXPECT_EQ(refused.code, kPortFailed);
  EXPECT_TRUE(Has(refused.err, "does not tell its states (IOCTL_PAR_QUERY_INFORMATION)")) << refused.err;
  EXPECT_EQ(refused.out, "");
}

TEST_F(Program, HelpAndVersionTouchNothing) {
  EXPECT_EQ(Run("--help").code, kDone);
  const Outcome version = Run("--version");
  EXPECT_EQ(version.out.rfind("pinscope-cli ", 0), 0u) << version.out;
  EXPECT_EQ(pc.core.journal.Count("SetConsoleCtrlHandler"), 0u);
}

// --- capture, on LPT3's signal generator -------------------------------------------------------

TEST_F(Program, CaptureWritesTheGeneratorsLinesToTheFilesAndTheTable) {
  pc.AddSignalGeneratorPort();
  pc.disk.MakeDirectory("C:\\data");
  const Outcome run = Run("capture LPT3 --duration 45ms --pins 10,12,13,15 --vcd C:\\data\\c.vcd "
                          "--svg C:\\data\\c.svg --json");
  ASSERT_EQ(run.code, kDone) << run.err;
  EXPECT_EQ(run.err, "") << "no progress for a capture under a second";
  EXPECT_TRUE(Has(run.out, "\"pin\": 10")) << run.out;
  const std::optional<std::vector<BYTE>> vcd = pc.disk.Read("C:\\data\\c.vcd");
  ASSERT_TRUE(vcd);
  const std::string dump(vcd->begin(), vcd->end());
  for (const char* part : {"p10_Ack", "p12_Paper_out", "p13_Select", "p15_Fault", "sampling_gap", "#450000"})
    EXPECT_TRUE(Has(dump, part)) << part;
  EXPECT_FALSE(Has(dump, "p11_Busy")) << "only the pins asked for";
  EXPECT_TRUE(pc.disk.Exists("C:\\data\\c.svg"));

  // A read takes a microsecond here: 5000 rounds of the one register span 4999 us.
  const Outcome samples = Run("capture LPT3 --samples 5000 --pins 10 --json");
  ASSERT_EQ(samples.code, kDone) << samples.err;
  EXPECT_TRUE(Has(samples.out, "{\"duration\": 0.004999,")) << samples.out;
}

TEST_F(Program, ATriggeredCaptureKeepsATenthBeforeTheTriggerAndATimeoutWritesNothing) {
  pc.AddSignalGeneratorPort();
  pc.disk.MakeDirectory("C:\\data");
  // Select rises every 20 ms, from the counter's start on: the first rise after the start comes
  // at 20 ms, and 1 ms of the 10 is kept from before it.
  const Outcome run = Run("capture LPT3 --pins 13 --trigger select=rising --duration 10ms --json");
  ASSERT_EQ(run.code, kDone) << run.err;
  EXPECT_TRUE(Has(run.out, "\"trigger\": 0.001")) << run.out;

  const Outcome timeout = Run("capture LPT3 --pins 15 --trigger 15=low --timeout 5ms --vcd C:\\data\\t.vcd");
  EXPECT_EQ(timeout.code, kDeviceFailed) << timeout.err;
  EXPECT_TRUE(Has(timeout.err, "the trigger did not come within")) << timeout.err;
  EXPECT_FALSE(pc.disk.Exists("C:\\data\\t.vcd")) << "a file made for a capture that never came is removed";
}

// Each condition on Paper out (12), high for the first 2.5 ms of every 10 ms and so high when
// the trigger is armed, 1 ms in: at the trigger the pin has exactly the edge or the level asked
// for, and an edge fires only at a change, never at the arming.
TEST_F(Program, EachTriggerConditionFiresAtItsOwnEdgeOrLevel) {
  pc.AddSignalGeneratorPort();
  constexpr PinLevels kPaperOut = VPORT_PIN(12);
  struct Case {
    TriggerCondition condition;
    bool edge, before, after;  // the level just before the trigger (for an edge) and at it
  };
  const Case cases[] = {
      {TriggerCondition::Rising, true, false, true},  {TriggerCondition::Falling, true, true, false},
      {TriggerCondition::High, false, true, true},    {TriggerCondition::Low, false, false, false},
      {TriggerCondition::Change, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.condition));
    TvlLPT lpt(nullptr);
    lpt.SetLptIOBase(0x3BC);
    lpt.SetActive(true);
    std::ostringstream out, err;
    StopRequest stop;
    const Console console{out, err, stop};
    CaptureOptions options;
    options.pins = kPaperOut;
    options.duration_us = 10'000;
    options.trigger = Trigger{12, c.condition};
    options.timeout_us = 100'000;
    const CaptureResult result = RecordPins(lpt, options, console);
    lpt.SetActive(false);
    const Recording& r = result.recording;
    ASSERT_FALSE(result.trigger_timed_out);
    ASSERT_TRUE(r.trigger);
    EXPECT_EQ((r.LevelsAt(*r.trigger) & kPaperOut) != 0, c.after);
    const bool changes_there = std::any_of(r.changes.begin(), r.changes.end(),
                                           [&](const LevelChange& change) { return change.at == *r.trigger; });
    if (c.edge) {
      EXPECT_TRUE(changes_there) << "an edge fires at a change of the pin";
      EXPECT_EQ((r.LevelsAt(*r.trigger - 1) & kPaperOut) != 0, c.before);
    }
  }
}

// A capture writes beside the user's file and gives its file the name only once complete: one
// that does not complete leaves the file there as it was, and nothing of its own.
TEST_F(Program, ACaptureThatDoesNotCompleteLeavesTheUsersFileAsItWasAndNothingOfItsOwn) {
  pc.AddSignalGeneratorPort();
  pc.disk.Write("C:\\data\\a.vcd", {'o', 'l', 'd'});
  const std::vector<std::string> only_the_file = {"C:\\data\\a.vcd"};
  auto as_it_was = [&] {
    EXPECT_EQ(pc.disk.Read("C:\\data\\a.vcd"), (std::vector<BYTE>{'o', 'l', 'd'}));
    EXPECT_EQ(pc.disk.List("C:\\data"), only_the_file);
  };
  // LPT1's lines stay high, so Ack never goes low: the event comes while the capture waits for
  // it, raised from the port's own line after some reads, on a thread of its own for a close,
  // as the console calls the handler.
  struct Raiser {
    sim::InstalledPc* pc;
    std::optional<DWORD> event;
    int reads = 0;
    std::thread console;
    std::vector<std::string> when_the_handler_returned;
  } raiser{&pc, {}, 0, {}, {}};
  const vport_peripheral raising{&raiser, nullptr, [](void* context, uint32_t) -> uint32_t {
                                   auto* r = static_cast<Raiser*>(context);
                                   if (++r->reads != 1000 || !r->event) return VPORT_INPUT_PINS;
                                   if (*r->event == CTRL_C_EVENT) {
                                     r->pc->process.RaiseConsoleCtrl(CTRL_C_EVENT);
                                   } else {
                                     r->console = std::thread([r] {
                                       r->pc->process.RaiseConsoleCtrl(*r->event);
                                       // The process may end from here on.
                                       r->when_the_handler_returned = r->pc->disk.List("C:\\data");
                                     });
                                   }
                                   return VPORT_INPUT_PINS;
                                 }};
  vport_plug(lpt1, &raising);
  const std::string waits = "capture LPT1 --pins 10 --trigger 10=low --timeout 600s --vcd C:\\data\\a.vcd";
  struct Case {
    const char* what;
    std::string line;
    int code;
    std::optional<DWORD> event;
  };
  const Case cases[] = {
      {"the port refused", "capture LPT1 --base 0xD000 --vcd C:\\data\\a.vcd", kPortFailed, {}},
      {"the trigger did not come", "capture LPT3 --pins 15 --trigger 15=low --timeout 5ms --vcd C:\\data\\a.vcd",
       kDeviceFailed, {}},
      {"Ctrl+C before the trigger", waits, kStopped, CTRL_C_EVENT},
      {"the console closed before the trigger", waits, kStopped, CTRL_CLOSE_EVENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    raiser.event = c.event;
    raiser.reads = 0;
    const Outcome run = Run(c.line);
    if (raiser.console.joinable()) raiser.console.join();
    EXPECT_EQ(run.code, c.code) << run.err;
    as_it_was();
    if (c.event == CTRL_CLOSE_EVENT) {
      EXPECT_EQ(raiser.when_the_handler_returned, only_the_file);
    }
  }
  vport_plug(lpt1, nullptr);

  // A name that cannot be written is refused before the port opens, the file untouched.
  pc.disk.SetWritable("C:\\data", false);
  const size_t services = pc.core.journal.Count("CreateServiceA");
  const Outcome refused = Run("capture LPT3 --duration 5ms --pins 10 --vcd C:\\data\\a.vcd");
  EXPECT_EQ(refused.code, kUsage) << refused.err;
  EXPECT_TRUE(Has(refused.err, "cannot write C:\\data\\a.vcd")) << refused.err;
  EXPECT_EQ(pc.core.journal.Count("CreateServiceA"), services) << "refused before the driver";
  as_it_was();

  // A capture that completes replaces it.
  pc.disk.SetWritable("C:\\data", true);
  const Outcome run = Run("capture LPT3 --duration 5ms --pins 10 --vcd C:\\data\\a.vcd");
  ASSERT_EQ(run.code, kDone) << run.err;
  const std::optional<std::vector<BYTE>> vcd = pc.disk.Read("C:\\data\\a.vcd");
  ASSERT_TRUE(vcd);
  EXPECT_TRUE(Has(std::string(vcd->begin(), vcd->end()), "p10_Ack"));
  EXPECT_EQ(pc.disk.List("C:\\data"), only_the_file);
}

// Ctrl+C comes while the driver samples: raised from the port's own line, after some reads.
TEST_F(Program, CtrlCEndsACaptureEarlyAndWhatWasRecordedIsWritten) {
  struct Stopper {
    sim::InstalledPc* pc;
    int reads = 0;
  } stopper{&pc};
  const vport_peripheral stopping{&stopper, nullptr, [](void* context, uint32_t) -> uint32_t {
                                    auto* s = static_cast<Stopper*>(context);
                                    if (++s->reads == 30'000) s->pc->process.RaiseConsoleCtrl(CTRL_C_EVENT);
                                    return VPORT_INPUT_PINS;
                                  }};
  vport_plug(lpt1, &stopping);
  pc.disk.MakeDirectory("C:\\data");
  const Outcome run = Run("capture LPT1 --pins 10 --duration 600s --vcd C:\\data\\s.vcd");
  vport_plug(lpt1, nullptr);
  EXPECT_EQ(run.code, kStopped) << run.err;
  EXPECT_TRUE(Has(run.err, "stopped")) << run.err;
  ASSERT_TRUE(pc.disk.Exists("C:\\data\\s.vcd"));
  EXPECT_LT(stopper.reads, 60'000) << "the capture ended at the next request";
}

}  // namespace
}  // namespace cli
