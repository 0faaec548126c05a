#include "support/file_bytes.h"

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <openssl/sha.h>
#endif
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zor::test {

Bytes ReadFileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << std::filesystem::path(path).string();
    return {};
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::wstring& path, const Bytes& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << std::filesystem::path(path).string();
}

#ifdef _WIN32
bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Sha256Digest Sha256Of(const Bytes& bytes) {
  Sha256Digest digest = {};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
            BCryptHashData(hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(bytes.size()),
                           0) >= 0 &&
            BCryptFinishHash(hash, digest.bytes, sizeof digest.bytes, 0) >= 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) ADD_FAILURE() << "SHA-256 failed";
  return digest;
}
#else
// The native packer's tests: OpenSSL's one-shot SHA-256.
Sha256Digest Sha256Of(const Bytes& bytes) {
  Sha256Digest digest = {};
  SHA256(bytes.data(), bytes.size(), digest.bytes);
  return digest;
}
#endif

std::string HexOf(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string HexOf(const Sha256Digest& digest) {
  return HexOf(digest.bytes, sizeof digest.bytes);
}

Bytes PatternBytes(size_t count, uint32_t seed) {
  Bytes bytes(count);
  uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace zor::test
