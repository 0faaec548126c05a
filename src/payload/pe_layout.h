// The few facts of the PE/COFF file format that the launcher, the packer and
// the tests rely on: where the PE signature is found, where the optional
// header starts, and where its security data directory entry (the
// certificate table's file offset and size) sits. All fields little-endian.
#pragma once

#include <stdint.h>

namespace zor {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr uint32_t kNewHeaderOffsetField = 60;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kPeSignatureSize = 4;
constexpr uint32_t kCoffHeaderSize = 20;
// From the PE signature: the signature and the COFF header come first.
constexpr int64_t kOptionalHeaderOffset = kPeSignatureSize + kCoffHeaderSize;
constexpr uint32_t kOptionalMagicSize = 2;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// From the optional header's start.
constexpr int64_t kPe32SecurityDirectory = 128;
constexpr int64_t kPe32PlusSecurityDirectory = 144;
constexpr uint32_t kDirectoryEntrySize = 8;

inline uint16_t LoadLittle16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t LoadLittle32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace zor
