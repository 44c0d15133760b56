// An event object, as CreateEventA makes it.
#pragma once

#include <string>
#include <string_view>

#include "sim/handles.h"

namespace sim {

struct Event final : KernelObject {
  Event(bool manual_reset, bool signalled, std::string name)
      : manual_reset(manual_reset), signalled(signalled), name(std::move(name)) {}
  std::string_view Kind() const override { return "Event"; }

  bool manual_reset;
  bool signalled;
  std::string name;  // empty: unnamed
};

}  // namespace sim
