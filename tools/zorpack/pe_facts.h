// The PE facts only the packer needs, on top of the shared header walk
// (payload/pe_headers.h): is a file a Windows program at all, a DLL, and does
// its manifest name it as this project's launcher. Nothing is mapped: the
// headers are read in one block, the resource tree in one more, and every
// field is served from those through one bounds-checked reader.
#pragma once

#include <stdint.h>

#include <vector>

#include "payload/pe_headers.h"

namespace zor::pack {

// Bytes of a file from `offset`: as many as were asked for, or as the file
// holds from there if that is fewer.
struct FileBlock {
  int64_t offset = 0;
  std::vector<unsigned char> bytes;
};

// The shared header walk's facts, and what the packer reads beyond them.
struct PeHeaderFacts {
  PeHeaders headers;
  // From the COFF header.
  uint16_t characteristics;
  uint16_t sectionCount;
  // The certificate table's size, as the security directory records it.
  uint32_t securitySize;
  uint16_t subsystem;
  // The resource directory; 0 when the image has none.
  uint32_t resourceRva;
  int64_t sectionTable;  // file offset of the section headers
  int64_t fileSize;
  // From the PE signature on: the headers, the section table included.
  FileBlock headerBlock;
};

// True when ReadPeHeaders accepts `file`; then also reads the COFF header's
// fields, the subsystem and the resource directory. Headers too short for
// the subsystem or the resource directory leave them 0 (no check accepts
// that).
bool ReadPeHeaderFacts(FileHandle file, PeHeaderFacts* facts);

bool IsDll(const PeHeaderFacts& facts);

// A 32- or 64-bit image marked executable, for the Windows GUI or console.
bool IsWindowsProgram(const PeHeaderFacts& facts);

// True when the image's RT_MANIFEST resource declares `identityName` as its
// assemblyIdentity's name.
bool HasManifestIdentity(FileHandle file, const PeHeaderFacts& facts, const char* identityName);

}  // namespace zor::pack
