#include "platform/win32.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

#ifdef _WIN32
const Platform& RealWindows();  // win32_real.cpp
#endif

namespace {

// The installed platform is the one piece of global state: it stands for the machine itself.
const Platform* installed =
#ifdef _WIN32
    &RealWindows();
#else
    nullptr;
#endif

}  // namespace

const Platform& Installed() {
  if (!installed) {
    std::fputs("pinscope: no platform is installed (host builds run only on the simulated PC)\n", stderr);
    std::abort();
  }
  return *installed;
}

ScopedInstall::ScopedInstall(const Platform& platform) : previous_(installed) { installed = &platform; }

ScopedInstall::~ScopedInstall() { installed = previous_; }

}  // namespace platform
