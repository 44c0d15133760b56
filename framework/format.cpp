#include "framework/format.h"

#include "framework/exception.h"

namespace fw {
namespace {

[[noreturn]] void Invalid(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

}  // namespace

std::string Format(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (++i == format.size()) Invalid(format);
    const char directive = format[i];
    if (directive == '%') {
      out += '%';
      continue;
    }
    if (next == args.size()) Invalid(format);
    const FormatArg& arg = args[next++];
    switch (directive) {
      case 's':
      case 'S':
        if (!arg.IsText()) Invalid(format);
        out += arg.Text();
        break;
      case 'd':
      case 'D':
        if (arg.IsText()) Invalid(format);
        // An integer argument is 32 bits wide: a Cardinal above 2^31 shows as negative.
        out += std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(arg.Integer())));
        break;
      case 'u':
      case 'U':
        if (arg.IsText()) Invalid(format);
        out += std::to_string(static_cast<std::uint32_t>(arg.Integer()));
        break;
      default:
        Invalid(format);
    }
  }
  return out;
}

std::string HexText(std::uint64_t value, int digits) {
  std::string text;
  do {
    text.insert(text.begin(), "0123456789ABCDEF"[value % 16]);
    value /= 16;
  } while (value != 0 || static_cast<int>(text.size()) < digits);
  return text;
}

}  // namespace fw
