#include "packer.h"

#include "payload/payload_locator.h"
#include "payload/payload_trailer.h"
#include "payload/range_digest.h"
#include "pack_platform.h"
#include "pe_facts.h"
#include "pack_text.h"
#include "pending_output.h"
#include "pipelined_copy.h"
#include "runtime/file.h"

namespace zor::pack {

namespace {

constexpr char kNotExecutable[] = " is not a Windows executable";

// "<role> '<path>'<what>" as the error; false.
bool Refused(const char* role, const std::string& path, const std::string& what,
             std::string* error) {
  *error = role + (" " + Quoted(path)) + what;
  return false;
}

void (*beforePayloadCopyHook)(const std::string& payload) = nullptr;

bool CheckPayload(FileHandle file, const std::string& path, std::string* error) {
  PeHeaderFacts facts;
  if (!ReadPeHeaderFacts(file, &facts)) return Refused(kPayloadRole, path, kNotExecutable, error);
  if (IsDll(facts)) return Refused(kPayloadRole, path, " is a DLL, not a program", error);
  if (!IsWindowsProgram(facts)) {
    return Refused(kPayloadRole, path, " is not a 32- or 64-bit Windows program", error);
  }
  // A product inside a product would start a launcher that extracts again.
  PayloadLocation nested;
  if (ReadPayloadLocationWith(file, facts.headers, facts.fileSize, &nested)) {
    return Refused(kPayloadRole, path, " is itself a packed file (it carries a trailer)", error);
  }
  // The bare launcher as the tool would only ever show "payload missing".
  if (HasManifestIdentity(file, facts, kLauncherIdentity)) {
    return Refused(kPayloadRole, path, " is the launcher image itself, not a tool", error);
  }
  return true;
}

// The packed file, read back the way the launcher reads it, must lead to the
// payload just written.
bool LocatesPayload(FileHandle packed, const PayloadLocation& expected) {
  PayloadLocation found;
  return ReadPayloadLocation(packed, &found) && found.offset == expected.offset &&
         found.size == expected.size && DigestsEqual(found.digest, expected.digest);
}

bool WriteProduct(const InputSet& inputs, const Input& launcherInput, const Input& payloadInput,
                  CommandOutput* out, PackedFile* packed, std::string* error) {
  FileHandle launcher = launcherInput.Get();
  FileHandle payload = payloadInput.Get();
  const std::string& output = out->Path();
  static const unsigned char kZeros[kSigningAlignment] = {};
  Sha256Digest imageDigest;
  if (!DigestRange(launcher, 0, packed->imageSize, &imageDigest, out->Handle()) ||
      !WriteAll(out->Handle(), kZeros, static_cast<uint32_t>(packed->paddingSize))) {
    *error = "cannot copy the launcher into " + DescribeFailure(output);
    return false;
  }
  if (beforePayloadCopyHook != nullptr) beforePayloadCopyHook(payloadInput.path);
  ForgetLastFailure();
  if (!CopyAndDigest(payload, 0, packed->payload.size, out->Handle(), &packed->payload.digest)) {
    // A payload that shrank ends the copy early: name it, not the output.
    if (!inputs.CheckUnchanged(payloadInput, error)) return false;
    *error = "cannot copy the payload into " + DescribeFailure(output);
    return false;
  }
  unsigned char trailer[kTrailerSize];
  EncodeTrailer(PayloadTrailer{packed->payload.size, packed->payload.digest}, trailer);
  if (!WriteAll(out->Handle(), trailer, sizeof trailer)) {
    *error = "cannot write the trailer into " + DescribeFailure(output);
    return false;
  }
  if (!LocatesPayload(out->Handle(), packed->payload)) {
    *error = "the packed file " + Quoted(output) + " does not lead to its payload";
    return false;
  }
  // Each input was read once, from start to end; that neither moved
  // meanwhile (a build still writing it) is checked when `out` is committed.
  return true;
}

}  // namespace

bool CheckClaimedPayload(const std::string& path, const PayloadLocation& location,
                         std::string* error) {
  // The locator has checked that the payload lies inside the file, so the
  // sum cannot wrap.
  uint64_t trailerEnd = location.offset + location.size + kTrailerSize;
  if (trailerEnd <= kMaxSignableSize) return true;
  *error = Quoted(path) + " claims a payload of " + std::to_string(location.size) +
           " bytes ending at offset " + std::to_string(trailerEnd) +
           ", beyond the longest file zorpack pack writes (" + std::to_string(kMaxSignableSize) +
           " bytes); it was not read";
  return false;
}

bool SizeOf(FileHandle file, const std::string& path, uint64_t* size, std::string* error) {
  int64_t value = 0;
  if (!QueryFileSize(file, &value)) {
    *error = "cannot query the size of " + DescribeFailure(path);
    return false;
  }
  *size = static_cast<uint64_t>(value);
  return true;
}

bool CheckLauncher(FileHandle file, const std::string& path, std::string* error,
                   PeHeaders* headers) {
  PeHeaderFacts facts;
  if (!ReadPeHeaderFacts(file, &facts)) return Refused(kLauncherRole, path, kNotExecutable, error);
  if (!HasManifestIdentity(file, facts, kLauncherIdentity)) {
    return Refused(kLauncherRole, path,
                   std::string(" is not this project's launcher image (no ") + kLauncherIdentity +
                       " manifest)",
                   error);
  }
  PayloadLocation existing;
  if (ReadPayloadLocationWith(file, facts.headers, facts.fileSize, &existing)) {
    return Refused(kLauncherRole, path, " already carries a payload", error);
  }
  // Appending to a signed file would leave the signature covering the wrong
  // bytes and the trailer after the certificate table, where the launcher
  // never looks.
  if (facts.headers.securityOffset != 0 || facts.securitySize != 0) {
    return Refused(kLauncherRole, path,
                   " is signed; pack the unsigned launcher and sign the packed file", error);
  }
  if (headers != nullptr) *headers = facts.headers;
  return true;
}

void SetBeforePayloadCopyHookForTesting(void (*hook)(const std::string& payload)) {
  beforePayloadCopyHook = hook;
}

uint64_t PaddingBetween(uint64_t imageSize, uint64_t payloadSize) {
  // The trailer's length is itself a multiple of the alignment.
  static_assert(kTrailerSize % kSigningAlignment == 0, "trailer breaks the alignment");
  uint64_t remainder = (imageSize + payloadSize) % kSigningAlignment;
  return remainder == 0 ? 0 : kSigningAlignment - remainder;
}

bool PackLauncherFile(const std::string& launcher, const std::string& payload,
                      const std::string& output, PackedFile* packed, std::string* error) {
  InputSet inputs(NoFile(), "packed");
  CommandOutput out(inputs, NoFile());
  const Input* launcherInput = inputs.Open(kLauncherRole, launcher, error);
  const Input* payloadInput = launcherInput ? inputs.Open(kPayloadRole, payload, error) : nullptr;
  if (payloadInput != nullptr &&
      PackIntoOutput(inputs, *launcherInput, *payloadInput, output, &out, packed, error) &&
      out.Commit("", error)) {
    return true;
  }
  out.Discard(error);
  return false;
}

bool PackIntoOutput(const InputSet& inputs, const Input& launcher, const Input& payload,
                    const std::string& output, CommandOutput* out, PackedFile* packed,
                    std::string* error) {
  if (!CheckLauncher(launcher.Get(), launcher.path, error) ||
      !CheckPayload(payload.Get(), payload.path, error)) {
    return false;
  }

  PackedFile layout = {};
  if (!SizeOf(launcher.Get(), launcher.path, &layout.imageSize, error) ||
      !SizeOf(payload.Get(), payload.path, &layout.payload.size, error)) {
    return false;
  }
  layout.paddingSize = PaddingBetween(layout.imageSize, layout.payload.size);
  layout.payload.offset = layout.imageSize + layout.paddingSize;
  // Both inputs are below 2^63 bytes, so the sum cannot wrap.
  layout.fileSize = layout.payload.offset + layout.payload.size + kTrailerSize;
  if (layout.fileSize > kMaxSignableSize) {
    *error = "the packed file would be " + std::to_string(layout.fileSize) +
             " bytes long, too long to be signed (at most " + std::to_string(kMaxSignableSize) +
             ")";
    return false;
  }

  // pack reads the packed file back: never standard output.
  if (!out->Open(output, false, error) ||
      !WriteProduct(inputs, launcher, payload, out, &layout, error)) {
    return false;
  }
  *packed = layout;
  return true;
}

bool InspectInput(const Input& input, Inspection* inspection, std::string* error) {
  const std::string& file = input.path;
  PeHeaderFacts facts;
  if (!ReadPeHeaderFacts(input.Get(), &facts)) {
    *error = Quoted(file) + kNotExecutable;
    return false;
  }
  Inspection result = {};
  result.launcherRecognised = HasManifestIdentity(input.Get(), facts, kLauncherIdentity);
  if (!ReadPayloadLocationWith(input.Get(), facts.headers, facts.fileSize, &result.location)) {
    *error = Quoted(file) + kNoPayload;
    return false;
  }
  if (!CheckClaimedPayload(file, result.location, error)) return false;
  StreamedReads streamed;
  if (!DigestRange(input.Get(), result.location.offset, result.location.size,
                   &result.computedDigest, NoFile())) {
    *error = "cannot read the payload of " + DescribeFailure(file);
    return false;
  }
  result.digestMatches = DigestsEqual(result.computedDigest, result.location.digest);
  result.hasCertificateTable =
      HasCertificateTable(facts.headers.securityOffset, static_cast<uint64_t>(facts.fileSize));
  result.certificateTableOffset = facts.headers.securityOffset;
  result.certificateTableSize = facts.securitySize;
  *inspection = result;
  return true;
}

bool InspectLauncherFile(const std::string& file, Inspection* inspection, std::string* error) {
  InputSet inputs(NoFile(), "read");
  const Input* input = inputs.Open(kFileRole, file, error);
  return input != nullptr && InspectInput(*input, inspection, error) &&
         inputs.CheckAllUnchanged(error);
}

bool LocatePayload(const Input& file, PayloadLocation* found, std::string* error) {
  if (ReadPayloadLocation(file.Get(), found)) return CheckClaimedPayload(file.path, *found, error);
  *error = Quoted(file.path) + kNoPayload;
  return false;
}

ExtractOutcome ExtractPayloadFile(const std::string& file, const std::string& output,
                                  PayloadLocation* location, std::string* error) {
  InputSet inputs(NoFile(), "read");
  CommandOutput out(inputs, NoFile());
  const Input* input = inputs.Open(kFileRole, file, error);
  PayloadLocation found;
  if (input == nullptr || !LocatePayload(*input, &found, error) ||
      !out.Open(output, false, error)) {
    out.Discard(error);
    return ExtractOutcome::kFailed;
  }
  ExtractOutcome outcome = ExtractIntoOutput(*input, found, &out, error);
  if (outcome == ExtractOutcome::kWritten && !out.Commit("", error)) {
    return ExtractOutcome::kFailed;
  }
  out.Discard(error);
  if (outcome == ExtractOutcome::kWritten) *location = found;
  return outcome;
}

ExtractOutcome ExtractIntoOutput(const Input& input, const PayloadLocation& found,
                                 CommandOutput* out, std::string* error) {
  const std::string& file = input.path;
  Sha256Digest computed;
  ForgetLastFailure();
  StreamedReads streamed;
  bool copied =
      out->IsStream()
          ? DigestRange(input.Get(), found.offset, found.size, &computed, out->Handle())
          : CopyAndDigest(input.Get(), found.offset, found.size, out->Handle(), &computed);
  if (!copied && out->IsStream()) {
    *error = "cannot copy the payload of " + Quoted(file) + " to standard output";
    std::string reason = LastFailureText();
    if (!reason.empty()) *error += ": " + reason;
    return ExtractOutcome::kFailed;
  }
  if (!copied) {
    *error = "cannot copy the payload into " + DescribeFailure(out->Path());
    return ExtractOutcome::kFailed;
  }
  if (!DigestsEqual(computed, found.digest)) {
    *error = "the payload of " + Quoted(file) + " does not match the digest in its trailer; " +
             (out->IsStream() ? "what standard output received must not be used"
                              : "nothing was written");
    return ExtractOutcome::kDigestMismatch;
  }
  return ExtractOutcome::kWritten;
}

}  // namespace zor::pack
