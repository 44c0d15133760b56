#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

// The virtual-port flavour, through the same requests a client sends: one open claims each
// port, as a program does. Its ports live as long as the driver image, so each test first
// writes what it later reads.
class VlioVirtual : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(driver_.Load(), STATUS_SUCCESS);
    for (uint16_t base : {0x378, 0x278, 0x3BC}) {
      ASSERT_EQ(driver_.Create().status, STATUS_SUCCESS);
      ASSERT_EQ(driver_.DeviceControl(IOCTL_VLIO_CLAIM, {uint8_t(base), uint8_t(base >> 8)}, {}).status,
                STATUS_SUCCESS);
      opens_[base] = driver_.Current();
    }
  }
  void TearDown() override {
    for (const auto& [base, open] : opens_) driver_.Close(open);
    driver_.Unload();
    EXPECT_TRUE(kernel_.PortAccesses().empty()) << "the virtual flavour must never reach the real bus";
    EXPECT_TRUE(kernel_.Faults().empty());
  }

  // Through the open that claimed the port `port` belongs to.
  void Use(uint16_t port) {
    const auto base = static_cast<uint16_t>(port >= 0x3BC && port <= 0x3BF ? 0x3BC : port & ~7u);
    driver_.Use(opens_.count(base) ? opens_[base] : opens_[0x378]);
  }
  void Write(uint16_t port, uint8_t value) {
    Use(port);
    EXPECT_EQ(driver_.DeviceControl(IOCTL_VLIO_WRITE, {uint8_t(port), uint8_t(port >> 8), value}, {}).status,
              STATUS_SUCCESS);
  }
  uint8_t Read(uint16_t port) {
    Use(port);
    kernel_host::Reply reply = driver_.DeviceControl(IOCTL_VLIO_READ, {uint8_t(port), uint8_t(port >> 8)}, {0});
    EXPECT_EQ(reply.information, 1u);
    return reply.output.at(0);
  }

  kernel_host::Kernel kernel_;
  kernel_host::Driver driver_{kernel_, &DriverEntry};
  std::map<uint16_t, FILE_OBJECT*> opens_;
};

TEST_F(VlioVirtual, Lpt1HasTheLoopbackPlug) {
  Write(0x378, 0x00);
  EXPECT_EQ(Read(0x379), 0x87);
  Write(0x378, 0x01);
  EXPECT_EQ(Read(0x378), 0x01);
  EXPECT_EQ(Read(0x379), 0x8F) << "D0 comes back on Fault";
  Write(0x378, 0x10);
  EXPECT_EQ(Read(0x379), 0x07) << "D4 comes back on Busy, inverted";
  Write(0x37A, 0x04);
  EXPECT_EQ(Read(0x37A), 0xC4);
}

TEST_F(VlioVirtual, Lpt2HasAPrinterThatIsAlwaysReady) {
  Write(0x27A, 0x0C);  // Init high, printer selected
  EXPECT_EQ(Read(0x279), 0xDF) << "Ack idle, Busy low, PaperOut low, Select and Fault high";
  for (uint8_t data : {0x00, 0x41, 0xFF}) {
    Write(0x278, data);
    Write(0x27A, 0x0D);
    EXPECT_EQ(Read(0x279), 0xDF) << "after the strobe of 0x" << std::hex << int(data);
    Write(0x27A, 0x0C);
  }
  EXPECT_EQ(Read(0x278), 0xFF);
  Write(0x27A, 0x08);
  EXPECT_EQ(Read(0x279), 0x5F) << "Init low holds it in reset, busy";
  Write(0x27A, 0x0C);
  EXPECT_EQ(Read(0x279), 0xDF);
}

TEST_F(VlioVirtual, Lpt3HasASignalGeneratorOnThePerformanceCounter) {
  int64_t now = 0;
  kernel_.SetPerformanceCounter([&] { return now; }, 3'579'545);
  now = 3'579'545 + 2'148;  // 0.6 ms into a second: Ack low, the start bit, Paper out and Select high
  EXPECT_EQ(Read(0x3BD), 0xBF);
  now += 12'528;  // about 4.1 ms: Ack high, a data bit of 'P' (0), Paper out and Select low
  EXPECT_EQ(Read(0x3BD), 0xCF);
  Write(0x3BC, 0x5A);
  EXPECT_EQ(Read(0x3BC), 0x5A);
}

TEST_F(VlioVirtual, ServedRegistersWithoutAVirtualPortAreEmptyBusAndOthersRefused) {
  for (uint16_t address : {0x37B, 0x37F, 0x27B, 0x3BF}) {
    Write(address, 0x00);
    EXPECT_EQ(Read(address), 0xFF) << address;
  }
  for (uint16_t address : {0x2F8, 0x277, 0x3C0}) {
    Use(address);
    EXPECT_EQ(driver_.DeviceControl(IOCTL_VLIO_READ, {uint8_t(address), uint8_t(address >> 8)}, {0}).status,
              STATUS_ACCESS_DENIED)
        << address;
  }
}

// The virtual ports are the driver's own: a real LPT1 that Windows' parallel driver knows is
// neither opened nor held, so a print job on it never waits for a port nothing here drives; and
// no port Windows lists withholds the legacy bases.
TEST(VlioVirtualLoad, AsksWindowsForNoParallelPort) {
  kernel_host::Kernel kernel;
  kernel_host::ParallelPort& lpt1 = kernel.AddParallelPort({"\\??\\ACPI#PNP0400#1", 0x378, 8, 0x378});
  kernel.AddParallelPort({"\\??\\PCI#CARD#2", 0xFE000000, 8, 0xFE000000});
  kernel_host::Driver driver(kernel, &DriverEntry);
  ASSERT_EQ(driver.Load(), STATUS_SUCCESS);
  ASSERT_EQ(driver.Create().status, STATUS_SUCCESS);
  for (uint16_t base : {0x378, 0x278, 0x3BC})
    EXPECT_EQ(driver.DeviceControl(IOCTL_VLIO_CLAIM, {uint8_t(base), uint8_t(base >> 8)}, {}).status, STATUS_SUCCESS);
  EXPECT_FALSE(lpt1.allocated);
  EXPECT_EQ(kernel.ParallelPortReferences(), 0);
  EXPECT_EQ(kernel.Registrations(), 0u);
  driver.Close();
  driver.Unload();
  EXPECT_TRUE(kernel.Faults().empty());
}

}  // namespace
