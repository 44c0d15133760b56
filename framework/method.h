// Method pointers: a callback and the object it runs on, as one comparable value. Events and
// listeners are kept this way so that a listener can be found again by the same pair.
#pragma once

namespace fw {

template <typename... Args>
struct Method {
  using Code = void (*)(void* data, Args... args);

  Code code = nullptr;
  void* data = nullptr;

  /// An event counts as assigned when its callback is set, whatever its object.
  bool Assigned() const { return code != nullptr; }
  void operator()(Args... args) const { code(data, args...); }
  friend bool operator==(const Method&, const Method&) = default;

  /// The member function `member` of `object`, as a method pointer.
  template <auto member, typename Class>
  static Method Of(Class* object) {
    return {[](void* data, Args... args) { (static_cast<Class*>(data)->*member)(args...); }, object};
  }
};

}  // namespace fw
