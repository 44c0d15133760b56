#include "framework/component.h"

#include <algorithm>

#include "framework/exception.h"

namespace fw {

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->Insert(this);
}

TComponent::~TComponent() {
  // Each receiver drops its reference to us; it may also withdraw its own request, so take
  // the list apart one entry at a time rather than walking it.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    Forget(other->free_notifies_, this);
    other->Notification(this, TOperation::opRemove);
  }
  while (!components_.empty()) delete components_.back();
  if (owner_) owner_->Remove(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(index);
  return components_[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* component : components_)
    if (!name.empty() && component->name_ == name) return component;
  return nullptr;
}

void TComponent::Loaded() { loading_ = false; }

void TComponent::SessionEnding() {
  // A copy: a component may free what it owns as it lets go.
  const auto owned = components_;
  for (TComponent* component : owned) component->SessionEnding();
}

void TComponent::SetDesigning(bool designing) {
  designing_ = designing;
  for (TComponent* component : components_) component->SetDesigning(designing);
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end())
    free_notifies_.push_back(other);
  if (std::find(other->free_notifies_.begin(), other->free_notifies_.end(), this) == other->free_notifies_.end())
    other->free_notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  Forget(free_notifies_, other);
  Forget(other->free_notifies_, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove) Forget(free_notifies_, component);
  // Siblings learn of each other's arrival and departure through their common owner.
  for (size_t i = 0; i < components_.size(); ++i) components_[i]->Notification(component, operation);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  component->designing_ = designing_;
  Notification(component, TOperation::opInsert);
}

void TComponent::Remove(TComponent* component) {
  Forget(components_, component);
  component->owner_ = nullptr;
  Notification(component, TOperation::opRemove);
}

void TComponent::Forget(std::vector<TComponent*>& list, TComponent* component) {
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

}  // namespace fw
