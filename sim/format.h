// How the journal writes a call's arguments, so that lines read alike across pieces and across
// 32- and 64-bit builds: flags, access masks and codes in hex; counts, sizes and error numbers
// in decimal; strings quoted; pointers only as null or not, since their values differ per run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace sim::format {

/// Flags, masks, codes. Values below 10 read the same in either base and stay plain.
std::string Hex(std::uint64_t value);
/// Counts, sizes, error numbers.
std::string Dec(std::int64_t value);
/// A C string: quoted, control characters escaped, null as `null`.
std::string Str(LPCSTR text);
/// A pointer whose value means nothing to a reader: `null` or `ptr`.
std::string Ptr(const void* pointer);
/// A handle or window: hex, `null`, or a negative value (pseudo and invalid handles) in decimal.
std::string Handle(const void* handle);
/// A BOOL argument.
std::string Bool(BOOL value);
/// A value that may be a pointer or a number (message parameters): hex, or negative in decimal.
std::string Word(std::uint64_t value);
/// An input buffer: its first bytes in hex, `[01 02 ...]`, or `null`.
std::string Bytes(const void* data, std::size_t size);

/// Windows compares names of devices, classes and modules without regard to case.
std::string Upper(std::string_view text);
/// How LoadLibraryA and GetModuleHandleA see a module name: the file part, upper case,
/// ".DLL" when it has no extension.
std::string ModuleKey(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

}  // namespace sim::format
