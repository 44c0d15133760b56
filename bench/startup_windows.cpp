// Start-up to the first painted window, Pinscope against a minimal Win32 window program, in
// turns in one run, and the private memory of each once its window is up (on Windows; Wine
// reports none, so bench/memory_windows.sh measures it from outside there):
//   startup_windows PINSCOPE.exe MINIMAL.exe
// WaitForInputIdle returns when a program's first message loop has nothing left to do, its
// window's first WM_PAINT included. Needs a display (under Wine: run it through Xvfb).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/stopwatch_windows.h"

namespace {

struct Start {
  double seconds = -1;
  double private_mib = 0;
};

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id)) PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

Start Launch(const std::string& program) {
  Start start;
  std::string command = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  LARGE_INTEGER from, to;
  QueryPerformanceCounter(&from);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "%s does not start: error %lu\n", program.c_str(), GetLastError());
    return start;
  }
  if (WaitForInputIdle(process.hProcess, 60000) == 0) {
    QueryPerformanceCounter(&to);
    start.seconds = bench::Seconds(from, to);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    if (GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
      start.private_mib = double(memory.PrivateUsage) / (1024 * 1024);
    }
  }
  EnumWindows(CloseWindowsOf, static_cast<LPARAM>(process.dwProcessId));
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: startup_windows PINSCOPE.exe MINIMAL.exe\n");
    return 2;
  }
  constexpr int kRounds = 7;
  std::vector<double> pinscope_ms, minimal_ms, pinscope_mib, minimal_mib;
  Launch(argv[1]);  // the first start of each also fills Wine's caches
  Launch(argv[2]);
  for (int round = 0; round < kRounds; ++round) {
    const Start pinscope = Launch(argv[1]), minimal = Launch(argv[2]);
    if (pinscope.seconds < 0 || minimal.seconds < 0) return 1;
    pinscope_ms.push_back(pinscope.seconds * 1000);
    minimal_ms.push_back(minimal.seconds * 1000);
    pinscope_mib.push_back(pinscope.private_mib);
    minimal_mib.push_back(minimal.private_mib);
  }
  const double pinscope = bench::Median(pinscope_ms), minimal = bench::Median(minimal_ms);
  std::printf("start-up to the first painted window (median of %d): Pinscope %.1f ms, minimal window %.1f ms, "
              "ratio %.2f\n",
              kRounds, pinscope, minimal, pinscope / minimal);
  // Wine leaves the private usage at 0: bench/memory_windows.sh measures it from outside.
  if (bench::Median(pinscope_mib) > 0) {
    std::printf("private memory with the window up: Pinscope %.2f MiB, minimal window %.2f MiB\n",
                bench::Median(pinscope_mib), bench::Median(minimal_mib));
  }
  return 0;
}
