// Checking a product from the field against a released launcher image. The
// packer never changes a byte of the launcher, and the launcher image is
// built reproducibly, so a product of a release carries exactly that
// release's image, apart from the two fields that signing fills in: the
// header checksum and the security directory entry. What follows the image
// is fixed too: zero padding, a payload that matches its digest, the trailer
// ending where the certificate table begins (or at the end of an unsigned
// file), and nothing after the table. The signature itself is not checked
// here: that is a signing tool's job (osslsigncode verify, signtool verify).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "common/payload_location.h"
#include "common/sha256_digest.h"
#include "command_input.h"
#include "runtime/file.h"

namespace zor::pack {

// The checks, in the order of the parts of the file they look at.
enum class VerifyCheck { kLauncher, kPadding, kPayload, kTrailer, kCertificateTable };
constexpr size_t kVerifyCheckCount = 5;

enum class CheckOutcome { kPassed, kFailed, kNotChecked };

// The first place where a part differs from what the release made. `field`
// is a stable name (see kDifference* below); `offset` is a file offset in
// the product.
struct Difference {
  const char* field;
  uint64_t offset;
  std::string detail;  // for people, one line
};

constexpr char kDifferenceLauncherByte[] = "launcher_byte";
constexpr char kDifferenceLauncherSize[] = "launcher_size";
constexpr char kDifferencePaddingSize[] = "padding_size";
constexpr char kDifferencePaddingByte[] = "padding_byte";
constexpr char kDifferencePayloadDigest[] = "payload_digest";
constexpr char kDifferenceTrailer[] = "trailer";
constexpr char kDifferenceSecurityDirectory[] = "security_directory";
constexpr char kDifferenceAfterCertificateTable[] = "data_after_certificate_table";

struct CheckResult {
  CheckOutcome outcome = CheckOutcome::kNotChecked;
  Difference difference = {};  // when failed
  std::string summary;         // when passed, for people
};

struct Verification {
  uint64_t launcherSize = 0;
  uint64_t productSize = 0;
  bool hasTrailer = false;
  PayloadLocation location = {};  // when hasTrailer
  Sha256Digest computedDigest = {};
  // As the product's security directory records them; 0 when unsigned.
  uint32_t certificateTableOffset = 0;
  uint32_t certificateTableSize = 0;
  CheckResult checks[kVerifyCheckCount];

  // The first failed check in file order, or null when all passed.
  const CheckResult* FirstFailure() const;
};

// How the payload check gets the payload's SHA-256 from the open product
// (`productSize` bytes long): by default a read of the payload alone; a
// caller that needs more of the product's hashes reads the whole product
// once instead and hands over the payload's digest from that read. False
// when the product cannot be read.
using PayloadDigester = std::function<bool(FileHandle product, uint64_t productSize,
                                           const PayloadLocation& location, Sha256Digest* digest)>;

// Sees each chunk of the launcher image as the comparison reads it, in
// order, before anything is masked; false stops the verification (a hash
// that failed).
using LauncherBytes = std::function<bool(const unsigned char* bytes, uint32_t count)>;

// Runs every check of `product` against `launcher` (this project's unsigned
// launcher image, without a payload), both open inputs. False, with
// `error`, when a file cannot be read or `launcher` is not such an image; a
// product that differs is a successful verification with a failed check.
// `launcherBytes`, unless null, sees every byte of LAUNCHER that was
// compared (all of it when the launcher check passed).
bool VerifyProduct(const Input& launcher, const Input& product, Verification* verification,
                   std::string* error, const PayloadDigester& digester = nullptr,
                   const LauncherBytes& launcherBytes = nullptr);

// "'PRODUCT' differs from what the release made: FIELD at offset N", for the
// first failed check.
std::string DifferenceMessage(const Input& product, const Verification& verification);

// One line per check and the verdict, or with `json` one object (its keys
// in report_json.h): null where there is no difference or no trailer, and
// signature_checked always false.
std::string VerificationReport(const Verification& verification, bool json);

}  // namespace zor::pack
