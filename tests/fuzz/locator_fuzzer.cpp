// The launcher's locator on arbitrary file bytes, held to the independent
// layout model: both must agree on whether a payload is there, and where,
// how large and with what digest; a payload found lies inside the file.
#include <cstring>

#include "fuzz_failure.h"
#include "layout_reference.h"
#include "memory_file_io.h"
#include "payload/payload_locator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zor::fuzz::ServeFile(data, size);
  zor::PayloadLocation found;
  bool located = zor::ReadPayloadLocation(zor::fuzz::kServedFile, &found);
  zor::fuzz::ReferenceLocation expected;
  if (located != zor::fuzz::ReferenceLocate(data, size, &expected)) {
    zor::fuzz::Failure(located ? "located where the model finds no payload"
                               : "not located where the model finds a payload");
  }
  if (!located) return 0;
  constexpr uint64_t kTrailerSize = 48;
  if (found.offset != expected.offset || found.size != expected.size ||
      std::memcmp(found.digest.bytes, expected.digest, sizeof expected.digest) != 0) {
    zor::fuzz::Failure("offset, size or digest differ from the model's");
  }
  if (found.size > size || found.offset > size - found.size ||
      size - found.size - found.offset < kTrailerSize) {
    zor::fuzz::Failure("the payload and its trailer do not fit in the file");
  }
  return 0;
}
