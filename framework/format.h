// Text formatting with the runtime's rules for the directives the library uses:
// %s (text), %d (signed integer), %u (unsigned 32-bit integer) and %%.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace fw {

/// One element of an argument list: an integer or a text, tagged by its kind.
class FormatArg {
 public:
  FormatArg(std::int64_t value) : value_(value) {}
  FormatArg(std::uint32_t value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(int value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(std::string value) : value_(std::move(value)) {}
  FormatArg(const char* value) : value_(std::string(value)) {}

  bool IsText() const { return std::holds_alternative<std::string>(value_); }
  std::int64_t Integer() const { return std::get<std::int64_t>(value_); }
  const std::string& Text() const { return std::get<std::string>(value_); }

 private:
  std::variant<std::int64_t, std::string> value_;
};

/// Formats `format` with `args`; a directive without a fitting argument raises EConvertError.
std::string Format(std::string_view format, std::span<const FormatArg> args);

/// `value` in upper-case hexadecimal, padded with zeros to at least `digits` digits. Spares the
/// programs the C library's whole printf for the addresses and ports they show.
std::string HexText(std::uint64_t value, int digits = 1);
/// "0x378": HexText as C and the programs' messages write a number.
inline std::string HexNumber(std::uint64_t value, int digits = 1) { return "0x" + HexText(value, digits); }

}  // namespace fw
