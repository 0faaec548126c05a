// Building, checking and unpacking launcher files. A launcher file is the
// unsigned launcher image, zero padding, the payload (a complete Windows
// executable), the 48-byte trailer and, once the file has been signed, the
// certificate table. Every operation streams its files in fixed-size chunks,
// so memory use does not grow with the payload. Paths are UTF-8.
#pragma once

#include <stdint.h>

#include <string>

#include "common/payload_location.h"
#include "common/sha256_digest.h"
#include "pack_platform.h"
#include "payload/pe_headers.h"
#include "command_input.h"
#include "command_output.h"
#include "pending_output.h"

namespace zor::pack {

// Signing puts the certificate table on this boundary and pads the file in
// front of it; for the trailer to end exactly where the table starts, the
// unsigned file's length must be a multiple of it.
constexpr uint64_t kSigningAlignment = 8;

// The security directory records the table's offset in 32 bits, so a longer
// unsigned file could never be signed.
constexpr uint64_t kMaxSignableSize = 0x100000000ull - kSigningAlignment;

// Instead of a file name: standard output, as extract's OUTPUT (./- names a
// file called -). No input is ever read from standard input.
constexpr char kStandardStreamName[] = "-";

// How messages name each file a command reads.
constexpr char kLauncherRole[] = "the launcher";
constexpr char kPayloadRole[] = "the payload";
constexpr char kProductRole[] = "the product";
constexpr char kFileRole[] = "the file";
constexpr char kPayloadSbomRole[] = "the payload SBOM";
constexpr char kSignKeyRole[] = "the signing key";
constexpr char kPublicKeyRole[] = "the public key";
constexpr char kSbomRole[] = "the SBOM";

// The name this project's launcher declares in its manifest; only an image
// that carries it is packed, so swapped arguments cannot make a "product"
// that starts the tool directly.
constexpr char kLauncherIdentity[] = "ZOR.FirmwareUpdate.Launcher";

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
// payload while it is copied. Refuses an input that changes while it is read
// (its identity, size or times differ afterwards), a launcher that fails
// CheckLauncher; a payload that is a DLL, not a Windows program, or itself a
// packed file; a folder where a file is expected; an output that is one of
// the inputs or in a folder that does not exist. `output` is replaced only
// by a complete file: on false it is as it was, and `error` says why. (The
// command opens its inputs once and calls PackIntoOutput; this opens them
// for callers that have paths, such as tests.)
bool PackLauncherFile(const std::string& launcher, const std::string& payload,
                      const std::string& output, PackedFile* packed, std::string* error);

// PackLauncherFile up to the last step, from inputs the command holds: the
// complete file waits in `out` (opened here at `output`), for the caller to
// commit it with its report. On false nothing is to be committed.
bool PackIntoOutput(const InputSet& inputs, const Input& launcher, const Input& payload,
                    const std::string& output, CommandOutput* out, PackedFile* packed,
                    std::string* error);

// For tests only: `hook`, unless null, runs with the payload's path just
// before the payload is copied, so that a test can change it at that moment.
void SetBeforePayloadCopyHookForTesting(void (*hook)(const std::string& payload));

struct Inspection {
  PayloadLocation location;  // as the trailer records it
  Sha256Digest computedDigest;
  bool digestMatches;
  bool hasCertificateTable;
  uint32_t certificateTableOffset;
  uint32_t certificateTableSize;
  // The image in front of the payload is this project's launcher.
  bool launcherRecognised;
};

// Locates the payload of a launcher file, signed or not, the way the launcher
// does, and hashes it. False (with `error`) when the file cannot be read or
// carries no payload; a payload that does not match its digest, or a file
// whose image is not this project's launcher, is a successful inspection
// with `digestMatches` or `launcherRecognised` false. The path form opens
// the file itself, for callers that have a path (tests).
bool InspectInput(const Input& file, Inspection* inspection, std::string* error);
bool InspectLauncherFile(const std::string& file, Inspection* inspection, std::string* error);

enum class ExtractOutcome { kWritten, kDigestMismatch, kFailed };

// Writes the payload of `file` to `output` when it matches its digest.
// Unless the outcome is kWritten, `output` is as it was and `error` says why.
// Opens the file itself, for callers that have a path (tests).
ExtractOutcome ExtractPayloadFile(const std::string& file, const std::string& output,
                                  PayloadLocation* location, std::string* error);

// Copies the payload of `file` into `out`, already open: kWritten means it
// matches its digest and waits to be committed. An output that is standard
// output receives the bytes as they are read, before the digest is known,
// so kDigestMismatch then says that what it received must not be used.
ExtractOutcome ExtractIntoOutput(const Input& file, const PayloadLocation& found,
                                 CommandOutput* out, std::string* error);

// Finds the payload of the open launcher file `file`; false, with `error`,
// when it carries none (kNoPayload) or claims more than pack ever writes.
bool LocatePayload(const Input& file, PayloadLocation* found, std::string* error);

// How a file without a payload is described, after its quoted path.
constexpr char kNoPayload[] = " carries no payload: no valid trailer where the launcher looks";

// The steps that pack, inspect and verify share. `role` names the file in
// messages ("the launcher"); on false, `error` says why.
// Refuses, before anything is read, a payload whose trailer would end beyond
// the longest file pack writes (a crafted, perhaps sparse, file).
bool CheckClaimedPayload(const std::string& path, const PayloadLocation& location,
                         std::string* error);
bool SizeOf(FileHandle file, const std::string& path, uint64_t* size, std::string* error);
// True when `file` is this project's launcher image, unsigned and without a
// payload: what pack takes, and what verify compares products with;
// `headers`, unless null, receives its header walk then.
bool CheckLauncher(FileHandle file, const std::string& path, std::string* error,
                   PeHeaders* headers = nullptr);

}  // namespace zor::pack
