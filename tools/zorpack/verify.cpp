#include "verify.h"

#include <string.h>

#include <utility>
#include <vector>

#include "pack_platform.h"
#include "packer.h"
#include "payload/payload_locator.h"
#include "payload/payload_trailer.h"
#include "payload/pe_headers.h"
#include "payload/range_digest.h"
#include "pack_text.h"
#include "pe_facts.h"
#include "report_json.h"

namespace zor::pack {

namespace {

// The image is compared in chunks of this size: two reads and a compare each.
constexpr uint32_t kCompareChunkSize = 0x10000;

constexpr const char* kCheckNames[kVerifyCheckCount] = {"launcher", "padding", "payload", "trailer",
                                                        "certificate_table"};
// As the JSON report names each CheckOutcome.
constexpr const char* kOutcomeNames[] = {"passed", "failed", "not_checked"};

// A byte range of the image that signing rewrites.
struct SignedField {
  uint64_t offset;
  uint32_t size;
};

// Where the header checksum and the security directory entry lie in the
// launcher image.
void FindSignedFields(const PeHeaders& headers, SignedField fields[2]) {
  int64_t directory = DataDirectoryOffset(IsPe32Plus(headers), kSecurityDirectoryIndex);
  fields[0] = {static_cast<uint64_t>(headers.optionalHeader + kChecksumField), kChecksumSize};
  fields[1] = {static_cast<uint64_t>(headers.optionalHeader + directory), kDirectoryEntrySize};
}

// Zeroes, in a chunk that starts at file offset `at`, whatever bytes of the
// signed fields it holds.
void MaskSignedFields(const SignedField fields[2], uint64_t at, unsigned char* chunk,
                      uint32_t count) {
  for (int i = 0; i < 2; ++i) {
    uint64_t begin = fields[i].offset > at ? fields[i].offset : at;
    uint64_t end = fields[i].offset + fields[i].size;
    if (end > at + count) end = at + count;
    if (begin < end) memset(chunk + (begin - at), 0, static_cast<size_t>(end - begin));
  }
}

CheckResult Passed(std::string summary) {
  return {CheckOutcome::kPassed, {}, std::move(summary)};
}

CheckResult Failed(const char* field, uint64_t offset, std::string detail) {
  return {CheckOutcome::kFailed, {field, offset, std::move(detail)}, {}};
}

std::string HexByte(unsigned char byte) {
  return "0x" + HexText(&byte, 1);
}

// The first `compared` bytes of the product against the launcher image;
// false only when a file cannot be read.
bool CompareImage(FileHandle launcher, FileHandle product, uint64_t compared,
                  const SignedField fields[2], const LauncherBytes& launcherBytes,
                  CheckResult* result) {
  std::vector<unsigned char> ours(kCompareChunkSize);
  std::vector<unsigned char> theirs(kCompareChunkSize);
  if (!SeekTo(launcher, 0) || !SeekTo(product, 0)) return false;
  for (uint64_t at = 0; at < compared;) {
    uint64_t left = compared - at;
    uint32_t count = left < kCompareChunkSize ? static_cast<uint32_t>(left) : kCompareChunkSize;
    if (!ReadExact(launcher, ours.data(), count) || !ReadExact(product, theirs.data(), count)) {
      return false;
    }
    if (launcherBytes && !launcherBytes(ours.data(), count)) return false;
    MaskSignedFields(fields, at, ours.data(), count);
    MaskSignedFields(fields, at, theirs.data(), count);
    if (memcmp(ours.data(), theirs.data(), count) != 0) {
      uint32_t i = 0;
      while (ours[i] == theirs[i]) ++i;
      *result = Failed(kDifferenceLauncherByte, at + i,
                       "the byte at offset " + std::to_string(at + i) + " is " +
                           HexByte(theirs[i]) + ", LAUNCHER has " + HexByte(ours[i]));
      return true;
    }
    at += count;
  }
  *result = Passed("");
  return true;
}

bool CheckLauncherPart(FileHandle launcher, const PeHeaders& headers, FileHandle product,
                       const LauncherBytes& launcherBytes, Verification* v, std::string* error) {
  SignedField fields[2];
  FindSignedFields(headers, fields);
  uint64_t compared = v->launcherSize < v->productSize ? v->launcherSize : v->productSize;
  CheckResult& result = v->checks[static_cast<size_t>(VerifyCheck::kLauncher)];
  if (!CompareImage(launcher, product, compared, fields, launcherBytes, &result)) {
    *error = "cannot read the launcher image or the product";
    return false;
  }
  if (result.outcome == CheckOutcome::kFailed) return true;
  // Equal as far as they go: the product's image must also be as long.
  uint64_t imageEnd = v->productSize;
  if (v->hasTrailer && v->location.offset < imageEnd) imageEnd = v->location.offset;
  if (imageEnd < v->launcherSize) {
    result = Failed(kDifferenceLauncherSize, imageEnd,
                    "the product's launcher image ends at offset " + std::to_string(imageEnd) +
                        ", LAUNCHER is " + std::to_string(v->launcherSize) + " bytes");
    return true;
  }
  result = Passed("same as LAUNCHER, " + std::to_string(v->launcherSize) +
                  " bytes (header checksum and security directory not compared)");
  return true;
}

bool CheckPadding(FileHandle product, Verification* v, std::string* error) {
  CheckResult& result = v->checks[static_cast<size_t>(VerifyCheck::kPadding)];
  if (!v->hasTrailer || v->location.offset < v->launcherSize) return true;
  uint64_t expected = PaddingBetween(v->launcherSize, v->location.size);
  uint64_t actual = v->location.offset - v->launcherSize;
  if (actual != expected) {
    result = Failed(kDifferencePaddingSize, v->launcherSize,
                    std::to_string(actual) + " bytes between image and payload, the packer puts " +
                        std::to_string(expected));
    return true;
  }
  unsigned char padding[kSigningAlignment] = {};
  if (!SeekTo(product, static_cast<int64_t>(v->launcherSize)) ||
      !ReadExact(product, padding, static_cast<uint32_t>(actual))) {
    *error = "cannot read the product's padding";
    return false;
  }
  for (uint64_t i = 0; i < actual; ++i) {
    if (padding[i] != 0) {
      result = Failed(kDifferencePaddingByte, v->launcherSize + i,
                      "the padding byte at offset " + std::to_string(v->launcherSize + i) + " is " +
                          HexByte(padding[i]) + ", not zero");
      return true;
    }
  }
  result = Passed(std::to_string(actual) + " bytes, all zero");
  return true;
}

bool CheckPayload(FileHandle product, const PayloadDigester& digester, Verification* v,
                  std::string* error) {
  CheckResult& result = v->checks[static_cast<size_t>(VerifyCheck::kPayload)];
  if (!v->hasTrailer) return true;
  StreamedReads streamed;
  bool read = digester ? digester(product, v->productSize, v->location, &v->computedDigest)
                       : DigestRange(product, v->location.offset, v->location.size,
                                     &v->computedDigest, NoFile());
  if (!read) {
    *error = "cannot read the product's payload";
    return false;
  }
  std::string where =
      std::to_string(v->location.size) + " bytes at offset " + std::to_string(v->location.offset);
  if (!DigestsEqual(v->computedDigest, v->location.digest)) {
    result = Failed(kDifferencePayloadDigest, v->location.offset,
                    "the payload (" + where + ") has sha256 " + DigestText(v->computedDigest) +
                        ", its trailer records " + DigestText(v->location.digest));
    return true;
  }
  result = Passed(where + ", sha256 " + DigestText(v->computedDigest) + " as its trailer records");
  return true;
}

void CheckTrailer(Verification* v) {
  CheckResult& result = v->checks[static_cast<size_t>(VerifyCheck::kTrailer)];
  // Where the launcher looks for the trailer's end: the certificate table's
  // start when the security directory points inside the file.
  uint64_t end = CoveredEnd(v->certificateTableOffset, v->productSize);
  std::string where =
      "ends at offset " + std::to_string(end) +
      (end != v->productSize ? ", where the certificate table begins" : ", the end of the file");
  result =
      v->hasTrailer ? Passed(where) : Failed(kDifferenceTrailer, end, "no valid trailer " + where);
}

void CheckCertificateTable(Verification* v) {
  CheckResult& result = v->checks[static_cast<size_t>(VerifyCheck::kCertificateTable)];
  uint64_t offset = v->certificateTableOffset;
  uint64_t size = v->certificateTableSize;
  uint64_t end = offset + size;
  if (offset == 0 && size == 0) {
    result = Passed("none (an unsigned file)");
  } else if (offset == 0 || offset > v->productSize || size < kCertificateHeaderSize ||
             end > v->productSize) {
    result = Failed(kDifferenceSecurityDirectory, offset,
                    "the security directory records " + std::to_string(size) + " bytes at offset " +
                        std::to_string(offset) + ", which the " + std::to_string(v->productSize) +
                        "-byte file does not hold");
  } else if (end < v->productSize) {
    result = Failed(kDifferenceAfterCertificateTable, end,
                    std::to_string(v->productSize - end) +
                        " bytes follow the certificate table, from offset " + std::to_string(end));
  } else {
    result = Passed(std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                    ", nothing after it");
  }
}

}  // namespace

const CheckResult* Verification::FirstFailure() const {
  for (const CheckResult& result : checks) {
    if (result.outcome == CheckOutcome::kFailed) return &result;
  }
  return nullptr;
}

bool VerifyProduct(const Input& launcherInput, const Input& productInput,
                   Verification* verification, std::string* error, const PayloadDigester& digester,
                   const LauncherBytes& launcherBytes) {
  const std::string& launcher = launcherInput.path;
  const std::string& product = productInput.path;
  FileHandle launcherFile = launcherInput.Get();
  FileHandle productFile = productInput.Get();
  PeHeaders launcherHeaders;
  if (!CheckLauncher(launcherFile, launcher, error, &launcherHeaders)) return false;
  Verification v;
  if (!SizeOf(launcherFile, launcher, &v.launcherSize, error) ||
      !SizeOf(productFile, product, &v.productSize, error)) {
    return false;
  }
  // A product that is not even a PE file still gets its bytes compared; it
  // just has no security directory to go by.
  PeHeaderFacts facts;
  if (ReadPeHeaderFacts(productFile, &facts)) {
    v.certificateTableOffset = facts.headers.securityOffset;
    v.certificateTableSize = facts.securitySize;
  }
  v.hasTrailer = ReadPayloadLocation(productFile, &v.location);
  if (v.hasTrailer && !CheckClaimedPayload(product, v.location, error)) return false;
  if (!CheckLauncherPart(launcherFile, launcherHeaders, productFile, launcherBytes, &v, error) ||
      !CheckPadding(productFile, &v, error) || !CheckPayload(productFile, digester, &v, error)) {
    *error += " (" + Quoted(product) + ")";
    return false;
  }
  CheckTrailer(&v);
  CheckCertificateTable(&v);
  *verification = v;
  return true;
}

std::string DifferenceMessage(const Input& product, const Verification& verification) {
  const CheckResult* failure = verification.FirstFailure();
  if (failure == nullptr) return std::string();
  return Quoted(product.path) +
         " differs from what the release made: " + failure->difference.field + " at offset " +
         std::to_string(failure->difference.offset);
}

std::string VerificationReport(const Verification& v, bool json) {
  const CheckResult* failure = v.FirstFailure();
  if (json) {
    JsonMembers members = {{kKeyVerdict, JsonString(failure ? "different" : "same")}};
    for (size_t i = 0; i < kVerifyCheckCount; ++i) {
      members.push_back(
          {kCheckNames[i], JsonString(kOutcomeNames[static_cast<size_t>(v.checks[i].outcome)])});
    }
    // Without a trailer, nothing is known of a payload.
    auto payloadFact = [&](const std::string& value) { return v.hasTrailer ? value : kJsonNull; };
    members.insert(
        members.end(),
        {{kKeyFirstDifference, failure ? JsonString(failure->difference.field) : kJsonNull},
         {kKeyFirstDifferenceOffset,
          failure ? std::to_string(failure->difference.offset) : kJsonNull},
         {kKeyLauncherSize, std::to_string(v.launcherSize)},
         {kKeyProductSize, std::to_string(v.productSize)},
         {kKeyPayloadOffset, payloadFact(std::to_string(v.location.offset))},
         {kKeyPayloadSize, payloadFact(std::to_string(v.location.size))},
         {kKeyPayloadSha256, payloadFact(JsonString(DigestText(v.location.digest)))},
         {kKeyComputedSha256, payloadFact(JsonString(DigestText(v.computedDigest)))},
         {kKeyCertificateTableOffset, std::to_string(v.certificateTableOffset)},
         {kKeyCertificateTableSize, std::to_string(v.certificateTableSize)},
         {kKeySignatureChecked, JsonBool(false)}});
    return JsonObjectLine(members);
  }
  std::string report;
  for (size_t i = 0; i < kVerifyCheckCount; ++i) {
    const CheckResult& result = v.checks[i];
    report += std::string(kCheckNames[i]) + ": ";
    if (result.outcome == CheckOutcome::kPassed) {
      report += "ok, " + result.summary + "\n";
    } else if (result.outcome == CheckOutcome::kFailed) {
      report += "DIFFERS (" + std::string(result.difference.field) + " at offset " +
                std::to_string(result.difference.offset) + "): " + result.difference.detail + "\n";
    } else {
      report += "not checked\n";
    }
  }
  report += failure ? "verdict: DIFFERENT, first at offset " +
                          std::to_string(failure->difference.offset) + " (" +
                          failure->difference.field + ")\n"
                    : std::string("verdict: SAME launcher, intact payload and layout\n");
  return report +
         "signature: not checked here; run osslsigncode verify or signtool verify beside it\n";
}

}  // namespace zor::pack
