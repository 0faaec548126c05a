// `zorpack verify --json` end to end against the real launcher image. The
// first input byte picks the product: even, the rest as it is; odd, a product
// packed here from the rest (flags, payload size, payload, then damages).
// An oracle over the bytes, written from verify's documented rules with the
// locator target's layout model and OpenSSL's SHA-256 (nothing of verify's
// own), names the first difference in check order or none; verify must exit
// 0 exactly when it finds none and 1 otherwise, with one zorpack: line on
// stderr, and its JSON report must name that difference at that offset.
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fuzz_failure.h"
#include "layout_reference.h"
#include "packer.h"
#include "support/json_check.h"
#include "zorpack_run.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zor::fuzz::Failure;

constexpr size_t kTrailerSize = 48;
constexpr char kTrailerMagic[] = "ZORFW002";
constexpr size_t kTrailerMagicOffset = 40;
constexpr uint64_t kAlignment = 8;  // signing's, and so the padding's
constexpr uint64_t kCertificateHeaderSize = 8;
constexpr size_t kChecksumSize = 4;
constexpr size_t kEntrySize = 8;
constexpr uint8_t kSignedFlag = 1;
constexpr size_t kDamageSize = 4;

const Bytes& Launcher() {
  static const Bytes image = [] {
    std::ifstream file(ZOR_FUZZ_LAUNCHER, std::ios::binary);
    if (!file) Failure("no launcher image at " ZOR_FUZZ_LAUNCHER ": build the default preset");
    return Bytes(std::istreambuf_iterator<char>(file), {});
  }();
  return image;
}

uint32_t Le32(const Bytes& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 4; i > 0; --i) value = value << 8 | bytes[at + i - 1];
  return value;
}

void PutLe(Bytes* bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> 8 * i);
}

// Where signing writes in the image: the header checksum and the security
// directory entry, found from the image's own headers.
struct SignedFields {
  size_t checksum;
  size_t entry;
};

const SignedFields& Fields() {
  static const SignedFields fields = [] {
    size_t optional = Le32(Launcher(), 60) + 24;
    bool pe32Plus = Launcher()[optional] == 0x0B && Launcher()[optional + 1] == 0x02;
    return SignedFields{optional + 64, optional + (pe32Plus ? 144 : 128)};
  }();
  return fields;
}

struct Difference {
  const char* field;  // null: none
  uint64_t offset;
};

// The first `count` bytes, the signed fields zeroed.
Bytes Masked(const Bytes& bytes, size_t count) {
  Bytes masked(bytes.begin(), bytes.begin() + count);
  for (auto [at, width] :
       {std::pair{Fields().checksum, kChecksumSize}, {Fields().entry, kEntrySize}}) {
    std::fill(masked.begin() + std::min(at, count), masked.begin() + std::min(at + width, count),
              0);
  }
  return masked;
}

// The first offset where `a` and `b` differ, or `count`; in blocks first, as
// a byte loop over the whole image in every execution is slow.
size_t FirstDifference(const uint8_t* a, const uint8_t* b, size_t count) {
  constexpr size_t kBlock = 256;
  size_t at = 0;
  while (count - at >= kBlock && std::memcmp(a + at, b + at, kBlock) == 0) at += kBlock;
  while (at < count && a[at] == b[at]) ++at;
  return at;
}

Difference LauncherDifference(const Bytes& product, uint64_t payloadOffset) {
  static const Bytes image = Masked(Launcher(), Launcher().size());
  size_t compared = std::min(image.size(), product.size());
  size_t at = FirstDifference(image.data(), Masked(product, compared).data(), compared);
  if (at < compared) return {"launcher_byte", at};
  uint64_t end = std::min<uint64_t>(product.size(), payloadOffset);
  if (end < image.size()) return {"launcher_size", end};
  return {};
}

Difference Expected(const Bytes& product) {
  zor::fuzz::ReferenceLocation at;
  bool located = zor::fuzz::ReferenceLocate(product.data(), product.size(), &at);
  Difference launcher = LauncherDifference(product, located ? at.offset : UINT64_MAX);
  if (launcher.field != nullptr) return launcher;
  // The product's headers are the image's now, its security entry where the image's is.
  uint64_t tableOffset = Le32(product, Fields().entry);
  uint64_t tableEnd = tableOffset + Le32(product, Fields().entry + 4);
  uint64_t size = product.size();
  if (!located) return {"trailer", tableOffset != 0 && tableOffset <= size ? tableOffset : size};
  uint64_t imageSize = Launcher().size();
  if (at.offset - imageSize != (kAlignment - (imageSize + at.size) % kAlignment) % kAlignment) {
    return {"padding_size", imageSize};
  }
  for (uint64_t i = imageSize; i < at.offset; ++i) {
    if (product[i] != 0) return {"padding_byte", i};
  }
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(product.data() + at.offset, at.size, digest);
  if (std::memcmp(digest, at.digest, sizeof digest) != 0) return {"payload_digest", at.offset};
  if (tableOffset == 0 && tableEnd == 0) return {};
  if (tableOffset == 0 || tableEnd - tableOffset < kCertificateHeaderSize || tableEnd > size) {
    return {"security_directory", tableOffset};
  }
  if (tableEnd < size) return {"data_after_certificate_table", tableEnd};
  return {};
}

// The input after the mode byte, read from the front; zeros once it ends.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Next() { return size == 0 ? 0 : (--size, *data++); }
};

// Launcher, padding, payload and trailer as pack writes them, then a
// certificate table as signing adds it when the flags ask for one.
Bytes Packed(Input* in) {
  uint8_t flags = in->Next();
  Bytes payload(std::min<size_t>(in->Next(), in->size));
  for (uint8_t& byte : payload) byte = in->Next();
  Bytes product = Launcher();
  product.resize(product.size() + zor::pack::PaddingBetween(product.size(), payload.size()));
  product.insert(product.end(), payload.begin(), payload.end());
  Bytes trailer(kTrailerSize);
  PutLe(&trailer, 0, payload.size(), 8);
  SHA256(payload.data(), payload.size(), &trailer[8]);
  std::memcpy(&trailer[kTrailerMagicOffset], kTrailerMagic, sizeof kTrailerMagic - 1);
  product.insert(product.end(), trailer.begin(), trailer.end());
  if (flags & kSignedFlag) {
    uint64_t tableSize = kCertificateHeaderSize + (flags >> 1);
    PutLe(&product, Fields().entry, product.size(), 4);
    PutLe(&product, Fields().entry + 4, tableSize, 4);
    product.resize(product.size() + tableSize, flags);
  }
  return product;
}

enum DamageKind : uint8_t {
  kFlip,
  kFlipFromEnd,
  kCut,
  kAppend,
  kMoveEntryField,
  kFlipNearSignedField,  // where a mask too wide, too narrow or misplaced shows
  kDamageKinds
};
constexpr size_t kNearSignedField = 16;

// One damage, read from the input: kind, 16-bit where, value.
void Damage(Bytes* product, Input* in) {
  uint8_t kind = in->Next();
  uint16_t where = in->Next();
  where = static_cast<uint16_t>(where | in->Next() << 8);
  uint8_t value = in->Next();
  size_t size = product->size();
  switch (kind % kDamageKinds) {
    case kFlip:
      if (size > 0) (*product)[where % size] ^= value;
      break;
    case kFlipFromEnd:
      if (size > 0) (*product)[size - 1 - where % size] ^= value;
      break;
    case kFlipNearSignedField: {
      size_t field = where & 1 ? Fields().entry : Fields().checksum;
      size_t at = field - kNearSignedField + (where >> 1) % (3 * kNearSignedField);
      if (at < size) (*product)[at] ^= value;
      break;
    }
    case kCut:
      product->resize(size - std::min<size_t>(value, size));
      break;
    case kAppend:
      product->insert(product->end(), value % 16 + 1, static_cast<uint8_t>(where));
      break;
    case kMoveEntryField: {  // the table's offset or size, moved by -32768 to 32767
      size_t field = Fields().entry + (value & 4);
      if (field + 4 <= size) PutLe(product, field, Le32(*product, field) + int16_t(where), 4);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zor::fuzz::ScratchFolder scratch;
  static const std::string launcher =
      scratch.Write("launcher.exe", Launcher().data(), Launcher().size());
  if (size == 0) return 0;
  Input in{data + 1, size - 1};
  Bytes product = data[0] % 2 == 0 ? Bytes(in.data, in.data + in.size) : Packed(&in);
  while (data[0] % 2 == 1 && in.size >= kDamageSize) Damage(&product, &in);
  std::string path = scratch.Write("product.exe", product.data(), product.size());
  zor::fuzz::CommandResult result =
      zor::fuzz::RunZorpackChecked({"verify", "--launcher", launcher, path, "--json"});
  Difference expected = Expected(product);
  bool same = expected.field == nullptr;
  if (result.status != (same ? 0 : 1)) {
    Failure("exit status is not 0 exactly when the oracle finds no difference, else 1");
  }
  zor::test::JsonMembers report;
  if (!zor::test::ParseJsonObject(result.output, &report)) Failure("no JSON object in the report");
  if (report["verdict"] != (same ? "same" : "different") ||
      report["first_difference"] != (same ? "null" : expected.field) ||
      report["first_difference_offset"] != (same ? "null" : std::to_string(expected.offset))) {
    Failure("the report names another first difference than the oracle");
  }
  return 0;
}
