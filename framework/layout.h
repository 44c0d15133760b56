// Stored layouts: a form's components, their properties and the nesting of its controls,
// kept as text in the manner of a form file and built into live components at run time.
//
//   object Form1: TForm1
//     Left = 264
//     Caption = 'Pinscope'
//     Font.Name = 'MS Sans Serif'
//     object GroupBox1: TGroupBox
//       Caption = ' LPT Pins'
//       object CheckBox1: TCheckBox
//         Checked = True
//         OnClick = CheckBox1Click
//       end
//     end
//   end
//
// An object's entries are its properties, in the order they are set, and the objects inside
// it; a control inside a windowed control is that control's child. Keywords (object, end),
// class names, property names and named values are read without regard to case; component
// names as written. Values:
//   integer     12  -11  $00008000
//   string      'Pinscope'  'it''s'  'line'#13#10'next'  'joined' + 'parts'
//   name        True  clBtnFace  cbGrayed  vlLPT1 (a component)  CheckBox1Click (a handler)  nil
//   set         [fsBold, fsItalic]
//   list        ('LPT1' 'LPT2')
//
// Building: each object's component is made by its class's factory, owned by the root and
// in the loading state; its properties are set in order; references between components are
// resolved once all exist; then the root and every component made get Loaded(), in the order
// made. A form is scaled from its PixelsPerInch to the screen's before references are
// resolved. Anything wrong raises ELayoutError naming the entry and its line, and frees every
// component made so far.
#pragma once

#include <any>
#include <cstdint>
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
#include "framework/exception.h"
#include "framework/graphics.h"
#include "framework/method.h"

namespace fw {

/// A layout that cannot be built: the message starts "Layout line N: ".
class ELayoutError : public Exception {
 public:
  ELayoutError(int line, const std::string& message);
  int Line() const { return line_; }
  const char* ClassName() const override { return "ELayoutError"; }

 private:
  int line_;
};

/// A value that does not fit the property it is given to. Setters raise it with what they
/// expected; the loader adds the entry and its line.
class EBadValue : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EBadValue"; }
};

/// Compares names the way the layout reads keywords, classes and properties.
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool SameText(std::string_view a, std::string_view b);

/// A value as a layout writes it.
class LayoutValue {
 public:
  enum class Kind { kInteger, kString, kName, kSet, kList };

  Kind kind = Kind::kInteger;
  std::int64_t integer = 0;
  std::string text;                // a string's characters, or a name
  std::vector<LayoutValue> items;  // a set's names, a list's values
  int line = 0;

  // The readings of a value. Each raises EBadValue saying what was expected when the value
  // is of another kind.
  std::int64_t Integer() const;
  /// An integer that fits into T.
  template <typename T>
  T IntegerAs() const {
    const std::int64_t value = Integer();
    if (!std::in_range<T>(value)) throw EBadValue(Written() + " is out of range");
    return static_cast<T>(value);
  }
  const std::string& String() const;
  const std::string& Name() const;
  bool Boolean() const;
  /// A colour's name (clGreen, clBtnFace) or number ($00008000).
  TColor Color() const;
  /// The names of a set.
  const std::vector<LayoutValue>& SetItems() const;
  /// The values of a list.
  const std::vector<LayoutValue>& ListItems() const;

  /// The value as written, for messages.
  std::string Written() const;
};

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

namespace layout_detail {
template <typename F>
struct MethodFor;
template <typename C, typename... Args>
struct MethodFor<void (C::*)(Args...)> {
  using type = Method<Args...>;
};
}  // namespace layout_detail

/// What the root component offers the layout: its handlers, which events name, and its
/// fields, which get the components of their name.
///
///   fw::LayoutBindings bindings;
///   bindings.Handler<&TForm1::CheckBox1Click>("CheckBox1Click", this)
///           .Field("CheckBox1", CheckBox1);
class LayoutBindings {
 public:
  template <auto member, typename C>
  LayoutBindings& Handler(std::string name, C* object) {
    using Event = typename layout_detail::MethodFor<decltype(member)>::type;
    handlers_.insert_or_assign(std::move(name), Event::template Of<member>(object));
    return *this;
  }

  /// The component of this name goes into `field` once the layout is built; a layout without
  /// it, or with one of another kind, cannot be built.
  template <typename T>
  LayoutBindings& Field(std::string name, T*& field) {
    T** place = &field;
    fields_.push_back({std::move(name), [place](TComponent* component) {
                         T* typed = dynamic_cast<T*>(component);
                         *place = typed;
                         return component == nullptr || typed != nullptr;
                       }});
    return *this;
  }

  const std::any* FindHandler(const std::string& name) const;

  struct FieldBinding {
    std::string name;
    /// Stores the component (null clears it); false when it is not of the field's kind.
    std::function<bool(TComponent*)> assign;
  };
  const std::vector<FieldBinding>& Fields() const { return fields_; }

 private:
  std::map<std::string, std::any> handlers_;
  std::vector<FieldBinding> fields_;
};

/// The framework's own classes and their properties: TForm, TCheckBox, TGroupBox, TButton,
/// TComboBox, TMemo, and the bases TComponent, TControl, TWinControl, TCustomComboBox.
void RegisterStandardClasses(ClassRegistry& classes);

/// Builds `root`'s components from a layout whose outer object is `root` itself.
void LoadLayout(std::string_view text, TComponent& root, const ClassRegistry& classes,
                const LayoutBindings& bindings = {});
/// The same, from the program's RCDATA resource `name`.
void LoadLayoutFromResource(const char* name, TComponent& root, const ClassRegistry& classes,
                            const LayoutBindings& bindings = {});

}  // namespace fw
