#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

// The virtual-port flavour, through the same requests a client sends. Its ports live as
// long as the driver image, so each test first writes what it later reads.
class VlioVirtual : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(driver_.Load(), STATUS_SUCCESS); }
  void TearDown() override {
    driver_.Unload();
    EXPECT_TRUE(kernel_.PortAccesses().empty()) << "the virtual flavour must never reach the real bus";
    EXPECT_TRUE(kernel_.Faults().empty());
  }

  void Write(uint16_t port, uint8_t value) {
    EXPECT_EQ(driver_.DeviceControl(IOCTL_VLIO_WRITE, {uint8_t(port), uint8_t(port >> 8), value}, {}).status,
              STATUS_SUCCESS);
  }
  uint8_t Read(uint16_t port) {
    kernel_host::Reply reply = driver_.DeviceControl(IOCTL_VLIO_READ, {uint8_t(port), uint8_t(port >> 8)}, {0});
    EXPECT_EQ(reply.information, 1u);
    return reply.output.at(0);
  }

  kernel_host::Kernel kernel_;
  kernel_host::Driver driver_{kernel_, &DriverEntry};
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

TEST_F(VlioVirtual, OtherAddressesAreEmptyBus) {
  for (uint16_t address : {0x37B, 0x3BC, 0x2F8, 0x27B, 0x277}) {
    Write(address, 0x00);
    EXPECT_EQ(Read(address), 0xFF) << address;
  }
}

}  // namespace
