#include "sim/format.h"

#include <cctype>
#include <cstdio>

namespace sim::format {

std::string Hex(std::uint64_t value) {
  if (value < 10) return std::to_string(value);
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Dec(std::int64_t value) { return std::to_string(value); }

std::string Str(LPCSTR text) {
  if (!text) return "null";
  std::string out = "\"";
  for (const char* c = text; *c; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    switch (*c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
          out += escaped;
        } else {
          out += *c;
        }
    }
  }
  return out + "\"";
}

std::string Ptr(const void* pointer) { return pointer ? "ptr" : "null"; }

std::string Word(std::uint64_t value) {
  const auto as_signed = static_cast<std::int64_t>(value);
  return as_signed < 0 ? Dec(as_signed) : Hex(value);
}

std::string Handle(const void* handle) {
  if (!handle) return "null";
  // Sign-extend through intptr_t so that INVALID_HANDLE_VALUE reads -1 on 32 and 64 bits alike.
  return Word(static_cast<std::uint64_t>(static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle))));
}

std::string Bool(BOOL value) { return value ? "TRUE" : "FALSE"; }

std::string Bytes(const void* data, std::size_t size) {
  if (!data) return "null";
  constexpr std::size_t kShown = 16;
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out = "[";
  for (std::size_t i = 0; i < size && i < kShown; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (i) out += ' ';
    out += hex;
  }
  if (size > kShown) out += " ...";
  return out + "]";
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return Upper(a) == Upper(b); }

std::string ModuleKey(std::string_view name) {
  if (const auto slash = name.find_last_of("\\/"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string key = Upper(name);
  if (key.find('.') == std::string::npos) key += ".DLL";
  return key;
}

}  // namespace sim::format
