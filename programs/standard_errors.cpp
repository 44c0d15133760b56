// The errors the C++ library's containers and strings raise (std::__throw_length_error and its
// kin), defined by the program itself. The library's own make std::length_error and the other
// std::logic_error and std::runtime_error kinds, whose messages live in the old reference-counted
// string that the library keeps for its binary interface: those two copies of the string code are
// a tenth of the program. Pinscope catches no such kind by name (its handlers take
// std::exception; checks/check-standard-catches.sh keeps it so), so these raise one kind of
// their own that keeps the message. Defining them all
// here keeps the library's definitions from being linked.
#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

// The message is copied into the exception, cut short if need be: building it must not
// allocate, or raise what it reports.
class StandardLibraryError final : public std::exception {
 public:
  explicit StandardLibraryError(const char* message) { Append(message); }
  /// The library's out-of-range formats: "%s" and "%zu" are filled in, "%%" is a percent sign,
  /// and anything else is kept as written.
  StandardLibraryError(const char* format, std::va_list arguments) {
    for (const char* at = format; *at; ++at) {
      if (at[0] == '%' && at[1] == 's') {
        Append(va_arg(arguments, const char*));
        ++at;
      } else if (at[0] == '%' && at[1] == 'z' && at[2] == 'u') {
        AppendNumber(va_arg(arguments, std::size_t));
        at += 2;
      } else if (at[0] == '%' && at[1] == '%') {
        Append('%');
        ++at;
      } else {
        Append(*at);
      }
    }
  }
  const char* what() const noexcept override { return message_; }

 private:
  void Append(char c) {
    if (length_ + 1 < sizeof message_) message_[length_++] = c;
    message_[length_] = '\0';
  }
  void Append(const char* text) {
    for (; text && *text; ++text) Append(*text);
  }
  void AppendNumber(std::size_t number) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number);
    while (count) Append(digits[--count]);
  }

  char message_[256] = {};
  std::size_t length_ = 0;
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* message) { throw StandardLibraryError(message); }
void __throw_domain_error(const char* message) { throw StandardLibraryError(message); }
void __throw_invalid_argument(const char* message) { throw StandardLibraryError(message); }
void __throw_length_error(const char* message) { throw StandardLibraryError(message); }
void __throw_out_of_range(const char* message) { throw StandardLibraryError(message); }
void __throw_out_of_range_fmt(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  StandardLibraryError error(format, arguments);
  va_end(arguments);
  throw error;
}
void __throw_runtime_error(const char* message) { throw StandardLibraryError(message); }
void __throw_range_error(const char* message) { throw StandardLibraryError(message); }
void __throw_overflow_error(const char* message) { throw StandardLibraryError(message); }
void __throw_underflow_error(const char* message) { throw StandardLibraryError(message); }

}  // namespace std
