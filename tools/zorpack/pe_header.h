// The few PE header facts the packer needs: is a file a Windows executable at
// all, and where does its security data directory point (a signed file's
// certificate table). Only the header walk is done here; nothing is mapped.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace zor::pack {

struct PeHeaderFacts {
  // File offset and size of the certificate table, as the security data
  // directory records them; both 0 in an unsigned file.
  uint32_t securityOffset;
  uint32_t securitySize;
};

// True when `file` starts with a DOS header whose e_lfanew lies inside the
// file and points at the PE signature, followed by a PE32 or PE32+ optional
// header whose security directory entry is inside the file too.
bool ReadPeHeaderFacts(HANDLE file, PeHeaderFacts* facts);

}  // namespace zor::pack
