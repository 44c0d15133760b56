// The printer's Centronics handshake, seen through the virtual port's registers.
#include "sim/printer.h"

#include <gtest/gtest.h>

#include <string>

namespace sim {
namespace {

constexpr BYTE kBusyClear = VPORT_STATUS_BUSY;  // the register bit reads 1 while the pin is low

class PrinterTest : public ::testing::Test {
 protected:
  PrinterTest() { vport_plug(&port, printer.Peripheral()); }
  ~PrinterTest() override { vport_plug(&port, nullptr); }

  // What a program does in direct mode: the byte on the data lines, then a Strobe pulse.
  void Send(BYTE value) {
    vport_write(&port, VPORT_DATA, value);
    const BYTE control = vport_read(&port, VPORT_CONTROL);
    vport_write(&port, VPORT_CONTROL, control | VPORT_CONTROL_STROBE);
    vport_write(&port, VPORT_CONTROL, control & ~VPORT_CONTROL_STROBE);
  }

  BYTE Status() { return vport_read(&port, VPORT_STATUS); }

  Clock clock;
  VirtualPrinter printer{clock};
  vport port = VPORT_INITIALIZER(nullptr);
};

TEST_F(PrinterTest, TakesAByteThenStaysBusyForItsTime) {
  EXPECT_EQ(Status(), 0xDF) << "ready, on line, paper, no fault: got " << int(Status());
  printer.SetBusyTime(2);

  Send('P');
  EXPECT_EQ(printer.ReceivedText(), "P");
  EXPECT_EQ(Status() & kBusyClear, 0) << "busy right after the strobe";
  clock.Advance(1);
  EXPECT_EQ(Status() & kBusyClear, 0) << "still busy: got " << int(Status());
  clock.Advance(1);
  EXPECT_EQ(Status(), 0xDF) << "Busy dropped, Ack high: got " << int(Status());

  // A strobe while busy is lost, as on a real printer.
  Send('Q');
  Send('R');
  EXPECT_EQ(printer.ReceivedText(), "PQ");
}

TEST_F(PrinterTest, WithoutBusyTimeItAnswersAtOnce) {
  for (const char c : std::string("ready")) {
    EXPECT_NE(Status() & kBusyClear, 0) << "before " << c;
    Send(static_cast<BYTE>(c));
  }
  EXPECT_EQ(printer.ReceivedText(), "ready");
  EXPECT_EQ(clock.PendingHooks(), 0u);
}

TEST_F(PrinterTest, OffLineAndPaperOutShowOnTheStatusLinesAndLoseBytes) {
  printer.SetOnline(false);
  EXPECT_EQ(Status() & (kBusyClear | VPORT_STATUS_SELECT | VPORT_STATUS_FAULT), 0) << "got " << int(Status());
  Send('x');
  printer.SetOnline(true);
  printer.SetPaperOut(true);
  EXPECT_EQ(Status() & (kBusyClear | VPORT_STATUS_FAULT), 0) << "got " << int(Status());
  EXPECT_NE(Status() & VPORT_STATUS_PAPER_OUT, 0);
  Send('y');
  EXPECT_TRUE(printer.Received().empty());
}

TEST_F(PrinterTest, InitResetsAByteInProgress) {
  printer.SetBusyTime(100);
  Send('a');
  clock.Advance(50);
  const BYTE control = vport_read(&port, VPORT_CONTROL);
  vport_write(&port, VPORT_CONTROL, control & ~VPORT_CONTROL_INIT);
  EXPECT_EQ(printer.Resets(), 1u);
  EXPECT_EQ(Status() & kBusyClear, 0) << "busy while Init is held low";
  vport_write(&port, VPORT_CONTROL, control);
  EXPECT_NE(Status() & kBusyClear, 0) << "ready again without waiting out the byte";
  Send('b');
  clock.Advance(50);
  EXPECT_EQ(Status() & kBusyClear, 0) << "the end of the cancelled byte does not end this one";
  clock.Advance(50);
  EXPECT_NE(Status() & kBusyClear, 0);
  EXPECT_EQ(printer.ReceivedText(), "ab");
}

TEST(PrinterLifetime, HooksOutliveThePrinterHarmlessly) {
  Clock clock;
  vport port = VPORT_INITIALIZER(nullptr);
  {
    VirtualPrinter printer(clock);
    printer.SetBusyTime(5);
    vport_plug(&port, printer.Peripheral());
    vport_write(&port, VPORT_CONTROL, VPORT_CONTROL_RESET | VPORT_CONTROL_STROBE);
    vport_plug(&port, nullptr);
  }
  clock.Advance(10);
  EXPECT_EQ(clock.PendingHooks(), 0u);
}

}  // namespace
}  // namespace sim
