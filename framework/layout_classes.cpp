#include "framework/layout_classes.h"

#include "framework/exception.h"

namespace fw {

const LayoutClass* ClassRegistry::Find(std::string_view name) const {
  auto found = classes_.find(name);
  return found == classes_.end() ? nullptr : &found->second;
}

LayoutClass& ClassRegistry::Add(std::string name, std::type_index type, const LayoutClass* base) {
  if (classes_.contains(name)) throw EInvalidOperation("layout class " + name + " is registered twice");
  LayoutClass entry{name, type, {}, {}, {}};
  if (base) entry.properties = base->properties;
  return classes_.emplace(name, std::move(entry)).first->second;
}

const LayoutClass* ClassRegistry::FindType(std::type_index type) const {
  for (const auto& [name, entry] : classes_) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

void ClassRegistry::MissingBase(const std::string& name) {
  throw EInvalidOperation("layout class " + name + " names a base that is not registered yet");
}

}  // namespace fw
