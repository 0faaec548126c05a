// The CycloneDX 1.6 types of what the merge carries over from a payload's
// SBOM (a component with everything nested in it, and a dependency), so
// that a value of another type is refused with its place named instead of
// making the product's document invalid. Fields that the merge does not
// carry over faithfully (evidence, release notes, model cards, data,
// cryptographic properties, signatures) are refused the same way: never
// dropped without a word.
#pragma once

#include <string>

#include "sbom_input.h"

namespace zor::pack {

// False, with `why` naming the element by its place in the payload's SBOM
// (`place`, say "components[2]") and what is wrong with it, when `value` is
// not a component (or a dependency) of the types the 1.6 schema gives, with
// every format, pattern and list of values it puts on them as the
// CycloneDX validator reads them (a licence id from the SPDX list, e-mail
// addresses, media types, dates and times); a reference (iri-reference)
// is any string there, and is taken as one here.
bool CheckComponentTypes(const Json& value, const std::string& place, std::string* why);
bool CheckDependencyTypes(const Json& value, const std::string& place, std::string* why);

}  // namespace zor::pack
