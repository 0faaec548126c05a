// Builds launcher files for the tests: an image, zero padding, a payload, a
// trailer and, optionally, a certificate table that the image's security
// directory points at, as a signing tool would leave it. Every part can be
// bent to make the damaged files the tests need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/sha256_digest.h"
#include "payload/pe_layout.h"
#include "support/file_bytes.h"

namespace zor::test {

struct LauncherFileParts {
  Bytes image;
  size_t padding = 0;
  Bytes payload;
  bool withTrailer = true;
  // Overrides of the trailer's fields; by default the payload's own size
  // and digest and the right magic.
  std::optional<uint64_t> sizeField;
  std::optional<Sha256Digest> digestField;
  bool corruptMagic = false;
  // When non-zero, a certificate table of this many bytes follows the
  // trailer and the security directory is set to it.
  uint32_t certificateTableSize = 0;
  // Written into the security directory as is, instead of the table's place.
  std::optional<uint32_t> securityOffset;
};

struct BuiltLauncherFile {
  Bytes bytes;
  uint64_t payloadOffset;
  uint64_t payloadSize;
  Sha256Digest payloadDigest;
};

BuiltLauncherFile BuildLauncherFile(const LauncherFileParts& parts);

// Builds the file and writes it to `path`.
BuiltLauncherFile WriteLauncherFile(const std::wstring& path, const LauncherFileParts& parts);

// A 1024-byte image with just the headers the locator reads: DOS header,
// PE signature, COFF header and an optional header of the chosen kind.
// Marked an executable image for the Windows GUI.
Bytes MinimalPeImage(bool pe32Plus = false);

// Where MinimalPeImage puts its PE signature and optional header.
constexpr size_t kMinimalNewHeader = 0x80;
constexpr size_t kMinimalOptionalHeader = kMinimalNewHeader + kOptionalHeaderOffset;

// Little-endian fields of `width` bytes at `at`.
uint64_t LoadLittle(const Bytes& bytes, size_t at, int width);
void StoreLittle(Bytes& bytes, size_t at, uint64_t value, int width);
void Store16(Bytes& bytes, size_t at, uint16_t value);
void Store32(Bytes& bytes, size_t at, uint32_t value);
// `size` bytes from `offset`; empty when they are not all there.
Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size);
// `bytes` with the field at `at` replaced.
Bytes WithStore16(Bytes bytes, size_t at, uint16_t value);
Bytes WithStore32(Bytes bytes, size_t at, uint32_t value);

// File offsets of the optional header and of the security data directory
// entry in `image`.
size_t OptionalHeaderOffset(const Bytes& image);
size_t SecurityDirectoryOffset(const Bytes& image);

// The built launcher image and sample tool.
Bytes LauncherImage();
Bytes SampleToolImage();

// The sample tool with `tag` appended, so that every test gets a payload of
// its own digest (and so a cache folder and lock of its own). The appended
// bytes are ignored when the tool runs.
Bytes UniqueSamplePayload(uint32_t tag, size_t extraBytes = 64);

// A tag that differs between calls, processes and runs.
uint32_t FreshTag();

}  // namespace zor::test
