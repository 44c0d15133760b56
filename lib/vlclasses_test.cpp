#include "lib/vlclasses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/exception.h"
#include "testing/framework/raised.h"
#include "sim/pc.h"

namespace {

// A concrete I/O component that records what the base asks of it.
class TestIO : public TvlBaseIO {
 public:
  using TvlBaseIO::TvlBaseIO;

  uint32_t next_handle = 0x1234;
  bool open_raises = false;
  int opens = 0, closes = 0, enumerations = 0;
  std::vector<TvlDevice*> to_enumerate;
  std::vector<uint8_t> written;

  uint32_t OpenHandle() override {
    ++opens;
    if (open_raises) throw fw::Exception("cannot open");
    return next_handle;
  }
  void DoClose() override {
    ++closes;
    TvlBaseIO::DoClose();
  }
  void EnumDevices() override {
    ++enumerations;
    for (TvlDevice* device : to_enumerate) AddDevice(device);
    to_enumerate.clear();
  }
  void WriteByte(uint8_t value) override { written.push_back(value); }
  bool Stored() const { return stored_active_; }
  const OVERLAPPED& WriteRecord() const { return write_overlapped_; }
};

TvlDevice* Port(const std::string& name, int32_t number, uint32_t base = 0x378) {
  auto* device = new TvlDevice;
  device->Name = device->Caption = name;
  device->Number = number;
  device->Param = base;
  return device;
}

// A log that keeps its lines formatted by the runtime's rules.
class TestLog : public TvlCustomLogFile {
 public:
  using TvlCustomLogFile::TvlCustomLogFile;
  struct Line {
    int level;
    std::string format, text;
  };
  std::vector<Line> lines;
  void WriteLog(int level, const std::string& format, std::span<const fw::FormatArg> args) override {
    lines.push_back({level, format, fw::Format(format, args)});
  }
};

class BaseIO : public testing::Test {
 protected:
  sim::InstalledPc pc;
  TestIO io{nullptr};
};

// --- Active ----------------------------------------------------------------------------------

TEST_F(BaseIO, ActiveAtRunTimeOpensAndClosesOnlyOnChange) {
  EXPECT_EQ(io.Handle(), 0xFFFFFFFFu);
  io.SetActive(true);
  EXPECT_TRUE(io.GetActive());
  EXPECT_EQ(io.Handle(), 0x1234u);
  io.SetActive(true);
  EXPECT_EQ(io.opens, 1);
  io.SetActive(false);
  io.SetActive(false);
  EXPECT_EQ(io.closes, 1);
  EXPECT_EQ(io.Handle(), 0xFFFFFFFFu);
}

TEST_F(BaseIO, ActiveWhileLoadingIsStoredAndAppliedWhenLoaded) {
  io.BeginLoading();
  io.SetActive(true);
  EXPECT_EQ(io.opens, 0);
  EXPECT_TRUE(io.GetActive());
  io.Loaded();
  EXPECT_EQ(io.opens, 1);
  EXPECT_TRUE(io.GetActive());
  EXPECT_TRUE(pc.windows.Boxes().empty());
}

TEST_F(BaseIO, OpenFailingWhenLoadedShowsErrorBoxAndLoadingGoesOn) {
  const HWND foreground = sim::SimWindows::ForeignWindow();
  io.open_raises = true;
  io.BeginLoading();
  io.SetActive(true);
  EXPECT_NO_THROW(io.Loaded());
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  const auto& box = pc.windows.Boxes()[0];
  EXPECT_EQ(box.owner, foreground);
  EXPECT_EQ(box.text, "error");
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_FALSE(io.IsLoading());
  EXPECT_FALSE(io.GetActive());
}

TEST_F(BaseIO, ActiveAtDesignTimeTriesTheOpenAndClosesAgain) {
  io.SetDesigning(true);
  io.SetActive(true);
  EXPECT_TRUE(io.GetActive());
  EXPECT_FALSE(io.IsOpened());
  EXPECT_EQ(io.opens, 1);
  EXPECT_EQ(io.closes, 1);
  io.SetActive(true);  // tries again: the run-time shortcut does not apply
  EXPECT_EQ(io.opens, 2);

  io.open_raises = true;
  EXPECT_THROW(io.SetActive(true), fw::Exception);
  EXPECT_TRUE(io.Stored());  // the previous outcome stays
}

TEST_F(BaseIO, DoCloseCallsOnClosingOnlyWhenOpenAndSwallowsItsErrors) {
  struct Handler {
    int calls = 0;
    void Closing(fw::TObject*) {
      ++calls;
      throw fw::Exception("handler failed");
    }
  } handler;
  io.OnClosing = fw::TNotifyEvent::Of<&Handler::Closing>(&handler);
  io.DoClose();
  EXPECT_EQ(handler.calls, 0);
  io.SetActive(true);
  EXPECT_NO_THROW(io.SetActive(false));
  EXPECT_EQ(handler.calls, 1);
  EXPECT_EQ(io.Handle(), 0xFFFFFFFFu);
}

TEST_F(BaseIO, EventsLiveAsLongAsTheComponent) {
  {
    TestIO other(nullptr);
    EXPECT_EQ(pc.core.handles.OpenCount("Event"), 4u);
    EXPECT_NE(other.WriteRecord().hEvent, nullptr);
  }
  EXPECT_EQ(pc.core.handles.OpenCount("Event"), 2u);
}

// --- Listeners ---------------------------------------------------------------------------------

struct Listener {
  std::vector<std::pair<fw::TObject*, int>> calls;
  TvlBaseIO* reregister_with = nullptr;
  void Notify(fw::TObject* sender, int code) {
    calls.emplace_back(sender, code);
    if (reregister_with) reregister_with->AddNotify(TvlNotifyProc::Of<&Listener::Notify>(this));
  }
  TvlNotifyProc Proc() { return TvlNotifyProc::Of<&Listener::Notify>(this); }
};

TEST_F(BaseIO, ListenersAreWholePairsRegisteredOnce) {
  Listener a, b;
  EXPECT_EQ(io.AddNotify(a.Proc()), 0);
  EXPECT_EQ(io.AddNotify(b.Proc()), 1);  // same callback, other context: another listener
  EXPECT_EQ(io.AddNotify(a.Proc()), 0);
  io.RemoveNotify(TvlNotifyProc{});  // not registered: nothing happens
  io.DoNotify(7);
  EXPECT_EQ(a.calls.size(), 1u);
  EXPECT_EQ(b.calls, (std::vector<std::pair<fw::TObject*, int>>{{&io, 7}}));

  io.RemoveNotify(a.Proc());
  io.DevicesChanged();
  EXPECT_EQ(a.calls.size(), 1u);
  EXPECT_EQ(b.calls.back().second, ncDevicesChanged);
}

TEST_F(BaseIO, ListenerMayRegisterItselfAgainWhileCalled) {
  Listener a, b;
  a.reregister_with = &io;
  io.AddNotify(a.Proc());
  io.AddNotify(b.Proc());
  io.DoNotify(ncDevicesChanged);
  EXPECT_EQ(a.calls.size(), 1u);
  EXPECT_EQ(b.calls.size(), 1u);
}

TEST(NotifyList, IndexOutOfRangeRaisesListError) {
  TvlNotifyList list;
  EXPECT_THROW(list.Delete(0), fw::EListError);
  EXPECT_THROW(list.GetListener(-1), fw::EListError);
}

// --- The device list ---------------------------------------------------------------------------

TEST_F(BaseIO, GetDeviceNamesEnumeratesAnEmptyListEvenWithoutTarget) {
  io.GetDeviceNames(nullptr);
  EXPECT_EQ(io.enumerations, 1);
  fw::TStringList target;
  target.Add("stale");
  io.GetDeviceNames(&target);  // still empty: enumerates again and clears the target
  EXPECT_EQ(io.enumerations, 2);
  EXPECT_EQ(target.Count(), 0);

  io.to_enumerate = {Port("LPT1", 1), Port("LPT2", 2, 0x278)};
  io.GetDeviceNames(&target);
  io.GetDeviceNames(&target);
  EXPECT_EQ(io.enumerations, 3);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Strings(1), "LPT2");
  EXPECT_EQ(target.Objects(1), io.GetDevice(1));
  EXPECT_EQ(io.GetDevice(1)->Index, 1);
  EXPECT_EQ(io.GetDevice(1)->Owner, &io);
}

TEST_F(BaseIO, DevicesKeepOrderAndDuplicates) {
  io.AddDevice(Port("LPT1", 1));
  io.AddDevice(Port("LPT1", 1, 0x3BC));
  io.AddDevice(Port("LPT3", 3));
  EXPECT_EQ(io.DeviceCount(), 3);
  EXPECT_EQ(io.IndexOfNumber(1), 0);
  EXPECT_EQ(io.IndexOfNumber(3), 2);
  EXPECT_EQ(io.IndexOfNumber(4), -1);
  EXPECT_EQ(io.GetDevice(1)->Param, 0x3BCu);
  EXPECT_THROW(io.GetDevice(3), fw::EListError);
  EXPECT_THROW(io.GetDevice(-1), fw::EListError);
}

TEST_F(BaseIO, ClearDevicesLeavesEntriesAliveWhenNotOwned) {
  TvlDevice kept;
  kept.Name = "LPT1";
  io.OwnsDevices = false;
  io.AddDevice(&kept);
  io.ClearDevices();
  EXPECT_EQ(io.DeviceCount(), 0);
  EXPECT_EQ(kept.Name, "LPT1");  // ASan would flag a freed entry here
}

TEST_F(BaseIO, DeviceChangeReactsToPortArrivalAndRemovalOnly) {
  Listener a;
  io.AddNotify(a.Proc());
  auto send = [&](WPARAM event, DWORD type) {
    DEV_BROADCAST_HDR header{sizeof header, type, 0};
    fw::TMessage message{WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&header), 55};
    io.DeviceChange(message);
    EXPECT_EQ(message.Result, 55);
  };
  send(DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT);
  send(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT);
  send(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
  send(DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
  send(DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_PORT);
  EXPECT_EQ(a.calls.size(), 2u);
}

TEST_F(BaseIO, AbstractOperationsRaiseAbstractError) {
  TvlBaseIO base(nullptr);
  EXPECT_THROW(base.GetDeviceIndex(), fw::EAbstractError);
  EXPECT_THROW(base.GetDeviceNames(nullptr), fw::EAbstractError);
  EXPECT_THROW(base.WriteByte(0x41), fw::EAbstractError);
  EXPECT_THROW(base.WriteString("A"), fw::EAbstractError);
  TvlCustomLogFile log(nullptr);
  EXPECT_THROW(log.WriteLog(0, "x", {}), fw::EAbstractError);
  EXPECT_EQ(base.OpenHandle(), 0xFFFFFFFFu);
}

// --- Fatal errors and logging ------------------------------------------------------------------

struct FatalHandler {
  bool clear = false;
  std::vector<std::string> messages;
  void Handle(fw::TObject*, uint32_t code, uint32_t detail, const std::string& message, bool& raise) {
    messages.push_back(std::to_string(code) + "/" + std::to_string(detail) + " " + message);
    EXPECT_TRUE(raise);
    if (clear) raise = false;
  }
};

const std::string kBaseNull = "LPT1 open in Direct Mode is failed. Base I/O port is NULL";

TEST_F(BaseIO, FatalErrorGoesToHandlerThenLogThenRaises) {
  FatalHandler handler;
  TestLog log(nullptr);
  io.OnFatalError = TOnFatalErrorEvent::Of<&FatalHandler::Handle>(&handler);
  io.SetLog(&log);
  EXPECT_EQ(fw::RaisedMessage([&] { io.DoFatalError(10, 0, kBaseNull, false); }), kBaseNull);
  EXPECT_EQ(handler.messages, std::vector<std::string>{"10/0 " + kBaseNull});
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].level, 0);
  EXPECT_EQ(log.lines[0].format, "Fatal Error: %u, %u, %s");
  EXPECT_EQ(log.lines[0].text, "Fatal Error: 10, 0, " + kBaseNull);
}

TEST_F(BaseIO, HandlerThatClearsRaiseStopsItButTheLogStillGetsItsLine) {
  FatalHandler handler;
  handler.clear = true;
  TestLog log(nullptr);
  io.OnFatalError = TOnFatalErrorEvent::Of<&FatalHandler::Handle>(&handler);
  io.SetLog(&log);
  io.LogPrefix = "io: ";  // not put in front of the fatal line
  EXPECT_NO_THROW(io.DoFatalError(0xFFFFFFFF, 1, "gone", false));
  EXPECT_NO_THROW(io.DoFatalError(1, 2, "shown", true));
  EXPECT_TRUE(pc.windows.Boxes().empty());
  EXPECT_EQ(log.lines[0].text, "Fatal Error: 4294967295, 1, gone");
}

TEST_F(BaseIO, ShowOnlyDisplaysTheRuntimeErrorBoxAndReturns) {
  EXPECT_NO_THROW(io.DoFatalError(10, 0, "LPT1 broke", true));
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  const auto& box = pc.windows.Boxes()[0];
  EXPECT_EQ(box.caption, "Application Error");
  // "Exception Exception in module Pinscope.exe at 0001A2B4.\nLPT1 broke"
  EXPECT_EQ(box.text.rfind("Exception Exception in module ", 0), 0u) << box.text;
  EXPECT_NE(box.text.find(".exe at "), std::string::npos) << box.text;
  EXPECT_EQ(box.text.substr(box.text.size() - 11), "\nLPT1 broke") << box.text;
  EXPECT_TRUE(box.type & MB_ICONERROR);
  EXPECT_TRUE(box.type & MB_TASKMODAL);
}

TEST_F(BaseIO, WhileLoadingFatalErrorsOnlyReachHandlerAndLog) {
  FatalHandler handler;
  TestLog log(nullptr);
  io.OnFatalError = TOnFatalErrorEvent::Of<&FatalHandler::Handle>(&handler);
  io.SetLog(&log);
  io.BeginLoading();
  EXPECT_NO_THROW(io.DoFatalError(10, 0, "x", false));
  EXPECT_NO_THROW(io.DoFatalError(10, 0, "y", true));
  EXPECT_EQ(handler.messages.size(), 2u);
  EXPECT_EQ(log.lines.size(), 2u);
  EXPECT_TRUE(pc.windows.Boxes().empty());
}

TEST_F(BaseIO, DestroyedLogIsForgotten) {
  auto* log = new TestLog(nullptr);
  io.SetLog(log);
  const fw::FormatArg args[] = {"LPT1"};
  io.LogLine(2, "Try to send string %s ...", args);
  EXPECT_EQ(log->lines.at(0).text, "Try to send string LPT1 ...");
  EXPECT_EQ(log->lines.at(0).level, 2);
  delete log;
  EXPECT_EQ(io.Log(), nullptr);
  io.LogLine(2, "%s", args);
  EXPECT_THROW(io.DoFatalError(1, 1, "still raised", false), fw::Exception);
}

TEST_F(BaseIO, LogLinePutsThePrefixBeforeTheFormat) {
  TestLog log(nullptr);
  io.SetLog(&log);
  io.LogLine(1, "%d%%", std::vector<fw::FormatArg>{50});
  io.LogPrefix = "[io] ";
  io.LogLine(1, "%s", std::vector<fw::FormatArg>{"%d"});  // the argument is not formatted again
  EXPECT_EQ(log.lines[0].format, "%d%%");
  EXPECT_EQ(log.lines[1].format, "[io] %s");
  EXPECT_EQ(log.lines[1].text, "[io] %d");
}

TEST(CustomLogFile, DoFatalErrorRaisesUnlessTheHandlerDeclines) {
  TvlCustomLogFile log(nullptr);
  EXPECT_THROW(log.DoFatalError(1, 2, "log failed"), fw::Exception);
  FatalHandler handler;
  handler.clear = true;
  log.OnFatalError = TOnFatalErrorEvent::Of<&FatalHandler::Handle>(&handler);
  EXPECT_NO_THROW(log.DoFatalError(1, 2, "log failed"));
  EXPECT_EQ(handler.messages, std::vector<std::string>{"1/2 log failed"});
}

// --- The terminal link ---------------------------------------------------------------------------

// A top-level window to hold the memo.
class Window : public fw::TWinControl {
 public:
  using fw::TWinControl::TWinControl;

 protected:
  void CreateParams(fw::TCreateParams& params) override { params.class_name = "STATIC"; }
};

class TerminalLink : public BaseIO {
 protected:
  Window form{nullptr};
  fw::TMemo* memo = new fw::TMemo(&form);

  void SetUp() override { memo->SetParent(&form); }
  void Type(char c) { win::SendMessageA(memo->Handle(), WM_CHAR, static_cast<uint8_t>(c), 1); }
  void Write(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> data(bytes);
    io.WriteToControl(data);
  }
};

TEST_F(TerminalLink, TypedCharactersGoToTheDeviceInModes1And3) {
  io.SetControl(memo);
  io.SetControlMode(1);
  Type('A');
  EXPECT_EQ(io.written, std::vector<uint8_t>{0x41});
  EXPECT_EQ(memo->Text(), "");
  io.LocalEcho = true;
  Type('B');
  EXPECT_EQ(io.written, (std::vector<uint8_t>{0x41, 0x42}));
  EXPECT_EQ(memo->Text(), "B");
  EXPECT_EQ(io.OutputWindow(), nullptr);

  io.SetControlMode(3);
  EXPECT_EQ(io.OutputWindow(), memo->Handle());
}

TEST_F(TerminalLink, Modes0And2AndOtherMessagesLeaveTheDeviceAlone) {
  io.SetControl(memo);
  Type('a');
  io.SetControlMode(2);
  Type('b');
  win::SendMessageA(memo->Handle(), WM_KEYDOWN, 'C', 0);
  io.SetControlMode(1);
  win::SendMessageA(memo->Handle(), WM_KEYDOWN, 'C', 0);
  EXPECT_TRUE(io.written.empty());
  EXPECT_EQ(memo->Text(), "ab");
}

TEST_F(TerminalLink, WriteToControlSplitsAtZerosAndNeverEchoesToTheDevice) {
  io.SetControl(memo);
  io.SetControlMode(3);
  pc.core.journal.Clear();
  Write({'A', 'B', 0, 'C', 'D'});
  Write({'x', 0, 0, 'y'});
  Write({'!'});
  Write({});
  // Two pieces, then three (an empty one between the zeros), a character, and one empty piece.
  EXPECT_EQ(pc.core.journal.Count("SendMessageA"), 2u + 3u + 1u + 1u);
  EXPECT_EQ(memo->Text(), "ABCDxy!");
  EXPECT_TRUE(io.written.empty());
}

TEST_F(TerminalLink, WriteToControlReadsNothingPastTheData) {
  io.SetControl(memo);
  io.SetControlMode(2);
  // A buffer with no room for a terminator: under ASan a read or write past it would fail.
  auto* exact = new uint8_t[3]{'a', 'b', 'c'};
  io.WriteToControl(std::span<const uint8_t>(exact, 3));
  delete[] exact;
  EXPECT_EQ(memo->Text(), "abc");
}

TEST_F(TerminalLink, LinkingAtDesignTimeGivesAFullTerminal) {
  io.SetDesigning(true);
  io.SetControl(memo);
  EXPECT_EQ(io.GetControlMode(), 3);
  io.SetControl(nullptr);
  io.SetControlMode(2);
  io.SetControl(memo);
  EXPECT_EQ(io.GetControlMode(), 2);
  TestIO runtime(nullptr);
  runtime.SetControl(memo);
  EXPECT_EQ(runtime.GetControlMode(), 0);
  runtime.SetControl(nullptr);
}

TEST_F(TerminalLink, ModeSetBeforeLinkingTakesEffectWhenLinked) {
  io.SetControlMode(2);
  EXPECT_EQ(io.OutputWindow(), nullptr);
  io.SetControl(memo);
  EXPECT_EQ(io.OutputWindow(), memo->Handle());
  io.SetControlMode(7);  // stored, and the window stays
  EXPECT_EQ(io.GetControlMode(), 7);
  EXPECT_EQ(io.OutputWindow(), memo->Handle());
}

TEST_F(TerminalLink, UnlinkingOrRelinkingRestoresTheControlsOwnProcedure) {
  const fw::TWndMethod own = memo->WindowProc;
  io.SetControl(memo);
  io.SetControl(memo);  // as the loaded notification does: linked once
  io.SetControlMode(1);
  io.SetControl(nullptr);
  EXPECT_EQ(memo->WindowProc, own);
  Type('z');
  EXPECT_TRUE(io.written.empty());
  EXPECT_EQ(memo->Text(), "z");
}

TEST_F(TerminalLink, DestroyingTheComponentGivesTheControlItsProcedureBack) {
  const fw::TWndMethod own = memo->WindowProc;
  {
    TestIO linked(nullptr);
    linked.SetControl(memo);
    linked.SetControlMode(1);
  }
  EXPECT_EQ(memo->WindowProc, own);
  Type('q');
  EXPECT_EQ(memo->Text(), "q");
}

TEST_F(TerminalLink, DestroyingTheControlEndsTheLink) {
  io.SetControl(memo);
  io.SetControlMode(3);
  delete memo;
  EXPECT_EQ(io.Control(), nullptr);
  EXPECT_EQ(io.OutputWindow(), nullptr);
  io.SetControl(nullptr);  // nothing left to restore
}

TEST_F(TerminalLink, ALinkWhoseWindowCannotBeMadeStillEndsWithTheControl) {
  auto* orphan = new fw::TMemo(nullptr);
  io.SetControlMode(2);
  EXPECT_THROW(io.SetControl(orphan), fw::EInvalidOperation);
  delete orphan;
  // Otherwise the link dangles, and the component's destructor writes into the freed control.
  EXPECT_EQ(io.Control(), nullptr);
}

TEST_F(TerminalLink, ControlWithoutParentFailsWhenItsWindowIsNeeded) {
  fw::TMemo orphan(nullptr);
  io.SetControl(&orphan);
  EXPECT_THROW(io.SetControlMode(2), fw::EInvalidOperation);
  io.SetControl(nullptr);
}

// --- Order and state the paths above rely on -----------------------------------------------------

struct Tagged {
  std::vector<int>* order;
  int id;
  void Notify(fw::TObject*, int) { order->push_back(id); }
  TvlNotifyProc Proc() { return TvlNotifyProc::Of<&Tagged::Notify>(this); }
};

TEST_F(BaseIO, ListenersRunInTheOrderTheyWereRegistered) {
  std::vector<int> order;
  Tagged a{&order, 1}, b{&order, 2}, c{&order, 3};
  io.AddNotify(b.Proc());
  io.AddNotify(a.Proc());
  io.AddNotify(c.Proc());
  io.RemoveNotify(a.Proc());
  io.AddNotify(a.Proc());
  io.DoNotify(ncDevicesChanged);
  EXPECT_EQ(order, (std::vector<int>{2, 3, 1}));
}

TEST_F(BaseIO, OnClosingStillSeesTheHandle) {
  struct Seen {
    TestIO* io;
    uint32_t handle = 0;
    void Closing(fw::TObject*) { handle = io->Handle(); }
  } seen{&io};
  io.OnClosing = fw::TNotifyEvent::Of<&Seen::Closing>(&seen);
  io.SetActive(true);
  io.SetActive(false);
  EXPECT_EQ(seen.handle, 0x1234u);
  EXPECT_EQ(io.Handle(), TvlBaseIO::kClosed);
}

// Each step of the fatal-error path writes itself down.
struct Steps {
  std::vector<std::string> taken;
  fw::TObject* sender = nullptr;
  bool handler_raises = false;
  void Handle(fw::TObject* from, uint32_t, uint32_t, const std::string&, bool&) {
    sender = from;
    taken.push_back("handler");
    if (handler_raises) throw fw::Exception("handler failed");
  }
};

class StepLog : public TvlCustomLogFile {
 public:
  explicit StepLog(Steps& steps) : TvlCustomLogFile(nullptr), steps_(steps) {}
  void WriteLog(int, const std::string&, std::span<const fw::FormatArg>) override { steps_.taken.push_back("log"); }

 private:
  Steps& steps_;
};

TEST_F(BaseIO, FatalErrorRunsHandlerThenLogThenRaiseAndAHandlerThatRaisesEndsIt) {
  struct Case {
    bool handler_raises, show_only;
    std::vector<std::string> taken;
    size_t boxes;
  };
  for (const Case& c : std::vector<Case>{
           {false, false, {"handler", "log", "raised LPT1 broke"}, 0},
           {false, true, {"handler", "log"}, 1},
           {true, false, {"handler", "raised handler failed"}, 0},
           {true, true, {"handler", "raised handler failed"}, 0},
       }) {
    SCOPED_TRACE(std::string(c.handler_raises ? "raising handler" : "handler") + (c.show_only ? ", show only" : ""));
    Steps steps;
    steps.handler_raises = c.handler_raises;
    StepLog log(steps);
    TestIO failing(nullptr);
    failing.OnFatalError = TOnFatalErrorEvent::Of<&Steps::Handle>(&steps);
    failing.SetLog(&log);
    const size_t boxes = pc.windows.Boxes().size();
    try {
      failing.DoFatalError(10, 0, "LPT1 broke", c.show_only);
    } catch (const fw::Exception& error) {
      steps.taken.push_back("raised " + error.Message());
    }
    EXPECT_EQ(steps.taken, c.taken);
    EXPECT_EQ(steps.sender, &failing);
    EXPECT_EQ(pc.windows.Boxes().size() - boxes, c.boxes);
  }
}

// --- The terminal link: what reaches the device and the control ----------------------------------

TEST_F(TerminalLink, Mode3SendsTypedCharactersToTheDevice) {
  io.SetControl(memo);
  io.SetControlMode(3);
  Type('A');
  EXPECT_EQ(io.written, std::vector<uint8_t>{0x41});
  EXPECT_EQ(memo->Text(), "");
}

TEST_F(TerminalLink, OneByteIsWrittenAsATypedCharacter) {
  // Sits behind the link, where the control's own procedure was: sees what reaches the control.
  struct Recorder {
    fw::TWndMethod next;
    std::vector<std::vector<uint64_t>> seen;
    void Proc(fw::TMessage& message) {
      if (message.Msg == WM_CHAR || message.Msg == EM_REPLACESEL) {
        seen.push_back({message.Msg, message.WParam, static_cast<uint64_t>(message.LParam)});
      }
      next(message);
    }
  } recorder{memo->WindowProc, {}};
  memo->WindowProc = fw::TWndMethod::Of<&Recorder::Proc>(&recorder);
  io.SetControl(memo);
  io.SetControlMode(3);
  Write({'!'});
  EXPECT_EQ(recorder.seen, (std::vector<std::vector<uint64_t>>{{WM_CHAR, '!', 1}}));
  EXPECT_TRUE(io.written.empty());
  EXPECT_EQ(memo->Text(), "!");
  io.SetControl(nullptr);
  memo->WindowProc = recorder.next;
}

TEST_F(TerminalLink, LoadedLinksTheStoredControlAndModeAgain) {
  const fw::TWndMethod own = memo->WindowProc;
  io.BeginLoading();
  io.SetControl(memo);
  io.SetControlMode(3);
  // While the form loads, the control gets its own procedure back and a new window.
  memo->WindowProc = own;
  const HWND first = memo->Handle();
  memo->DestroyHandle();
  const HWND window = memo->Handle();
  ASSERT_NE(window, first);
  io.Loaded();
  EXPECT_EQ(io.OutputWindow(), window);
  Type('A');
  EXPECT_EQ(io.written, std::vector<uint8_t>{0x41});
}

}  // namespace
