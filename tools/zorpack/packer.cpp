#include "packer.h"

#include <windows.h>

#include "payload/file_io.h"
#include "payload/payload_locator.h"
#include "payload/payload_trailer.h"
#include "payload/range_digest.h"
#include "pe_header.h"
#include "pending_output.h"
#include "runtime/unique_handle.h"

namespace zor::pack {

namespace {

std::wstring Quoted(const std::wstring& path) {
  return L"'" + path + L"'";
}

// Inputs may be read by others meanwhile, but not changed.
bool OpenInput(const std::wstring& path, const wchar_t* role, UniqueHandle* file,
               std::wstring* error) {
  file->Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file->IsValid()) return true;
  *error = std::wstring(L"cannot open ") + role + L" " + DescribeFailure(path, GetLastError());
  return false;
}

bool SizeOf(HANDLE file, const std::wstring& path, uint64_t* size, std::wstring* error) {
  int64_t value = 0;
  if (!QueryFileSize(file, &value)) {
    *error = L"cannot query the size of " + DescribeFailure(path, GetLastError());
    return false;
  }
  *size = static_cast<uint64_t>(value);
  return true;
}

bool WriteAll(HANDLE file, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

bool CheckLauncher(HANDLE file, const std::wstring& path, std::wstring* error) {
  PeHeaderFacts facts;
  if (!ReadPeHeaderFacts(file, &facts)) {
    *error = L"the launcher " + Quoted(path) + L" is not a Windows executable";
    return false;
  }
  PayloadLocation existing;
  if (ReadPayloadLocation(file, &existing)) {
    *error = L"the launcher " + Quoted(path) + L" already carries a payload";
    return false;
  }
  // Appending to a signed file would leave the signature covering the wrong
  // bytes and the trailer after the certificate table, where the launcher
  // never looks.
  if (facts.securityOffset != 0 || facts.securitySize != 0) {
    *error = L"the launcher " + Quoted(path) +
             L" is signed; pack the unsigned launcher and sign the packed file";
    return false;
  }
  return true;
}

bool CheckPayload(HANDLE file, const std::wstring& path, std::wstring* error) {
  PeHeaderFacts facts;
  if (ReadPeHeaderFacts(file, &facts)) return true;
  *error = L"the payload " + Quoted(path) + L" is not a Windows executable";
  return false;
}

bool RefuseOutputIsInput(HANDLE input, const std::wstring& output, std::wstring* error) {
  if (!IsSameFile(input, output)) return true;
  *error = L"the output " + Quoted(output) + L" is one of the inputs";
  return false;
}

// The packed file, read back the way the launcher reads it, must lead to the
// payload just written.
bool LocatesPayload(HANDLE packed, const PayloadLocation& expected) {
  PayloadLocation found;
  return ReadPayloadLocation(packed, &found) && found.offset == expected.offset &&
         found.size == expected.size && DigestsEqual(found.digest, expected.digest);
}

bool WritePackedFile(HANDLE launcher, HANDLE payload, PendingOutput* out, PackedFile* packed,
                     std::wstring* error) {
  static const unsigned char kZeros[kSigningAlignment] = {};
  const std::wstring& target = out->TemporaryPath();
  Sha256Digest imageDigest;
  if (!DigestRange(launcher, 0, packed->imageSize, &imageDigest, out->Handle()) ||
      !WriteAll(out->Handle(), kZeros, static_cast<DWORD>(packed->paddingSize))) {
    *error = L"cannot copy the launcher into " + DescribeFailure(target, GetLastError());
    return false;
  }
  if (!DigestRange(payload, 0, packed->payload.size, &packed->payload.digest, out->Handle())) {
    *error = L"cannot copy the payload into " + DescribeFailure(target, GetLastError());
    return false;
  }
  unsigned char trailer[kTrailerSize];
  EncodeTrailer(PayloadTrailer{packed->payload.size, packed->payload.digest}, trailer);
  if (!WriteAll(out->Handle(), trailer, sizeof trailer)) {
    *error = L"cannot write the trailer into " + DescribeFailure(target, GetLastError());
    return false;
  }
  if (!LocatesPayload(out->Handle(), packed->payload)) {
    *error = L"the packed file " + Quoted(target) + L" does not lead to its payload";
    return false;
  }
  return true;
}

}  // namespace

uint64_t PaddingBetween(uint64_t imageSize, uint64_t payloadSize) {
  // The trailer's length is itself a multiple of the alignment.
  static_assert(kTrailerSize % kSigningAlignment == 0, "trailer breaks the alignment");
  uint64_t remainder = (imageSize + payloadSize) % kSigningAlignment;
  return remainder == 0 ? 0 : kSigningAlignment - remainder;
}

bool PackLauncherFile(const std::wstring& launcher, const std::wstring& payload,
                      const std::wstring& output, PackedFile* packed, std::wstring* error) {
  UniqueHandle launcherFile;
  UniqueHandle payloadFile;
  if (!OpenInput(launcher, L"the launcher", &launcherFile, error) ||
      !OpenInput(payload, L"the payload", &payloadFile, error) ||
      !RefuseOutputIsInput(launcherFile.Get(), output, error) ||
      !RefuseOutputIsInput(payloadFile.Get(), output, error) ||
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
    *error = L"the packed file would be " + std::to_wstring(layout.fileSize) +
             L" bytes long, too long to be signed (at most " + std::to_wstring(kMaxSignableSize) +
             L")";
    return false;
  }

  PendingOutput out;
  if (!out.Create(output, error) ||
      !WritePackedFile(launcherFile.Get(), payloadFile.Get(), &out, &layout, error) ||
      !out.Commit(error)) {
    return false;
  }
  *packed = layout;
  return true;
}

bool InspectLauncherFile(const std::wstring& file, Inspection* inspection, std::wstring* error) {
  UniqueHandle input;
  if (!OpenInput(file, L"the file", &input, error)) return false;
  PeHeaderFacts facts;
  if (!ReadPeHeaderFacts(input.Get(), &facts)) {
    *error = Quoted(file) + L" is not a Windows executable";
    return false;
  }
  Inspection result = {};
  if (!ReadPayloadLocation(input.Get(), &result.location)) {
    *error = Quoted(file) + L" carries no payload: no valid trailer where the launcher looks";
    return false;
  }
  if (!DigestRange(input.Get(), result.location.offset, result.location.size,
                   &result.computedDigest, INVALID_HANDLE_VALUE)) {
    *error = L"cannot read the payload of " + DescribeFailure(file, GetLastError());
    return false;
  }
  uint64_t fileSize = 0;
  if (!SizeOf(input.Get(), file, &fileSize, error)) return false;
  result.digestMatches = DigestsEqual(result.computedDigest, result.location.digest);
  // The same rule the launcher follows: a table offset inside the file ends
  // the region that the trailer closes.
  result.hasCertificateTable = facts.securityOffset != 0 && facts.securityOffset <= fileSize;
  result.certificateTableOffset = facts.securityOffset;
  result.certificateTableSize = facts.securitySize;
  *inspection = result;
  return true;
}

ExtractOutcome ExtractPayloadFile(const std::wstring& file, const std::wstring& output,
                                  PayloadLocation* location, std::wstring* error) {
  UniqueHandle input;
  if (!OpenInput(file, L"the file", &input, error) ||
      !RefuseOutputIsInput(input.Get(), output, error)) {
    return ExtractOutcome::kFailed;
  }
  PayloadLocation found;
  if (!ReadPayloadLocation(input.Get(), &found)) {
    *error = Quoted(file) + L" carries no payload: no valid trailer where the launcher looks";
    return ExtractOutcome::kFailed;
  }
  PendingOutput out;
  if (!out.Create(output, error)) return ExtractOutcome::kFailed;
  Sha256Digest computed;
  if (!DigestRange(input.Get(), found.offset, found.size, &computed, out.Handle())) {
    *error =
        L"cannot copy the payload into " + DescribeFailure(out.TemporaryPath(), GetLastError());
    return ExtractOutcome::kFailed;
  }
  if (!DigestsEqual(computed, found.digest)) {
    *error = L"the payload of " + Quoted(file) +
             L" does not match the digest in its trailer; nothing was written";
    return ExtractOutcome::kDigestMismatch;
  }
  if (!out.Commit(error)) return ExtractOutcome::kFailed;
  *location = found;
  return ExtractOutcome::kWritten;
}

}  // namespace zor::pack
