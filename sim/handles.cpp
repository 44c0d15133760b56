#include "sim/handles.h"

#include <stdexcept>

namespace sim {

namespace {
std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }
}  // namespace

HANDLE HandleTable::Add(std::shared_ptr<KernelObject> object) {
  // Windows handles are multiples of 4; stay well clear of the pseudo handles -1 and -2.
  if (next_ >= UINTPTR_MAX - 0x10) throw std::length_error("sim: the handle table is full");
  const std::uintptr_t value = next_;
  next_ += 4;
  open_.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

KernelObject* HandleTable::Find(HANDLE handle) const {
  auto it = open_.find(Key(handle));
  return it == open_.end() ? nullptr : it->second.get();
}

std::shared_ptr<KernelObject> HandleTable::Share(HANDLE handle) const {
  auto it = open_.find(Key(handle));
  return it == open_.end() ? nullptr : it->second;
}

bool HandleTable::Close(HANDLE handle) {
  auto it = open_.find(Key(handle));
  if (it == open_.end()) return false;
  // Out of the table before the object goes, so that its destructor sees a consistent table.
  std::shared_ptr<KernelObject> object = std::move(it->second);
  open_.erase(it);
  return true;
}

std::size_t HandleTable::OpenCount(std::string_view kind) const {
  std::size_t count = 0;
  for (const auto& [value, object] : open_) count += object->Kind() == kind;
  return count;
}

std::vector<HANDLE> HandleTable::Open() const {
  std::vector<HANDLE> handles;
  for (const auto& [value, object] : open_) handles.push_back(reinterpret_cast<HANDLE>(value));
  return handles;
}

}  // namespace sim
