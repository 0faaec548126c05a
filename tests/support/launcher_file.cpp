#include "support/launcher_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "payload/payload_trailer.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor::test {

namespace {

constexpr uint32_t kWinCertRevision = 0x0200;
constexpr uint32_t kWinCertTypePkcsSignedData = 0x0002;

}  // namespace

void Store16(Bytes& bytes, size_t at, uint16_t value) {
  StoreLittle(bytes, at, value, 2);
}

void Store32(Bytes& bytes, size_t at, uint32_t value) {
  StoreLittle(bytes, at, value, 4);
}

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) return {};
  return Bytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

Bytes WithStore16(Bytes bytes, size_t at, uint16_t value) {
  Store16(bytes, at, value);
  return bytes;
}

Bytes WithStore32(Bytes bytes, size_t at, uint32_t value) {
  Store32(bytes, at, value);
  return bytes;
}

void StoreLittle(Bytes& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t LoadLittle(const Bytes& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

Bytes LauncherImage() {
  return ReadFileBytes(PathFromWide(kLauncherExe));
}

Bytes SampleToolImage() {
  return ReadFileBytes(PathFromWide(kSampleToolExe));
}

size_t OptionalHeaderOffset(const Bytes& image) {
  return LoadLittle(image, kNewHeaderOffsetField, 4) + kOptionalHeaderOffset;
}

size_t SecurityDirectoryOffset(const Bytes& image) {
  size_t optional = OptionalHeaderOffset(image);
  bool pe32Plus = LoadLittle(image, optional, 2) == kPe32PlusMagic;
  return optional + DataDirectoryOffset(pe32Plus, kSecurityDirectoryIndex);
}

Bytes MinimalPeImage(bool pe32Plus) {
  Bytes image(1024, 0);
  Store16(image, 0, kDosMagic);
  Store32(image, kNewHeaderOffsetField, kMinimalNewHeader);
  Store32(image, kMinimalNewHeader, kPeSignature);
  Store16(image, kMinimalNewHeader + kCoffMachineField, kMachineI386);
  Store16(image, kMinimalOptionalHeader, pe32Plus ? kPe32PlusMagic : kPe32Magic);
  // An executable image for the Windows GUI, as the packer wants a payload.
  Store16(image, kMinimalNewHeader + kCoffCharacteristicsField, kExecutableImage);
  Store16(image, kMinimalOptionalHeader + kSubsystemField, kSubsystemWindowsGui);
  return image;
}

BuiltLauncherFile BuildLauncherFile(const LauncherFileParts& parts) {
  BuiltLauncherFile built;
  built.bytes = parts.image;
  built.bytes.resize(built.bytes.size() + parts.padding, 0);
  built.payloadOffset = built.bytes.size();
  built.payloadSize = parts.payload.size();
  built.payloadDigest = Sha256Of(parts.payload);
  built.bytes.insert(built.bytes.end(), parts.payload.begin(), parts.payload.end());

  if (parts.withTrailer) {
    PayloadTrailer trailer;
    trailer.payloadSize = parts.sizeField.value_or(parts.payload.size());
    trailer.digest = parts.digestField.value_or(built.payloadDigest);
    uint8_t encoded[kTrailerSize];
    EncodeTrailer(trailer, encoded);
    if (parts.corruptMagic) encoded[kTrailerMagicOffset + 7] ^= 0x01;
    built.bytes.insert(built.bytes.end(), encoded, encoded + kTrailerSize);
  }

  uint32_t tableOffset = 0;
  if (parts.certificateTableSize > 0) {
    tableOffset = static_cast<uint32_t>(built.bytes.size());
    Bytes table = PatternBytes(parts.certificateTableSize, tableOffset);
    if (table.size() >= 8) {
      Store32(table, 0, parts.certificateTableSize);
      Store32(table, 4, kWinCertRevision | kWinCertTypePkcsSignedData << 16);
    }
    built.bytes.insert(built.bytes.end(), table.begin(), table.end());
  }
  if (parts.certificateTableSize > 0 || parts.securityOffset) {
    size_t entry = SecurityDirectoryOffset(built.bytes);
    Store32(built.bytes, entry, parts.securityOffset.value_or(tableOffset));
    Store32(built.bytes, entry + 4, parts.certificateTableSize);
  }
  return built;
}

}  // namespace zor::test
