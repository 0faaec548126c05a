// `zorpack verify-sbom`: does a document describe exactly this product?
// The product's SHA-256 and SHA-512, the launcher's against the image the
// product carries, and the payload's against the payload it carries, each
// as the document states them. The signature is checked apart
// (sbom_signature.h).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "runtime/file.h"
#include "sbom_input.h"

namespace zor::pack {

// A launcher image is far smaller; a product whose payload starts further
// in carries no launcher of this project's.
constexpr uint64_t kMaxLauncherImageSize = 4u << 20;

// The released launcher image, from the start of a product (`bytes`: at
// least the whole image): cut at the end of the image's last section, its
// security directory entry zeroed and its header checksum computed again,
// as the release's unsigned image has them (signing changes only those
// two). False, with `bytes` as it was, when the headers do not describe an
// image that lies within `bytes`.
bool RestoreLauncherImage(std::vector<unsigned char>* bytes);

enum class SbomMatch { kMatches, kDiffers, kFailed };

// Reads the product open as `product` (`size` bytes) once, and its
// launcher image once more, and compares their hashes with what `document`
// states. kDiffers with `message` naming the first thing that differs
// (the product's, then the launcher's, then the payload's SHA-256, then
// SHA-512); kFailed when the product cannot be read.
SbomMatch MatchSbomToProduct(const Json& document, FileHandle product, uint64_t size,
                             std::string* message);

}  // namespace zor::pack
