// The standard library's throw helpers as the shipped programs define them (standard_errors.cpp
// is linked into this test program too): each one raises, the logic and runtime kinds as one
// kind that only std::exception catches, with a message that reads as text.
#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace {

using Raise = void (*)();

// What a handler would see: the kind's name where a handler by name catches it, else the text.
std::string Caught(Raise raise) {
  try {
    raise();
  } catch (const std::logic_error&) {
    return "caught as std::logic_error";
  } catch (const std::runtime_error&) {
    return "caught as std::runtime_error";
  } catch (const std::exception& error) {
    return error.what();
  }
  return "nothing raised";
}

TEST(StandardErrors, LogicAndRuntimeKindsKeepTheirMessageButNotTheirKind) {
  const struct {
    Raise raise;
    const char* message;
  } cases[] = {
      {[] { std::__throw_logic_error("logic"); }, "logic"},
      {[] { std::__throw_domain_error("domain"); }, "domain"},
      {[] { std::__throw_invalid_argument("argument"); }, "argument"},
      {[] { std::__throw_length_error("length"); }, "length"},
      {[] { std::__throw_out_of_range("range"); }, "range"},
      {[] { std::__throw_runtime_error("runtime"); }, "runtime"},
      {[] { std::__throw_range_error("range error"); }, "range error"},
      {[] { std::__throw_overflow_error("overflow"); }, "overflow"},
      {[] { std::__throw_underflow_error("underflow"); }, "underflow"},
      {[] { std::__throw_out_of_range_fmt("%s: __pos (which is %zu) > this->size() (which is %zu), 100%%", "at",
                                          std::size_t{4294967295u}, std::size_t{0}); },
       "at: __pos (which is 4294967295) > this->size() (which is 0), 100%"},
      {[] { (void)std::string("abc").at(7); }, "basic_string::at: __n (which is 7) >= this->size() (which is 3)"},
  };
  for (const auto& each : cases) EXPECT_EQ(Caught(each.raise), each.message);
}

TEST(StandardErrors, AnOverlongMessageIsCutShort) {
  const std::string name(1000, 'x');
  const std::string text = Caught([] { std::__throw_out_of_range_fmt("%s", std::string(1000, 'x').c_str()); });
  EXPECT_EQ(text, name.substr(0, 255));
}

TEST(StandardErrors, TheOtherKindsAreTheStandardOnes) {
  const struct {
    Raise raise;
    const std::type_info& kind;
  } cases[] = {
      {[] { std::__throw_bad_exception(); }, typeid(std::bad_exception)},
      {[] { std::__throw_bad_alloc(); }, typeid(std::bad_alloc)},
      {[] { std::__throw_bad_array_new_length(); }, typeid(std::bad_array_new_length)},
      {[] { std::__throw_bad_cast(); }, typeid(std::bad_cast)},
      {[] { std::__throw_bad_typeid(); }, typeid(std::bad_typeid)},
  };
  for (const auto& each : cases) {
    try {
      each.raise();
      ADD_FAILURE() << "nothing raised for " << each.kind.name();
    } catch (const std::exception& error) {
      EXPECT_EQ(typeid(error), each.kind);
    }
  }
}

}  // namespace
