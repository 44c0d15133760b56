// Every benchmark says which build it measured and refuses a debug one: figures of unoptimised
// code say nothing about the program users run, and a table of them is easily taken for real.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <string>

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

/// The build type that a program measured from outside carries (programs/version.rc), printed; false
/// (with the reason on stderr) for a debug build or a program that carries none.
inline bool MeasuredReleaseBuild(const char* program) {
  std::string text;
  if (std::FILE* file = std::fopen(program, "rb")) {
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
    std::fclose(file);
  }
  const std::string mark = "pinscope-build: ";
  std::string type;
  if (const std::size_t at = text.find(mark); at != std::string::npos) {
    for (std::size_t i = at + mark.size(); i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); ++i) {
      type += text[i];
    }
  }
  std::printf("build type of %s: %s\n", program, type.empty() ? "unknown" : type.c_str());
  if (!type.empty() && type != "Debug" && type != "none") return true;
  std::fprintf(stderr, "refused: %s is not a release build; measure one\n", program);
  return false;
}

}  // namespace bench
