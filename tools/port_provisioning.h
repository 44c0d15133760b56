// Parallel ports in the device database of the machine the program runs on (Windows or Wine).
#pragma once

#include <string>

/// True when a Ports-class device with this "PortName" is registered.
bool ParallelPortExists(const std::string& name);

/// Registers a parallel port `name` (for example "LPT1") whose registers are at `base`.
/// False with the last error set when SetupAPI or the registry refuses.
bool AddParallelPort(const std::string& name, unsigned base);
