// The class registry: what a class takes from its base, and the rules of registering.
#include "framework/layout_classes.h"

#include <gtest/gtest.h>

#include "framework/exception.h"
#include "framework/forms.h"
#include "framework/stdctrls.h"

namespace fw {
namespace {

TEST(ClassRegistry, ADerivedClassTakesItsBasesPropertiesAndABaseMustComeFirst) {
  ClassRegistry classes;
  EXPECT_THROW((classes.Declare<TForm, TWinControl>("TForm")), EInvalidOperation);
  RegisterStandardClasses(classes);
  EXPECT_THROW(RegisterStandardClasses(classes), EInvalidOperation) << "a class registered twice";
  const LayoutClass* combo = classes.Find("TComboBox");
  ASSERT_NE(combo, nullptr);
  for (const char* property : {"Left", "Tag", "TabOrder", "Items.Strings", "OnChange", "Font.Name"}) {
    EXPECT_TRUE(combo->properties.contains(property)) << property;
  }
  EXPECT_FALSE(combo->properties.contains("Checked"));
  EXPECT_FALSE(classes.Find("TControl")->create) << "bases are not made by layouts";
}

}  // namespace
}  // namespace fw
