// The spooler's list of ports, which the 9x family's port enumeration reads.
#include <cstring>
#include <string>
#include <vector>

#include "contract/pc_under_test.h"

namespace contract {
namespace {

template <class Pc>
class Spooler : public OnPc<Pc> {};
TYPED_TEST_SUITE(Spooler, PcsUnderTest, PcName);

TYPED_TEST(Spooler, PortsAreListedAfterAskingForTheSizeWithTheirStringsInTheBuffer) {
  this->pc.ProvisionPrinterPorts();
  DWORD needed = 0, count = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  ASSERT_FALSE(win::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count));
  ASSERT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << "got " << win::GetLastError();
  ASSERT_GT(needed, sizeof(PORT_INFO_2A));

  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(win::EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &count)) << win::GetLastError();
  ASSERT_GT(count, 0u);
  ASSERT_LE(count * sizeof(PORT_INFO_2A), buffer.size());
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  bool lpt1 = false;
  for (DWORD i = 0; i < count; ++i) {
    PORT_INFO_2A entry;
    std::memcpy(&entry, buffer.data() + i * sizeof entry, sizeof entry);
    ASSERT_NE(entry.pPortName, nullptr);
    EXPECT_GE(entry.pPortName, begin + count * sizeof entry) << "the strings follow the entries";
    EXPECT_LT(entry.pPortName, begin + buffer.size());
    // Printer ports are named with a colon: "LPT1:".
    lpt1 = lpt1 || std::string(entry.pPortName) == "LPT1:";
  }
  EXPECT_TRUE(lpt1) << "no LPT1: among " << count << " ports";
}

}  // namespace
}  // namespace contract
