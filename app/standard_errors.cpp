// The errors the C++ library's containers and strings raise (std::__throw_length_error and its
// kin), defined by the program itself. The library's own make std::length_error and the other
// std::logic_error and std::runtime_error kinds, whose messages live in the old reference-counted
// string that the library keeps for its binary interface: those two copies of the string code are
// a tenth of the program. Pinscope catches no such kind by name (its handlers take
// std::exception), so these raise one kind of their own that keeps the message. Defining them all
// here keeps the library's definitions from being linked.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class StandardLibraryError final : public std::exception {
 public:
  explicit StandardLibraryError(const char* message) : message_(message) {}
  // The library passes literals: the message outlives the exception.
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
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
// The format's arguments (an index and a size) are left out: the text says what went wrong.
void __throw_out_of_range_fmt(const char* format, ...) { throw StandardLibraryError(format); }
void __throw_runtime_error(const char* message) { throw StandardLibraryError(message); }
void __throw_range_error(const char* message) { throw StandardLibraryError(message); }
void __throw_overflow_error(const char* message) { throw StandardLibraryError(message); }
void __throw_underflow_error(const char* message) { throw StandardLibraryError(message); }

}  // namespace std
