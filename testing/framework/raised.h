// For tests: what an operation raised, as one value to compare.
#pragma once

#include <string>

#include "framework/exception.h"

namespace fw {

/// The message of the E that `operation` raises, or "(no exception)". Any other exception
/// passes through.
template <typename E = Exception, typename Operation>
std::string RaisedMessage(Operation&& operation) {
  try {
    operation();
  } catch (const E& error) {
    return error.Message();
  }
  return "(no exception)";
}

}  // namespace fw
