// zorpack's checks of a launcher and of a payload on arbitrary file bytes:
// the PE header facts, the manifest identity through the resource
// directory, the DLL, subsystem and already-packed checks, in the order the
// packer runs them. The property is that each ends, within libFuzzer's time
// limit, without a sanitizer report.
#include "memory_file_io.h"
#include "packer.h"
#include "payload/payload_locator.h"
#include "pe_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zor::fuzz::ServeFile(data, size);
  constexpr zor::FileHandle fd = zor::fuzz::kServedFile;
  zor::pack::PeHeaderFacts facts;
  if (!zor::pack::ReadPeHeaderFacts(fd, &facts)) return 0;
  // Their answers may be anything; reaching them safely is the point.
  (void)zor::pack::HasManifestIdentity(fd, facts, zor::pack::kLauncherIdentity);
  zor::PayloadLocation location;
  (void)zor::ReadPayloadLocation(fd, &location);
  (void)zor::pack::IsDll(facts);
  (void)zor::pack::IsWindowsProgram(facts);
  return 0;
}
