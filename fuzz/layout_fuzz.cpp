// The stored-layout reader with any bytes. Text either reads into a tree or raises the
// layout's error; a tree keeps within the nesting limit, and every value in it can be shown.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/layout_reader.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "the layout reader broke its contract: %s\n", what);
  std::abort();
}

int ValueDepth(const fw::LayoutValue& value) {
  int deepest = 0;
  for (const fw::LayoutValue& item : value.items) {
    if (item.line < 1) Broken("a value without its line");
    if (const int depth = ValueDepth(item); depth > deepest) deepest = depth;
  }
  return value.kind == fw::LayoutValue::Kind::kList ? deepest + 1 : deepest;
}

// Checks the node and returns how deep it nests, itself counted.
int Check(const fw::LayoutNode& node) {
  if (node.line < 1) Broken("an entry without its line");
  if (node.name.empty()) Broken("an entry without a name");
  if (!node.object) {
    if (!node.entries.empty()) Broken("a property with entries");
    (void)node.value.Written();
    return ValueDepth(node.value);
  }
  if (node.class_name.empty()) Broken("an object without a class");
  int deepest = 0;
  for (const fw::LayoutNode& entry : node.entries) {
    if (const int depth = Check(entry); depth > deepest) deepest = depth;
  }
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const fw::LayoutNode root = fw::ReadLayout(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!root.object) Broken("the outer entry is no object");
    if (Check(root) > fw::kLayoutNestingLimit) Broken("a tree deeper than the limit");
  } catch (const fw::ELayoutError& error) {
    if (error.Line() < 1) Broken("an error without its line");
  }
  return 0;
}
