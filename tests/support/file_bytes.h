// Whole-file reads and writes, and an independent SHA-256 for test data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/sha256_digest.h"

namespace zor::test {

using Bytes = std::vector<uint8_t>;

// Fails the current test (and returns empty) when the file cannot be read.
Bytes ReadFileBytes(const std::filesystem::path& path);
// Fails the current test when the file cannot be written in full.
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);
bool FileExists(const std::filesystem::path& path);

// SHA-256 of a buffer in memory, for building test files, from the
// platform's own library (CNG, or OpenSSL); the launcher's own digest code is
// tested against published values instead.
Sha256Digest Sha256Of(const Bytes& bytes);
std::string HexOf(const uint8_t* bytes, size_t count);
std::string HexOf(const Sha256Digest& digest);

// A deterministic pseudo-random byte stream.
Bytes PatternBytes(size_t count, uint32_t seed);

}  // namespace zor::test
