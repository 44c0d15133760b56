// The pin panel on the simulated PC: built from the layout the program carries, on a machine
// with LPT1 at 0x378 (the loopback plug in it) and LPT2 at 0x278, driven by the user's clicks.
#include "app/Unit1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/layout_loader.h"
#include "testing/framework/raised.h"
#include "layout_text.h"
#include "sim/pc.h"
#include "sim/vlio_entry.h"
#include "connector/pins.h"

namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'p', 'i', 'n'};
const std::string kImagePath = "C:\\Windows\\System32\\drivers\\vlio.sys";

// The machine: LPT1 with the loopback plug, LPT2 with nothing, both in the device database,
// the layout and (unless told otherwise) the driver among the program's resources.
void Equip(sim::Pc& pc, bool driver_resource = true) {
  if (driver_resource) pc.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
  const std::string layout = kForm1LayoutText;
  pc.resources.Add(RT_RCDATA, kForm1Layout, std::vector<BYTE>(layout.begin(), layout.end()));
  pc.kernel.AddImage(kImage, &DriverEntry);
  vport_plug(&pc.ports.AddPort(0x378), &vport_loopback_plug);
  pc.ports.AddPort(0x278);
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  pc.setup_api.AddParallelPort("LPT2", 0x278);
}

// The program started: the application and its window, shown.
struct Program {
  fw::TApplication application;
  TForm1* form;
  Program() {
    application.Initialize();
    form = application.CreateForm<TForm1>();
    form->Show();
  }
};

class PinPanel : public testing::Test {
 protected:
  sim::InstalledPc pc;
  vport* lpt1 = nullptr;
  vport* lpt2 = nullptr;
  std::unique_ptr<Program> program;
  TForm1* form = nullptr;

  void SetUp() override {
    Equip(pc);
    lpt1 = &pc.ports.Port(0x378);
    lpt2 = &pc.ports.Port(0x278);
    program = std::make_unique<Program>();
    form = program->form;
  }

  fw::TCheckBox* PinBox(int pin) const { return static_cast<fw::TCheckBox*>(form->boxPins->Controls(pin - 1)); }
  void Click(fw::TWinControl* control) { pc.windows.Click(control->Handle()); }
  bool ServiceExists() const { return pc.services.Find("vlio") != nullptr; }
  std::size_t Reads() const { return Count(false); }
  std::size_t Writes() const { return Count(true); }
  std::size_t Count(bool write) const {
    std::size_t n = 0;
    for (const auto& access : pc.ports.Accesses()) n += access.write == write;
    return n;
  }
};

// --- What the window looks like ----------------------------------------------------------------

struct PinRow {
  const char* caption;
  fw::TColor colour;
};

// The connector's pins as the panel shows them, pin 1 first.
const PinRow kPins[25] = {
    {"^Strobe[ 1]", fw::clGreen},  {"Data 0 [ 2]", fw::clBlue},    {"Data 1 [ 3]", fw::clBlue},
    {"Data 2 [ 4]", fw::clBlue},   {"Data 3 [ 5]", fw::clBlue},    {"Data 4 [ 6]", fw::clBlue},
    {"Data 5 [ 7]", fw::clBlue},   {"Data 6 [ 8]", fw::clBlue},    {"Data 7 [ 9]", fw::clBlue},
    {"ACK    [10]", fw::clPurple}, {"Busy   [11]", fw::clPurple},  {"NoPaper[12]", fw::clPurple},
    {"Select [13]", fw::clPurple}, {"[14] Auto LF", fw::clGreen},  {"[15] ^Fault", fw::clPurple},
    {"[16] Init", fw::clGreen},    {"[17] Select IN", fw::clGreen}, {"[18] Ground", fw::clBlack},
    {"[19] Ground", fw::clBlack},  {"[20] Ground", fw::clBlack},   {"[21] Ground", fw::clBlack},
    {"[22] Ground", fw::clBlack},  {"[23] Ground", fw::clBlack},   {"[24] Ground", fw::clBlack},
    {"[25] Ground", fw::clBlack},
};

TEST_F(PinPanel, WindowAndControlsStandWhereTheLayoutPutsThem) {
  EXPECT_EQ(form->Caption(), "Pinscope");
  EXPECT_EQ(pc.windows.TextOf(form->Handle()), "Pinscope");
  EXPECT_EQ((std::vector<int>{form->Left(), form->Top(), form->Width(), form->Height()}),
            (std::vector<int>{264, 156, 308, 409}));
  EXPECT_EQ(form->Color(), fw::clBtnFace);
  EXPECT_EQ(form->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(form->Font().Height(), -11);
  EXPECT_TRUE(program->application.MainForm() == form);

  EXPECT_EQ(form->CheckBox1->Caption(), "Active");
  EXPECT_EQ(form->CheckBox1->TabOrder(), 0);
  EXPECT_EQ(form->vlDeviceBox1->TabOrder(), 1);
  EXPECT_EQ(form->vlDeviceBox1->ItemHeight(), 13);
  EXPECT_EQ(form->boxPins->Caption(), " LPT Pins");
  EXPECT_EQ(form->boxPins->TabOrder(), 2);
  EXPECT_EQ(form->vlLPT1->GetLptIOBase(), 888);
  EXPECT_TRUE(form->vlLPT1->GetDirectMode());

  ASSERT_EQ(form->boxPins->ControlCount(), 26) << "25 pin boxes and Refresh, in layout order";
  for (int pin = 1; pin <= 25; ++pin) {
    SCOPED_TRACE("pin " + std::to_string(pin));
    fw::TCheckBox* box = PinBox(pin);
    EXPECT_EQ(box->Name(), "CheckBox" + std::to_string(pin + 1));
    EXPECT_EQ(box->Caption(), kPins[pin - 1].caption);
    EXPECT_EQ(box->Font().Color(), kPins[pin - 1].colour);
    EXPECT_EQ(box->Font().Name(), "Courier");
    EXPECT_EQ(box->Font().Height(), pin == 1 ? -11 : -9);
    EXPECT_EQ(box->Tag(), pin <= 17 ? pin : 0);
    EXPECT_EQ(box->TabOrder(), pin - 1);
    const bool left = pin <= 13;
    EXPECT_EQ(box->Left(), left ? 12 : 128);
    EXPECT_EQ(box->Top(), left ? 28 + 20 * (pin - 1) : 38 + 20 * (pin - 14));
    EXPECT_EQ(box->Width(), left ? 109 : pin <= 16 ? 125 : 137);
    EXPECT_EQ(box->Height(), 17);
    EXPECT_EQ(box->Alignment(), left ? fw::taLeftJustify : fw::taRightJustify);
    EXPECT_EQ(box->AllowGrayed(), pin >= 18);
    EXPECT_EQ(box->State(), pin >= 18 ? fw::cbGrayed : fw::cbUnchecked);
  }
  EXPECT_EQ(form->boxPins->Controls(25), form->Button1);
  EXPECT_EQ(form->Button1->Caption(), "Refresh");
  EXPECT_EQ(form->Button1->TabOrder(), 25);
}

// --- Start-up and the port switch ----------------------------------------------------------------

TEST_F(PinPanel, StartsWithThePortsListedLpt1SelectedAndNothingRead) {
  const fw::TStrings& items = form->vlDeviceBox1->Items();
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Strings(0), "LPT1");
  EXPECT_EQ(items.Strings(1), "LPT2");
  EXPECT_EQ(form->vlDeviceBox1->ItemIndex(), 0);
  EXPECT_EQ(form->vlDeviceBox1->Text(), "LPT1");
  EXPECT_FALSE(form->vlLPT1->GetActive());
  EXPECT_FALSE(form->CheckBox1->Checked());
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_FALSE(ServiceExists());
  EXPECT_TRUE(pc.windows.Boxes().empty());
}

TEST_F(PinPanel, TickingActiveOpensThePortAndReadsTheSeventeenPinsInOrder) {
  Click(form->CheckBox1);
  EXPECT_TRUE(form->CheckBox1->Checked());
  EXPECT_TRUE(form->vlLPT1->GetActive());
  ASSERT_TRUE(ServiceExists());
  EXPECT_EQ(pc.services.Find("vlio")->state, DWORD{SERVICE_RUNNING});

  // Pin order: control (1), data (2-9), status (10-13), control (14), status (15), control (16, 17).
  const std::vector<WORD> order = {0x37A, 0x378, 0x378, 0x378, 0x378, 0x378, 0x378, 0x378, 0x378,
                                   0x379, 0x379, 0x379, 0x379, 0x37A, 0x379, 0x37A, 0x37A};
  // An output box that the refresh changes writes its pin once more: SetPin's read and write
  // of the pin's register, right after that pin's own read. Set those pairs aside.
  std::vector<WORD> pin_reads;
  std::size_t rewrites = 0;
  const auto& accesses = pc.ports.Accesses();
  for (std::size_t i = 0; i < accesses.size(); ++i) {
    ASSERT_FALSE(accesses[i].write) << "a write without its read at access " << i;
    if (i + 1 < accesses.size() && accesses[i + 1].write && accesses[i + 1].port == accesses[i].port) {
      ++rewrites;
      ++i;
      continue;
    }
    pin_reads.push_back(accesses[i].port);
  }
  EXPECT_EQ(pin_reads, order);
  EXPECT_GT(rewrites, 0u) << "Init is high after reset, so its box changes";
  EXPECT_EQ(lpt1->data, VPORT_DATA_RESET) << "a refresh writes back the levels it read";
  EXPECT_EQ(lpt1->control, VPORT_CONTROL_RESET);
}

TEST_F(PinPanel, AnOpenThatFailsPutsTheBoxBackReportsAndTheProgramGoesOn) {
  pc.core.faults.Fail("CreateServiceA", ERROR_ACCESS_DENIED);
  Click(form->CheckBox1);
  EXPECT_FALSE(form->CheckBox1->Checked());
  EXPECT_FALSE(form->vlLPT1->GetActive());
  ASSERT_EQ(pc.windows.Boxes().size(), 1u) << "one report, from the framework";
  EXPECT_EQ(pc.windows.Boxes()[0].text, "Create service failed.\rAccess is denied");
  EXPECT_FALSE(ServiceExists());
  EXPECT_TRUE(pc.ports.Accesses().empty()) << "the recovery's refresh reads a closed port";

  Click(form->CheckBox1);  // the cause is gone: the next try opens
  EXPECT_TRUE(form->CheckBox1->Checked());
  EXPECT_TRUE(form->vlLPT1->GetActive());
  EXPECT_EQ(pc.windows.Boxes().size(), 1u);
}

TEST_F(PinPanel, UntickingActiveClosesRemovesTheServiceAndKeepsTheImage) {
  Click(form->CheckBox1);
  ASSERT_TRUE(ServiceExists());
  pc.ports.ClearAccesses();
  Click(form->CheckBox1);
  EXPECT_FALSE(form->vlLPT1->GetActive());
  EXPECT_FALSE(ServiceExists());
  EXPECT_TRUE(pc.disk.Exists(kImagePath));
  EXPECT_TRUE(pc.ports.Accesses().empty()) << "the refresh after closing reads nothing";
  for (int pin = 1; pin <= 17; ++pin) EXPECT_FALSE(PinBox(pin)->Checked()) << "pin " << pin;
}

// --- Pins ------------------------------------------------------------------------------------------

TEST_F(PinPanel, DataPinsComeBackOnTheStatusInputsThroughTheLoopbackPlug) {
  Click(form->CheckBox1);
  Click(PinBox(2));  // D0 -> Fault (pin 15)
  Click(PinBox(6));  // D4 -> Busy (pin 11)
  EXPECT_EQ(lpt1->data, 0x11);
  EXPECT_FALSE(PinBox(15)->Checked()) << "inputs change only on Refresh";
  Click(form->Button1);
  EXPECT_TRUE(PinBox(15)->Checked());
  EXPECT_EQ(PinBox(11)->Checked(), form->vlLPT1->GetPin(11));
  EXPECT_EQ(lpt1->data, 0x11) << "the refresh leaves the outputs as they are";
}

TEST_F(PinPanel, RefreshWritesOnlyTheOutputsWhoseBoxesChange) {
  Click(form->CheckBox1);
  pc.ports.ClearAccesses();
  Click(form->Button1);  // nothing changed since the last refresh
  EXPECT_EQ(Reads(), 17u);
  EXPECT_EQ(Writes(), 0u);

  lpt1->data = 0x80;  // someone else drives D7
  pc.ports.ClearAccesses();
  Click(form->Button1);
  EXPECT_TRUE(PinBox(9)->Checked());
  EXPECT_EQ(Reads(), 18u) << "the changed box writes its pin once more";
  EXPECT_EQ(Writes(), 1u);
  EXPECT_EQ(lpt1->data, 0x80);
}

TEST_F(PinPanel, ClosedPortStillRunsEveryPinOperation) {
  Click(form->Button1);
  Click(PinBox(3));
  EXPECT_TRUE(PinBox(3)->Checked()) << "the box shows the click";
  EXPECT_TRUE(pc.ports.Accesses().empty());
  EXPECT_TRUE(pc.windows.Boxes().empty());
  Click(form->Button1);
  EXPECT_FALSE(PinBox(3)->Checked()) << "a closed port reads 0";
}

TEST_F(PinPanel, GroundStaysGrayedAndInputsOnlyChangeTheirDisplay) {
  Click(form->CheckBox1);
  pc.ports.ClearAccesses();
  for (int pin = 18; pin <= 25; ++pin) {
    Click(PinBox(pin));
    EXPECT_EQ(PinBox(pin)->State(), fw::cbGrayed) << "pin " << pin;
  }
  const bool shown = PinBox(10)->Checked();
  Click(PinBox(10));
  EXPECT_NE(PinBox(10)->Checked(), shown);
  EXPECT_TRUE(pc.ports.Accesses().empty());
  Click(form->Button1);
  EXPECT_EQ(PinBox(10)->Checked(), shown);
}

// --- Choosing a port ---------------------------------------------------------------------------------

TEST_F(PinPanel, ChoosingLpt2ReopensThereAndRefillsTheBox) {
  Click(form->CheckBox1);
  pc.ports.ClearAccesses();
  pc.windows.Choose(form->vlDeviceBox1->Handle(), 1);
  EXPECT_EQ(form->vlLPT1->GetLptPortNo(), 2);
  EXPECT_EQ(form->vlLPT1->GetLptIOBase(), 0x278);
  EXPECT_TRUE(form->vlLPT1->GetActive());
  EXPECT_EQ(form->vlDeviceBox1->ItemIndex(), 1);
  EXPECT_EQ(form->vlDeviceBox1->Items().Count(), 2);
  EXPECT_TRUE(pc.ports.Accesses().empty()) << "choosing a port reads no pin";

  Click(PinBox(2));
  EXPECT_EQ(lpt2->data, 0x01);
  EXPECT_EQ(lpt1->data, VPORT_DATA_RESET);
}

// --- The end and a broken layout ---------------------------------------------------------------------

TEST_F(PinPanel, ClosingTheWindowWithThePortOpenLeavesNoService) {
  Click(form->CheckBox1);
  ASSERT_TRUE(ServiceExists());
  delete form;  // what the application does with its windows when it ends
  EXPECT_FALSE(ServiceExists());
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
  EXPECT_TRUE(pc.disk.Exists(kImagePath));
}

TEST_F(PinPanel, TheSessionsEndClosesThePortAsClosingTheWindowDoes) {
  Click(form->CheckBox1);
  ASSERT_TRUE(ServiceExists());
  win::SendMessageA(form->Handle(), WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(form->vlLPT1->GetActive()) << "an end called off changes nothing";
  // Windows may end the process any moment after this answer, with no destructor run.
  win::SendMessageA(form->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(form->vlLPT1->GetActive());
  EXPECT_FALSE(ServiceExists());
  EXPECT_EQ(pc.services.OpenHandles(), 0u);
}

// Every way switching the port on can fail, from the window: one report through the
// framework, the box back to unticked, and nothing left that the next try cannot recover.
TEST(PinPanelFaults, EachFailedOpenIsReportedOnceAndTheNextTryRecovers) {
  struct Case {
    const char* what;
    std::function<void(sim::Pc&)> arrange;
    const char* message;  // how the report starts
    bool driver_resource = true;
  };
  const std::vector<Case> cases = {
      {"manager unreachable", [](sim::Pc& pc) { pc.core.faults.Fail("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       "Create service failed.\rAccess is denied"},
      {"not elevated", [](sim::Pc& pc) { pc.services.SetElevated(false); }, "Create service failed.\rAccess is denied"},
      {"create failing", [](sim::Pc& pc) { pc.core.faults.Fail("CreateServiceA", ERROR_INVALID_PARAMETER); },
       "Create service failed.\rThe parameter is incorrect"},
      {"start failing", [](sim::Pc& pc) { pc.core.faults.Fail("StartServiceA", ERROR_SERVICE_DISABLED); },
       "Start service failed.\rThe service cannot be started"},
      {"driver makes no device",
       [](sim::Pc& pc) { pc.kernel.FailNext(sim::SimKernel::Routine::IoCreateDevice, static_cast<int32_t>(0xC000009A)); },
       "Start service failed.\r"},
      {"device does not open", [](sim::Pc& pc) { pc.core.faults.Fail("AdjustTokenPrivileges", ERROR_ACCESS_DENIED); },
       "LPT1 open is failed.\rAccess is denied"},
      {"resource missing", nullptr, "Create service failed.\rThe specified resource name cannot be found", false},
      {"drivers folder not writable",
       [](sim::Pc& pc) { pc.disk.SetWritable("C:\\Windows\\System32\\drivers", false); },
       "Create service failed.\rAccess is denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstalledPc pc;
    Equip(pc, c.driver_resource);
    if (c.arrange) c.arrange(pc);
    Program program;
    TForm1* form = program.form;

    pc.windows.Click(form->CheckBox1->Handle());
    ASSERT_EQ(pc.windows.Boxes().size(), 1u);
    EXPECT_EQ(pc.windows.Boxes()[0].text.rfind(c.message, 0), 0u) << pc.windows.Boxes()[0].text;
    EXPECT_FALSE(form->CheckBox1->Checked());
    EXPECT_FALSE(form->vlLPT1->GetActive());
    EXPECT_EQ(pc.services.OpenHandles(), 0u);
    if (pc.disk.Exists(kImagePath)) {
      EXPECT_EQ(pc.disk.Read(kImagePath), kImage) << "no partial image";
    }

    // The cause gone, the next tick opens and the untick leaves nothing behind.
    pc.services.SetElevated(true);
    pc.disk.SetWritable("C:\\Windows\\System32\\drivers", true);
    if (!c.driver_resource) pc.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    pc.windows.Click(form->CheckBox1->Handle());
    EXPECT_TRUE(form->vlLPT1->GetActive());
    pc.windows.Click(form->CheckBox1->Handle());
    EXPECT_EQ(pc.windows.Boxes().size(), 1u);
    EXPECT_EQ(pc.services.Find("vlio"), nullptr);
    EXPECT_EQ(pc.services.OpenHandles(), 0u);
    EXPECT_EQ(pc.kernel.LoadedDrivers(), 0u);
  }
}

TEST(PinPanelFaults, AServiceLeftRunningByAKilledRunIsRestartedAndTheNextRunOpens) {
  // A run that ended without closing left the service running: the next tick recovers.
  sim::InstalledPc pc;
  Equip(pc);
  pc.disk.Write(kImagePath, kImage);
  pc.services.Add({.name = "vlio", .binary_path = kImagePath});
  ASSERT_EQ(pc.services.Start("vlio"), 0u);
  {
    Program program;
    pc.windows.Click(program.form->CheckBox1->Handle());
    EXPECT_TRUE(program.form->vlLPT1->GetActive());
    EXPECT_TRUE(pc.windows.Boxes().empty());
  }
  EXPECT_EQ(pc.services.Find("vlio"), nullptr);
  EXPECT_EQ(pc.core.handles.OpenCount(), 0u);
}

TEST(PinPanelLayout, ScalesFromItsDesignResolutionToTheScreens) {
  sim::InstalledPc pc;
  Equip(pc);
  pc.graphics.SetScreenDpi(120);
  fw::TApplication application;
  TForm1* form = application.CreateForm<TForm1>();
  EXPECT_EQ(form->PixelsPerInch(), 120);
  EXPECT_EQ(form->Width(), 385);  // 308 at 96 dpi
  EXPECT_EQ(form->Height(), 511);
  EXPECT_EQ(form->Font().Height(), -14);
  fw::TCheckBox* strobe = form->CheckBox2;
  fw::TCheckBox* select_in = form->CheckBox18;
  EXPECT_EQ(strobe->Font().Height(), -14) << "pin boxes keep their own fonts, scaled";
  EXPECT_EQ(select_in->Font().Height(), -11);
  EXPECT_EQ(select_in->Left(), 160);
  EXPECT_EQ(select_in->Top() + select_in->Height(), 144) << "the bottom edge, 115 at 96 dpi";
}

TEST(PinPanelLayout, ABrokenLayoutIsAClearErrorAndBuildsNothing) {
  sim::InstalledPc pc;
  fw::TApplication application;
  std::string layout = kForm1LayoutText;
  layout.replace(layout.find("LptIOBase = 888"), 15, "LptIOBase = 88888");
  const std::string message = fw::RaisedMessage<fw::ELayoutError>([&] { TForm1 form(nullptr, layout); });
  EXPECT_NE(message.find("LptIOBase"), std::string::npos) << message;
  EXPECT_EQ(pc.windows.WindowCount(), 0u);
  EXPECT_THROW(TForm1(nullptr, "object Form1: TForm1\n  object Pin: TNoSuchBox\n  end\nend\n"), fw::ELayoutError);
}

// --- What the layout binds, and the handlers' recovery ---------------------------------------------

TEST_F(PinPanel, EveryPinBoxHasTheClickHandlerOfItsRole) {
  const fw::TNotifyEvent output = fw::TNotifyEvent::Of<&TForm1::CheckBox2Click>(form);
  const fw::TNotifyEvent ground = fw::TNotifyEvent::Of<&TForm1::CheckBox19Click>(form);
  for (int pin = 1; pin <= 25; ++pin) {
    const bool input = pin == 10 || pin == 11 || pin == 12 || pin == 13 || pin == 15;
    const fw::TNotifyEvent expected = pin >= 18 ? ground : input ? fw::TNotifyEvent{} : output;
    EXPECT_TRUE(PinBox(pin)->OnClick == expected) << "pin " << pin;
  }
}

// The panel's boxes are the connector table's pins in the panel's own words: each signal pin
// has one box tagged with it, captioned with its number and its name (or the panel's short
// form of it), coloured by its register and clickable exactly when the port drives it.
TEST_F(PinPanel, EachSignalPinHasOneBoxThatAgreesWithTheConnectorTable) {
  const auto words = [](std::string text) {
    std::string kept;
    for (char c : text)
      if (c != ' ' && c != '^') kept += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kept == "nopaper") return std::string("paperout");  // the panel's short forms
    if (kept == "autolf") return std::string("autolinefeed");
    return kept;
  };
  const fw::TNotifyEvent output = fw::TNotifyEvent::Of<&TForm1::CheckBox2Click>(form);
  std::vector<int> tags;
  for (int i = 0; i < 25; ++i) tags.push_back(PinBox(i + 1)->Tag());
  for (const vport_signal& signal : connector::kSignals) {
    const int pin = static_cast<int>(signal.pin);
    SCOPED_TRACE("pin " + std::to_string(pin));
    ASSERT_EQ(std::count(tags.begin(), tags.end(), pin), 1);
    const fw::TCheckBox* box = PinBox(static_cast<int>(std::find(tags.begin(), tags.end(), pin) - tags.begin()) + 1);
    std::string label = box->Caption();
    const std::string number = (pin < 10 ? "[ " : "[") + std::to_string(pin) + "]";
    const std::size_t at = label.find(number);
    ASSERT_NE(at, std::string::npos) << label;
    label.erase(at, number.size());
    EXPECT_EQ(words(label), words(signal.name)) << box->Caption();
    const fw::TColor colour = signal.offset == VPORT_DATA ? fw::clBlue : signal.offset == VPORT_CONTROL ? fw::clGreen : fw::clPurple;
    EXPECT_EQ(box->Font().Color(), colour);
    EXPECT_EQ(box->OnClick == output, signal.output != 0);
  }
  EXPECT_EQ(std::count(tags.begin(), tags.end(), 0), 25 - static_cast<int>(connector::kSignals.size())) << "ground";
}

TEST_F(PinPanel, ARefreshThatFailsWithThePortOpenLeavesActiveTicked) {
  struct Failing {
    void Click(fw::TObject*) { throw fw::Exception("the pin box failed"); }
  } failing;
  PinBox(16)->OnClick = fw::TNotifyEvent::Of<&Failing::Click>(&failing);  // Init reads high: the refresh sets it
  Click(form->CheckBox1);
  EXPECT_TRUE(form->vlLPT1->GetActive());
  EXPECT_TRUE(form->CheckBox1->Checked());
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  EXPECT_NE(pc.windows.Boxes()[0].text.find("the pin box failed"), std::string::npos) << pc.windows.Boxes()[0].text;
}

TEST(PinPanelLayout, AStoredTextGivesWayToTheBoundPortsSelection) {
  sim::InstalledPc pc;
  Equip(pc);
  fw::TApplication application;
  std::string layout = kForm1LayoutText;
  layout.replace(layout.find("Text = 'LPT1'"), 13, "Text = 'LPT2'");
  TForm1 form(nullptr, layout);
  EXPECT_EQ(form.vlDeviceBox1->ItemIndex(), 0);
  EXPECT_EQ(form.vlDeviceBox1->Text(), "LPT1");
}

}  // namespace
