// The component model: objects with an owner that frees what it owns, a name and a Tag, the
// loading / designing / destroying states, the loaded notification, and free notifications
// that tell a component when another one it refers to goes away.
#pragma once

#include <string>
#include <vector>

namespace fw {

class TObject {
 public:
  virtual ~TObject() = default;
};

class TPersistent : public TObject {};

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  /// Joins `owner`'s components (when given); the owner frees it in its own destruction.
  explicit TComponent(TComponent* owner);
  /// Sends the removal notice to every component that refers to this one, frees the owned
  /// components (last created first) and leaves the owner. Descendants are gone by then:
  /// receivers of the notice may compare the pointer but must not call into it.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  TComponent* FindComponent(const std::string& name) const;

  bool IsLoading() const { return loading_; }
  bool IsDesigning() const { return designing_; }

  /// Enters the loading state, as a form does while its stored properties are applied.
  void BeginLoading() { loading_ = true; }
  /// The loaded notification: ends the loading state. Overrides call this first.
  virtual void Loaded();
  /// Marks the component (and what it owns) as being edited in a designer.
  void SetDesigning(bool designing);
  /// The user's session ends (log-off, shut-down): once the window that was told has answered,
  /// the process may be ended at any moment, with no destructor run. A component that holds
  /// something outside the process lets it go here; this one tells what it owns.
  virtual void SessionEnding();

  /// Asks for a removal notice when `other` is destroyed, and gives `other` one when this
  /// component is; the request is mutual, like a reference both sides must let go of.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

 protected:
  /// Called when a component is inserted into or removed from this one's owner or, for
  /// opRemove, when a component that asked for free notification is being destroyed.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  static void Forget(std::vector<TComponent*>& list, TComponent* component);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  std::string name_;
  int tag_ = 0;
  bool loading_ = false;
  bool designing_ = false;
};

}  // namespace fw
