// The machine a contract test runs on: the simulated PC in host builds, Windows itself (Wine
// here) in Windows builds. Each behaviour of Windows that the library, the framework or the
// program relies on is written once, as a typed suite over PcsUnderTest, and so holds for
// both; where they part, the simulated PC is what gets fixed.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include "contract/real_pc.h"
#else
#include "contract/simulated_pc.h"
#endif

namespace contract {

#ifdef _WIN32
using PcsUnderTest = testing::Types<RealPc>;
#else
using PcsUnderTest = testing::Types<SimulatedPc>;
#endif

/// A fixture per family: the PC under test, installed for the test's lifetime.
template <class Pc>
class OnPc : public testing::Test {
 protected:
  Pc pc;
};

/// Names the PC in a typed test's name: "Files/simulated", "Files/windows".
struct PcName {
  template <class Pc>
  static std::string GetName(int) {
    return Pc::kName;
  }
};

}  // namespace contract
