// The layout reader on its own: text to tree, and text that is no layout.
#include "framework/layout_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/framework/raised.h"

namespace fw {
namespace {

TEST(LayoutReader, ReadsObjectsAndPropertiesInOrderWithTheirLines) {
  using namespace std::string_literals;
  const LayoutNode root = ReadLayout(
      "\xEF\xBB\xBF" "object Form1: TForm1\n"
      "  Left = -11\n"
      "  Caption = 'it''s' + #33\n"
      "  object Box: TCheckBox\n"
      "    Font.Style = [fsBold, fsItalic]\n"
      "  end\n"
      "  Items.Strings = (\n    'LPT1'\n    ($10 nil))\n"
      "end\n\0\0"s);
  EXPECT_EQ(root.Described(), "Form1 (TForm1)");
  ASSERT_EQ(root.entries.size(), 4u);
  const LayoutNode& left = root.entries[0];
  EXPECT_EQ(left.name, "Left");
  EXPECT_EQ(left.value.Integer(), -11);
  EXPECT_EQ(left.line, 2);
  EXPECT_EQ(root.entries[1].value.String(), "it's!");
  const LayoutNode& box = root.entries[2];
  EXPECT_TRUE(box.object);
  EXPECT_EQ(box.line, 4);
  EXPECT_EQ(box.entries.at(0).value.Written(), "[fsBold, fsItalic]");
  const LayoutValue& items = root.entries[3].value;
  EXPECT_EQ(items.Written(), "('LPT1' (16 nil))");
  EXPECT_EQ(items.ListItems().at(1).line, 9);
}

struct BadText {
  const char* text;
  const char* message;
};

class BadTexts : public testing::TestWithParam<BadText> {};

TEST_P(BadTexts, AreRefusedNamingTheLine) {
  EXPECT_EQ(RaisedMessage<ELayoutError>([&] { ReadLayout(GetParam().text); }), GetParam().message);
}

// The start of a layout; each case below goes on from line 4.
#define FORM "object Form1: LayoutForm\n  Caption = 'x'\n  object CheckBox1: TCheckBox\n"
#define PORT "  end\n  object Port1: TPort\n  end\n"

INSTANTIATE_TEST_SUITE_P(
    LayoutReader, BadTexts,
    testing::Values(
        BadText{"", "Layout line 1: expected 'object', found the end of the text"},
        BadText{FORM "    Left = 12 %\n" PORT "end\n", "Layout line 4: unexpected '%'"},
        BadText{FORM "    Left 12\n" PORT "end\n", "Layout line 4: expected '=' after 'Left', found '12'"},
        BadText{FORM "    Left = 12px\n" PORT "end\n", "Layout line 4: '12px' is not a number"},
        BadText{FORM "    Left = )\n" PORT "end\n", "Layout line 4: expected a value for 'Left', found ')'"},
        BadText{FORM "    Left = 9223372036854775808\n" PORT "end\n",
                "Layout line 4: the number 9223372036854775808 is too large"},
        BadText{FORM "    Caption = 'Pin 1\n" PORT "end\n",
                "Layout line 4: a string is not closed before the end of its line"},
        BadText{FORM "  object GroupBox1: TGroupBox\n" PORT "end\n",
                "Layout line 1: object Form1 (LayoutForm) is not closed by 'end'"},
        BadText{FORM PORT "end\nobject Form2: LayoutForm\nend\n",
                "Layout line 8: unexpected 'object' after the end of Form1"}));

#undef FORM
#undef PORT

// Objects `objects` deep, the innermost holding a list `lists` deep.
std::string Nested(int objects, int lists) {
  std::string text;
  for (int i = 0; i < objects; ++i) text += "object Box" + std::to_string(i) + ": TGroupBox\n";
  if (lists > 0) {
    text += "Items.Strings = " + std::string(static_cast<size_t>(lists), '(') + std::string(static_cast<size_t>(lists), ')') + "\n";
  }
  for (int i = 0; i < objects; ++i) text += "end\n";
  return text;
}

struct Nesting {
  int objects, lists;
  const char* message;  // null: it reads
};

class Nestings : public testing::TestWithParam<Nesting> {};

// Before the limit a deep layout overflowed the stack: the last cases crashed the reader.
TEST_P(Nestings, StopAtTheLimit) {
  const Nesting& nesting = GetParam();
  const std::string text = Nested(nesting.objects, nesting.lists);
  if (!nesting.message) {
    EXPECT_NO_THROW(ReadLayout(text));
  } else {
    EXPECT_EQ(RaisedMessage<ELayoutError>([&] { ReadLayout(text); }), nesting.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    LayoutReader, Nestings,
    testing::Values(Nesting{kLayoutNestingLimit, 0, nullptr}, Nesting{1, kLayoutNestingLimit - 1, nullptr},
                    Nesting{kLayoutNestingLimit / 2, kLayoutNestingLimit / 2, nullptr},
                    Nesting{kLayoutNestingLimit + 1, 0, "Layout line 33: objects and lists nest deeper than 32 levels"},
                    Nesting{1, kLayoutNestingLimit, "Layout line 2: objects and lists nest deeper than 32 levels"},
                    Nesting{100000, 0, "Layout line 33: objects and lists nest deeper than 32 levels"},
                    Nesting{1, 100000, "Layout line 2: objects and lists nest deeper than 32 levels"}));

}  // namespace
}  // namespace fw
