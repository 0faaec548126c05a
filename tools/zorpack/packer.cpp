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
constexpr char kNoPayload[] = " carries no payload: no valid trailer where the launcher looks";

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

bool Unchanged(FileHandle file, const FileIdentity& before) {
  FileIdentity now;
  return QueryFileIdentity(file, &now) && IsSameFile(now, before) && now.size == before.size &&
         now.modified == before.modified && now.changed == before.changed;
}

struct PackInput {
  const char* role;
  const std::string& path;
  FileHandle file;
  FileIdentity identity;
};

// An input that is not as it was when it was opened: the product would hold
// neither its old nor its new bytes.
bool RefuseChangedInput(const PackInput& input, std::string* error) {
  return Unchanged(input.file, input.identity) ||
         Refused(input.role, input.path, " changed while it was being packed; nothing was written",
                 error);
}

bool WriteProduct(const PackInput& launcherInput, const PackInput& payloadInput,
                  const std::string& output, PendingOutput* out, PackedFile* packed,
                  std::string* error) {
  FileHandle launcher = launcherInput.file;
  FileHandle payload = payloadInput.file;
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
    if (!RefuseChangedInput(payloadInput, error)) return false;
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
  // Each input was read once, from start to end; if either moved meanwhile
  // (a build still writing it), what was read is no file at all.
  return RefuseChangedInput(launcherInput, error) && RefuseChangedInput(payloadInput, error);
}

// Opens a launcher file for extracting and finds its payload.
bool OpenPackedFile(const std::string& file, UniqueFile* input, PayloadLocation* found,
                    std::string* error) {
  if (!OpenInput(file, kFileRole, input, error)) return false;
  if (ReadPayloadLocation(input->Get(), found)) return CheckClaimedPayload(file, *found, error);
  *error = Quoted(file) + kNoPayload;
  return false;
}

}  // namespace

bool OpenInput(const std::string& path, const char* role, UniqueFile* file, std::string* error,
               FileIdentity* identity) {
  // "-" reads no standard input: a file of that name (perhaps planted in a
  // shared working folder) is not what the caller meant.
  if (path == kStandardStreamName) {
    return Refused(role, path,
                   ": zorpack reads no standard input; name a file (./- for one called -)", error);
  }
  // Checked first: some systems open a folder for reading without a word.
  if (KindOfPath(path) == PathKind::kFolder)
    return Refused(role, path, " is a folder, not a file", error);
  std::string refusal;
  file->Reset(OpenInputFile(path, &refusal));
  if (!refusal.empty()) return Refused(role, path, " is refused: " + refusal, error);
  if (!file->IsValid()) {
    *error = std::string("cannot open ") + role + " " + DescribeFailure(path);
    return false;
  }
  // A FIFO, a device or a pipe could keep a read waiting forever, or give
  // other bytes each time.
  FileIdentity facts;
  if (!QueryFileIdentity(file->Get(), &facts) || !facts.regular) {
    file->Reset();
    return Refused(role, path, " is not a regular file", error);
  }
  if (identity != nullptr) *identity = facts;
  return true;
}

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

bool CommitOutput(PendingOutput* out, std::string* error) {
  if (out->Commit(error)) return true;
  out->Discard(error);
  return false;
}

bool PackLauncherFile(const std::string& launcher, const std::string& payload,
                      const std::string& output, PackedFile* packed, std::string* error) {
  PendingOutput out;
  if (PackIntoOutput(launcher, payload, output, &out, packed, error) && CommitOutput(&out, error)) {
    return true;
  }
  out.Discard(error);
  return false;
}

bool PackIntoOutput(const std::string& launcher, const std::string& payload,
                    const std::string& output, PendingOutput* out, PackedFile* packed,
                    std::string* error) {
  UniqueFile launcherFile;
  UniqueFile payloadFile;
  FileIdentity launcherIdentity;
  FileIdentity payloadIdentity;
  if (!OpenInput(launcher, kLauncherRole, &launcherFile, error, &launcherIdentity) ||
      !OpenInput(payload, kPayloadRole, &payloadFile, error, &payloadIdentity) ||
      !CheckLauncher(launcherFile.Get(), launcher, error) ||
      !CheckPayload(payloadFile.Get(), payload, error)) {
    return false;
  }

  PackedFile layout = {};
  if (!SizeOf(launcherFile.Get(), launcher, &layout.imageSize, error) ||
      !SizeOf(payloadFile.Get(), payload, &layout.payload.size, error)) {
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

  if (!out->Create(output, error, {launcherFile.Get(), payloadFile.Get()}) ||
      !WriteProduct({kLauncherRole, launcher, launcherFile.Get(), launcherIdentity},
                    {kPayloadRole, payload, payloadFile.Get(), payloadIdentity}, output, out,
                    &layout, error)) {
    return false;
  }
  *packed = layout;
  return true;
}

bool InspectLauncherFile(const std::string& file, Inspection* inspection, std::string* error) {
  UniqueFile input;
  if (!OpenInput(file, kFileRole, &input, error)) return false;
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

ExtractOutcome ExtractPayloadFile(const std::string& file, const std::string& output,
                                  PayloadLocation* location, std::string* error) {
  PendingOutput out;
  ExtractOutcome outcome = ExtractIntoOutput(file, output, &out, location, error);
  if (outcome == ExtractOutcome::kWritten && !CommitOutput(&out, error)) {
    return ExtractOutcome::kFailed;
  }
  out.Discard(error);
  return outcome;
}

ExtractOutcome ExtractIntoOutput(const std::string& file, const std::string& output,
                                 PendingOutput* out, PayloadLocation* location,
                                 std::string* error) {
  UniqueFile input;
  PayloadLocation found;
  if (!OpenPackedFile(file, &input, &found, error) || !out->Create(output, error, {input.Get()})) {
    return ExtractOutcome::kFailed;
  }
  Sha256Digest computed;
  if (!CopyAndDigest(input.Get(), found.offset, found.size, out->Handle(), &computed)) {
    *error = "cannot copy the payload into " + DescribeFailure(output);
    return ExtractOutcome::kFailed;
  }
  if (!DigestsEqual(computed, found.digest)) {
    *error = "the payload of " + Quoted(file) +
             " does not match the digest in its trailer; nothing was written";
    return ExtractOutcome::kDigestMismatch;
  }
  *location = found;
  return ExtractOutcome::kWritten;
}

ExtractOutcome ExtractPayloadToStream(const std::string& file, FileHandle stream,
                                      PayloadLocation* location, std::string* error) {
  UniqueFile input;
  PayloadLocation found;
  // Looked at before the file is opened: it must not take the place of a
  // closed standard output.
  if (!IsWritableStream(stream)) {
    *error = "standard output is closed (or open for reading only); nothing was written";
    return ExtractOutcome::kFailed;
  }
  // A payload from the field could set a window title or clear the screen.
  if (IsTerminal(stream)) {
    *error =
        "standard output is a terminal, where the payload's bytes could act as commands; "
        "send it to a file or a pipe";
    return ExtractOutcome::kFailed;
  }
  if (!OpenPackedFile(file, &input, &found, error)) return ExtractOutcome::kFailed;
  FileIdentity in;
  FileIdentity out;
  // "extract P - >> P" would append to the file while reading it.
  if (QueryFileIdentity(input.Get(), &in) && QueryFileIdentity(stream, &out) &&
      IsSameFile(in, out)) {
    *error = "standard output is " + Quoted(file) + " itself";
    return ExtractOutcome::kFailed;
  }
  Sha256Digest computed;
  ForgetLastFailure();
  if (!DigestRange(input.Get(), found.offset, found.size, &computed, stream)) {
    *error = "cannot copy the payload of " + Quoted(file) + " to standard output";
    std::string reason = LastFailureText();
    if (!reason.empty()) *error += ": " + reason;
    return ExtractOutcome::kFailed;
  }
  if (!DigestsEqual(computed, found.digest)) {
    *error = "the payload of " + Quoted(file) +
             " does not match the digest in its trailer; what standard output received must not "
             "be used";
    return ExtractOutcome::kDigestMismatch;
  }
  *location = found;
  return ExtractOutcome::kWritten;
}

}  // namespace zor::pack
