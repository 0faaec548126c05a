// The PE header facts the packer needs: is a file a Windows program at all,
// a DLL, where does its security data directory point (a signed file's
// certificate table), and does its manifest name it as this project's
// launcher. Only the header walk is done here; nothing is mapped.
#pragma once

#include <stdint.h>

#include "payload/file_io.h"

namespace zor::pack {

struct PeHeaderFacts {
  uint16_t characteristics;  // of the COFF header
  uint16_t optionalMagic;    // PE32 or PE32+
  uint16_t subsystem;
  // File offset and size of the certificate table, as the security data
  // directory records them; both 0 in an unsigned file.
  uint32_t securityOffset;
  uint32_t securitySize;
  // The resource directory; 0 when the image has none.
  uint32_t resourceRva;
  int64_t sectionTable;  // file offset of the section headers
  uint16_t sectionCount;
};

// True when `file` starts with a DOS header whose e_lfanew lies inside the
// file and points at the PE signature, followed by a PE32 or PE32+ optional
// header whose security directory entry is inside the file too.
bool ReadPeHeaderFacts(FileHandle file, PeHeaderFacts* facts);

bool IsDll(const PeHeaderFacts& facts);

// A 32- or 64-bit image marked executable, for the Windows GUI or console.
bool IsWindowsProgram(const PeHeaderFacts& facts);

// True when the image's RT_MANIFEST resource declares `identityName` as its
// assemblyIdentity's name.
bool HasManifestIdentity(FileHandle file, const PeHeaderFacts& facts, const char* identityName);

}  // namespace zor::pack
