#include "support/launcher_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>

#include "payload/payload_trailer.h"
#include "payload/pe_layout.h"
#ifdef _WIN32
#include "test_paths.h"
#endif

namespace zor::test {

namespace {

constexpr size_t kImageNewHeader = 0x80;
constexpr uint16_t kMachineI386 = 0x014C;
// An executable image for the Windows GUI, as the packer wants a payload.
constexpr size_t kCharacteristicsField = kImageNewHeader + 22;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr size_t kSubsystemField = kImageNewHeader + kOptionalHeaderOffset + 68;
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint32_t kWinCertRevision = 0x0200;
constexpr uint32_t kWinCertTypePkcsSignedData = 0x0002;

void Store16(Bytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Store32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Load32(const Bytes& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

}  // namespace

size_t SecurityDirectoryOffset(const Bytes& image) {
  size_t optional = Load32(image, kNewHeaderOffsetField) + kOptionalHeaderOffset;
  bool pe32Plus = LoadLittle16(&image[optional]) == kPe32PlusMagic;
  return optional + (pe32Plus ? kPe32PlusSecurityDirectory : kPe32SecurityDirectory);
}

Bytes MinimalPeImage(bool pe32Plus) {
  Bytes image(1024, 0);
  Store16(image, 0, kDosMagic);
  Store32(image, kNewHeaderOffsetField, kImageNewHeader);
  Store32(image, kImageNewHeader, kPeSignature);
  Store16(image, kImageNewHeader + kPeSignatureSize, kMachineI386);
  Store16(image, kImageNewHeader + kOptionalHeaderOffset, pe32Plus ? kPe32PlusMagic : kPe32Magic);
  Store16(image, kCharacteristicsField, kExecutableImage);
  Store16(image, kSubsystemField, kSubsystemWindowsGui);
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

// The rest reads the Windows build's files and is used by the tests that
// run under Wine only.
#ifdef _WIN32
BuiltLauncherFile WriteLauncherFile(const std::wstring& path, const LauncherFileParts& parts) {
  BuiltLauncherFile built = BuildLauncherFile(parts);
  WriteFileBytes(path, built.bytes);
  return built;
}

Bytes LauncherImage() {
  return ReadFileBytes(kLauncherExe);
}

Bytes SampleToolImage() {
  return ReadFileBytes(kSampleToolExe);
}

Bytes UniqueSamplePayload(uint32_t tag, size_t extraBytes) {
  Bytes payload = SampleToolImage();
  Bytes extra = PatternBytes(extraBytes, tag);
  payload.insert(payload.end(), extra.begin(), extra.end());
  return payload;
}

uint32_t FreshTag() {
  static uint32_t counter = 0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint32_t>(now.QuadPart) ^ GetCurrentProcessId() << 16 ^
         ++counter * 0x9E3779B9u;
}
#endif

}  // namespace zor::test
