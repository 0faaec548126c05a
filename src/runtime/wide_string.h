// An owning UTF-16 string with an explicit length. The units are always
// followed by a terminating zero, so Data() can be handed to platform calls
// as is. Growth beyond kMaxWideStringLength or failed allocation ends the
// process (see heap.h); nothing here reports an error.
#pragma once

#include <stddef.h>

namespace zor {

constexpr size_t kMaxWideStringLength = 0x3FFFFFFE;

// The empty text, defined once: a literal L"" would leave a copy in the
// image for every file that shows an empty string.
extern const wchar_t kEmptyText[1];

// Length of a zero-terminated UTF-16 text.
size_t ZeroTerminatedLength(const wchar_t* text);

class WideString {
 public:
  WideString() = default;
  WideString(const wchar_t* units, size_t length);
  explicit WideString(const wchar_t* zeroTerminated);
  WideString(const WideString& other);
  WideString(WideString&& other) noexcept;
  WideString& operator=(const WideString& other);
  WideString& operator=(WideString&& other) noexcept;
  ~WideString();

  size_t Length() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  // Zero-terminated view; valid until the string changes.
  const wchar_t* Data() const { return units_ != nullptr ? units_ : kEmptyText; }
  wchar_t operator[](size_t index) const { return units_[index]; }

  void Append(const wchar_t* units, size_t length);
  void Append(const WideString& other) { Append(other.Data(), other.Length()); }
  void Append(const wchar_t* zeroTerminated);
  void Append(wchar_t unit) { Append(&unit, 1); }
  // Appends `count` copies of `unit`.
  void AppendRepeated(wchar_t unit, size_t count);
  void Reserve(size_t capacity);

  WideString Substring(size_t start, size_t length) const;
  bool operator==(const WideString& other) const;
  bool operator!=(const WideString& other) const { return !(*this == other); }

 private:
  // A zero-filled block for `capacity` units and the terminating zero.
  static wchar_t* AllocateUnits(size_t capacity);
  // Copies the current units into `units`, frees the old block and keeps the
  // new one.
  void MoveToBlock(wchar_t* units, size_t capacity);

  wchar_t* units_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;
};

// "12345": the unsigned decimal form, no leading zeros.
WideString DecimalOf(unsigned long value);

}  // namespace zor
