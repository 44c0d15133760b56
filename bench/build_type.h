// Every benchmark says which build it measured and refuses a debug one: figures of unoptimised
// code say nothing about the program users run, and a table of them is easily taken for real.
#pragma once

#include <cstdio>

#ifndef PINSCOPE_BUILD_TYPE
#error "bench/CMakeLists.txt gives every benchmark PINSCOPE_BUILD_TYPE"
#endif

namespace bench {

/// Prints the build type; false (with the reason on stderr) for a build without optimisation
/// or with assertions, which the caller then ends with.
inline bool ReleaseBuild() {
  std::printf("build type: %s\n", PINSCOPE_BUILD_TYPE);
#if defined(__OPTIMIZE__) && defined(NDEBUG)
  return true;
#else
  std::fprintf(stderr, "refused: a %s build is not optimised or keeps its assertions; measure a release build\n",
               PINSCOPE_BUILD_TYPE);
  return false;
#endif
}

}  // namespace bench
