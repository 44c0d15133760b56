#include "sim/disk.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

#include "platform/win32_types.h"
#include "sim/core.h"
#include "sim/format.h"

namespace sim {

namespace {

// The three kinds of access that sharing is about, as the I/O manager sorts them.
enum : unsigned { kRead = 1, kWrite = 2, kDelete = 4 };

unsigned Kinds(DWORD access) {
  unsigned kinds = 0;
  if (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_READ_DATA)) kinds |= kRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_WRITE_DATA | FILE_APPEND_DATA)) kinds |= kWrite;
  if (access & (DELETE | GENERIC_ALL | MAXIMUM_ALLOWED)) kinds |= kDelete;
  return kinds;
}

unsigned SharedKinds(DWORD share) {
  return (share & FILE_SHARE_READ ? kRead : 0u) | (share & FILE_SHARE_WRITE ? kWrite : 0u) |
         (share & FILE_SHARE_DELETE ? kDelete : 0u);
}

constexpr std::uint64_t kDefaultCapacity = std::uint64_t{16} << 30;

// A path taken apart: the drive and the names below it, upper-cased for lookups.
struct Path {
  std::vector<std::string> parts;  // "C:", "Windows", "Temp"
  bool trailing_separator = false;

  std::string Key(std::size_t count) const {
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
      if (i) key += '\\';
      key += format::Upper(parts[i]);
    }
    return key;
  }
  std::string Key() const { return Key(parts.size()); }
  std::string Shown() const {
    std::string shown;
    for (std::size_t i = 0; i < parts.size(); ++i) shown += (i ? "\\" : "") + parts[i];
    return parts.size() == 1 ? shown + "\\" : shown;
  }
};

// The kernel's name of the Windows folder, as user mode reaches it through the global root.
constexpr std::string_view kGlobalSystemRoot = "\\\\?\\GLOBALROOT\\SYSTEMROOT\\";

DWORD Parse(std::string_view name, Path& path) {
  std::string resolved;
  if (format::Upper(name.substr(0, kGlobalSystemRoot.size())) == kGlobalSystemRoot) {
    resolved = "C:\\Windows\\" + std::string(name.substr(kGlobalSystemRoot.size()));
    name = resolved;
  }
  if (name.starts_with("\\\\?\\")) name.remove_prefix(4);
  const bool drive = name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' &&
                     (name[2] == '\\' || name[2] == '/');
  if (!drive) throw NotSimulated("a path without a drive (the process has no current directory): " + std::string(name));
  path.parts = {format::Upper(name.substr(0, 2))};
  std::string part;
  auto finish = [&]() -> DWORD {
    if (part.empty() || part == ".") return ERROR_SUCCESS;
    if (part == "..") {
      if (path.parts.size() > 1) path.parts.pop_back();
    } else {
      path.parts.push_back(part);
    }
    part.clear();
    return ERROR_SUCCESS;
  };
  for (char c : name.substr(3)) {
    if (c == '\\' || c == '/') {
      finish();
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c)) return ERROR_INVALID_NAME;
    part += c;
  }
  path.trailing_separator = part.empty() && name.size() > 3;
  finish();
  return ERROR_SUCCESS;
}

}  // namespace

struct Disk::Node {
  struct Opened {
    unsigned kinds;
    unsigned shared;
  };
  std::string key;   // "C:\WINDOWS\TEMP"
  std::string path;  // as first made, for messages
  bool directory = false;
  std::vector<BYTE> bytes;
  // Deleted while open: it goes with its last handle, and nothing may open it meanwhile.
  bool delete_pending = false;
  std::vector<const Opened*> opens;
  std::string security;  // the descriptor it was made with, as text; empty: its folder's

  // Whether another open with `kinds` and `shared` may join the opens so far.
  bool Admits(unsigned kinds, unsigned shared) const {
    if (!kinds) return true;  // an open for attributes only is never refused
    for (const Opened* open : opens) {
      if ((kinds & ~open->shared) || (open->kinds & ~shared)) return false;
    }
    return true;
  }
};

struct Disk::State {
  std::map<std::string, std::shared_ptr<Node>> nodes;  // by upper-case path, "C:\WINDOWS"
  std::set<std::string> unwritable;
  std::set<std::string> admin_only;
  bool program_elevated = true;
  std::uint64_t capacity = kDefaultCapacity;

  std::shared_ptr<Node> Find(const std::string& key) const {
    auto it = nodes.find(key);
    return it == nodes.end() ? nullptr : it->second;
  }

  // Where `path` would live: 0 when every folder above it exists, else the error.
  DWORD Parent(const Path& path) const {
    for (std::size_t count = 1; count < path.parts.size(); ++count) {
      std::shared_ptr<Node> folder = Find(path.Key(count));
      if (!folder || !folder->directory) return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
  }

  // A missing name reads as a missing file when its folder exists, else as a missing path.
  DWORD Missing(const Path& path) const { return Parent(path) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND; }

  bool Writable(const Path& path, bool elevated) const {
    for (std::size_t count = 1; count <= path.parts.size(); ++count) {
      if (unwritable.contains(path.Key(count))) return false;
      if (!elevated && admin_only.contains(path.Key(count))) return false;
    }
    return true;
  }

  std::uint64_t Used() const {
    std::uint64_t used = 0;
    for (const auto& [key, node] : nodes) used += node->bytes.size();
    return used;
  }
  std::uint64_t Free() const {
    const std::uint64_t used = Used();
    return capacity > used ? capacity - used : 0;
  }

  std::shared_ptr<Node> Make(const Path& path, bool directory) {
    for (std::size_t count = 1; count < path.parts.size(); ++count) {
      std::shared_ptr<Node>& folder = nodes[path.Key(count)];
      if (!folder) {
        Path above;
        above.parts.assign(path.parts.begin(), path.parts.begin() + static_cast<std::ptrdiff_t>(count));
        folder = std::make_shared<Node>(Node{above.Key(), above.Shown(), true, {}, false, {}, {}});
      } else if (!folder->directory) {
        throw std::invalid_argument("sim: " + folder->path + " is a file, not a folder");
      }
    }
    std::shared_ptr<Node>& node = nodes[path.Key()];
    if (node && node->directory != directory) {
      throw std::invalid_argument("sim: " + node->path + (directory ? " is a file" : " is a folder"));
    }
    if (!node) node = std::make_shared<Node>(Node{path.Key(), path.Shown(), directory, {}, false, {}, {}});
    return node;
  }

  void Forget(const std::shared_ptr<Node>& node) {
    if (auto it = nodes.find(node->key); it != nodes.end() && it->second == node) nodes.erase(it);
  }
};

namespace {

Path Must(std::string_view text) {
  Path path;
  if (Parse(text, path)) throw std::invalid_argument("sim: not a valid path: " + std::string(text));
  return path;
}

class DiskFile final : public FileObject, Disk::Node::Opened {
 public:
  DiskFile(const OpenRequest& request, std::shared_ptr<Disk::State> state, std::shared_ptr<Disk::Node> node,
           unsigned kinds)
      : FileObject(request),
        Opened{kinds, SharedKinds(request.share)},
        state_(std::move(state)),
        node_(std::move(node)) {
    // Opens without read, write or delete access take no part in sharing, as on Windows.
    if (kinds) node_->opens.push_back(this);
  }
  ~DiskFile() override {
    std::erase(node_->opens, static_cast<const Opened*>(this));
    if (node_->opens.empty() && node_->delete_pending) state_->Forget(node_);
  }
  std::string_view Kind() const override { return "File"; }
  DWORD Type() const override { return FILE_TYPE_DISK; }

  DWORD Read(void* data, DWORD size, DWORD& read) override {
    const std::vector<BYTE>& bytes = node_->bytes;
    const std::uint64_t left = position_ < bytes.size() ? bytes.size() - position_ : 0;
    read = static_cast<DWORD>(std::min<std::uint64_t>(size, left));
    if (read) std::memcpy(data, bytes.data() + position_, read);
    position_ += read;
    return ERROR_SUCCESS;
  }

  DWORD Write(const void* data, DWORD size, DWORD& written) override {
    std::vector<BYTE>& bytes = node_->bytes;
    // The file may grow by the free space and no further: a full disk takes what fits.
    const std::uint64_t end = bytes.size() + state_->Free();
    const std::uint64_t fits = end > position_ ? end - position_ : 0;
    written = static_cast<DWORD>(std::min<std::uint64_t>(size, fits));
    if (written) {
      if (position_ + written > bytes.size()) bytes.resize(static_cast<std::size_t>(position_ + written));
      std::memcpy(bytes.data() + position_, data, written);
    }
    position_ += written;
    return written < size ? ERROR_DISK_FULL : ERROR_SUCCESS;
  }

  DWORD Size(std::uint64_t& size) override {
    size = node_->bytes.size();
    return ERROR_SUCCESS;
  }

  void MoveTo(std::uint64_t position) override { position_ = position; }

 private:
  std::shared_ptr<Disk::State> state_;
  std::shared_ptr<Disk::Node> node_;
  std::uint64_t position_ = 0;
};

}  // namespace

Disk::Disk() : state_(std::make_shared<State>()) {
  for (const char* folder :
       {"C:\\", "C:\\Windows\\Temp", "C:\\Windows\\System32\\drivers", "C:\\Program Files\\Pinscope"}) {
    MakeDirectory(folder);
  }
  SetAdminOnly("C:\\Windows\\System32");
}

void Disk::Write(std::string_view path, std::vector<BYTE> bytes) {
  state_->Make(Must(path), false)->bytes = std::move(bytes);
}

std::optional<std::vector<BYTE>> Disk::Read(std::string_view path) const {
  std::shared_ptr<Node> node = state_->Find(Must(path).Key());
  if (!node || node->directory) return std::nullopt;
  return node->bytes;
}

std::string Disk::Security(std::string_view path) const {
  std::shared_ptr<Node> node = state_->Find(Must(path).Key());
  return node ? node->security : std::string();
}

void Disk::SetSecurity(std::string_view path, std::string text) {
  std::shared_ptr<Node> node = state_->Find(Must(path).Key());
  if (!node) throw std::invalid_argument("sim: no file " + std::string(path));
  node->security = std::move(text);
}

bool Disk::Exists(std::string_view path) const { return state_->Find(Must(path).Key()) != nullptr; }

std::vector<std::string> Disk::List(std::string_view folder) const {
  const std::string prefix = Must(folder).Key() + "\\";
  std::vector<std::string> paths;
  for (const auto& [key, node] : state_->nodes) {
    if (key.starts_with(prefix) && key.find('\\', prefix.size()) == std::string::npos) paths.push_back(node->path);
  }
  return paths;
}

void Disk::MakeDirectory(std::string_view path) { state_->Make(Must(path), true); }

void Disk::SetWritable(std::string_view path, bool writable) {
  const std::string key = Must(path).Key();
  if (writable) {
    state_->unwritable.erase(key);
  } else {
    state_->unwritable.insert(key);
  }
}

void Disk::SetAdminOnly(std::string_view path) { state_->admin_only.insert(Must(path).Key()); }

void Disk::SetElevated(bool elevated) { state_->program_elevated = elevated; }

void Disk::SetFreeSpace(std::uint64_t bytes) { state_->capacity = state_->Used() + bytes; }

std::uint64_t Disk::FreeSpace() const { return state_->Free(); }

bool Disk::Owns(std::string_view) const { return true; }

DWORD Disk::Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) {
  return Open(request, file, state_->program_elevated);
}

DWORD Disk::OpenAsUser(const OpenRequest& request, std::shared_ptr<FileObject>& file) {
  return Open(request, file, false);
}

DWORD Disk::Open(const OpenRequest& request, std::shared_ptr<FileObject>& file, bool elevated) {
  Path path;
  if (DWORD error = Parse(request.name, path)) return error;
  std::shared_ptr<Node> node = state_->Find(path.Key());
  if (path.trailing_separator && !(node && node->directory)) return ERROR_INVALID_NAME;
  if (DWORD error = state_->Parent(path)) return error;
  // A folder opens only with FILE_FLAG_BACKUP_SEMANTICS, which nothing here asks for.
  if (node && (node->directory || node->delete_pending)) return ERROR_ACCESS_DENIED;

  const DWORD disposition = request.disposition;
  if (node && disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
  if (!node && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) return ERROR_FILE_NOT_FOUND;
  const unsigned kinds = Kinds(request.access);
  if (disposition == TRUNCATE_EXISTING && !(kinds & kWrite)) return ERROR_INVALID_PARAMETER;

  const bool changes = !node || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if ((changes || (kinds & (kWrite | kDelete))) && !state_->Writable(path, elevated)) return ERROR_ACCESS_DENIED;
  if (node && !node->Admits(kinds, SharedKinds(request.share))) return ERROR_SHARING_VIOLATION;

  DWORD result = ERROR_SUCCESS;
  if (node) {
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) node->bytes.clear();
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) result = ERROR_ALREADY_EXISTS;
  } else {
    node = state_->Make(path, false);
    node->security = request.security;
  }
  file = std::make_shared<DiskFile>(request, state_, std::move(node), kinds);
  return result;
}

DWORD Disk::Delete(std::string_view name) { return Delete(name, state_->program_elevated); }

DWORD Disk::DeleteAsUser(std::string_view name) { return Delete(name, false); }

DWORD Disk::Delete(std::string_view name, bool elevated) {
  Path path;
  if (DWORD error = Parse(name, path)) return error;
  std::shared_ptr<Node> node = state_->Find(path.Key());
  if (!node) return state_->Missing(path);
  if (node->directory || node->delete_pending || !state_->Writable(path, elevated)) return ERROR_ACCESS_DENIED;
  // DeleteFileA opens the file for delete, sharing everything: any handle that did not share
  // delete refuses it.
  if (!node->Admits(kDelete, kRead | kWrite | kDelete)) return ERROR_SHARING_VIOLATION;
  if (node->opens.empty()) {
    state_->Forget(node);
  } else {
    node->delete_pending = true;
  }
  return ERROR_SUCCESS;
}

DWORD Disk::RenameAsUser(std::string_view from, std::string_view to) { return Rename(from, to, false); }

DWORD Disk::Rename(std::string_view from, std::string_view to) { return Rename(from, to, state_->program_elevated); }

DWORD Disk::Rename(std::string_view from_name, std::string_view to_name, bool elevated) {
  Path from, to;
  if (DWORD error = Parse(from_name, from)) return error;
  if (DWORD error = Parse(to_name, to)) return error;
  std::shared_ptr<Node> node = state_->Find(from.Key());
  if (!node) return state_->Missing(from);
  if (node->directory) throw NotSimulated("renaming a folder: " + node->path);
  if (node->delete_pending) return ERROR_ACCESS_DENIED;
  if (DWORD error = state_->Parent(to)) return error;
  if (!state_->Writable(from, elevated) || !state_->Writable(to, elevated)) return ERROR_ACCESS_DENIED;
  // A rename opens the file for delete, sharing everything.
  if (!node->Admits(kDelete, kRead | kWrite | kDelete)) return ERROR_SHARING_VIOLATION;
  std::shared_ptr<Node> replaced = state_->Find(to.Key());
  if (replaced == node) return ERROR_SUCCESS;
  // An open file is not replaced, whatever it shares.
  if (replaced && (replaced->directory || !replaced->opens.empty())) return ERROR_ACCESS_DENIED;
  if (replaced) state_->Forget(replaced);
  state_->Forget(node);
  node->key = to.Key();
  node->path = to.Shown();
  state_->nodes[node->key] = node;
  return ERROR_SUCCESS;
}

DWORD Disk::ReadImage(std::string_view name, std::vector<BYTE>& bytes) const {
  Path path;
  if (DWORD error = Parse(name, path)) return error;
  std::shared_ptr<Node> node = state_->Find(path.Key());
  if (!node) return state_->Missing(path);
  if (node->directory || node->delete_pending) return ERROR_ACCESS_DENIED;
  if (!node->Admits(kRead, kRead | kDelete)) return ERROR_SHARING_VIOLATION;
  bytes = node->bytes;
  return ERROR_SUCCESS;
}

}  // namespace sim
