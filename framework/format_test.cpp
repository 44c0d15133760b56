#include "framework/format.h"

#include <gtest/gtest.h>

#include "framework/exception.h"

namespace fw {
namespace {

std::string F(std::string_view format, std::initializer_list<FormatArg> args) {
  return Format(format, std::span<const FormatArg>(args.begin(), args.size()));
}

TEST(Format, FatalErrorLine) {
  EXPECT_EQ(F("Fatal Error: %u, %u, %s", {10u, 0u, "LPT1 open in Direct Mode is failed. Base I/O port is NULL"}),
            "Fatal Error: 10, 0, LPT1 open in Direct Mode is failed. Base I/O port is NULL");
}

TEST(Format, IntegersFollowTheRuntimesRules) {
  EXPECT_EQ(F("%u", {0xFFFFFFFFu}), "4294967295");
  EXPECT_EQ(F("%d", {0xFFFFFFFFu}), "-1");
  EXPECT_EQ(F("%d", {-42}), "-42");
  EXPECT_EQ(F("%u", {-1}), "4294967295");
  EXPECT_EQ(F("100%% of %s", {"LPT1"}), "100% of LPT1");
}

TEST(Format, MismatchRaisesConvertError) {
  EXPECT_THROW(F("%s", {1}), EConvertError);
  EXPECT_THROW(F("%u", {"text"}), EConvertError);
  EXPECT_THROW(F("%s %s", {"one"}), EConvertError);
  EXPECT_THROW(F("%x", {1}), EConvertError);
  EXPECT_THROW(F("trailing %", {}), EConvertError);
}

}  // namespace
}  // namespace fw
