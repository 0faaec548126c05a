// The facts of the PE/COFF file format that the launcher, the packer, the
// benchmark and the tests rely on: every field offset they read or write is
// defined here, once. All fields little-endian.
#pragma once

#include <stdint.h>

namespace zor {

// The DOS header.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint16_t kDosMagic = 0x5A4D;          // "MZ"
constexpr uint32_t kNewHeaderOffsetField = 60;  // e_lfanew, signed 32 bits

// From the PE signature (e_lfanew): the signature, then the COFF header.
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kPeSignatureSize = 4;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kCoffMachineField = 4;
constexpr uint32_t kCoffSectionCountField = 6;
constexpr uint32_t kCoffOptionalSizeField = 20;
constexpr uint32_t kCoffCharacteristicsField = 22;
constexpr int64_t kOptionalHeaderOffset = kPeSignatureSize + kCoffHeaderSize;

constexpr uint16_t kMachineI386 = 0x014C;
// COFF characteristics.
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDllImage = 0x2000;

// From the optional header's start.
constexpr uint32_t kOptionalMagicSize = 2;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// The header checksum, which signing rewrites; the same place in PE32 and PE32+.
constexpr uint32_t kChecksumField = 64;
constexpr uint32_t kChecksumSize = 4;
constexpr uint32_t kSubsystemField = 68;
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsConsole = 3;
// The number of data directories, and the directories, by header kind.
constexpr uint32_t kPe32DirectoryCountField = 92;
constexpr uint32_t kPe32PlusDirectoryCountField = 108;
constexpr uint32_t kPe32Directories = 96;
constexpr uint32_t kPe32PlusDirectories = 112;
constexpr uint32_t kDirectoryEntrySize = 8;  // address (or file offset), then size
constexpr uint32_t kDirectorySizeField = 4;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSecurityDirectoryIndex = 4;  // holds a file offset, not an address
// Signing tools start the certificate table with an 8-byte WIN_CERTIFICATE
// header.
constexpr uint32_t kCertificateHeaderSize = 8;

// The section table, after the optional header.
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionVirtualAddressField = 12;
constexpr uint32_t kSectionRawSizeField = 16;
constexpr uint32_t kSectionRawPointerField = 20;

// The resource tree.
constexpr uint32_t kResourceDirectorySize = 16;
constexpr uint32_t kResourceNamedCountField = 12;
constexpr uint32_t kResourceIdCountField = 14;
constexpr uint32_t kResourceEntrySize = 8;  // name or id, then what it leads to
constexpr uint32_t kResourceEntryTargetField = 4;
constexpr uint32_t kResourceDataEntrySize = 16;  // the data's address, then its size
constexpr uint32_t kResourceDataSizeField = 4;
constexpr uint32_t kResourceSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kResourceNameIsStringFlag = 0x80000000u;
constexpr uint32_t kManifestResourceType = 24;  // RT_MANIFEST

// Offset of data directory `index` from the optional header's start.
constexpr int64_t DataDirectoryOffset(bool pe32Plus, uint32_t index) {
  return (pe32Plus ? kPe32PlusDirectories : kPe32Directories) +
         int64_t{index} * kDirectoryEntrySize;
}

// A little-endian unsigned field of T's width (2, 4 or 8 bytes), built from
// its two halves. Always inlined: the compiler folds each to a single load
// on a little-endian machine, cheaper than the call it would otherwise make
// at -Os.
template <typename T, unsigned kWidth = sizeof(T)>
__attribute__((always_inline)) inline T LoadLittle(const unsigned char* bytes) {
  if constexpr (kWidth == 1) {
    return bytes[0];
  } else {
    constexpr unsigned kHalf = kWidth / 2;
    return static_cast<T>(LoadLittle<T, kHalf>(bytes) |
                          static_cast<T>(LoadLittle<T, kHalf>(bytes + kHalf) << (8 * kHalf)));
  }
}

}  // namespace zor
