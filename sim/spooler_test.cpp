// The spooler's port list through EnumPortsA.
#include "sim/spooler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

class SpoolerTest : public ::testing::Test {
 protected:
  SpoolerTest() { pc.spooler.AddStandardPorts(); }
  InstalledPc pc;
};

TEST_F(SpoolerTest, SizingCallThenFillingCall) {
  std::size_t strings = 0;
  for (const SimSpooler::Port& port : pc.spooler.Ports()) {
    strings += port.name.size() + port.monitor.size() + port.description.size() + 3;
  }
  DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(needed, 8 * sizeof(PORT_INFO_2A) + strings) << "the entries, then their strings";
  EXPECT_EQ(returned, 0u);

  std::vector<BYTE> buffer(needed + 16, 0xcc);
  DWORD again = 0;
  EXPECT_FALSE(win::EnumPortsA(nullptr, 2, buffer.data(), needed - 1, &again, &returned));
  EXPECT_EQ(again, needed);
  EXPECT_EQ(buffer[0], 0xcc) << "too small a buffer is not written";

  ASSERT_TRUE(win::EnumPortsA(nullptr, 2, buffer.data(), needed, &again, &returned)) << win::GetLastError();
  ASSERT_EQ(returned, 8u);
  EXPECT_EQ(buffer[needed], 0xcc) << "written past the size given";
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  const auto inside = [&](const char* text) { return text >= begin && text < begin + needed; };
  std::vector<std::string> names;
  for (DWORD i = 0; i < returned; ++i) {
    PORT_INFO_2A entry;
    std::memcpy(&entry, buffer.data() + i * sizeof entry, sizeof entry);
    EXPECT_TRUE(inside(entry.pPortName) && inside(entry.pMonitorName) && inside(entry.pDescription)) << "entry " << i;
    names.push_back(entry.pPortName);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"}));

  // Level 1 holds the names alone.
  EXPECT_FALSE(win::EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 8 * sizeof(PORT_INFO_1A) + 6 * 7 + 6);
}

TEST_F(SpoolerTest, RefusesWhatWindowsRefuses) {
  DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::EnumPortsA(nullptr, 3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_LEVEL});
  EXPECT_EQ(needed, 0u);
  EXPECT_FALSE(win::EnumPortsA(nullptr, 2, nullptr, 0, nullptr, &returned));
  EXPECT_EQ(win::GetLastError(), DWORD{RPC_X_NULL_REF_POINTER});
  pc.core.faults.Fail("EnumPortsA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(win::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});

  // Without ports there is nothing to size: the first call succeeds.
  const std::vector<SimSpooler::Port> ports = pc.spooler.Ports();
  for (const SimSpooler::Port& port : ports) pc.spooler.RemovePort(port.name);
  EXPECT_TRUE(win::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
}

}  // namespace
}  // namespace sim
