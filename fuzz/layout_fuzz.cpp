// The stored-layout reader with any bytes, for a form with the framework's own classes.
// A layout either builds or raises the framework's exception; one that raises must leave
// nothing it made behind: no component, no control, no window.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/forms.h"
#include "framework/layout.h"
#include "sim/pc.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "the layout reader broke its contract: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fw::ClassRegistry& classes = [] () -> const fw::ClassRegistry& {
    static fw::ClassRegistry registry;
    fw::RegisterStandardClasses(registry);
    return registry;
  }();
  sim::InstalledPc pc;
  fw::TForm form(nullptr);
  const size_t windows = pc.windows.WindowCount();
  try {
    fw::LoadLayout(std::string_view(reinterpret_cast<const char*>(data), size), form, classes);
  } catch (const fw::Exception&) {
    if (form.ComponentCount() != 0 || form.ControlCount() != 0) Broken("a failed layout left components");
    if (pc.windows.WindowCount() != windows) Broken("a failed layout left windows");
  }
  return 0;
}
