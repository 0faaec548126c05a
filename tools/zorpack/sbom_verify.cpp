#include "sbom_verify.h"

#include <string.h>

#include "pack_text.h"
#include "payload/payload_locator.h"
#include "payload/pe_layout.h"
#include "payload/sha256.h"
#include "product_hashes.h"

namespace zor::pack {

namespace {

constexpr uint32_t kSizeOfHeadersField = 60;
constexpr char kSha256[] = "SHA-256";
constexpr char kSha512[] = "SHA-512";

// Little-endian fields of `bytes`, false past its end.
bool Field16(const std::vector<unsigned char>& bytes, uint64_t at, uint32_t* value) {
  if (at + 2 > bytes.size()) return false;
  *value = bytes[at] | (uint32_t{bytes[at + 1]} << 8);
  return true;
}

bool Field32(const std::vector<unsigned char>& bytes, uint64_t at, uint32_t* value) {
  uint32_t low = 0;
  uint32_t high = 0;
  if (!Field16(bytes, at, &low) || !Field16(bytes, at + 2, &high)) return false;
  *value = low | (high << 16);
  return true;
}

void SetField32(std::vector<unsigned char>* bytes, uint64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The PE header checksum: 16-bit words added with their carries folded
// back, plus the file's length; the checksum field must be zero.
uint32_t PeChecksum(const std::vector<unsigned char>& image) {
  uint64_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    sum += image[i] | (i + 1 < image.size() ? uint32_t{image[i + 1]} << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + image.size());
}

Hashes HashOf(const std::vector<unsigned char>& bytes, bool* hashed) {
  Hashes hashes = {};
  ScopedSha256 sha256(BeginSha256());
  ScopedSha512 sha512(BeginSha512());
  uint32_t count = static_cast<uint32_t>(bytes.size());
  *hashed =
      sha256.IsValid() && sha512.IsValid() && UpdateSha256(sha256.Get(), bytes.data(), count) &&
      UpdateSha512(sha512.Get(), bytes.data(), count) &&
      FinishSha256(sha256.Get(), &hashes.sha256) && FinishSha512(sha512.Get(), &hashes.sha512);
  return hashes;
}

// The hex digest of `algorithm` that `component` states; empty for none.
std::string StatedHash(const Json& component, const char* algorithm) {
  if (!component.is_object() || !component.contains("hashes") || !component["hashes"].is_array()) {
    return "";
  }
  for (const Json& hash : component["hashes"]) {
    if (hash.is_object() && hash.contains("alg") && hash["alg"] == algorithm &&
        hash.contains("content") && hash["content"].is_string()) {
      return hash["content"].get<std::string>();
    }
  }
  return "";
}

const Json& ComponentByRef(const Json& document, const char* ref) {
  static const Json kNone = Json::object();
  if (document.is_object() && document.contains("components") &&
      document["components"].is_array()) {
    for (const Json& component : document["components"]) {
      if (component.is_object() && component.contains("bom-ref") && component["bom-ref"] == ref) {
        return component;
      }
    }
  }
  return kNone;
}

const Json& MainComponent(const Json& document) {
  static const Json kNone = Json::object();
  if (!document.is_object() || !document.contains("metadata") ||
      !document["metadata"].is_object() || !document["metadata"].contains("component")) {
    return kNone;
  }
  return document["metadata"]["component"];
}

// False, with `message`, when `component` does not state `hashes` (both,
// in lower or upper case hex).
bool SameHashes(const Json& component, const char* what, const Hashes& hashes,
                std::string* message) {
  struct Stated {
    const char* algorithm;
    std::string actual;
  };
  const Stated stated[] = {{kSha256, HexText(hashes.sha256.bytes, sizeof hashes.sha256.bytes)},
                           {kSha512, HexText(hashes.sha512.bytes, sizeof hashes.sha512.bytes)}};
  for (const Stated& s : stated) {
    std::string claimed = StatedHash(component, s.algorithm);
    for (char& c : claimed) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    if (claimed != s.actual) {
      *message = std::string("the document's ") + s.algorithm + " of " + what +
                 (claimed.empty() ? " is missing" : " is not what PRODUCT carries");
      return false;
    }
  }
  return true;
}

}  // namespace

bool RestoreLauncherImage(std::vector<unsigned char>* bytes) {
  const std::vector<unsigned char>& b = *bytes;
  uint32_t newHeader = 0;
  uint32_t signature = 0;
  uint32_t sections = 0;
  uint32_t optionalSize = 0;
  uint32_t magic = 0;
  uint32_t headersSize = 0;
  if (!Field32(b, kNewHeaderOffsetField, &newHeader) || !Field32(b, newHeader, &signature) ||
      signature != kPeSignature || !Field16(b, newHeader + kCoffSectionCountField, &sections) ||
      !Field16(b, newHeader + kCoffOptionalSizeField, &optionalSize)) {
    return false;
  }
  uint64_t optional = uint64_t{newHeader} + kOptionalHeaderOffset;
  if (!Field16(b, optional, &magic) || (magic != kPe32Magic && magic != kPe32PlusMagic) ||
      !Field32(b, optional + kSizeOfHeadersField, &headersSize)) {
    return false;
  }
  uint64_t end = headersSize;
  for (uint32_t i = 0; i < sections; ++i) {
    uint64_t header = optional + optionalSize + uint64_t{i} * kSectionHeaderSize;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    if (!Field32(b, header + kSectionRawSizeField, &rawSize) ||
        !Field32(b, header + kSectionRawPointerField, &rawPointer)) {
      return false;
    }
    if (rawSize != 0 && uint64_t{rawPointer} + rawSize > end) end = uint64_t{rawPointer} + rawSize;
  }
  uint64_t checksum = optional + kChecksumField;
  uint64_t directory =
      optional + DataDirectoryOffset(magic == kPe32PlusMagic, kSecurityDirectoryIndex);
  if (end > b.size() || directory + kDirectoryEntrySize > end) return false;
  std::vector<unsigned char> image(b.begin(), b.begin() + static_cast<ptrdiff_t>(end));
  memset(&image[directory], 0, kDirectoryEntrySize);
  SetField32(&image, checksum, 0);
  SetField32(&image, checksum, PeChecksum(image));
  *bytes = std::move(image);
  return true;
}

SbomMatch MatchSbomToProduct(const Json& document, FileHandle product, uint64_t size,
                             std::string* message) {
  PayloadLocation location = {};
  if (!ReadPayloadLocation(product, &location)) {
    *message = "PRODUCT carries no payload";
    return SbomMatch::kDiffers;
  }
  FileAndRangeHashes hashes;
  if (!HashFileAndRange(product, size, location.offset, location.size, &hashes)) {
    *message = "cannot read";
    return SbomMatch::kFailed;
  }
  if (!SameHashes(MainComponent(document), "the product", hashes.file, message)) {
    return SbomMatch::kDiffers;
  }
  uint64_t head = location.offset < kMaxLauncherImageSize ? location.offset : kMaxLauncherImageSize;
  std::vector<unsigned char> launcher(static_cast<size_t>(head));
  if (!SeekTo(product, 0) || !ReadExact(product, launcher.data(), static_cast<uint32_t>(head))) {
    *message = "cannot read";
    return SbomMatch::kFailed;
  }
  if (!RestoreLauncherImage(&launcher)) {
    *message = "PRODUCT carries no launcher image";
    return SbomMatch::kDiffers;
  }
  bool hashed = false;
  Hashes launcherHashes = HashOf(launcher, &hashed);
  if (!hashed) {
    *message = "cannot hash the launcher image of";
    return SbomMatch::kFailed;
  }
  if (!SameHashes(ComponentByRef(document, kLauncherRef), "the launcher", launcherHashes,
                  message) ||
      !SameHashes(ComponentByRef(document, kPayloadRef), "the payload", hashes.range, message)) {
    return SbomMatch::kDiffers;
  }
  return SbomMatch::kMatches;
}

}  // namespace zor::pack
