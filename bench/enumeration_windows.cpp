// Enumeration of the machine's parallel ports through the system's own SetupAPI and
// registry, with LPT1 (0x378) and LPT2 (0x278) provisioned first. A cold enumeration happens
// once per process, so each figure comes from several runs of enumeration_probe_windows.exe
// (next to this program): medians of the cold ones and of the warm ones after them.
// Run under Wine (or on Windows, elevated): build/win64/wine-run build/win64/bench/enumeration_windows.exe
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "platform/unique_handle.h"
#include "tools/port_provisioning.h"

namespace {

using platform::UniqueHandle;

std::string ProbePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string probe(path, length);
  return probe.substr(0, probe.find_last_of("\\/") + 1) + "enumeration_probe_windows.exe";
}

/// The probe's one line of output; empty when it could not be run or failed.
std::string RunProbe(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return {};
  const UniqueHandle reader(read_end);
  UniqueHandle writer(write_end);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::string command = "\"" + path + "\"";
  if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return {};
  const UniqueHandle process_handle(process.hProcess), thread_handle(process.hThread);
  writer.reset();  // the pipe ends when the probe's copy closes

  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  WaitForSingleObject(process_handle.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process_handle.get(), &code);
  return code == 0 ? output : std::string();
}

}  // namespace

int main() {
  if (!bench::ReleaseBuild()) return 2;
  for (const auto& [name, base] : {std::pair<const char*, unsigned>{"LPT1", 0x378}, {"LPT2", 0x278}}) {
    if (!ParallelPortExists(name) && !AddParallelPort(name, base)) {
      std::fprintf(stderr, "%s could not be provisioned: %lu\n", name, GetLastError());
      return 1;
    }
  }

  constexpr int kProcesses = 7;
  const std::string probe = ProbePath();
  std::vector<double> cold, second, warm;
  int ports = -1, preloaded = 0;
  for (int run = 0; run < kProcesses; ++run) {
    std::istringstream line(RunProbe(probe));
    int mapped = 0, count = 0;
    double us = 0;
    if (!(line >> mapped >> count >> us)) {
      std::fprintf(stderr, "%s did not run\n", probe.c_str());
      return 1;
    }
    cold.push_back(us);
    if (line >> us) second.push_back(us);
    while (line >> us) warm.push_back(us);
    ports = count;
    preloaded += mapped;
  }
  if (ports < 2) {
    std::fprintf(stderr, "only %d ports enumerated, expected LPT1 and LPT2\n", ports);
    return 1;
  }
  std::printf("%d ports enumerated; %d processes, %zu warm enumerations\n", ports, kProcesses, warm.size());
  std::printf("  cold (first in the process, loads SetupAPI): %8.2f ms median\n", bench::Median(cold) / 1000);
  std::printf("  warm (same component, later):                %8.2f ms median\n", bench::Median(warm) / 1000);
  std::printf("  first of a second component:                 %8.2f ms median\n", bench::Median(second) / 1000);
  std::printf("  ratio cold/warm:                             %8.1f\n", bench::Median(cold) / bench::Median(warm));
  if (preloaded) std::printf("  (SetupAPI was already mapped in %d of the processes)\n", preloaded);
  return 0;
}
