// A check on the entries of the seam's call lists (platform/calls/*.inc). The types of an
// entry are checked by the compiler wherever the entry is expanded; what no type catches is an
// argument list that passes two parameters of one type in the wrong order, or one twice.
#pragma once

#include <string_view>

namespace platform::call_entry {

constexpr bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

/// The name a parameter declares: its last word ("descriptor" of "PSECURITY_DESCRIPTOR* descriptor").
constexpr std::string_view DeclaredName(std::string_view parameter) {
  parameter = Trimmed(parameter);
  std::size_t start = parameter.size();
  while (start > 0 && IsNameCharacter(parameter[start - 1])) --start;
  return parameter.substr(start);
}

/// Removes the first comma-separated item of a list and returns it.
constexpr std::string_view TakeItem(std::string_view& list) {
  const std::size_t comma = list.find(',');
  const std::string_view item = list.substr(0, comma);
  list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
  return item;
}

/// Whether `arguments`, as "(a, b)", passes the parameters that `parameters`, as
/// "(int a, const char* b)", declares, each once and in their order. Both come from the
/// preprocessor's # of an entry, so the parentheses are there and spaces are single.
constexpr bool ArgumentsPassParameters(std::string_view parameters, std::string_view arguments) {
  if (parameters.size() < 2 || arguments.size() < 2) return false;
  parameters = Trimmed(parameters.substr(1, parameters.size() - 2));
  arguments = Trimmed(arguments.substr(1, arguments.size() - 2));
  while (!parameters.empty() && !arguments.empty()) {
    if (DeclaredName(TakeItem(parameters)) != Trimmed(TakeItem(arguments))) return false;
  }
  return parameters.empty() && arguments.empty();
}

// The check's own cases: it must see the faults that the compiler does not.
static_assert(ArgumentsPassParameters("()", "()"));
static_assert(ArgumentsPassParameters("(const RECT* rect, DWORD size_high)", "(rect, size_high)"));
static_assert(!ArgumentsPassParameters("(DWORD size, DWORD count)", "(count, size)"));
static_assert(!ArgumentsPassParameters("(DWORD size, DWORD count)", "(size, size)"));
static_assert(!ArgumentsPassParameters("(DWORD size, DWORD count)", "(size)"));
static_assert(!ArgumentsPassParameters("(DWORD size)", "(size, count)"));

}  // namespace platform::call_entry
