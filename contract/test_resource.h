// The RCDATA resource the contract tests' program carries (contract/contract.rc); the
// simulated PC's image is given the same bytes.
#pragma once

#include <string_view>

namespace contract {

inline constexpr const char* kResourceName = "CONTRACTDATA";
inline constexpr std::string_view kResourceBytes = "Pinscope contract resource";

}  // namespace contract
