#pragma once

#include "common/payload_location.h"
#include "payload/pe_headers.h"
#include "runtime/file.h"

namespace zor {

// Finds the trailer through the file's own PE headers: the security data
// directory says where the certificate table starts (or that there is none),
// and the trailer ends exactly there, or at the end of the file. Reads a
// fixed 146 bytes whatever the payload's size; the payload itself is not read
// and its digest is not checked here.
//
// `file` must be open for reading and seekable; its position is left where
// the last read ended. On false, `location` is not to be used.
bool ReadPayloadLocation(FileHandle file, PayloadLocation* location);

// The same after the caller's own ReadPeHeaders and QueryFileSize of `file`
// (the packer's, which needs more of the headers): reads only the trailer.
bool ReadPayloadLocationWith(FileHandle file, const PeHeaders& headers, int64_t fileSize,
                             PayloadLocation* location);

}  // namespace zor
