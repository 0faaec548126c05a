// Building, checking and unpacking launcher files. A launcher file is the
// unsigned launcher image, zero padding, the payload (a complete Windows
// executable), the 48-byte trailer and, once the file has been signed, the
// certificate table. Every operation streams its files in fixed-size chunks,
// so memory use does not grow with the payload.
#pragma once

#include <stdint.h>

#include <string>

#include "common/payload_location.h"
#include "common/sha256_digest.h"

namespace zor::pack {

// Signing puts the certificate table on this boundary and pads the file in
// front of it; for the trailer to end exactly where the table starts, the
// unsigned file's length must be a multiple of it.
constexpr uint64_t kSigningAlignment = 8;

// The security directory records the table's offset in 32 bits, so a longer
// unsigned file could never be signed.
constexpr uint64_t kMaxSignableSize = 0x100000000ull - kSigningAlignment;

// Zero bytes between an image of `imageSize` and a payload of `payloadSize`
// that make the whole unsigned file a multiple of kSigningAlignment long.
uint64_t PaddingBetween(uint64_t imageSize, uint64_t payloadSize);

struct PackedFile {
  uint64_t imageSize;
  uint64_t paddingSize;
  PayloadLocation payload;
  uint64_t fileSize;
};

// Writes `output` as `launcher` + padding + `payload` + trailer, hashing the
// payload while it is copied. Refuses a launcher that is not a PE file, is
// signed, or already carries a payload; a payload that is not a PE file; an
// output that is one of the inputs. `output` is replaced only by a complete
// file: on false it is as it was, and `error` says why.
bool PackLauncherFile(const std::wstring& launcher, const std::wstring& payload,
                      const std::wstring& output, PackedFile* packed, std::wstring* error);

struct Inspection {
  PayloadLocation location;  // as the trailer records it
  Sha256Digest computedDigest;
  bool digestMatches;
  bool hasCertificateTable;
  uint32_t certificateTableOffset;
  uint32_t certificateTableSize;
};

// Locates the payload of a launcher file, signed or not, the way the launcher
// does, and hashes it. False (with `error`) when the file cannot be read or
// carries no payload; a payload that does not match its digest is a
// successful inspection with `digestMatches` false.
bool InspectLauncherFile(const std::wstring& file, Inspection* inspection, std::wstring* error);

enum class ExtractOutcome { kWritten, kDigestMismatch, kFailed };

// Writes the payload of `file` to `output` when it matches its digest.
// Unless the outcome is kWritten, `output` is as it was and `error` says why.
ExtractOutcome ExtractPayloadFile(const std::wstring& file, const std::wstring& output,
                                  PayloadLocation* location, std::wstring* error);

}  // namespace zor::pack
