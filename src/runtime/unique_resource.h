// A scope-bound owner for one value of a platform resource: it releases what
// it holds when it goes out of scope, so no exit path needs a hand-written
// close. Free of any platform header, so that the file format code and its
// hash and file interface can use it on every platform.
#pragma once

namespace zor {

// Owns one value of type T. `Close` releases a value for which `IsHeld` is
// true; `kEmpty` is the value held when nothing is (a default-constructed T
// unless told otherwise: a file descriptor's is -1, not 0).
template <typename T, void (*Close)(T), bool (*IsHeld)(T), T kEmpty = T()>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return IsHeld(value_); }
  T Get() const { return value_; }

  // Releases the held value, if any, and holds `value` instead.
  void Reset(T value = kEmpty) {
    if (IsHeld(value_)) Close(value_);
    value_ = value;
  }

  // Gives up ownership without releasing.
  T Release() {
    T value = value_;
    value_ = kEmpty;
    return value;
  }

 private:
  T value_ = kEmpty;
};

namespace detail {

template <typename T>
bool IsNonNull(T value) {
  return value != nullptr;
}

}  // namespace detail

}  // namespace zor
