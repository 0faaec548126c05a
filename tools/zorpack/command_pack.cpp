// zorpack pack: the launcher image, padding, the payload and its trailer.
#include "command.h"
#include "pack_text.h"
#include "packer.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kPackHelp[] =
    "usage: zorpack pack LAUNCHER PAYLOAD OUTPUT\n"
    "\n"
    "Writes OUTPUT: LAUNCHER (this project's unsigned launcher image: the\n"
    "release kit's share/zor/launcher.exe, the Debian package's\n"
    "/usr/share/zor/launcher.exe, or build/bin/launcher.exe in a build of the\n"
    "sources), zero padding, PAYLOAD (the update tool: a 32- or 64-bit Windows\n"
    "program) and a 48-byte trailer with the payload's size and SHA-256. The\n"
    "file is a multiple of 8 bytes long, so that the trailer still ends exactly\n"
    "at the certificate table once OUTPUT is signed. Sign OUTPUT afterwards,\n"
    "never the launcher before packing.\n"
    "\n"
    "Refused, with nothing written: a LAUNCHER that is not this project's\n"
    "launcher (its manifest names ZOR.FirmwareUpdate.Launcher), is signed or\n"
    "already carries a payload; a PAYLOAD that is a DLL, not a Windows program,\n"
    "the launcher itself or a packed file; a folder instead of a file; an OUTPUT\n"
    "that is an input or lies in a folder that does not exist; a result too\n"
    "long to sign; an input that is not a regular file or changes while it is\n"
    "packed; an existing OUTPUT that is not a regular file (a link, a device, a\n"
    "FIFO) or is another user's file in a sticky folder. OUTPUT cannot be -\n"
    "(standard output): pack reads the packed file back.\n";

std::string PackHelp() {
  return kPackHelp;
}

std::string LocationText(const PayloadLocation& location) {
  return "payload offset: " + std::to_string(location.offset) + "\n" +
         "payload size: " + std::to_string(location.size) + "\n" +
         "payload sha256: " + DigestText(location.digest) + "\n";
}

Result Pack(const Request& request, CommandContext* context) {
  const std::vector<std::string>& files = request.operands;
  if (files[2] == kStandardStreamName) {
    return BadUsage(
        "pack cannot write to standard output (it reads the packed file back); name "
        "a file (./- for one called -)");
  }
  std::string error;
  const Input* launcher = context->inputs.Open(kLauncherRole, files[0], &error);
  const Input* payload = launcher ? context->inputs.Open(kPayloadRole, files[1], &error) : nullptr;
  PackedFile packed;
  if (payload == nullptr || !PackIntoOutput(context->inputs, *launcher, *payload, files[2],
                                            &context->output, &packed, &error)) {
    return Failed(kExitFailure, error);
  }
  std::string report = LocationText(packed.payload) +
                       "padding: " + std::to_string(packed.paddingSize) + "\n" +
                       "file size: " + std::to_string(packed.fileSize) + "\n";
  if (!context->output.Commit(report, &error)) return Failed(kExitFailure, error);
  return Succeeded();
}

}  // namespace

const Command kPackCommand = {
    "pack",
    "pack LAUNCHER PAYLOAD OUTPUT",
    "write OUTPUT: the unsigned LAUNCHER image, zero padding, PAYLOAD (a\n"
    "           Windows program) and a trailer with its size and SHA-256, ready to\n"
    "           be signed.\n",
    PackHelp,
    Pack,
    3,
    0,
    0,
    "packed"};

}  // namespace zor::pack
