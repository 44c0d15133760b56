// Stored layouts as text, read into a tree: a form's components, their properties and the
// nesting of its controls, in the manner of a form file.
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
// it. Keywords (object, end), class names, property names and named values are read without
// regard to case; component names as written. Values:
//   integer     12  -11  $00008000
//   string      'Pinscope'  'it''s'  'line'#13#10'next'  'joined' + 'parts'
//   name        True  clBtnFace  cbGrayed  vlLPT1 (a component)  CheckBox1Click (a handler)  nil
//   set         [fsBold, fsItalic]
//   list        ('LPT1' 'LPT2')
// Objects and lists nest at most kLayoutNestingLimit deep: the reader and everything that
// walks its tree recurse once per level, and a layout is data that may come from anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/exception.h"
#include "framework/graphics.h"

namespace fw {

/// A layout that cannot be read or built: the message starts "Layout line N: ".
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

/// An object of a layout or one of its properties, in the order written.
struct LayoutNode {
  bool object = false;
  std::string name;
  std::string class_name;  // objects
  LayoutValue value;       // properties
  std::vector<LayoutNode> entries;
  int line = 0;

  /// "CheckBox1 (TCheckBox)", for messages.
  std::string Described() const { return name + " (" + class_name + ")"; }
};

/// How many objects and lists may stand inside one another, the outer object counted. Real
/// windows nest a handful deep.
inline constexpr int kLayoutNestingLimit = 32;

/// Reads a layout's text into the tree of its outer object. Text that is not a layout, or
/// nests deeper than kLayoutNestingLimit, raises ELayoutError naming the line.
LayoutNode ReadLayout(std::string_view text);

}  // namespace fw
