#include "sbom_facts.h"

#include <utility>

#include "zorpack_version.h"

namespace zor::pack {

namespace {

constexpr char kExecutable[] = "executable";
constexpr char kNonExecutable[] = "non-executable";
constexpr char kArchive[] = "archive";
constexpr char kNoArchive[] = "no archive";
constexpr char kStructured[] = "structured";
constexpr char kUnstructured[] = "unstructured";
// The distribution licence, as CycloneDX 1.6 marks it (the TR's mapping);
// "declared" is the creator's original licence, which a payload's own SBOM
// may state.
constexpr char kDistributionLicense[] = "concluded";
constexpr char kDistribution[] = "distribution";
constexpr char kSha512[] = "SHA-512";
// Bytes a URI reference keeps as they are (RFC 3986's unreserved set);
// every other byte of a file name is percent-encoded.
constexpr char kUnreserved[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr char kUpperHex[] = "0123456789ABCDEF";

constexpr char kSupplier[] = "supplier";
constexpr char kManufacturer[] = "manufacturer";
constexpr char kLicenses[] = "licenses";
constexpr char kPurl[] = "purl";
constexpr char kCpe[] = "cpe";

Json Property(const char* name, const std::string& value) {
  return {{"name", name}, {"value", value}};
}

// A file name as a relative URI reference: the file beside the SBOM.
std::string UriReference(const std::string& fileName) {
  std::string out;
  for (char c : fileName) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c != '\0' && std::string(kUnreserved).find(c) != std::string::npos) {
      out.push_back(c);
    } else {
      out += '%';
      out.push_back(kUpperHex[u >> 4]);
      out.push_back(kUpperHex[u & 0xF]);
    }
  }
  return out;
}

// An organisation as CycloneDX writes one; only the parts given.
Json Entity(const std::string& name, const std::string& url, const std::string& contactName,
            const std::string& email) {
  Json entity = {{"name", name}};
  if (!url.empty()) entity["url"] = Json::array({url});
  if (!email.empty()) {
    Json contact = Json::object();
    if (!contactName.empty()) contact["name"] = contactName;
    contact["email"] = email;
    entity["contact"] = Json::array({contact});
  }
  return entity;
}

Json DistributionLicense(const std::string& expression) {
  return Json::array({{{"expression", expression}, {"acknowledgement", kDistributionLicense}}});
}

const Json& EmptyObject() {
  static const Json kNone = Json::object();
  return kNone;
}

// The member `key` of `object`, or an empty object when there is none.
const Json& Member(const Json& object, const char* key) {
  return object.is_object() && object.contains(key) ? object[key] : EmptyObject();
}

bool HasText(const Json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_string() &&
         !object[key].get_ref<const std::string&>().empty();
}

bool HasItems(const Json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_array() &&
         !object[key].empty();
}

// An organisation that can be reached: a URL or a contact's email.
bool Reachable(const Json& entity) {
  if (HasItems(entity, "url")) return true;
  if (!HasItems(entity, "contact")) return false;
  for (const Json& contact : entity["contact"]) {
    if (HasText(contact, "email")) return true;
  }
  return false;
}

// The component's maker with a way to reach it: its manufacturer, else its
// supplier.
bool HasReachableCreator(const Json& component) {
  for (const char* key : {kManufacturer, kSupplier}) {
    if (HasText(Member(component, key), "name") && Reachable(Member(component, key))) {
      return true;
    }
  }
  return false;
}

bool HasIdentifier(const Json& component) {
  return HasText(component, kPurl) || HasText(component, kCpe) ||
         HasText(Member(component, "swid"), "tagId");
}

const Json& PayloadOf(const Json& document) {
  if (HasItems(document, "components")) {
    for (const Json& component : document["components"]) {
      if (HasText(component, "bom-ref") && component["bom-ref"] == kPayloadRef) return component;
    }
  }
  return EmptyObject();
}

// The SHA-512 the component's hashes give; empty for none.
std::string StatedSha512(const Json& component) {
  if (HasItems(component, "hashes")) {
    for (const Json& hash : component["hashes"]) {
      if (HasText(hash, "alg") && hash["alg"] == kSha512 && HasText(hash, "content")) {
        return hash["content"].get<std::string>();
      }
    }
  }
  return "";
}

}  // namespace

void AddFileFacts(const std::string& fileName, const FileKind& kind, const std::string& sha512Hex,
                  Json* component) {
  Json& properties = (*component)["properties"];
  if (!properties.is_array()) properties = Json::array();
  properties.push_back(Property(kBsiFilename, fileName));
  properties.push_back(Property(kBsiExecutable, kind.executable ? kExecutable : kNonExecutable));
  properties.push_back(Property(kBsiArchive, kind.archive ? kArchive : kNoArchive));
  properties.push_back(Property(kBsiStructured, kind.structured ? kStructured : kUnstructured));
  Json reference = {{"type", kDistribution},
                    {"url", UriReference(fileName)},
                    {"hashes", Json::array({{{"alg", kSha512}, {"content", sha512Hex}}})}};
  Json& references = (*component)["externalReferences"];
  if (!references.is_array()) references = Json::array();
  references.push_back(reference);
}

void AddLauncherFacts(const std::string& version, Json* launcher) {
  Json maker = Entity(kReleaseMaker, "", kReleaseContactName, kReleaseContactEmail);
  (*launcher)[kSupplier] = maker;
  (*launcher)[kManufacturer] = maker;
  (*launcher)[kLicenses] = DistributionLicense(kLauncherLicense);
  (*launcher)[kPurl] = kLauncherPurlPrefix + (*launcher)["name"].get<std::string>() + "@" + version;
}

void AddProductFacts(const VendorFacts& facts, Json* product) {
  if (!facts.supplier.empty()) {
    Json vendor = Entity(facts.supplier, facts.supplierUrl, "", facts.supplierEmail);
    (*product)[kSupplier] = vendor;
    (*product)[kManufacturer] = vendor;
  }
  if (!facts.license.empty()) (*product)[kLicenses] = DistributionLicense(facts.license);
  if (!facts.purl.empty()) (*product)[kPurl] = facts.purl;
  if (!facts.cpe.empty()) (*product)[kCpe] = facts.cpe;
}

void AddPayloadFacts(const VendorFacts& facts, Json* payload) {
  if (!payload->contains(kSupplier)) {
    if (!facts.payloadSupplier.empty()) {
      (*payload)[kSupplier] = Entity(facts.payloadSupplier, "", "", "");
    } else if (!facts.supplier.empty()) {
      (*payload)[kSupplier] = Entity(facts.supplier, facts.supplierUrl, "", facts.supplierEmail);
    }
  }
  // Who supplied it is the best account of who made it that the document
  // has, when its own SBOM names no manufacturer.
  // (A copy: adding a member moves the others. Without its bom-refs, and
  // its contacts', which name the supplier's elements alone.)
  if (!payload->contains(kManufacturer) && payload->contains(kSupplier)) {
    Json maker = (*payload)[kSupplier];
    if (maker.is_object()) {
      maker.erase("bom-ref");
      if (HasItems(maker, "contact")) {
        for (Json& contact : maker["contact"]) {
          if (contact.is_object()) contact.erase("bom-ref");
        }
      }
    }
    (*payload)[kManufacturer] = std::move(maker);
  }
  if (!payload->contains(kLicenses)) {
    const std::string& license =
        facts.payloadLicense.empty() ? facts.license : facts.payloadLicense;
    if (!license.empty()) (*payload)[kLicenses] = DistributionLicense(license);
  }
  if (!payload->contains(kPurl) && !facts.payloadPurl.empty()) {
    (*payload)[kPurl] = facts.payloadPurl;
  }
}

Json SbomCreator(const VendorFacts& facts) {
  if (facts.supplier.empty()) return Json();
  return Entity(facts.supplier, facts.supplierUrl, "", facts.supplierEmail);
}

void AddDocumentFacts(const VendorFacts& facts, const std::string& productFile,
                      const std::string& launcherFile, const std::string& launcherVersion,
                      Json* bom) {
  // Members are added before references to others are taken: an ordered
  // object's members move when one is added.
  Json creator = SbomCreator(facts);
  if (!creator.is_null()) (*bom)["metadata"][kManufacturer] = std::move(creator);
  Json& product = (*bom)["metadata"]["component"];
  AddProductFacts(facts, &product);
  AddFileFacts(productFile, kProductKind, StatedSha512(product), &product);
  for (Json& component : (*bom)["components"]) {
    if (!HasText(component, "bom-ref")) continue;
    if (component["bom-ref"] == kLauncherRef) {
      AddLauncherFacts(launcherVersion, &component);
      AddFileFacts(launcherFile, kProgramKind, StatedSha512(component), &component);
    } else if (component["bom-ref"] == kPayloadRef) {
      AddPayloadFacts(facts, &component);
      AddFileFacts(productFile, kProgramKind, StatedSha512(component), &component);
    }
  }
}

std::vector<MissingField> MissingFields(const Json& document) {
  std::vector<MissingField> missing;
  constexpr char kContactOptions[] = "--supplier-url or --supplier-email";
  const Json& metadata = Member(document, "metadata");
  const Json& creator = Member(metadata, kManufacturer);
  if (!HasText(creator, "name") || !Reachable(creator)) {
    missing.push_back({"the SBOM's creator with a URL or email address",
                       std::string("--supplier with ") + kContactOptions});
  }
  const Json& product = Member(metadata, "component");
  if (!HasReachableCreator(product)) {
    missing.push_back({"the product's supplier with a URL or email address",
                       std::string("--supplier with ") + kContactOptions});
  }
  if (!HasText(product, "version")) missing.push_back({"the product's version", "--version"});
  if (!HasItems(product, kLicenses)) missing.push_back({"the product's licence", "--license"});
  if (!HasIdentifier(product)) {
    missing.push_back({"the product's purl or CPE", "--purl or --cpe"});
  }
  const Json& tool = PayloadOf(document);
  if (!HasReachableCreator(tool)) {
    missing.push_back({"the payload's supplier with a URL or email address",
                       std::string("--payload-sbom, or --supplier with ") + kContactOptions});
  }
  if (!HasText(tool, "version")) {
    missing.push_back({"the payload's version", "--payload-version"});
  }
  if (!HasItems(tool, kLicenses)) {
    missing.push_back({"the payload's licence", "--payload-license"});
  }
  if (!HasIdentifier(tool)) missing.push_back({"the payload's purl or CPE", "--payload-purl"});
  return missing;
}

std::string MissingFieldsText(const std::vector<MissingField>& missing) {
  std::string text;
  for (const MissingField& field : missing) {
    if (!text.empty()) text += ", ";
    text += field.field + " (" + field.option + ")";
  }
  return text;
}

}  // namespace zor::pack
