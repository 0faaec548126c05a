#include "pending_output.h"

#include "pack_platform.h"
#include "pack_text.h"

namespace zor::pack {

namespace {

constexpr char kTemporarySuffix[] = ".zorpack-tmp";

// Set by tests only; 0: the system's random generator.
uint64_t fixedTemporarySeed = 0;

bool TemporaryBits(int attempt, uint64_t* bits) {
  if (fixedTemporarySeed != 0) {
    *bits = fixedTemporarySeed + static_cast<uint64_t>(attempt);
    return true;
  }
  return RandomBits(bits);
}

}  // namespace

std::string TemporaryPathFor(const std::string& finalPath, uint64_t bits) {
  size_t nameStart = finalPath.size();
  while (nameStart > 0 && !IsPathSeparator(finalPath[nameStart - 1])) --nameStart;
  unsigned char bytes[sizeof bits];
  for (size_t i = 0; i < sizeof bits; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  return finalPath.substr(0, nameStart) + HexText(bytes, sizeof bytes) + kTemporarySuffix;
}

void FixTemporaryNamesForTesting(uint64_t seed) {
  fixedTemporarySeed = seed;
}

PendingOutput::~PendingOutput() {
  if (!file_.IsValid()) return;
  file_.Reset();
  RemoveFile(temporaryPath_);
  StopRemovingOnInterrupt();
}

bool PendingOutput::Create(const std::string& finalPath, std::string* error) {
  if (finalPath.empty()) {
    *error = "the output '' is not a file name";
    return false;
  }
  PathKind existing = KindOfPath(finalPath);
  switch (existing) {
    case PathKind::kFolder:
      *error = "the output " + Quoted(finalPath) + " is a folder, not a file";
      return false;
    case PathKind::kFile: {
      FileIdentity facts;
      // A device or FIFO is never replaced: as root, "extracting" to
      // /dev/null would put a file in the system's place.
      if (!QueryPathIdentity(NativePath(finalPath).c_str(), &facts) || !facts.regular) {
        *error = "the output " + Quoted(finalPath) +
                 " exists and is not a regular file; it is never replaced (zorpack inspect checks "
                 "a file without writing anything)";
        return false;
      }
      break;
    }
    case PathKind::kMissing:
      break;
  }
  std::string folder = FolderOf(finalPath);
  if (!folder.empty() && KindOfPath(folder) != PathKind::kFolder) {
    *error = "the folder of the output " + Quoted(finalPath) + " does not exist";
    return false;
  }
  finalPath_ = finalPath;
  if (!CreateTemporary(error)) return false;
  if (existing == PathKind::kFile) KeepPermissions(file_.Get(), finalPath_);
  return true;
}

bool PendingOutput::CreateTemporary(std::string* error) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    uint64_t bits = 0;
    if (!TemporaryBits(attempt, &bits)) {
      *error = "cannot write the output " + DescribeFailure(finalPath_);
      return false;
    }
    temporaryPath_ = TemporaryPathFor(finalPath_, bits);
    file_.Reset(CreateRemovedOnInterrupt(temporaryPath_));
    if (file_.IsValid()) return true;
    // Someone else's file (or link) under the name: never touched, try
    // another.
    if (!LastFailureWasNameTaken()) {
      *error = "cannot write the output " + DescribeFailure(finalPath_);
      return false;
    }
  }
  *error = "cannot write the output " + Quoted(finalPath_) +
           ": no temporary name beside it was free (" + std::to_string(kTemporaryNameAttempts) +
           " taken in a row)";
  return false;
}

bool PendingOutput::Commit(std::string* error) {
  if (!FlushFile(file_.Get())) {
    *error = "cannot write the output " + DescribeFailure(finalPath_);
    return false;
  }
  file_.Reset();
  bool replaced = ReplaceFile(temporaryPath_, finalPath_);
  if (!replaced) {
    *error = "cannot replace " + DescribeFailure(finalPath_);
    RemoveFile(temporaryPath_);
  }
  StopRemovingOnInterrupt();
  return replaced;
}

}  // namespace zor::pack
