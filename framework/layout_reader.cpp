#include "framework/layout_reader.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace fw {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace

ELayoutError::ELayoutError(int line, const std::string& message)
    : Exception(line > 0 ? "Layout line " + std::to_string(line) + ": " + message : "Layout: " + message),
      line_(line) {}

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// ---------------------------------------------------------------------------------------------
// Values

std::int64_t LayoutValue::Integer() const {
  if (kind != Kind::kInteger) throw EBadValue("expected a number, found " + Written());
  return integer;
}

const std::string& LayoutValue::String() const {
  if (kind != Kind::kString) throw EBadValue("expected a 'string', found " + Written());
  return text;
}

const std::string& LayoutValue::Name() const {
  if (kind != Kind::kName) throw EBadValue("expected a name, found " + Written());
  return text;
}

bool LayoutValue::Boolean() const {
  if (kind == Kind::kName && SameText(text, "True")) return true;
  if (kind == Kind::kName && SameText(text, "False")) return false;
  throw EBadValue("expected True or False, found " + Written());
}

TColor LayoutValue::Color() const {
  if (kind == Kind::kName) {
    if (const std::optional<TColor> color = ColorFromName(text)) return *color;
  } else if (kind == Kind::kInteger && integer >= std::numeric_limits<std::int32_t>::min() &&
             integer <= std::numeric_limits<std::uint32_t>::max()) {
    // $80000000 and above are system colours, as a 32-bit colour reads them.
    return static_cast<TColor>(static_cast<std::uint32_t>(integer));
  }
  throw EBadValue("expected a colour (clGreen, $008000), found " + Written());
}

const std::vector<LayoutValue>& LayoutValue::SetItems() const {
  if (kind != Kind::kSet) throw EBadValue("expected a set [...], found " + Written());
  return items;
}

const std::vector<LayoutValue>& LayoutValue::ListItems() const {
  if (kind != Kind::kList) throw EBadValue("expected a list (...), found " + Written());
  return items;
}

std::string LayoutValue::Written() const {
  switch (kind) {
    case Kind::kInteger: return std::to_string(integer);
    case Kind::kString: return Quoted(text);
    case Kind::kName: return text;
    case Kind::kSet: {
      std::string out = "[";
      for (const LayoutValue& item : items) out += (out.size() > 1 ? ", " : "") + item.Written();
      return out + "]";
    }
    case Kind::kList: {
      std::string out = "(";
      for (const LayoutValue& item : items) out += (out.size() > 1 ? " " : "") + item.Written();
      return out + ")";
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Reading the text

namespace {

struct Token {
  enum class Kind { kEnd, kName, kInteger, kString, kSymbol } kind = Kind::kEnd;
  std::string text;
  std::int64_t integer = 0;
  int line = 1;

  std::string Shown() const {
    switch (kind) {
      case Kind::kEnd: return "the end of the text";
      case Kind::kString: return Quoted(text);
      default: return "'" + text + "'";
    }
  }
  bool Is(char symbol) const { return kind == Kind::kSymbol && text.size() == 1 && text[0] == symbol; }
  bool IsKeyword(std::string_view keyword) const { return kind == Kind::kName && SameText(text, keyword); }
};

bool NameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool NamePart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {
    if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);  // a UTF-8 mark from an editor
    while (!text_.empty() && text_.back() == '\0') text_.remove_suffix(1);  // padding of a resource
  }

  Token Next() {
    SkipSpace();
    Token token;
    token.line = line_;
    if (at_ >= text_.size()) return token;
    const char c = text_[at_];
    if (NameStart(c)) {
      token.kind = Token::Kind::kName;
      token.text = ReadName();
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '$') {
      token.kind = Token::Kind::kInteger;
      token.integer = ReadInteger(token.text);
    } else if (c == '\'' || c == '#') {
      token.kind = Token::Kind::kString;
      token.text = ReadString();
    } else if (std::string_view("=:[](),+-").find(c) != std::string_view::npos) {
      token.kind = Token::Kind::kSymbol;
      token.text = std::string(1, c);
      ++at_;
    } else {
      const bool printable = static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
      throw ELayoutError(line_, "unexpected " + (printable ? "'" + std::string(1, c) + "'"
                                                           : "character #" + std::to_string(static_cast<unsigned char>(c))));
    }
    return token;
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
      if (text_[at_] == '\n' && line_ < std::numeric_limits<int>::max()) ++line_;
      ++at_;
    }
  }

  // A name, with dotted parts for nested properties (Font.Name).
  std::string ReadName() {
    const size_t start = at_;
    while (at_ < text_.size() && NamePart(text_[at_])) ++at_;
    while (at_ + 1 < text_.size() && text_[at_] == '.' && NameStart(text_[at_ + 1])) {
      ++at_;
      while (at_ < text_.size() && NamePart(text_[at_])) ++at_;
    }
    return std::string(text_.substr(start, at_ - start));
  }

  std::int64_t ReadInteger(std::string& written) {
    const size_t start = at_;
    const bool hex = text_[at_] == '$';
    if (hex) ++at_;
    const size_t digits = at_;
    while (at_ < text_.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text_[at_]))
                                      : std::isdigit(static_cast<unsigned char>(text_[at_])))) {
      ++at_;
    }
    while (at_ < text_.size() && NamePart(text_[at_])) ++at_;  // 12px, $FFG: read whole, refused below
    written = std::string(text_.substr(start, at_ - start));
    std::int64_t value = 0;
    const int base = hex ? 16 : 10;
    if (at_ == digits) throw ELayoutError(line_, "'" + written + "' is not a number");
    for (size_t i = digits; i < at_; ++i) {
      const char c = text_[i];
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : hex && std::isxdigit(static_cast<unsigned char>(c)) ? Lower(c) - 'a' + 10
                                                                              : -1;
      if (digit < 0) throw ELayoutError(line_, "'" + written + "' is not a number");
      if (value > (std::numeric_limits<std::int64_t>::max() - digit) / base) {
        throw ELayoutError(line_, "the number " + written + " is too large");
      }
      value = value * base + digit;
    }
    return value;
  }

  // Quoted parts ('' a quote inside) and characters by code (#13, #$0D), run together.
  std::string ReadString() {
    std::string out;
    while (at_ < text_.size() && (text_[at_] == '\'' || text_[at_] == '#')) {
      if (text_[at_] == '#') {
        ++at_;
        std::string written;
        if (at_ >= text_.size() || !(std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '$')) {
          throw ELayoutError(line_, "'#' must be followed by a character code");
        }
        const std::int64_t code = ReadInteger(written);
        if (code > 255) throw ELayoutError(line_, "#" + written + " is not a character");
        out += static_cast<char>(code);
        continue;
      }
      ++at_;
      for (;;) {
        if (at_ >= text_.size() || text_[at_] == '\n' || text_[at_] == '\r') {
          throw ELayoutError(line_, "a string is not closed before the end of its line");
        }
        if (text_[at_] == '\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == '\'') {
            out += '\'';
            at_ += 2;
            continue;
          }
          ++at_;
          break;
        }
        out += text_[at_++];
      }
    }
    return out;
  }

  std::string_view text_;
  size_t at_ = 0;
  int line_ = 1;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Advance(); }

  LayoutNode Layout() {
    if (!token_.IsKeyword("object")) Fail("expected 'object', found " + token_.Shown());
    LayoutNode root = Object();
    if (token_.kind != Token::Kind::kEnd) Fail("unexpected " + token_.Shown() + " after the end of " + root.name);
    return root;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }
  [[noreturn]] void Fail(const std::string& message) const { throw ELayoutError(token_.line, message); }

  std::string ExpectName(const std::string& what) {
    if (token_.kind != Token::Kind::kName) Fail("expected " + what + ", found " + token_.Shown());
    std::string name = token_.text;
    Advance();
    return name;
  }

  void Expect(char symbol, const std::string& where) {
    if (!token_.Is(symbol)) Fail("expected '" + std::string(1, symbol) + "' " + where + ", found " + token_.Shown());
    Advance();
  }

  LayoutNode Object() {
    const Level level(*this);
    LayoutNode node;
    node.object = true;
    node.line = token_.line;
    Advance();  // object
    node.name = ExpectName("the name of an object");
    Expect(':', "after " + node.name);
    node.class_name = ExpectName("the class of " + node.name);
    for (;;) {
      if (token_.kind == Token::Kind::kEnd) {
        throw ELayoutError(node.line, "object " + node.Described() + " is not closed by 'end'");
      }
      if (token_.IsKeyword("end")) {
        Advance();
        return node;
      }
      if (token_.IsKeyword("object")) {
        node.entries.push_back(Object());
        continue;
      }
      if (token_.kind != Token::Kind::kName) {
        Fail("expected a property, 'object' or 'end' in " + node.Described() + ", found " + token_.Shown());
      }
      LayoutNode property;
      property.line = token_.line;
      property.name = token_.text;
      Advance();
      Expect('=', "after '" + property.name + "'");
      property.value = Value(property.name);
      node.entries.push_back(std::move(property));
    }
  }

  LayoutValue Value(const std::string& property) {
    LayoutValue value;
    value.line = token_.line;
    if (token_.Is('-')) {
      Advance();
      if (token_.kind != Token::Kind::kInteger) Fail("expected a number after '-', found " + token_.Shown());
      value.integer = -token_.integer;
      Advance();
      return value;
    }
    switch (token_.kind) {
      case Token::Kind::kInteger:
        value.integer = token_.integer;
        Advance();
        return value;
      case Token::Kind::kString:
        value.kind = LayoutValue::Kind::kString;
        value.text = token_.text;
        Advance();
        while (token_.Is('+')) {
          Advance();
          if (token_.kind != Token::Kind::kString) Fail("expected a string after '+', found " + token_.Shown());
          value.text += token_.text;
          Advance();
        }
        return value;
      case Token::Kind::kName:
        value.kind = LayoutValue::Kind::kName;
        value.text = token_.text;
        Advance();
        return value;
      default: break;
    }
    if (token_.Is('[')) {
      value.kind = LayoutValue::Kind::kSet;
      Advance();
      while (!token_.Is(']')) {
        if (!value.items.empty()) Expect(',', "between the elements of a set");
        LayoutValue item;
        item.kind = LayoutValue::Kind::kName;
        item.line = token_.line;
        item.text = ExpectName("an element of the set");
        value.items.push_back(std::move(item));
      }
      Advance();
      return value;
    }
    if (token_.Is('(')) {
      const Level level(*this);
      value.kind = LayoutValue::Kind::kList;
      Advance();
      while (!token_.Is(')')) {
        if (token_.kind == Token::Kind::kEnd) Fail("the list of '" + property + "' is not closed by ')'");
        value.items.push_back(Value(property));
      }
      Advance();
      return value;
    }
    Fail("expected a value for '" + property + "', found " + token_.Shown());
  }

  // Counts one level in for as long as it lives, and refuses one level too many.
  class Level {
   public:
    explicit Level(Parser& parser) : depth_(++parser.depth_) {
      if (depth_ > kLayoutNestingLimit) {
        --depth_;
        parser.Fail("objects and lists nest deeper than " + std::to_string(kLayoutNestingLimit) + " levels");
      }
    }
    ~Level() { --depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    int& depth_;
  };

  Lexer lexer_;
  Token token_;
  int depth_ = 0;
};

}  // namespace

LayoutNode ReadLayout(std::string_view text) { return Parser(text).Layout(); }

}  // namespace fw
