// Building a layout's tree into live components. Each object's component is made by its
// class's factory, owned by the root and in the loading state; its properties are set in
// order, and a control inside a windowed control becomes that control's child; references
// between components are resolved once all exist; then the root and every component made get
// Loaded(), in the order made. A form is scaled from its PixelsPerInch to the screen's before
// references are resolved. Anything wrong raises ELayoutError naming the entry and its line,
// and frees every component made so far.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "framework/component.h"
#include "framework/layout_classes.h"
#include "framework/method.h"

namespace fw {

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

/// Builds `root`'s components from a layout whose outer object is `root` itself.
void LoadLayout(std::string_view text, TComponent& root, const ClassRegistry& classes,
                const LayoutBindings& bindings = {});
/// The same, from the program's RCDATA resource `name`.
void LoadLayoutFromResource(const char* name, TComponent& root, const ClassRegistry& classes,
                            const LayoutBindings& bindings = {});

}  // namespace fw
