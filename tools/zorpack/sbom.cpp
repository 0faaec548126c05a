#include "sbom.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <ctime>
#include <string>

#include "pack_platform.h"
#include "packer.h"
#include "pack_text.h"
#include "product_hashes.h"
#include "sbom_document.h"
#include "sbom_facts.h"
#include "sbom_input.h"
#include "sbom_signature.h"
#include "verify.h"
#include "zorpack_version.h"

namespace zor::pack {

namespace {

constexpr char kSpecVersion[] = "1.6";
constexpr char kApplication[] = "application";
constexpr char kToolName[] = "zorpack";
constexpr char kLauncherName[] = "zor-firmware-update-launcher";
constexpr char kExeSuffix[] = ".exe";
constexpr int kDocumentIndent = 2;
constexpr int64_t kSecondsPerDay = 86400;

struct ProductFacts {
  Verification verification;
  FileAndRangeHashes product;
  Hashes launcher;
};

std::string Hex(const Sha256Digest& digest) {
  return HexText(digest.bytes, sizeof digest.bytes);
}

std::string Hex(const Sha512Digest& digest) {
  return HexText(digest.bytes, sizeof digest.bytes);
}

Json HashList(const Hashes& hashes) {
  return Json::array({{{"alg", "SHA-256"}, {"content", Hex(hashes.sha256)}},
                      {{"alg", "SHA-512"}, {"content", Hex(hashes.sha512)}}});
}

Json Property(const char* name, const std::string& value) {
  return {{"name", name}, {"value", value}};
}

// The file name of `path`, without its folder.
std::string FileNameOf(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  return path.substr(start);
}

// The file name of `path` without its folder and a final ".exe" (in any case).
std::string ProductNameOf(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t suffix = sizeof kExeSuffix - 1;
  if (name.size() > suffix) {
    std::string tail = name.substr(name.size() - suffix);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (tail == kExeSuffix) name.resize(name.size() - suffix);
  }
  return name;
}

// "YYYY-MM-DDThh:mm:ssZ" for seconds since 1970 (days to a civil date by
// the proleptic Gregorian calendar, without the platform's gmtime).
std::string UtcText(int64_t seconds) {
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  int64_t era = (days + 719468) / 146097;
  int64_t dayOfEra = days + 719468 - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];  // room for any int64_t field, as the compiler counts
  snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
           static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
           static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
           static_cast<long long>(rest % 60));
  return text;
}

// Seconds since 1970 from decimal digits alone (no sign, no space), at most
// `last`; false for anything else. No library conversion that could throw.
bool ParseSeconds(const std::string& digits, int64_t last, int64_t* seconds) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  int64_t value = 0;
  for (char digit : digits) {
    value = value * 10 + (digit - '0');
    if (value > last) return false;
  }
  *seconds = value;
  return true;
}

// From SOURCE_DATE_EPOCH when set (digits only, up to the year 9999), else
// the current time.
bool Timestamp(std::string* text, std::string* error) {
  constexpr int64_t kLastSecond = 253402300799;  // 9999-12-31T23:59:59Z
  const char* fixed = getenv(kSourceDateEpoch);
  if (fixed == nullptr) {
    *text = UtcText(static_cast<int64_t>(std::time(nullptr)));
    return true;
  }
  int64_t seconds = 0;
  if (!ParseSeconds(fixed, kLastSecond, &seconds)) {
    *error = std::string(kSourceDateEpoch) + " is not a number of seconds up to the year 9999";
    return false;
  }
  *text = UtcText(seconds);
  return true;
}

void (*afterLauncherComparedHook)(const std::string& launcher) = nullptr;

// Verifies the product, hashing the whole of it in the same read as its
// payload, and LAUNCHER in the comparison's own read: the bytes compared
// are the bytes hashed.
SbomOutcome Examine(const SbomInputs& inputs, ProductFacts* facts, std::string* error) {
  bool hashed = false;
  PayloadDigester digester = [&](FileHandle product, uint64_t size, const PayloadLocation& at,
                                 Sha256Digest* digest) {
    if (afterLauncherComparedHook != nullptr) afterLauncherComparedHook(inputs.launcher->path);
    hashed = HashFileAndRange(product, size, at.offset, at.size, &facts->product);
    *digest = facts->product.range.sha256;
    return hashed;
  };
  StreamHashes launcherHashes;
  LauncherBytes launcherBytes = [&](const unsigned char* bytes, uint32_t count) {
    return launcherHashes.Update(bytes, count);
  };
  if (!VerifyProduct(*inputs.launcher, *inputs.product, &facts->verification, error, digester,
                     launcherBytes)) {
    return SbomOutcome::kFailed;
  }
  // Said as inspect says it, rather than as the first byte that differs.
  if (!facts->verification.hasTrailer) {
    *error = Quoted(inputs.product->path) + kNoPayload;
    return SbomOutcome::kDiffers;
  }
  if (facts->verification.FirstFailure() != nullptr) {
    *error = DifferenceMessage(*inputs.product, facts->verification);
    return SbomOutcome::kDiffers;
  }
  if (!hashed || !launcherHashes.Finish(&facts->launcher)) {
    *error = "cannot hash " + Quoted(inputs.launcher->path) + " or " + Quoted(inputs.product->path);
    return SbomOutcome::kFailed;
  }
  return SbomOutcome::kMade;
}

Json ProductComponent(const SbomRequest& request, const ProductFacts& facts) {
  const Verification& v = facts.verification;
  Json product = {{"type", kApplication}, {"bom-ref", kProductRef}};
  product["name"] = request.name.empty() ? ProductNameOf(request.product) : request.name;
  if (!request.version.empty()) product["version"] = request.version;
  product["hashes"] = HashList(facts.product.file);
  product["properties"] = Json::array(
      {Property(kPropertySigned, v.certificateTableSize != 0 ? "true" : "false"),
       Property(kPropertyPayloadOffset, std::to_string(v.location.offset)),
       Property(kPropertyPayloadSize, std::to_string(v.location.size)),
       Property(kPropertyCertificateTableSize, std::to_string(v.certificateTableSize))});
  return product;
}

Json LauncherComponent(const ProductFacts& facts) {
  return {{"type", kApplication},
          {"bom-ref", kLauncherRef},
          {"name", kLauncherName},
          {"version", kPackerVersion},
          {"hashes", HashList(facts.launcher)},
          {"properties", Json::array({Property(kPropertySourceRevision, kSourceRevision)})}};
}

Json Tools() {
  Json zorpack = {
      {"type", kApplication},
      {"name", kToolName},
      {"version", kPackerVersion},
      {"properties", Json::array({Property(kPropertySourceRevision, kSourceRevision)})}};
  return {{"components", Json::array({zorpack})}};
}

// The payload component and its dependencies, from its own SBOM if given.
SbomOutcome PayloadPart(const SbomRequest& request, PayloadSbom* sbom, const Hashes& hashes,
                        Json* payload, Json* dependencies, std::string* error) {
  if (sbom == nullptr) {
    *payload = {{"type", kApplication}, {"bom-ref", kPayloadRef}, {"name", kDefaultPayloadName}};
    dependencies->push_back({{"ref", kPayloadRef}, {"dependsOn", Json::array()}});
  } else {
    if (!MatchesPayloadHashes(*sbom, hashes, Quoted(request.payloadSbom), error)) {
      return SbomOutcome::kDiffers;
    }
    *payload = AdoptPayloadSbom(std::move(*sbom), dependencies);
  }
  if (!request.payloadName.empty()) (*payload)["name"] = request.payloadName;
  if (!request.payloadVersion.empty()) (*payload)["version"] = request.payloadVersion;
  // Only the hashes computed here: any other algorithm the SBOM named could
  // not be checked.
  (*payload)["hashes"] = HashList(hashes);
  return SbomOutcome::kMade;
}

}  // namespace

void SetAfterLauncherComparedHookForTesting(void (*hook)(const std::string& launcher)) {
  afterLauncherComparedHook = hook;
}

SbomOutcome FinishSbom(Json bom, const std::string& shownSbom, std::string* document,
                       std::string* error, const std::string& signKeyPem) {
  std::string why;
  if (!CheckSbomDocument(bom, &why)) {
    // Only what a payload SBOM brings can break what the document promises.
    *error = shownSbom.empty() ? "the product's SBOM fails its own check: " + why
                               : shownSbom + " cannot be merged into the product's SBOM: " + why;
    return SbomOutcome::kFailed;
  }
  if (!SetSerialNumber(&bom, error)) return SbomOutcome::kFailed;
  *document = JsonText(bom, kDocumentIndent);
  if (signKeyPem.empty()) return SbomOutcome::kMade;
  // Signed as written: the text read back, so that a value the writer
  // spells differently (a stray byte of a file name) is signed as a reader
  // will see it.
  Json written;
  if (!ParseJsonText(*document, "the document", &written, &why) ||
      !SignDocument(signKeyPem, &written, &why)) {
    *error = "cannot sign the SBOM: " + why;
    return SbomOutcome::kFailed;
  }
  *document = JsonText(written, kDocumentIndent);
  return SbomOutcome::kMade;
}

SbomOutcome MakeSbom(const SbomRequest& request, const SbomInputs& inputs, std::string* document,
                     std::string* missing, std::string* error) {
  std::string timestamp;
  if (!Timestamp(&timestamp, error)) return SbomOutcome::kFailed;
  // The key is read before the product: one that cannot be read ends the
  // run before the long part.
  std::string signKey;
  if (inputs.signKey != nullptr && !ReadSmallInput(*inputs.signKey, &signKey, error)) {
    return SbomOutcome::kFailed;
  }
  // The payload SBOM is read first: a bad one is refused before the product
  // is read at all.
  PayloadSbom sbom;
  bool hasSbom = inputs.payloadSbom != nullptr;
  if (hasSbom && !ReadPayloadSbom(*inputs.payloadSbom, &sbom, error)) return SbomOutcome::kFailed;
  ProductFacts facts;
  SbomOutcome examined = Examine(inputs, &facts, error);
  if (examined != SbomOutcome::kMade) return examined;
  Json dependencies =
      Json::array({{{"ref", kProductRef}, {"dependsOn", Json::array({kLauncherRef, kPayloadRef})}},
                   {{"ref", kLauncherRef}, {"dependsOn", Json::array()}}});
  Json payload;
  SbomOutcome payloadMade = PayloadPart(request, hasSbom ? &sbom : nullptr, facts.product.range,
                                        &payload, &dependencies, error);
  if (payloadMade != SbomOutcome::kMade) return payloadMade;
  Json bom = {{"bomFormat", "CycloneDX"}, {"specVersion", kSpecVersion}, {"version", 1}};
  bom["metadata"] = {{"timestamp", timestamp},
                     {"tools", Tools()},
                     {"component", ProductComponent(request, facts)}};
  bom["components"] = Json::array({LauncherComponent(facts)});
  bom["components"].push_back(std::move(payload));
  bom["dependencies"] = std::move(dependencies);
  AddDocumentFacts(request, FileNameOf(request.product), FileNameOf(request.launcher),
                   kPackerVersion, &bom);
  *missing = MissingFieldsText(MissingFields(bom));
  if (request.strict && !missing->empty()) {
    *error = "the SBOM lacks fields BSI TR-03183-2 requires: " + *missing;
    return SbomOutcome::kIncomplete;
  }
  // Names that are not UTF-8 (a file name's raw bytes) keep each stray
  // byte, escaped as the code point of its value.
  return FinishSbom(std::move(bom), hasSbom ? Quoted(request.payloadSbom) : "", document, error,
                    signKey);
}

}  // namespace zor::pack
