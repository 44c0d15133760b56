// What the program says when an exception escapes everything (std::terminate). The runtime's
// own handler names the exception's type, and for that carries the whole C++ name demangler,
// a ninth of the program; this one says the same without the type's name. Defining it here,
// in the program's own objects, keeps the runtime's from being linked.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& error) {
      std::fputs("terminate called after throwing an exception\n  what():  ", stderr);
      std::fputs(error.what(), stderr);
      std::fputc('\n', stderr);
    } catch (...) {
      std::fputs("terminate called after throwing an exception\n", stderr);
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}

}  // namespace __gnu_cxx
