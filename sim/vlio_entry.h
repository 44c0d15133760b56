// The vlio driver's entry point as the host kernel runs it (driver/vlio.c, built as
// vlio_host), for tests that give the PC's kernel the driver:
//   pc.kernel.AddImage(image_bytes, &DriverEntry);
#pragma once

#include <cstdint>

#include "sim/kernel_bridge.h"

extern "C" std::int32_t DriverEntry(_DRIVER_OBJECT* driver, _UNICODE_STRING* registry_path);
