#include "payload/payload_locator.h"

#include <stdint.h>

#include "payload/payload_trailer.h"

namespace zor {

bool ReadPayloadLocation(FileHandle file, PayloadLocation* location) {
  PeHeaders headers;
  int64_t fileSize = 0;
  return ReadPeHeaders(file, &headers) && QueryFileSize(file, &fileSize) &&
         ReadPayloadLocationWith(file, headers, fileSize, location);
}

bool ReadPayloadLocationWith(FileHandle file, const PeHeaders& headers, int64_t fileSize,
                             PayloadLocation* location) {
  uint64_t end = CoveredEnd(headers.securityOffset, static_cast<uint64_t>(fileSize));
  if (end < kTrailerSize) return false;

  uint64_t trailerOffset = end - kTrailerSize;
  unsigned char bytes[kTrailerSize] = {};
  PayloadTrailer trailer;
  return SeekTo(file, static_cast<int64_t>(trailerOffset)) &&
         ReadExact(file, bytes, sizeof bytes) && DecodeTrailer(bytes, &trailer) &&
         PayloadBeforeTrailer(trailer, trailerOffset, location);
}

}  // namespace zor
