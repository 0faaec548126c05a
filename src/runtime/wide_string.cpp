#include "runtime/wide_string.h"

#include "runtime/heap.h"

namespace zor {

const wchar_t kEmptyText[1] = {};

namespace {

void CopyUnits(wchar_t* target, const wchar_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] = source[i];
}

}  // namespace

size_t ZeroTerminatedLength(const wchar_t* text) {
  size_t length = 0;
  while (text[length] != L'\0') ++length;
  return length;
}

WideString::WideString(const wchar_t* units, size_t length) {
  Append(units, length);
}

WideString::WideString(const wchar_t* zeroTerminated) {
  Append(zeroTerminated);
}

WideString::WideString(const WideString& other) {
  Append(other);
}

WideString::WideString(WideString&& other) noexcept
    : units_(other.units_), length_(other.length_), capacity_(other.capacity_) {
  other.units_ = nullptr;
  other.length_ = 0;
  other.capacity_ = 0;
}

WideString& WideString::operator=(const WideString& other) {
  if (this != &other) {
    WideString copy(other);
    *this = static_cast<WideString&&>(copy);
  }
  return *this;
}

WideString& WideString::operator=(WideString&& other) noexcept {
  if (this != &other) {
    FreeMemory(units_);
    units_ = other.units_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.units_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
  }
  return *this;
}

WideString::~WideString() {
  FreeMemory(units_);
}

void WideString::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  MoveToBlock(AllocateUnits(capacity), capacity);
}

wchar_t* WideString::AllocateUnits(size_t capacity) {
  if (capacity > kMaxWideStringLength) TerminateOnFatalError();
  // The extra unit holds the terminating zero; AllocateZeroed supplies it.
  return static_cast<wchar_t*>(AllocateZeroed(CheckedBytes(capacity + 1, sizeof(wchar_t))));
}

void WideString::MoveToBlock(wchar_t* units, size_t capacity) {
  CopyUnits(units, units_, length_);
  FreeMemory(units_);
  units_ = units;
  capacity_ = capacity;
}

void WideString::Append(const wchar_t* units, size_t length) {
  if (length == 0) return;
  if (length > kMaxWideStringLength - length_) TerminateOnFatalError();
  size_t needed = length_ + length;
  if (needed > capacity_) {
    size_t grown = capacity_ < kMaxWideStringLength / 2 ? capacity_ * 2 : kMaxWideStringLength;
    size_t capacity = needed > grown ? needed : grown;
    // `units` may lie inside this string: copy them before the old block goes.
    wchar_t* block = AllocateUnits(capacity);
    CopyUnits(block + length_, units, length);
    MoveToBlock(block, capacity);
  } else {
    CopyUnits(units_ + length_, units, length);
  }
  length_ = needed;
  units_[length_] = L'\0';
}

void WideString::Append(const wchar_t* zeroTerminated) {
  Append(zeroTerminated, ZeroTerminatedLength(zeroTerminated));
}

void WideString::AppendRepeated(wchar_t unit, size_t count) {
  for (size_t i = 0; i < count; ++i) Append(unit);
}

WideString WideString::Substring(size_t start, size_t length) const {
  if (start > length_) start = length_;
  if (length > length_ - start) length = length_ - start;
  return WideString(Data() + start, length);
}

bool WideString::operator==(const WideString& other) const {
  if (length_ != other.length_) return false;
  const wchar_t* a = Data();
  const wchar_t* b = other.Data();
  for (size_t i = 0; i < length_; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

WideString DecimalOf(unsigned long value) {
  wchar_t digits[16];
  size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  WideString result;
  result.Reserve(count);
  while (count > 0) result.Append(digits[--count]);
  return result;
}

}  // namespace zor
