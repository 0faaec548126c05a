// The payload's own SBOM, as the tool's makers ship it (CycloneDX JSON, 1.4
// to 1.6): read with limits that a hostile file cannot pass, checked against
// the payload's hashes, and carried into the product's SBOM with every
// reference it makes renamed under the payload's, so that none can clash
// with the product's own.
#pragma once

#include <stdint.h>

#include <string>

#include "command_input.h"

#include <nlohmann/json.hpp>

#include "product_hashes.h"

namespace zor::pack {

// Keys keep the order they were written in, so that a document is the same
// bytes for the same inputs.
using Json = nlohmann::ordered_json;

// Larger files or deeper nesting than any real SBOM has are refused before
// they cost memory or time.
constexpr uint64_t kMaxPayloadSbomSize = 16u << 20;
constexpr int kMaxPayloadSbomDepth = 64;

// The product document's references; the payload SBOM's own become
// kPayloadRef (its main component) or kPayloadRef + "/" + theirs.
constexpr char kProductRef[] = "product";
constexpr char kLauncherRef[] = "launcher";
constexpr char kPayloadRef[] = "payload";

struct PayloadSbom {
  Json component = Json::object();    // its metadata.component
  Json components = Json::array();    // its components
  Json dependencies = Json::array();  // its dependencies
};

// Parses `text`, the contents of the file that messages call `shown`
// (already quoted). False, with `error` naming the file (and for a JSON
// error the line and column), when it is not JSON, too deeply nested, not a
// CycloneDX SBOM of a supported version, has no main component, holds a
// member the merge does not carry over, or a value the merge carries of
// another type than CycloneDX 1.6 gives it (the message names its place).
bool ParsePayloadSbom(const std::string& text, const std::string& shown, PayloadSbom* sbom,
                      std::string* error);

// Reads and parses the open input `input` (a regular file of at most
// kMaxPayloadSbomSize bytes), once.
bool ReadPayloadSbom(const Input& input, PayloadSbom* sbom, std::string* error);

// Reads all of the open input `input`, once: at most kMaxPayloadSbomSize
// bytes (an SBOM, a key). False, with `error`, when it is larger or cannot
// be read.
bool ReadSmallInput(const Input& input, std::string* text, std::string* error);

// Parses `text` as one JSON value within the reader's limits (no NUL byte,
// at most kMaxPayloadSbomDepth levels). False, with `error` naming `shown` (the file, quoted) and
// for a syntax error the line and column.
bool ParseJsonText(const std::string& text, const std::string& shown, Json* document,
                   std::string* error);

// False, with `error` naming the algorithm, when the main component gives a
// SHA-256 or SHA-512 that is not the payload's.
bool MatchesPayloadHashes(const PayloadSbom& sbom, const Hashes& payload, const std::string& shown,
                          std::string* error);

// The payload component made from the SBOM's main component (its
// components nested under it, every bom-ref anywhere in it renamed), and
// its dependencies, renamed the same way, appended to `dependencies`, one
// entry per ref; the payload's own entry (which the SBOM may lack) is put
// first. The hashes are left to the caller; that every reference resolves
// is the finished document's check (sbom_document.h). Linear time.
Json AdoptPayloadSbom(PayloadSbom sbom, Json* dependencies);

}  // namespace zor::pack
