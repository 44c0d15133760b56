// The classes a layout may name: how the loader makes each one and sets its properties.
// Each program keeps its own registry, so a layout can name only what that program offers.
#pragma once

#include <any>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "framework/component.h"
#include "framework/layout_reader.h"
#include "framework/method.h"

namespace fw {

/// What the loader offers to property setters beyond the value: the form's handlers, and
/// references to components that may not exist yet.
class LayoutContext {
 public:
  /// Resolves a component reference: called with the component (null for nil) and the class
  /// name it was made as (empty when the layout did not make it).
  using Resolver = std::function<void(TComponent* found, const std::string& class_name)>;

  /// The handler named `name`, as an event of type Event. EBadValue when there is none by
  /// that name, or it takes other arguments.
  template <typename Event>
  Event Handler(const std::string& name) const {
    const std::any* found = FindHandler(name);
    if (!found) throw EBadValue("there is no handler '" + name + "'");
    if (const Event* event = std::any_cast<Event>(found)) return *event;
    throw EBadValue("handler '" + name + "' does not take this event's arguments");
  }
  /// Calls `resolve` with the component named `name` once every component exists.
  virtual void Later(const std::string& name, Resolver resolve) = 0;

 protected:
  ~LayoutContext() = default;
  virtual const std::any* FindHandler(const std::string& name) const = 0;
};

/// Sets one property of a component to a value.
using PropertySetter = std::function<void(TComponent& component, const LayoutValue& value, LayoutContext& context)>;

/// One class as layouts know it: its name, how to make one, and its properties.
struct LayoutClass {
  std::string name;
  std::type_index type;
  std::function<TComponent*(TComponent* owner)> create;  // none: the loader cannot make one
  std::function<bool(TComponent*)> is_instance;
  std::map<std::string, PropertySetter, NoCaseLess> properties;
};

template <typename T>
class ClassBuilder;

/// The classes a layout may name. Each program (and each test) keeps its own:
///
///   fw::ClassRegistry classes;
///   fw::RegisterStandardClasses(classes);
///   classes.Register<TvlLPT, fw::TComponent>("TvlLPT")
///       .Integer("LptIOBase", &TvlLPT::SetLptIOBase)
///       .Enum("LptPort", &TvlLPT::SetLptPort, {{"lpLPT1", lpLPT1}, {"lpLPT2", lpLPT2}})
///       .Event("OnClosing", &TvlLPT::OnClosing);
///   classes.Register<TvlDeviceBox, fw::TCustomComboBox>("TvlDeviceBox")
///       .Reference<TvlBaseIO>("Pelorn", &TvlDeviceBox::SetPelorn);
///
/// A class registered with a base starts with the base's properties as registered so far.
class ClassRegistry {
 public:
  /// A class the loader makes with `new T(owner)`.
  template <typename T, typename Base = void>
  ClassBuilder<T> Register(std::string name) {
    static_assert(std::is_constructible_v<T, TComponent*>, "the loader makes components as T(owner)");
    ClassBuilder<T> builder = Declare<T, Base>(std::move(name));
    builder.entry_.create = [](TComponent* owner) -> TComponent* { return new T(owner); };
    return builder;
  }
  /// A class the loader does not make: a base whose properties descendants take, or the
  /// class of a root component that the program makes itself.
  template <typename T, typename Base = void>
  ClassBuilder<T> Declare(std::string name) {
    static_assert(std::is_base_of_v<TComponent, T>, "layouts hold components");
    const LayoutClass* base = nullptr;
    if constexpr (!std::is_void_v<Base>) {
      static_assert(std::is_base_of_v<Base, T>, "a class takes properties only from a class it derives from");
      base = FindType(typeid(Base));
      if (!base) MissingBase(name);
    }
    LayoutClass& entry = Add(std::move(name), typeid(T), base);
    entry.is_instance = [](TComponent* component) { return dynamic_cast<T*>(component) != nullptr; };
    return ClassBuilder<T>(entry);
  }

  const LayoutClass* Find(std::string_view name) const;

 private:
  LayoutClass& Add(std::string name, std::type_index type, const LayoutClass* base);
  const LayoutClass* FindType(std::type_index type) const;
  [[noreturn]] static void MissingBase(const std::string& name);

  std::map<std::string, LayoutClass, NoCaseLess> classes_;
};

/// Declares the properties of class T. Setters are member functions of T or of a class it
/// derives from; values are converted and checked before they are called.
template <typename T>
class ClassBuilder {
 public:
  /// Any property, set by a function of the component and the value.
  ClassBuilder& Custom(std::string name, std::function<void(T&, const LayoutValue&)> set) {
    entry_.properties.insert_or_assign(
        std::move(name), [set = std::move(set)](TComponent& component, const LayoutValue& value, LayoutContext&) {
          set(static_cast<T&>(component), value);
        });
    return *this;
  }

  /// Takes back a property that the base publishes and this class keeps to itself.
  ClassBuilder& Unpublish(std::string_view name) {
    if (auto found = entry_.properties.find(name); found != entry_.properties.end()) entry_.properties.erase(found);
    return *this;
  }

  template <typename C, typename V>
  ClassBuilder& Integer(std::string name, void (C::*setter)(V)) {
    using Value = std::remove_cvref_t<V>;
    static_assert(std::is_integral_v<Value> && !std::is_same_v<Value, bool>, "Integer takes an integer setter");
    return Custom(std::move(name),
                  [setter](T& component, const LayoutValue& value) { (component.*setter)(value.IntegerAs<Value>()); });
  }

  template <typename C>
  ClassBuilder& Boolean(std::string name, void (C::*setter)(bool)) {
    return Custom(std::move(name), [setter](T& component, const LayoutValue& value) { (component.*setter)(value.Boolean()); });
  }

  template <typename C, typename S>
  ClassBuilder& String(std::string name, void (C::*setter)(S)) {
    return Custom(std::move(name), [setter](T& component, const LayoutValue& value) { (component.*setter)(value.String()); });
  }

  // The same for properties that are plain fields of the component.
  template <typename C, typename V>
    requires std::is_integral_v<V> && (!std::is_same_v<V, bool>)
  ClassBuilder& Integer(std::string name, V C::*field) {
    return Custom(std::move(name), [field](T& component, const LayoutValue& value) { component.*field = value.IntegerAs<V>(); });
  }
  template <typename C>
  ClassBuilder& Boolean(std::string name, bool C::*field) {
    return Custom(std::move(name), [field](T& component, const LayoutValue& value) { component.*field = value.Boolean(); });
  }
  template <typename C>
  ClassBuilder& String(std::string name, std::string C::*field) {
    return Custom(std::move(name), [field](T& component, const LayoutValue& value) { component.*field = value.String(); });
  }

  template <typename C>
  ClassBuilder& Color(std::string name, void (C::*setter)(TColor)) {
    return Custom(std::move(name), [setter](T& component, const LayoutValue& value) { (component.*setter)(value.Color()); });
  }

  /// An enumeration, by the names of its values.
  template <typename C, typename E>
  ClassBuilder& Enum(std::string name, void (C::*setter)(E), std::initializer_list<std::pair<const char*, E>> names) {
    std::vector<std::pair<std::string, E>> table(names.begin(), names.end());
    return Custom(std::move(name), [setter, table = std::move(table)](T& component, const LayoutValue& value) {
      const std::string& written = value.Name();
      for (const auto& [known, e] : table) {
        if (SameText(known, written)) return (component.*setter)(e);
      }
      std::string expected;
      for (const auto& [known, e] : table) expected += (expected.empty() ? "" : ", ") + known;
      throw EBadValue("expected one of " + expected + ", found " + written);
    });
  }

  /// Another component of the layout, by name, given once all exist; nil gives null.
  template <typename R, typename C>
  ClassBuilder& Reference(std::string name, void (C::*setter)(R*)) {
    static_assert(std::is_base_of_v<TComponent, R>, "a reference names a component");
    entry_.properties.insert_or_assign(
        std::move(name), [setter](TComponent& component, const LayoutValue& value, LayoutContext& context) {
          T& target = static_cast<T&>(component);
          context.Later(value.Name(), [&target, setter](TComponent* found, const std::string& class_name) {
            R* referred = dynamic_cast<R*>(found);
            if (found && !referred) {
              throw EBadValue("'" + found->Name() + "'" + (class_name.empty() ? "" : " (" + class_name + ")") +
                              " is not a component of the kind it takes");
            }
            (target.*setter)(referred);
          });
        });
    return *this;
  }

  /// An event: the form's handler of that name (see LayoutBindings).
  template <typename C, typename... Args>
  ClassBuilder& Event(std::string name, Method<Args...> C::*event) {
    entry_.properties.insert_or_assign(
        std::move(name), [event](TComponent& component, const LayoutValue& value, LayoutContext& context) {
          static_cast<T&>(component).*event = context.Handler<Method<Args...>>(value.Name());
        });
    return *this;
  }

 private:
  friend class ClassRegistry;
  explicit ClassBuilder(LayoutClass& entry) : entry_(entry) {
    static_assert(std::is_base_of_v<TComponent, T>);
  }
  LayoutClass& entry_;
};

/// The framework's own classes and their properties: TForm, TCheckBox, TGroupBox, TButton,
/// TComboBox, TMemo, and the bases TComponent, TControl, TWinControl, TCustomComboBox.
void RegisterStandardClasses(ClassRegistry& classes);

}  // namespace fw
