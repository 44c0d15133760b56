// Start-up to the first painted window: Pinscope against the same-work baseline (the system
// work Pinscope's start-up must do, in plain C) and against a minimal window program, started
// in turns in one run; Pinscope's start-up phase by phase from its benchmark build, which
// stamps them; and the private memory of each once its window is up (on Windows; Wine reports
// none, so bench/memory_windows.sh measures it from outside there):
//   startup_windows PINSCOPE.exe PINSCOPE-STAMPED.exe SAME-WORK.exe MINIMAL.exe
// WaitForInputIdle returns when a program's first message loop has nothing left to do, its
// windows' first WM_PAINT included. Needs a display (under Wine: run it through Xvfb).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "framework/startup_stamps.h"

namespace {

constexpr int kRounds = 15;
constexpr int kPhases = static_cast<int>(fw::StartupPhase::kCount);
// What each stamp ends, in the order of fw::StartupPhase.
constexpr const char* kPhaseNames[kPhases] = {
    "process start to main (loader, runtime, static initialisers)",
    "layout read (resource text to tree)",
    "components made up to the port list, SetupAPI loaded",
    "ports enumerated (device database, registry)",
    "rest of the components made and loaded",
    "windows made and the main one shown",
    "first paint (queue idle)",
};

struct Start {
  double seconds = -1;
  double private_mib = 0;
  std::vector<double> phase_ms;  // the stamped program's phases, when it was started
};

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id)) PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// The stamped program's lines "phase counter", as milliseconds each phase took after the one
// before, the first counted from `from`; empty when a stamp is missing.
std::vector<double> Phases(const std::string& output, LARGE_INTEGER from) {
  std::vector<LONGLONG> at(kPhases, 0);
  std::istringstream lines(output);
  int phase;
  long long counter;
  while (lines >> phase >> counter) {
    if (phase >= 0 && phase < kPhases) at[phase] = counter;
  }
  std::vector<double> milliseconds;
  LARGE_INTEGER previous = from, now;
  for (LONGLONG counter_at : at) {
    if (counter_at == 0) return {};
    now.QuadPart = counter_at;
    milliseconds.push_back(bench::Seconds(previous, now) * 1000);
    previous = now;
  }
  return milliseconds;
}

Start Launch(const std::string& program, bool stamped) {
  Start start;
  std::string command = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  HANDLE read_end = nullptr, write_end = nullptr;
  if (stamped) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return start;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdInput = startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION process{};
  LARGE_INTEGER from, to;
  QueryPerformanceCounter(&from);
  const BOOL created =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, stamped, 0, nullptr, nullptr, &startup, &process);
  if (write_end) CloseHandle(write_end);  // the program holds the only writer now: its end ends the pipe
  if (!created) {
    std::fprintf(stderr, "%s does not start: error %lu\n", program.c_str(), GetLastError());
    if (read_end) CloseHandle(read_end);
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
  if (read_end) {
    std::string output;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    CloseHandle(read_end);
    start.phase_ms = Phases(output, from);
  }
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return start;
}

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(q * double(values.size() - 1) + 0.5)];
}

// "median (quartiles low to high)"
std::string Spread(const std::vector<double>& values, const char* format) {
  char text[128], low[32], median[32], high[32];
  std::snprintf(low, sizeof low, format, Quantile(values, 0.25));
  std::snprintf(median, sizeof median, format, Quantile(values, 0.5));
  std::snprintf(high, sizeof high, format, Quantile(values, 0.75));
  std::snprintf(text, sizeof text, "%s (quartiles %s to %s)", median, low, high);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::ReleaseBuild()) return 2;
  if (argc != 5) {
    std::fprintf(stderr, "usage: startup_windows PINSCOPE.exe PINSCOPE-STAMPED.exe SAME-WORK.exe MINIMAL.exe\n");
    return 2;
  }
  for (int program = 1; program < argc; ++program)
    if (!bench::MeasuredReleaseBuild(argv[program])) return 2;
  enum { kPinscope, kStamped, kSameWork, kMinimal, kPrograms };
  const char* const names[kPrograms] = {"Pinscope", "Pinscope, stamped build", "same-work baseline",
                                        "minimal window"};
  for (int program = 0; program < kPrograms; ++program) Launch(argv[1 + program], program == kStamped);  // warm-up
  std::vector<double> ms[kPrograms], mib[kPrograms], same_work_ratio, minimal_ratio;
  std::vector<std::vector<double>> phases(kPhases);
  for (int round = 0; round < kRounds; ++round) {
    Start starts[kPrograms];
    // Each round starts with another program, so none always follows the same one.
    for (int turn = 0; turn < kPrograms; ++turn) {
      const int program = (round + turn) % kPrograms;
      starts[program] = Launch(argv[1 + program], program == kStamped);
      if (starts[program].seconds < 0) return 1;
      ms[program].push_back(starts[program].seconds * 1000);
      mib[program].push_back(starts[program].private_mib);
    }
    same_work_ratio.push_back(starts[kPinscope].seconds / starts[kSameWork].seconds);
    minimal_ratio.push_back(starts[kPinscope].seconds / starts[kMinimal].seconds);
    if (starts[kStamped].phase_ms.size() != kPhases) {
      std::fprintf(stderr, "the stamped build reported no complete set of start-up stamps\n");
      return 1;
    }
    for (int phase = 0; phase < kPhases; ++phase) phases[phase].push_back(starts[kStamped].phase_ms[phase]);
  }

  std::printf("start-up to the first painted window, %d starts each in turns after a warm-up, ms:\n", kRounds);
  for (int program = 0; program < kPrograms; ++program) {
    std::printf("  %-26s %s\n", names[program], Spread(ms[program], "%.1f").c_str());
  }
  std::printf("Pinscope / same-work baseline: %s (goal: at most 1.10, the upper quartile at most 1.20)\n", Spread(same_work_ratio, "%.2f").c_str());
  std::printf("Pinscope / minimal window:     %s\n", Spread(minimal_ratio, "%.2f").c_str());
  std::printf("Pinscope's start-up by phase (stamped build), ms:\n");
  double total = 0;
  for (int phase = 0; phase < kPhases; ++phase) {
    total += Quantile(phases[phase], 0.5);
    std::printf("  %-62s %s\n", kPhaseNames[phase], Spread(phases[phase], "%.2f").c_str());
  }
  std::printf("  %-62s %.1f\n", "sum of the medians", total);
  // Wine leaves the private usage at 0: bench/memory_windows.sh measures it from outside.
  if (bench::Median(mib[kPinscope]) > 0) {
    std::printf("private memory with the window up: Pinscope %.2f MiB, same-work baseline %.2f MiB, "
                "minimal window %.2f MiB\n",
                bench::Median(mib[kPinscope]), bench::Median(mib[kSameWork]), bench::Median(mib[kMinimal]));
  }
  return 0;
}
