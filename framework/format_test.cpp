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

// Zero, padding, a value wider than its padding, and all 64 bits (an address's offset).
TEST(HexText, PadsToTheDigitsAndNeverCuts) {
  const struct {
    std::uint64_t value;
    int digits;
    const char* text;
  } cases[] = {
      {0, 1, "0"},        {0x378, 1, "378"},     {0xABCDEF, 1, "ABCDEF"},
      {0x1A2B, 8, "00001A2B"}, {0x123456789, 8, "123456789"}, {~std::uint64_t{0}, 8, "FFFFFFFFFFFFFFFF"},
  };
  for (const auto& each : cases) EXPECT_EQ(HexText(each.value, each.digits), each.text) << each.value;
}

}  // namespace
}  // namespace fw
