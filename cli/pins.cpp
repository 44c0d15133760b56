#include "cli/pins.h"

namespace cli {

const SignalPin* FindSignalPin(int number) {
  if (number < 1 || number > static_cast<int>(kSignalPins.size())) return nullptr;
  return &kSignalPins[static_cast<std::size_t>(number - 1)];
}

}  // namespace cli
