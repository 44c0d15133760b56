// Holds the same-work baseline to Pinscope: starts each program, waits for its first painted
// window, and compares their window trees, window by window in Z order: class, caption,
// rectangle (relative to the parent's client area), style and extended style, each button's
// check state, and the port list's entries and selection. A baseline that made fewer or simpler
// windows would measure less work than Pinscope does; one that made more would flatter it.
//   window_tree_windows PINSCOPE.exe BASELINE.exe
// Needs a display (under Wine: run it through Xvfb). Exits 0 when the trees are the same.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Found {
  DWORD process_id;
  HWND window;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM found_address) {
  auto* found = reinterpret_cast<Found*>(found_address);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != found->process_id || !IsWindowVisible(window) || GetParent(window)) return TRUE;
  found->window = window;
  return FALSE;
}

std::string Text(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

void Describe(HWND window, int depth, std::vector<std::string>& lines) {
  RECT rect{};
  GetWindowRect(window, &rect);
  if (HWND parent = GetParent(window)) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  const std::string class_name = ClassOf(window);
  char line[640];
  std::snprintf(line, sizeof line, "%*s%s \"%s\" (%ld,%ld)-(%ld,%ld) style %08lx ex %08lx", depth * 2, "",
                class_name.c_str(), Text(window).c_str(), rect.left, rect.top, rect.right, rect.bottom,
                static_cast<unsigned long>(GetWindowLongPtrA(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
  lines.push_back(line);
  if (lstrcmpiA(class_name.c_str(), "Button") == 0) {
    lines.push_back(std::string(depth * 2 + 2, ' ') + "check " + std::to_string(SendMessageA(window, BM_GETCHECK, 0, 0)));
  }
  if (lstrcmpiA(class_name.c_str(), "ComboBox") == 0) {
    const auto count = SendMessageA(window, CB_GETCOUNT, 0, 0);
    std::string items = std::string(depth * 2 + 2, ' ') + "entries:";
    for (LRESULT i = 0; i < count; ++i) {
      // Wide: Wine carries an ANSI entry's text to another process only as far as its first byte.
      wchar_t item[256] = {};
      if (SendMessageW(window, CB_GETLBTEXTLEN, i, 0) < LRESULT{std::size(item)}) {
        SendMessageW(window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      }
      char text[256] = {};
      WideCharToMultiByte(CP_UTF8, 0, item, -1, text, sizeof text, nullptr, nullptr);
      items += std::string(" ") + text;
    }
    lines.push_back(items + " selected " + std::to_string(SendMessageA(window, CB_GETCURSEL, 0, 0)));
  }
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Describe(child, depth + 1, lines);
  }
}

// The window tree of `program` once its first message loop is idle; empty when it shows none.
std::vector<std::string> TreeOf(const char* program) {
  std::vector<std::string> lines;
  std::string command = std::string("\"") + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "%s does not start: error %lu\n", program, GetLastError());
    return lines;
  }
  Found found{process.dwProcessId, nullptr};
  if (WaitForInputIdle(process.hProcess, 60000) == 0) {
    // Some window managers show the window a moment after the program is idle.
    for (int tries = 0; tries < 100 && !found.window; ++tries) {
      EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&found));
      if (!found.window) Sleep(50);
    }
  }
  if (found.window) {
    Describe(found.window, 0, lines);
    PostMessageA(found.window, WM_CLOSE, 0, 0);
  } else {
    std::fprintf(stderr, "%s shows no window\n", program);
  }
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_tree_windows PINSCOPE.exe BASELINE.exe\n");
    return 2;
  }
  const std::vector<std::string> pinscope = TreeOf(argv[1]), baseline = TreeOf(argv[2]);
  if (pinscope.empty() || baseline.empty()) return 1;
  int differences = 0;
  for (size_t i = 0; i < std::max(pinscope.size(), baseline.size()); ++i) {
    const std::string& a = i < pinscope.size() ? pinscope[i] : "(none)";
    const std::string& b = i < baseline.size() ? baseline[i] : "(none)";
    if (a == b) continue;
    std::printf("window %zu differs:\n  Pinscope: %s\n  baseline: %s\n", i, a.c_str(), b.c_str());
    ++differences;
  }
  std::printf("%zu windows and entries of Pinscope, %zu of the baseline, %d differ\n", pinscope.size(), baseline.size(),
              differences);
  if (differences == 0) {
    for (const std::string& line : pinscope) std::printf("%s\n", line.c_str());
  }
  return differences == 0 ? 0 : 1;
}
