// The one walk through a PE file's headers: the DOS header, the PE signature,
// the COFF header, the optional header's kind and the security data directory
// (where a signed file's certificate table lies). The launcher's locator, the
// packer, the benchmark and the tests all read a file's headers through it.
#pragma once

#include <stdint.h>

#include "payload/pe_layout.h"
#include "runtime/file.h"

namespace zor {

struct PeHeaders {
  // File offset of the optional header; the PE signature (e_lfanew) lies
  // kOptionalHeaderOffset bytes before it.
  int64_t optionalHeader;
  uint16_t optionalMagic;  // kPe32Magic or kPe32PlusMagic
  // The security data directory's first field: the certificate table's
  // file offset, 0 in an unsigned file. (Its size follows it.)
  uint32_t securityOffset;
};

// Reads, in this order and nothing else, the 64-byte DOS header, the 4-byte
// signature, the 20-byte COFF header, the 2-byte optional-header magic and
// the 8-byte security directory entry. False when a read fails (a negative
// e_lfanew or a field past the end of the file included), or the DOS magic,
// the signature or the optional-header kind is wrong. The file position is
// left where the last read ended.
bool ReadPeHeaders(FileHandle file, PeHeaders* headers);

inline bool IsPe32Plus(const PeHeaders& headers) {
  return headers.optionalMagic == kPe32PlusMagic;
}

}  // namespace zor
