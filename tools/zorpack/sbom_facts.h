// Who made each component of a product, under which licence it is
// distributed, how it is identified and what kind of file it is: the
// fields BSI TR-03183-2 (v2.1.0) and the NTIA minimum elements require of
// an SBOM, from the vendor's options, from what the release states of its
// own launcher, and from the payload's own SBOM. Plain functions over the
// vendor's record and the components' JSON; the document itself is
// assembled in sbom.cpp.
#pragma once

#include <string>
#include <vector>

#include "sbom_input.h"

namespace zor::pack {

// The vendor's facts, as options give them; empty when not given.
struct VendorFacts {
  // The product's, and the SBOM's creator and manufacturer.
  std::string supplier;
  std::string supplierUrl;
  std::string supplierEmail;
  std::string license;  // an SPDX expression or a LicenseRef-
  std::string purl;
  std::string cpe;
  // The payload's, where its own SBOM says nothing; else the product's
  // supplier and licence.
  std::string payloadSupplier;
  std::string payloadLicense;
  std::string payloadPurl;
};

// The properties the TR's CycloneDX mapping gives each component.
constexpr char kBsiFilename[] = "bsi:component:filename";
constexpr char kBsiExecutable[] = "bsi:component:executable";
constexpr char kBsiArchive[] = "bsi:component:archive";
constexpr char kBsiStructured[] = "bsi:component:structured";

// What kind of file a component is, as those properties say it.
struct FileKind {
  bool executable = false;
  bool archive = false;
  bool structured = false;
};
// The product is a Windows program that carries another file (the
// payload) and, in its trailer, that file's offset, size and digest: an
// executable, structured archive, as a self-extracting archive is. The
// launcher image and the payload are programs that carry no other file.
constexpr FileKind kProductKind = {true, true, true};
constexpr FileKind kProgramKind = {true, false, false};

// The launcher, as the release states it (its maker, contact and terms).
constexpr char kLauncherLicense[] = "LicenseRef-ZOR-all-rights-reserved";
constexpr char kLauncherPurlPrefix[] = "pkg:generic/zor/";

// The SHA-512 of a deployable file goes where the TR's mapping looks for
// the hash of the deployable form: an external reference of type
// "distribution" to the file (by its name, beside the SBOM).
// Adds to `component` (an object) the file name property, the kind
// properties and that reference, after any properties it has.
void AddFileFacts(const std::string& fileName, const FileKind& kind, const std::string& sha512Hex,
                  Json* component);

// The launcher's maker and contact (supplier and manufacturer), licence
// and purl of `version`.
void AddLauncherFacts(const std::string& version, Json* launcher);

// The product's supplier and manufacturer, licence, purl and CPE, as far
// as `facts` gives them.
void AddProductFacts(const VendorFacts& facts, Json* product);

// The payload's supplier, manufacturer, licence and purl where `payload`
// (made from its own SBOM, or bare) lacks them: first the payload options,
// then the product's supplier and licence.
void AddPayloadFacts(const VendorFacts& facts, Json* payload);

// metadata.manufacturer: the SBOM's creator (the product's supplier); null
// without --supplier.
Json SbomCreator(const VendorFacts& facts);

// Every fact above, added to `bom` (an SBOM as sbom.cpp assembles it: the
// product as metadata.component, the launcher and the payload among
// components by their bom-refs, each with its SHA-512 among its hashes):
// the SBOM's creator, the product's facts, the launcher's, the payload's,
// and each one's file facts. `productFile` and `launcherFile` are the
// files' names without their folders; the payload is cached and started
// under the product's.
void AddDocumentFacts(const VendorFacts& facts, const std::string& productFile,
                      const std::string& launcherFile, const std::string& launcherVersion,
                      Json* bom);

// A field the TR requires that the document lacks, and the option that
// fills it.
struct MissingField {
  std::string field;
  std::string option;
};

// The required fields that `document` (a finished SBOM) lacks for the
// product, its creator and the payload, in that order. The launcher's are
// the release's and always there.
std::vector<MissingField> MissingFields(const Json& document);

// "the product's version (--version), ...": one line for the warning.
std::string MissingFieldsText(const std::vector<MissingField>& missing);

}  // namespace zor::pack
