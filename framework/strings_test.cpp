#include "framework/strings.h"

#include <gtest/gtest.h>

#include "framework/component.h"
#include "framework/exception.h"

namespace fw {
namespace {

TEST(StringList, KeepsOrderDuplicatesAndObjects) {
  TObject a, b;
  TStringList list;
  EXPECT_EQ(list.AddObject("LPT1", &a), 0);
  EXPECT_EQ(list.AddObject("LPT1", &b), 1);
  EXPECT_EQ(list.Add("LPT2"), 2);
  EXPECT_EQ(list.Objects(1), &b);
  EXPECT_EQ(list.Objects(2), nullptr);
  EXPECT_EQ(list.IndexOf("LPT1"), 0);
  EXPECT_EQ(list.IndexOf("LPT3"), -1);
  list.Delete(0);
  EXPECT_EQ(list.Objects(0), &b);
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, IndexOutOfRangeRaisesListError) {
  TStringList list;
  list.Add("x");
  EXPECT_THROW(list.Strings(1), EListError);
  EXPECT_THROW(list.Objects(-1), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_EQ(list.Count(), 1);
  try {
    list.Strings(5);
  } catch (const EListError& error) {
    EXPECT_EQ(error.Message(), "List index out of bounds (5)");
  }
}

}  // namespace
}  // namespace fw
