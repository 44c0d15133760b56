#include "framework/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/method.h"

namespace fw {
namespace {

// Records the removal notices it gets, and the order in which components die.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string name, std::vector<std::string>* deaths = nullptr)
      : TComponent(owner), deaths_(deaths) {
    SetName(std::move(name));
  }
  ~Probe() override {
    if (deaths_) deaths_->push_back(Name());
  }
  std::vector<std::string> removed;  // names of the components whose removal was noticed

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove) removed.push_back(component->Name());
  }

 private:
  std::vector<std::string>* deaths_;
};

TEST(Component, OwnerFreesWhatItOwnsLastCreatedFirst) {
  std::vector<std::string> deaths;
  auto* form = new Probe(nullptr, "Form1", &deaths);
  new Probe(form, "a", &deaths);
  new Probe(form, "b", &deaths);
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("b")->Name(), "b");
  delete form;
  EXPECT_EQ(deaths, (std::vector<std::string>{"Form1", "b", "a"}));
}

TEST(Component, OwnedComponentFreedEarlyLeavesTheOwnerAndTellsSiblings) {
  Probe form(nullptr, "Form1");
  auto* a = new Probe(&form, "a");
  auto* b = new Probe(&form, "b");
  delete a;
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), b);
  EXPECT_EQ(b->removed, std::vector<std::string>{"a"});
}

TEST(Component, FreeNotificationIsMutualAndWithdrawable) {
  Probe holder(nullptr, "holder");
  auto* log = new Probe(nullptr, "log");
  holder.FreeNotification(log);
  holder.FreeNotification(log);  // asking twice gives one notice
  delete log;
  EXPECT_EQ(holder.removed, std::vector<std::string>{"log"});

  auto* other = new Probe(nullptr, "other");
  other->FreeNotification(&holder);
  other->RemoveFreeNotification(&holder);
  delete other;
  EXPECT_EQ(holder.removed.size(), 1u);

  // The other direction: the holder dies first and the referenced one hears of it.
  auto* first = new Probe(nullptr, "first");
  Probe second(nullptr, "second");
  first->FreeNotification(&second);
  delete first;
  EXPECT_EQ(second.removed, std::vector<std::string>{"first"});
}

TEST(Component, LoadingAndDesigningStates) {
  Probe form(nullptr, "Form1");
  form.SetDesigning(true);
  auto* child = new Probe(&form, "child");
  EXPECT_TRUE(child->IsDesigning());
  child->BeginLoading();
  EXPECT_TRUE(child->IsLoading());
  child->Loaded();
  EXPECT_FALSE(child->IsLoading());
}

struct Counter {
  int total = 0;
  void Add(int n) { total += n; }
  void Sub(int n) { total -= n; }
};

TEST(Method, ComparedAsAPairAssignedByCallback) {
  Counter x, y;
  using IntEvent = Method<int>;
  const IntEvent add_x = IntEvent::Of<&Counter::Add>(&x);
  EXPECT_TRUE(add_x.Assigned());
  EXPECT_FALSE(IntEvent{}.Assigned());
  EXPECT_FALSE((IntEvent{nullptr, &x}.Assigned()));
  EXPECT_EQ(add_x, IntEvent::Of<&Counter::Add>(&x));
  EXPECT_NE(add_x, IntEvent::Of<&Counter::Add>(&y));
  EXPECT_NE(add_x, IntEvent::Of<&Counter::Sub>(&x));
  add_x(5);
  EXPECT_EQ(x.total, 5);
}

}  // namespace
}  // namespace fw
