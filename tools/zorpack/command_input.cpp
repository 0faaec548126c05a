#include "command_input.h"

#include <string.h>

#include <algorithm>

#include "pack_platform.h"
#include "pack_text.h"
#include "packer.h"

namespace zor::pack {

namespace {

// "<role> '<path>'<what>" as the error; false.
bool Refused(const char* role, const std::string& path, const std::string& what,
             std::string* error) {
  *error = role + (" " + Quoted(path)) + what;
  return false;
}

// Opens an existing regular file for reading, without waiting on a FIFO or
// device (refused), and gives its identity then. The one way a command
// opens a file it reads (InputSet::Open).
bool OpenInput(const std::string& path, const char* role, UniqueFile* file, std::string* error,
               FileIdentity* identity) {
  // "-" reads no standard input: a file of that name (perhaps planted in a
  // shared working folder) is not what the caller meant.
  if (path == kStandardStreamName) {
    return Refused(role, path,
                   ": zorpack reads no standard input; name a file (./- for one called -)", error);
  }
  // Checked first: some systems open a folder for reading without a word.
  if (KindOfPath(path) == PathKind::kFolder)
    return Refused(role, path, " is a folder, not a file", error);
  std::string refusal;
  file->Reset(OpenInputFile(path, &refusal));
  if (!refusal.empty()) return Refused(role, path, " is refused: " + refusal, error);
  if (!file->IsValid()) {
    *error = std::string("cannot open ") + role + " " + DescribeFailure(path);
    return false;
  }
  // A FIFO, a device or a pipe could keep a read waiting forever, or give
  // other bytes each time.
  FileIdentity facts;
  if (!QueryFileIdentity(file->Get(), &facts) || !facts.regular) {
    file->Reset();
    return Refused(role, path, " is not a regular file", error);
  }
  *identity = facts;
  return true;
}

// The inputs of the sets alive now, whose reads the watch compares, and
// how deep this thread is in streamed reads. Reads happen on the command's
// own thread only (the copy's second thread hashes, it never reads).
std::vector<Input*> watchedInputs;
thread_local int streamDepth = 0;

// The part of `read`, `count` bytes from `offset`, that `kept` also holds,
// compared: false when the two differ there.
bool AgreesWith(const CheckedRead& kept, int64_t offset, const unsigned char* read,
                uint32_t count) {
  int64_t from = std::max(offset, kept.offset);
  int64_t to = std::min(offset + static_cast<int64_t>(count),
                        kept.offset + static_cast<int64_t>(kept.bytes.size()));
  return from >= to || memcmp(read + (from - offset), kept.bytes.data() + (from - kept.offset),
                              static_cast<size_t>(to - from)) == 0;
}

bool WatchRead(FileHandle file, int64_t offset, const unsigned char* bytes, uint32_t count) {
  auto found = std::find_if(watchedInputs.begin(), watchedInputs.end(),
                            [&](const Input* input) { return input->Get() == file; });
  if (found == watchedInputs.end()) return true;
  Input* input = *found;
  // A regular file always knows its position; not knowing is not agreeing.
  bool agrees = offset >= 0 && !input->readDiffered;
  for (size_t i = 0; agrees && i < input->checkedReads.size(); ++i) {
    agrees = AgreesWith(input->checkedReads[i], offset, bytes, count);
  }
  if (!agrees) {
    input->readDiffered = true;
    return false;
  }
  if (streamDepth == 0) input->checkedReads.push_back({offset, {bytes, bytes + count}});
  return true;
}

}  // namespace

StreamedReads::StreamedReads() {
  ++streamDepth;
}

StreamedReads::~StreamedReads() {
  --streamDepth;
}

InputSet::InputSet(FileHandle standardOutput, const char* activity)
    : standardOutput_(standardOutput), activity_(activity) {
  WatchInputReads(WatchRead);
}

InputSet::~InputSet() {
  for (Input& input : inputs_) {
    watchedInputs.erase(std::remove(watchedInputs.begin(), watchedInputs.end(), &input),
                        watchedInputs.end());
  }
}

const Input* InputSet::Open(const char* role, const std::string& path, std::string* error) {
  Input input;
  input.role = role;
  input.path = path;
  if (!OpenInput(path, role, &input.file, error, &input.identity)) return nullptr;
  // A closed or unusable standard output has no identity and is no input.
  FileIdentity out;
  if (QueryFileIdentity(standardOutput_, &out) && IsSameFile(out, input.identity)) {
    *error = "standard output is " + Quoted(path) + " itself";
    return nullptr;
  }
  inputs_.push_back(std::move(input));
  watchedInputs.push_back(&inputs_.back());
  return &inputs_.back();
}

std::vector<FileHandle> InputSet::Handles() const {
  std::vector<FileHandle> handles;
  for (const Input& input : inputs_) handles.push_back(input.Get());
  return handles;
}

bool InputSet::CheckUnchanged(const Input& input, std::string* error,
                              const char* consequence) const {
  FileIdentity now;
  const FileIdentity& before = input.identity;
  if (!input.readDiffered && QueryFileIdentity(input.Get(), &now) && IsSameFile(now, before) &&
      now.size == before.size && now.modified == before.modified && now.changed == before.changed) {
    return true;
  }
  // What was read is neither its old nor its new bytes.
  *error = input.role + (" " + Quoted(input.path)) + " changed while it was being " + activity_ +
           "; " + consequence;
  return false;
}

bool InputSet::CheckAllUnchanged(std::string* error, const char* consequence) const {
  for (const Input& input : inputs_) {
    if (!CheckUnchanged(input, error, consequence)) return false;
  }
  return true;
}

}  // namespace zor::pack
