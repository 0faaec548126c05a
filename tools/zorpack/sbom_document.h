// The product's SBOM as a whole: the checks a consumer relies on, made on
// the finished document before anything is written; its serial number,
// derived from everything else it says; and its text, written through the
// packer's one JSON escaping rule.
#pragma once

#include <string>

#include "sbom.h"
#include "sbom_input.h"

namespace zor::pack {

// False, with `why` naming the element, when two elements share a bom-ref;
// a component (at any depth, pedigree's too) has no type or name; a list of
// components holds one component twice; a ref has two dependency entries;
// or a dependency's ref, dependsOn or provides names no component, or names
// one twice in one list. Time: linear in the document's size, times the
// depth of components without a bom-ref (bounded by the reader's limit).
bool CheckSbomDocument(const Json& bom, std::string* why);

// Puts `serialNumber` after `specVersion` (there must be none yet): a UUID
// of version 8 (RFC 9562) made of the first bytes of the SHA-256 of
// JsonText(bom) as it was, so that documents that say anything differently
// get different serial numbers and the same document the same one. False,
// with `error` set and `bom` as it was, when the hash cannot be had.
bool SetSerialNumber(Json* bom, std::string* error);

// The last steps of a document that MakeSbom assembled (`bom`, without a
// serial number): the checks, the serial number, the signature with
// `signKeyPem` (a PEM private key; none when empty) over the text as
// written, the text into `document`. kFailed, with `error` naming
// `shownSbom` (the payload SBOM's quoted name, or empty when none was
// given) and what is wrong, when a check fails or the document cannot be
// signed.
SbomOutcome FinishSbom(Json bom, const std::string& shownSbom, std::string* document,
                       std::string* error, const std::string& signKeyPem = "");

// The serial number's text for a SHA-256 digest, as SetSerialNumber makes it.
std::string SerialNumberOf(const Sha256Digest& digest);

// `value` as JSON text indented by `indent` spaces a level (the layout of
// nlohmann's dump), every string as JsonString writes it, ending with a
// line break.
std::string JsonText(const Json& value, int indent);

}  // namespace zor::pack
