#include "sim/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/nt_names.h"
#include "sim/format.h"

namespace sim {

using format::Dec;
using format::Hex;
using format::Ptr;
using format::Str;

struct SimRegistry::Node {
  struct Data {
    std::string name;  // as set
    DWORD type;
    std::vector<BYTE> bytes;
  };
  std::string name;                                    // as first made
  std::map<std::string, std::shared_ptr<Node>> keys;   // by upper-case name
  std::map<std::string, Data> values;                  // by upper-case name
  bool denied = false;
};

namespace {

// What RegOpenKeyExA hands out: a handle to a key, carrying the name the kernel knows it by.
class OpenKey final : public KernelObject {
 public:
  OpenKey(std::shared_ptr<SimRegistry::Node> node, std::string kernel_name)
      : node(std::move(node)), kernel_name(std::move(kernel_name)) {}
  std::string_view Kind() const override { return "Key"; }

  std::shared_ptr<SimRegistry::Node> node;
  std::string kernel_name;
};

// The path's key names; runs of backslashes part them as one, as the kernel's parser skips them.
std::vector<std::string_view> Parts(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find('\\');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// HKEY_CLASSES_ROOT (0x80000000) to HKEY_CURRENT_CONFIG (0x80000005) and friends: 32-bit
// values sign-extended into a pointer.
bool IsPredefined(HKEY key) {
  const auto value = static_cast<std::int64_t>(reinterpret_cast<LONG_PTR>(key));
  return value >= INT32_MIN && value <= INT32_MIN + 0x60;
}

}  // namespace

SimRegistry::SimRegistry(Core& core)
    : core_(core), machine_(std::make_shared<Node>()), user_(std::make_shared<Node>()) {
  for (const char* name : {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "ZwQueryKey"}) core_.faults.Allow(name);
}

std::shared_ptr<SimRegistry::Node> SimRegistry::RootNode(HKEY root) const {
  if (root == HKEY_LOCAL_MACHINE) return machine_;
  if (root == HKEY_CURRENT_USER) return user_;
  return nullptr;
}

std::optional<SimRegistry::Located> SimRegistry::Resolve(HKEY key) const {
  if (key == HKEY_LOCAL_MACHINE) return Located{machine_, machine_hive_};
  if (key == HKEY_CURRENT_USER) return Located{user_, users_hive_ + "\\" + user_sid_};
  if (IsPredefined(key)) throw NotSimulated("registry root " + format::Handle(key));
  if (const auto* open = core_.handles.FindAs<OpenKey>(key)) return Located{open->node, open->kernel_name};
  return std::nullopt;
}

std::string SimRegistry::KeyArgument(HKEY key) const {
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  return format::Handle(key);
}

LONG SimRegistry::Walk(const Located& from, std::string_view path, Located& found) const {
  // A name that starts at a root of its own cannot be relative to a key.
  if (path.starts_with('\\')) return ERROR_BAD_PATHNAME;
  found = from;
  for (const std::string_view part : Parts(path)) {
    auto it = found.node->keys.find(format::Upper(part));
    if (it == found.node->keys.end()) return ERROR_FILE_NOT_FOUND;
    found.node = it->second;
    found.kernel_name += "\\" + found.node->name;
  }
  // Only the key itself is checked: the NT family needs no right to pass through its parents.
  return found.node->denied ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

LONG SimRegistry::RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  core_.Record("RegOpenKeyExA", {KeyArgument(key), Str(sub_key), Hex(options), Hex(access), Ptr(result)});
  if (const auto error = core_.faults.Take("RegOpenKeyExA")) {
    if (result) *result = nullptr;
    return static_cast<LONG>(*error);
  }
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (options) throw NotSimulated("RegOpenKeyExA with options " + Hex(options));
  const std::optional<Located> from = Resolve(key);
  if (!from) return ERROR_INVALID_HANDLE;
  Located found;
  if (const LONG error = Walk(*from, sub_key ? sub_key : "", found)) return error;
  *result = static_cast<HKEY>(core_.handles.Add(std::make_shared<OpenKey>(found.node, found.kernel_name)));
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                   LPDWORD size) {
  core_.Record("RegQueryValueExA",
               {KeyArgument(key), Str(value_name), Ptr(reserved), Ptr(type), Ptr(data), size ? Dec(*size) : "null"});
  if (const auto error = core_.faults.Take("RegQueryValueExA")) return static_cast<LONG>(*error);
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  const std::optional<Located> at = Resolve(key);
  if (!at) return ERROR_INVALID_HANDLE;
  auto it = at->node->values.find(format::Upper(value_name ? value_name : ""));
  if (it == at->node->values.end()) return ERROR_FILE_NOT_FOUND;
  const Node::Data& value = it->second;
  const auto value_size = static_cast<DWORD>(value.bytes.size());
  if (type) *type = value.type;
  if (!data) {
    if (size) *size = value_size;
    return ERROR_SUCCESS;
  }
  // Too small a buffer is left as it was: its contents are undefined on Windows.
  if (*size < value_size) {
    *size = value_size;
    return ERROR_MORE_DATA;
  }
  if (value_size) std::memcpy(data, value.bytes.data(), value_size);
  *size = value_size;
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegCloseKey(HKEY key) {
  core_.Record("RegCloseKey", {KeyArgument(key)});
  if (const auto error = core_.faults.Take("RegCloseKey")) return static_cast<LONG>(*error);
  // The roots are no handles of the program's: closing one does nothing, and succeeds.
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  // Windows would close any kernel handle here; refusing one that is no key shows the mix-up.
  if (!core_.handles.FindAs<OpenKey>(key)) return ERROR_INVALID_HANDLE;
  core_.handles.Close(key);
  return ERROR_SUCCESS;
}

LONG SimRegistry::ZwQueryKey(HANDLE key, int information_class, PVOID information, ULONG length,
                             PULONG result_length) {
  core_.Record("ZwQueryKey", {format::Handle(key), Dec(information_class), Ptr(information), Dec(length),
                              Ptr(result_length)});
  if (const auto status = core_.faults.Take("ZwQueryKey")) return static_cast<LONG>(*status);
  if (!scripted_.empty()) {
    const KeyNameAnswer answer = std::move(scripted_.front());
    scripted_.pop_front();
    const std::size_t copied = std::min<std::size_t>(answer.bytes.size(), length);
    if (copied && !information) throw AccessViolation("ZwQueryKey: KeyInformation is null");
    if (copied) std::memcpy(information, answer.bytes.data(), copied);
    if (result_length) *result_length = answer.result_length;
    return answer.status;
  }
  if (information_class != nt::kKeyNameInformation) {
    throw NotSimulated("ZwQueryKey of information class " + Dec(information_class));
  }
  const KernelObject* object = core_.handles.Find(key);
  if (!object) return nt::kStatusInvalidHandle;
  const auto* open = dynamic_cast<const OpenKey*>(object);
  if (!open) return nt::kStatusObjectTypeMismatch;
  // The system probes its out pointers and reports a bad one instead of crashing.
  if (!result_length) return nt::kStatusAccessViolation;
  const std::vector<BYTE> bytes = KeyNameInformation(open->kernel_name);
  const auto needed = static_cast<ULONG>(bytes.size());
  *result_length = needed;
  constexpr ULONG kFixedPart = sizeof(ULONG);
  if (length < kFixedPart) return nt::kStatusBufferTooSmall;
  if (!information) return nt::kStatusAccessViolation;
  // Room for the length field but not the whole name: as much of the name as fits.
  std::memcpy(information, bytes.data(), std::min(length, needed));
  return length < needed ? nt::kStatusBufferOverflow : nt::kStatusSuccess;
}

std::vector<BYTE> SimRegistry::KeyNameInformation(std::string_view name, std::optional<ULONG> name_length) {
  const auto true_length = static_cast<ULONG>(2 * name.size());
  const ULONG field = name_length.value_or(true_length);
  std::vector<BYTE> bytes(sizeof(ULONG) + true_length);
  std::memcpy(bytes.data(), &field, sizeof field);
  for (std::size_t i = 0; i < name.size(); ++i) {
    bytes[sizeof(ULONG) + 2 * i] = static_cast<BYTE>(name[i]);
    bytes[sizeof(ULONG) + 2 * i + 1] = 0;
  }
  return bytes;
}

std::string SimRegistry::KernelName(HKEY key) const {
  const auto* open = core_.handles.FindAs<OpenKey>(key);
  return open ? open->kernel_name : std::string();
}

void SimRegistry::SetHiveNames(std::string machine, std::string users) {
  machine_hive_ = std::move(machine);
  users_hive_ = std::move(users);
}

// --- The test's hand -------------------------------------------------------------------------

std::shared_ptr<SimRegistry::Node> SimRegistry::Make(HKEY root, std::string_view path) {
  std::shared_ptr<Node> node = RootNode(root);
  if (!node) throw std::invalid_argument("sim: registry root " + format::Handle(root) + " is not simulated");
  for (const std::string_view part : Parts(path)) {
    std::shared_ptr<Node>& child = node->keys[format::Upper(part)];
    if (!child) {
      child = std::make_shared<Node>();
      child->name = std::string(part);
    }
    node = child;
  }
  return node;
}

std::shared_ptr<SimRegistry::Node> SimRegistry::Find(HKEY root, std::string_view path) const {
  std::shared_ptr<Node> node = RootNode(root);
  if (!node) throw std::invalid_argument("sim: registry root " + format::Handle(root) + " is not simulated");
  for (const std::string_view part : Parts(path)) {
    auto it = node->keys.find(format::Upper(part));
    if (it == node->keys.end()) return nullptr;
    node = it->second;
  }
  return node;
}

void SimRegistry::CreateKey(HKEY root, std::string_view path) { Make(root, path); }

void SimRegistry::SetValue(HKEY root, std::string_view path, std::string_view name, DWORD type,
                           std::vector<BYTE> bytes) {
  Make(root, path)->values.insert_or_assign(format::Upper(name), Node::Data{std::string(name), type, std::move(bytes)});
}

void SimRegistry::SetString(HKEY root, std::string_view path, std::string_view name, std::string_view text,
                            bool with_terminator) {
  std::vector<BYTE> bytes(text.begin(), text.end());
  if (with_terminator) bytes.push_back(0);
  SetValue(root, path, name, REG_SZ, std::move(bytes));
}

void SimRegistry::SetBinary(HKEY root, std::string_view path, std::string_view name, std::vector<BYTE> bytes) {
  SetValue(root, path, name, REG_BINARY, std::move(bytes));
}

void SimRegistry::RemoveKey(HKEY root, std::string_view path) {
  const std::vector<std::string_view> parts = Parts(path);
  if (parts.empty()) throw std::invalid_argument("sim: a registry root cannot be removed");
  std::shared_ptr<Node> parent = Find(root, "");
  for (std::size_t i = 0; parent && i + 1 < parts.size(); ++i) {
    auto it = parent->keys.find(format::Upper(parts[i]));
    parent = it == parent->keys.end() ? nullptr : it->second;
  }
  if (parent) parent->keys.erase(format::Upper(parts.back()));
}

void SimRegistry::RemoveValue(HKEY root, std::string_view path, std::string_view name) {
  if (const std::shared_ptr<Node> node = Find(root, path)) node->values.erase(format::Upper(name));
}

std::optional<std::vector<BYTE>> SimRegistry::Value(HKEY root, std::string_view path, std::string_view name) const {
  DWORD type = 0;
  std::vector<BYTE> bytes;
  if (Read(root, path, name, type, bytes)) return std::nullopt;
  return bytes;
}

void SimRegistry::Deny(HKEY root, std::string_view path, bool denied) { Make(root, path)->denied = denied; }

LONG SimRegistry::Open(HKEY root, std::string_view path, HKEY& result) {
  const std::optional<Located> from = Resolve(root);
  if (!from) return ERROR_INVALID_HANDLE;
  Located found;
  if (const LONG error = Walk(*from, path, found)) return error;
  result = static_cast<HKEY>(core_.handles.Add(std::make_shared<OpenKey>(found.node, found.kernel_name)));
  return ERROR_SUCCESS;
}

LONG SimRegistry::Read(HKEY root, std::string_view path, std::string_view name, DWORD& type,
                       std::vector<BYTE>& bytes) const {
  const std::shared_ptr<Node> node = Find(root, path);
  if (!node) return ERROR_FILE_NOT_FOUND;
  auto it = node->values.find(format::Upper(name));
  if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
  type = it->second.type;
  bytes = it->second.bytes;
  return ERROR_SUCCESS;
}

}  // namespace sim
