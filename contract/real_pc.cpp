#include "contract/real_pc.h"

#include <aclapi.h>

#include <stdexcept>

#include "tools/port_provisioning.h"

namespace contract {

namespace {

bool RunningOnWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

void Require(bool done, const std::string& what) {
  if (!done) throw std::runtime_error(what + " failed: " + std::to_string(GetLastError()));
}

/// Stops and deletes a service, waiting until a stop that is pending has ended.
void RemoveService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return;
  if (SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int tries = 0; tries < 50 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
         ++tries)
      Sleep(100);
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

void RemoveFolder(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

std::string SystemDirectory() {
  char buffer[MAX_PATH];
  return std::string(buffer, GetSystemDirectoryA(buffer, MAX_PATH));
}

}  // namespace

RealPc::RealPc() = default;

RealPc::~RealPc() {
  if (answerer_.joinable()) answerer_.join();
  if (impersonating_) RevertToSelf();
  for (const std::string& name : services_) RemoveService(name);
  for (const std::string& image : images_) DeleteFileA(image.c_str());
  for (const std::string& key : keys_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Pinscope contract");
  for (const std::string& folder : folders_) RemoveFolder(folder);
}

std::string RealPc::Unique() { return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made_); }

std::string RealPc::NewFolder() {
  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  Require(length > 0 && length < MAX_PATH, "GetTempPathA");
  const std::string folder = std::string(temp, length) + "pinscope-contract-" + Unique();
  Require(CreateDirectoryA(folder.c_str(), nullptr), "CreateDirectoryA " + folder);
  folders_.push_back(folder);
  return folder;
}

void RealPc::PutFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  Require(file != INVALID_HANDLE_VALUE, "CreateFileA " + path);
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  Require(wrote && written == bytes.size(), "WriteFile " + path);
}

std::string RealPc::FileBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

DWORD RealPc::OpenElsewhere(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return ERROR_SUCCESS;
}

DWORD RealPc::DeleteElsewhere(const std::string& path) {
  return DeleteFileA(path.c_str()) ? ERROR_SUCCESS : GetLastError();
}

DWORD RealPc::RenameElsewhere(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? ERROR_SUCCESS : GetLastError();
}

bool RealPc::OnWine() const { return RunningOnWine(); }

void RealPc::DropElevation() {
  // This thread impersonates the user without the Administrators group and without privileges,
  // which is what a program of a standard user runs with.
  HANDLE token = nullptr, restricted = nullptr, impersonation = nullptr;
  Require(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &token),
          "OpenProcessToken");
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  Require(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size), "CreateWellKnownSid");
  SID_AND_ATTRIBUTES deny{administrators, 0};
  const bool made = CreateRestrictedToken(token, DISABLE_MAX_PRIVILEGE, 1, &deny, 0, nullptr, 0, nullptr,
                                          &restricted) &&
                    DuplicateToken(restricted, SecurityImpersonation, &impersonation) &&
                    SetThreadToken(nullptr, impersonation);
  const DWORD error = GetLastError();
  for (HANDLE owned : {token, restricted, impersonation})
    if (owned) CloseHandle(owned);
  SetLastError(error);
  Require(made, "impersonating a standard user");
  impersonating_ = true;
}

std::string RealPc::NewKey() {
  const std::string path = "SOFTWARE\\Pinscope contract\\" + Unique();
  HKEY key = nullptr;
  Require(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
              ERROR_SUCCESS,
          "RegCreateKeyExA " + path);
  RegCloseKey(key);
  keys_.push_back(path);
  return path;
}

void RealPc::SetValue(const std::string& key, const std::string& name, DWORD type, std::string_view bytes) {
  Require(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), type, bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS,
          "RegSetKeyValueA " + key + " " + name);
}

void RealPc::ProvisionParallelPort(const std::string& name, WORD base) {
  // The prefix's device database keeps them: other tests find the same ports there.
  Require(ParallelPortExists(name) || AddParallelPort(name, base), "provisioning " + name);
}

std::string RealPc::NewServiceName() {
  // One name for every run: a service a killed run left behind is removed first. Programs
  // that start services run one at a time (they share the driver's device name).
  const std::string name = "pscontract";
  RemoveService(name);
  services_.push_back(name);
  return name;
}

std::string RealPc::InstallDriverImage(const std::string& service_name) {
  const HMODULE self = GetModuleHandleA(nullptr);
  const HRSRC resource = FindResourceA(self, "VLIOBIN", RT_RCDATA);
  Require(resource != nullptr, "FindResourceA VLIOBIN");
  const void* bytes = LockResource(LoadResource(self, resource));
  const std::string path = SystemDirectory() + "\\drivers\\" + service_name + ".sys";
  PutFile(path, std::string_view(static_cast<const char*>(bytes), SizeofResource(self, resource)));
  images_.push_back(path);
  return path;
}

void RealPc::Click(HWND control) { SendMessageA(control, BM_CLICK, 0, 0); }

void RealPc::AnswerNextBox(int button) {
  answerer_ = std::thread([this, button, owner = GetCurrentThreadId()] {
    // A message box is a dialog ("#32770") of the thread that called MessageBoxA; its text is
    // the static control 0xFFFF.
    for (int tries = 0; tries < 200; ++tries, Sleep(50)) {
      HWND box = nullptr;
      EnumThreadWindows(
          owner,
          [](HWND window, LPARAM found) CALLBACK -> BOOL {
            char class_name[16] = {};
            GetClassNameA(window, class_name, sizeof class_name);
            if (std::string(class_name) != "#32770") return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&box));
      if (!box) continue;
      char text[512] = {};
      GetWindowTextA(box, text, sizeof text);
      answered_.caption = text;
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      answered_.text = text;
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      return;
    }
  });
}

RealPc::Box RealPc::AnsweredBox() {
  if (answerer_.joinable()) answerer_.join();
  return answered_;
}

}  // namespace contract
