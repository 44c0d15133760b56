#include "framework/layout_loader.h"

#include <exception>

#include "framework/controls.h"
#include "framework/forms.h"
#include "framework/resources.h"
#include "framework/startup_stamps.h"
#include "platform/win32.h"

namespace fw {

const std::any* LayoutBindings::FindHandler(const std::string& name) const {
  auto found = handlers_.find(name);
  return found == handlers_.end() ? nullptr : &found->second;
}

namespace {

class Loader final : public LayoutContext {
 public:
  Loader(TComponent& root, const ClassRegistry& classes, const LayoutBindings& bindings)
      : root_(root), classes_(classes), bindings_(bindings) {}

  void Build(const LayoutNode& layout) {
    const LayoutClass* root_class = classes_.Find(layout.class_name);
    if (!root_class) throw ELayoutError(layout.line, "unknown class '" + layout.class_name + "' of " + layout.name);
    if (!root_class->is_instance(&root_)) {
      throw ELayoutError(layout.line, "the component given for " + layout.name + " is not a " + root_class->name);
    }
    root_class_ = root_class->name;
    try {
      root_.SetName(layout.name);
      root_.BeginLoading();
      Fill(layout, root_, *root_class);
      if (auto* form = dynamic_cast<TForm*>(&root_)) form->ScaleToScreen();
      Resolve();
      BindFields();
      root_.Loaded();
      for (TComponent* component : made_) component->Loaded();
    } catch (...) {
      for (const LayoutBindings::FieldBinding& field : bindings_.Fields()) field.assign(nullptr);
      // Last made first: children before the controls that hold them.
      while (!made_.empty()) {
        delete made_.back();
        made_.pop_back();
      }
      throw;
    }
  }

  void Later(const std::string& name, Resolver resolve) override {
    fixups_.push_back({name, std::move(resolve), setting_});
  }

 protected:
  const std::any* FindHandler(const std::string& name) const override { return bindings_.FindHandler(name); }

 private:
  // The property being set, for messages about it.
  struct Setting {
    int line = 0;
    std::string property;
    std::string component;  // "CheckBox1 (TCheckBox)"
  };
  struct Fixup {
    std::string name;
    Resolver resolve;
    Setting setting;
  };
  struct Made {
    TComponent* component;
    std::string class_name;
  };

  void Fill(const LayoutNode& node, TComponent& component, const LayoutClass& type) {
    for (const LayoutNode& entry : node.entries) {
      if (entry.object) {
        Make(entry, node, component);
      } else {
        Set(entry, node, component, type);
      }
    }
  }

  void Make(const LayoutNode& node, const LayoutNode& holder, TComponent& holding) {
    const LayoutClass* type = classes_.Find(node.class_name);
    if (!type) throw ELayoutError(node.line, "unknown class '" + node.class_name + "' of " + node.name);
    if (!type->create) throw ELayoutError(node.line, "class " + type->name + " of " + node.name + " cannot be made by a layout");
    if (made_by_name_.contains(node.name) || node.name == root_.Name() || root_.FindComponent(node.name)) {
      throw ELayoutError(node.line, "there is a component named " + node.name + " already");
    }
    TComponent* component = nullptr;
    try {
      component = type->create(&root_);
    } catch (const std::exception& error) {
      throw ELayoutError(node.line, "cannot make " + node.Described() + ": " + error.what());
    }
    made_.push_back(component);
    made_by_name_.emplace(node.name, Made{component, type->name});
    component->SetName(node.name);
    component->BeginLoading();
    if (auto* control = dynamic_cast<TControl*>(component)) {
      auto* parent = dynamic_cast<TWinControl*>(&holding);
      if (!parent) {
        throw ELayoutError(node.line, node.Described() + " is a control, and " + holder.Described() +
                                          " cannot hold controls");
      }
      control->SetParent(parent);
    }
    Fill(node, *component, *type);
  }

  void Set(const LayoutNode& property, const LayoutNode& holder, TComponent& component, const LayoutClass& type) {
    const std::string described = holder.name + " (" + type.name + ")";
    auto setter = type.properties.find(property.name);
    if (setter == type.properties.end()) {
      throw ELayoutError(property.line, "unknown property '" + property.name + "' of " + described);
    }
    setting_ = {property.line, property.name, described};
    Apply(setting_, [&] { setter->second(component, property.value, *this); });
  }

  template <typename Action>
  void Apply(const Setting& setting, Action action) {
    try {
      action();
    } catch (const ELayoutError&) {
      throw;
    } catch (const EBadValue& error) {
      throw ELayoutError(setting.line, "bad value for '" + setting.property + "' of " + setting.component + ": " +
                                           error.Message());
    } catch (const std::exception& error) {
      throw ELayoutError(setting.line,
                         "cannot set '" + setting.property + "' of " + setting.component + ": " + error.what());
    }
  }

  // The component a name stands for, and the class the layout made it as.
  bool Lookup(const std::string& name, TComponent*& found, std::string& class_name) const {
    if (auto made = made_by_name_.find(name); made != made_by_name_.end()) {
      found = made->second.component;
      class_name = made->second.class_name;
      return true;
    }
    if (name == root_.Name()) {
      found = &root_;
      class_name = root_class_;
      return true;
    }
    found = root_.FindComponent(name);
    class_name.clear();
    return found != nullptr;
  }

  void Resolve() {
    for (Fixup& fixup : fixups_) {
      TComponent* found = nullptr;
      std::string class_name;
      if (!SameText(fixup.name, "nil") && !Lookup(fixup.name, found, class_name)) {
        throw ELayoutError(fixup.setting.line, "unresolved reference '" + fixup.name + "' in '" +
                                                   fixup.setting.property + "' of " + fixup.setting.component);
      }
      Apply(fixup.setting, [&] { fixup.resolve(found, class_name); });
    }
  }

  void BindFields() {
    for (const LayoutBindings::FieldBinding& field : bindings_.Fields()) {
      TComponent* found = nullptr;
      std::string class_name;
      if (!Lookup(field.name, found, class_name)) {
        throw ELayoutError(0, "no component " + field.name + " for the form's field of that name");
      }
      if (!field.assign(found)) {
        throw ELayoutError(0, field.name + (class_name.empty() ? "" : " (" + class_name + ")") +
                                  " is not of the kind of the form's field of that name");
      }
    }
  }

  TComponent& root_;
  const ClassRegistry& classes_;
  const LayoutBindings& bindings_;
  std::string root_class_;
  std::vector<TComponent*> made_;
  std::map<std::string, Made> made_by_name_;
  std::vector<Fixup> fixups_;
  Setting setting_;
};

}  // namespace

void LoadLayout(std::string_view text, TComponent& root, const ClassRegistry& classes,
                const LayoutBindings& bindings) {
  const LayoutNode layout = ReadLayout(text);
  PINSCOPE_STAMP_STARTUP(kLayoutRead);
  Loader(root, classes, bindings).Build(layout);
  PINSCOPE_STAMP_STARTUP(kComponentsMade);
}

void LoadLayoutFromResource(const char* name, TComponent& root, const ClassRegistry& classes,
                            const LayoutBindings& bindings) {
  const ResourceBytes resource = ReadProgramResource(name);
  if (!resource.found) throw Exception(std::string("Resource ") + name + " not found");
  if (!resource.bytes.data()) throw EOSError(win::GetLastError(), std::string("Cannot load resource ") + name);
  LoadLayout(std::string_view(reinterpret_cast<const char*>(resource.bytes.data()), resource.bytes.size()), root,
             classes, bindings);
}

}  // namespace fw
