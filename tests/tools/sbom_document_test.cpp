// What the SBOM says beyond hashes: the canonical form a signature covers
// (as ECMAScript writes JSON, which is how consumers check it), signatures
// made and checked with each kind of key, and the vendor's facts with the
// fields the SBOM lacks without them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "payload/pe_layout.h"
#include "sbom_facts.h"
#include "sbom_signature.h"
#include "sbom_verify.h"
#include "tools/pack_files.h"

#ifndef _WIN32
#include <openssl/evp.h>
#include <openssl/pem.h>
#endif

namespace zor::test {

namespace {

using pack::Json;

TEST(SbomSignature, CanonicalFormIsWhatEcmaScriptWrites) {
  struct Case {
    const char* json;
    const char* canonical;
  };
  // The expected texts are what JSON.stringify and a key sort by UTF-16
  // code units give for the same values.
  const Case cases[] = {
      {R"({"b":1,"a":[true,null,"x"],"signature":{"v":1}})", R"({"a":[true,null,"x"],"b":1})"},
      {R"({"c":{"signature":1}})", R"({"c":{"signature":1}})"},
      // U+FB01 sorts after U+1F600 in UTF-16 (0xFB01 > 0xD83D), not in UTF-8.
      {R"({"\ufb01":1,"\ud83d\ude00":2,"\u20ac":3,"Z":4,"a":5})",
       "{\"Z\":4,\"a\":5,\"\u20ac\":3,\"\U0001F600\":2,\"\uFB01\":1}"},
      {R"(["\u0001\u001f\"\\\b\f\n\r\t/ \u00e9 \u2028 \u007f"])",
       "[\"\\u0001\\u001f\\\"\\\\\\b\\f\\n\\r\\t/ \u00e9 \u2028 \x7f\"]"},
      {"[1e21,1e20,123456789012345680000,0.000001,1e-7,1.5,-0,0.1,5e-324,"
       "1.7976931348623157e308,100,-12.5e-3,9007199254740992,-9007199254740992,1.0,2.5e25,"
       "0.30000000000000004]",
       "[1e+21,100000000000000000000,123456789012345680000,0.000001,1e-7,1.5,0,0.1,5e-324,"
       "1.7976931348623157e+308,100,-0.0125,9007199254740992,-9007199254740992,1,2.5e+25,"
       "0.30000000000000004]"},
  };
  for (const Case& c : cases) {
    std::string text;
    std::string error;
    EXPECT_TRUE(pack::CanonicalForm(Json::parse(c.json), &text, &error)) << c.json << error;
    EXPECT_EQ(text, c.canonical) << c.json;
  }
  // What a reader would take for another value is refused, naming where.
  const Json refused[] = {Json::parse("{\"n\":[9007199254740993]}"),
                          Json::parse("{\"n\":[-9007199254740993]}"),
                          Json::parse("{\"n\":[18446744073709551615]}"),
                          Json{{"n", std::string("\xff")}},
                          Json{{"\xc0\xaf", 1}},
                          Json{{"n", std::nan("")}}};
  for (const Json& value : refused) {
    std::string text = "kept";
    std::string error;
    EXPECT_FALSE(pack::CanonicalForm(value, &text, &error)) << value.dump(-1, ' ', true);
    EXPECT_EQ(text, "kept");
    EXPECT_NE(error.find("the document"), std::string::npos) << error;
  }
}

TEST(SbomSignature, Base64UrlHasOneSpellingPerValue) {
  const std::string all = std::string("\x00\xfb\xff", 3) + "any carnal pleas";
  for (size_t length = 0; length <= all.size(); ++length) {
    std::string bytes;
    std::string text = pack::Base64Url(all.substr(0, length));
    EXPECT_EQ(text.find_first_of("+/="), std::string::npos) << text;
    ASSERT_TRUE(pack::FromBase64Url(text, &bytes)) << text;
    EXPECT_EQ(bytes, all.substr(0, length));
  }
  std::string bytes;
  for (const char* bad : {"A", "AB=", "a+b/", "AB", "A\nBC", "ABC!"}) {
    EXPECT_FALSE(pack::FromBase64Url(bad, &bytes)) << bad;
  }
}

Json SmallDocument() {
  return Json::parse(R"({"bomFormat":"CycloneDX","specVersion":"1.6","version":1,
                         "metadata":{"component":{"name":"Updater","version":"2.1"}}})");
}

#ifdef _WIN32

TEST(SbomSignature, RefusedWithoutOpenSsl) {
  Json document = SmallDocument();
  std::string error;
  EXPECT_FALSE(pack::kSigningAvailable);
  EXPECT_FALSE(pack::SignDocument("key", &document, &error));
  EXPECT_EQ(error, pack::kNoSigningHere);
  EXPECT_EQ(pack::CheckSignature("key", document, &error), pack::SignatureCheck::kUnusable);
}

#else

struct PemPair {
  std::string privateKey;
  std::string publicKey;
};

std::string PemOf(EVP_PKEY* key, bool isPrivate, const char* passphrase = nullptr) {
  BIO* bio = BIO_new(BIO_s_mem());
  const EVP_CIPHER* cipher = passphrase != nullptr ? EVP_aes_256_cbc() : nullptr;
  if (isPrivate) {
    PEM_write_bio_PKCS8PrivateKey(bio, key, cipher, nullptr, 0, nullptr,
                                  const_cast<char*>(passphrase));
  } else {
    PEM_write_bio_PUBKEY(bio, key);
  }
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(size));
  BIO_free(bio);
  return pem;
}

// A throw-away key: "ED25519", "EC" with a curve, or "RSA" with its bits.
PemPair NewKey(const char* type, const char* curve, size_t rsaBits = 0,
               const char* passphrase = nullptr) {
  EVP_PKEY* key = rsaBits != 0       ? EVP_PKEY_Q_keygen(nullptr, nullptr, type, rsaBits)
                  : curve != nullptr ? EVP_PKEY_Q_keygen(nullptr, nullptr, type, curve)
                                     : EVP_PKEY_Q_keygen(nullptr, nullptr, type);
  EXPECT_NE(key, nullptr) << type;
  PemPair pair = {PemOf(key, true, passphrase), PemOf(key, false)};
  EVP_PKEY_free(key);
  return pair;
}

TEST(SbomSignature, EachKeyTypeSignsWithItsAlgorithmAndChecks) {
  struct KeyCase {
    const char* type;
    const char* curve;
    size_t rsaBits;
    const char* algorithm;
    size_t valueBytes;  // 0: the key's size
  };
  const KeyCase keys[] = {{"ED25519", nullptr, 0, "Ed25519", 64},
                          {"EC", "P-256", 0, "ES256", 64},
                          {"EC", "P-384", 0, "ES384", 96},
                          {"EC", "P-521", 0, "ES512", 132},
                          {"RSA", nullptr, 2048, "RS512", 256}};
  PemPair other = NewKey("ED25519", nullptr);
  for (const KeyCase& k : keys) {
    SCOPED_TRACE(k.algorithm);
    PemPair pair = NewKey(k.type, k.curve, k.rsaBits);
    Json document = SmallDocument();
    std::string error;
    ASSERT_TRUE(pack::SignDocument(pair.privateKey, &document, &error)) << error;
    const Json& signature = document[pack::kSignatureMember];
    EXPECT_EQ(signature.size(), 2u);
    EXPECT_EQ(signature[pack::kSignatureAlgorithm], k.algorithm);
    std::string value;
    ASSERT_TRUE(pack::FromBase64Url(signature[pack::kSignatureValue], &value));
    EXPECT_EQ(value.size(), k.valueBytes);
    EXPECT_EQ(pack::CheckSignature(pair.publicKey, document, &error), pack::SignatureCheck::kValid)
        << error;
    // Signing again replaces the signature rather than signing it.
    ASSERT_TRUE(pack::SignDocument(pair.privateKey, &document, &error)) << error;
    EXPECT_EQ(pack::CheckSignature(pair.publicKey, document, &error), pack::SignatureCheck::kValid);

    Json changed = document;
    changed["metadata"]["component"]["version"] = "2.2";
    Json renamed = document;
    renamed[pack::kSignatureMember][pack::kSignatureAlgorithm] = "HS256";
    Json unsigned_ = SmallDocument();
    for (const Json* bad : {&changed, &renamed, &unsigned_}) {
      EXPECT_EQ(pack::CheckSignature(pair.publicKey, *bad, &error), pack::SignatureCheck::kInvalid);
    }
    EXPECT_NE(pack::CheckSignature(other.publicKey, document, &error),
              pack::SignatureCheck::kValid);
    EXPECT_EQ(pack::CheckSignature(pair.privateKey, document, &error),
              pack::SignatureCheck::kUnusable);
  }
}

TEST(SbomSignature, UnusableKeysAndDocumentsAreRefusedAndLeaveTheDocument) {
  struct Refusal {
    std::string key;
    Json document;
    const char* says;
  };
  const Json tooLarge = Json::parse(R"({"version":9007199254740993})");
  const Refusal refusals[] = {
      {NewKey("RSA", nullptr, 1024).privateKey, SmallDocument(), "RSA key of 1024 bits"},
      {NewKey("EC", "secp256k1").privateKey, SmallDocument(), "another curve"},
      {NewKey("ED448", nullptr).privateKey, SmallDocument(), "another type"},
      {NewKey("ED25519", nullptr, 0, "secret").privateKey, SmallDocument(), "encrypted"},
      {NewKey("ED25519", nullptr).publicKey, SmallDocument(), "not a PEM private key"},
      {NewKey("ED25519", nullptr).privateKey, tooLarge, "the document.version"},
  };
  for (const Refusal& r : refusals) {
    Json document = r.document;
    std::string error;
    EXPECT_FALSE(pack::SignDocument(r.key, &document, &error)) << r.says;
    EXPECT_NE(error.find(r.says), std::string::npos) << error;
    EXPECT_EQ(document, r.document);
  }
}

#endif

// verify-sbom hashes the launcher image a product carries as the release
// made it: what signing changed set back, what follows the image cut off.
TEST(SbomVerify, RestoresTheReleasedLauncherImageFromAProduct) {
  const Bytes released = ReadBytes(LauncherExePath());
  const uint32_t newHeader =
      released[kNewHeaderOffsetField] | (released[kNewHeaderOffsetField + 1] << 8);
  const size_t optional = newHeader + kOptionalHeaderOffset;
  Bytes product = released;
  product[optional + kChecksumField] ^= 0x5A;
  product[optional + DataDirectoryOffset(false, kSecurityDirectoryIndex)] = 0x10;
  product.insert(product.end(), 4096, 0);
  product.push_back(0x77);
  ASSERT_TRUE(pack::RestoreLauncherImage(&product));
  EXPECT_TRUE(product == released);
  // Headers that place the image beyond the bytes at hand: refused, as is.
  for (size_t keep : {released.size() - 1, size_t{64}, size_t{0}}) {
    Bytes cut(released.begin(), released.begin() + keep);
    EXPECT_FALSE(pack::RestoreLauncherImage(&cut)) << keep;
    EXPECT_EQ(cut.size(), keep);
  }
}

TEST(SbomFacts, EveryComponentGetsItsFileFactsAndTheReleaseItsOwn) {
  Json product = {{"name", "Updater"}, {"properties", Json::array({{{"name", "zor:signed"}}})}};
  pack::AddFileFacts("Firmware Update+1.exe", pack::kProductKind, "ab12", &product);
  EXPECT_EQ(
      product["properties"].dump(),
      R"([{"name":"zor:signed"},{"name":"bsi:component:filename","value":"Firmware Update+1.exe"},)"
      R"({"name":"bsi:component:executable","value":"executable"},)"
      R"({"name":"bsi:component:archive","value":"archive"},)"
      R"({"name":"bsi:component:structured","value":"structured"}])");
  EXPECT_EQ(product["externalReferences"].dump(),
            R"([{"type":"distribution","url":"Firmware%20Update%2B1.exe",)"
            R"("hashes":[{"alg":"SHA-512","content":"ab12"}]}])");
  Json tool;
  pack::AddFileFacts("Updater.exe", pack::kProgramKind, "cd", &tool);
  EXPECT_EQ(tool["properties"][2]["value"], "no archive");
  EXPECT_EQ(tool["properties"][3]["value"], "unstructured");

  Json launcher = {{"name", "zor-firmware-update-launcher"}};
  pack::AddLauncherFacts("1.2.3", &launcher);
  EXPECT_EQ(launcher["purl"], "pkg:generic/zor/zor-firmware-update-launcher@1.2.3");
  EXPECT_EQ(
      launcher["licenses"].dump(),
      R"([{"expression":"LicenseRef-ZOR-all-rights-reserved","acknowledgement":"concluded"}])");
  EXPECT_EQ(launcher["supplier"], launcher["manufacturer"]);
  EXPECT_NE(launcher["supplier"]["contact"][0]["email"].get<std::string>().find('@'),
            std::string::npos);
}

TEST(SbomFacts, PayloadFactsComeFromItsSbomThenItsOptionsThenTheProduct) {
  pack::VendorFacts vendor;
  vendor.supplier = "Vendor";
  vendor.supplierEmail = "psirt@vendor.example";
  vendor.license = "LicenseRef-Vendor";
  pack::VendorFacts withOptions = vendor;
  withOptions.payloadSupplier = "Tool Maker";
  withOptions.payloadLicense = "MIT";
  withOptions.payloadPurl = "pkg:generic/tool@3";
  const Json ownSbom = {
      {"supplier", {{"name", "Own"}}}, {"licenses", Json::array({1})}, {"purl", "pkg:own"}};
  struct Case {
    pack::VendorFacts facts;
    Json payload;
    const char* supplier;
    const char* license;  // the expression written, or "" for the SBOM's own
    const char* purl;     // "" for none
  };
  const Case cases[] = {
      {withOptions, ownSbom, "Own", "", "pkg:own"},
      {withOptions, Json::object(), "Tool Maker", "MIT", "pkg:generic/tool@3"},
      {vendor, Json::object(), "Vendor", "LicenseRef-Vendor", ""},
      {pack::VendorFacts(), Json::object(), nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    Json payload = c.payload;
    pack::AddPayloadFacts(c.facts, &payload);
    if (c.supplier == nullptr) {
      EXPECT_EQ(payload, Json::object());
      continue;
    }
    EXPECT_EQ(payload["supplier"]["name"], c.supplier);
    EXPECT_EQ(payload["manufacturer"], payload["supplier"]);
    if (*c.license != '\0') {
      EXPECT_EQ(payload["licenses"][0]["expression"], c.license);
    }
    EXPECT_EQ(payload.value("purl", ""), c.purl);
  }
}

TEST(SbomFacts, MissingFieldsNameTheOptionThatFillsEach) {
  const Json bare = Json::parse(R"({"metadata": {"component": {"name": "Updater",
        "hashes": [{"alg": "SHA-512", "content": "aa"}]}},
      "components": [{"bom-ref": "launcher", "name": "launcher", "version": "1",
                      "hashes": [{"alg": "SHA-512", "content": "bb"}]},
                     {"bom-ref": "payload", "hashes": [{"alg": "SHA-512", "content": "cc"}]}]})");
  Json document = bare;
  pack::AddDocumentFacts(pack::VendorFacts(), "Updater.exe", "launcher.exe", "1", &document);
  EXPECT_EQ(document["components"][1]["externalReferences"][0]["hashes"][0]["content"], "cc");
  EXPECT_EQ(document["components"][1]["properties"][0]["value"], "Updater.exe");
  EXPECT_EQ(document["components"][0]["properties"][0]["value"], "launcher.exe");
  std::string all = pack::MissingFieldsText(pack::MissingFields(document));
  EXPECT_EQ(all,
            "the SBOM's creator with a URL or email address (--supplier with --supplier-url or "
            "--supplier-email), the product's supplier with a URL or email address (--supplier "
            "with --supplier-url or --supplier-email), the product's version (--version), the "
            "product's licence (--license), the product's purl or CPE (--purl or --cpe), the "
            "payload's supplier with a URL or email address (--payload-sbom, or --supplier with "
            "--supplier-url or --supplier-email), the payload's version (--payload-version), "
            "the payload's licence (--payload-license), the payload's purl or CPE "
            "(--payload-purl)");
  pack::VendorFacts vendor;
  vendor.supplier = "Vendor";
  vendor.supplierUrl = "https://vendor.example";
  vendor.license = "MIT";
  vendor.cpe = "cpe:2.3:a:vendor:updater:2.1:*:*:*:*:*:*:*";
  vendor.payloadPurl = "pkg:generic/tool@3";
  document = bare;
  document["metadata"]["component"]["version"] = "2.1";
  document["components"][1]["version"] = "3";
  pack::AddDocumentFacts(vendor, "Updater.exe", "launcher.exe", "1", &document);
  EXPECT_EQ(pack::MissingFieldsText(pack::MissingFields(document)), "");
  Json& product = document["metadata"]["component"];
  // A supplier that cannot be reached is not enough.
  product["supplier"].erase("url");
  product["manufacturer"].erase("url");
  EXPECT_EQ(pack::MissingFields(document).size(), 1u);
}

}  // namespace

}  // namespace zor::test
