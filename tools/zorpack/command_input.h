// The files one command reads. Each is opened once, at the command's start,
// through the folder walk (OpenInput: the kernel's link rule, regular files
// only), and held open until the command ends: the output-is-an-input
// check, every read and the end-of-read check are about that one file,
// whatever happens to its path meanwhile. Lower layers take an Input, never
// a path.
//
// The bytes checked are the bytes hashed: every read of an input is watched
// (WatchInputReads). What the checks read (headers, trailer, the image
// compared with LAUNCHER, padding) is kept, and every later read of the
// same bytes, the pass that hashes or copies the whole input included, must
// find them as they were; a read that does not fails, and the input counts
// as changed. That holds whoever wrote them and however (a shared writable
// mapping changes neither size nor times).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "runtime/file.h"

namespace zor::pack {

// How the end-of-read check's message ends: what is left of the output.
constexpr char kNothingWritten[] = "nothing was written";
constexpr char kStreamedOutputUnusable[] = "what standard output received must not be used";

// One read of an input by a check: where it began and what it gave.
struct CheckedRead {
  int64_t offset;
  std::vector<unsigned char> bytes;
};

struct Input {
  const char* role = nullptr;  // how messages name it ("the launcher")
  std::string path;            // as the user spelt it, for messages only
  UniqueFile file;
  FileIdentity identity;  // when it was opened
  // Filled by the watch only, while the set holds the input.
  std::vector<CheckedRead> checkedReads;
  bool readDiffered = false;  // a read found other bytes than a check had

  FileHandle Get() const { return file.Get(); }
};

class InputSet {
 public:
  // `standardOutput` is where the command's reports (or data) go: an input
  // that is that same file is refused, since writing the report would
  // change what is read (`zorpack sbom ... >> PRODUCT`). `activity` ends
  // the end-of-read check's message: "packed", "read".
  InputSet(FileHandle standardOutput, const char* activity);
  ~InputSet();
  InputSet(const InputSet&) = delete;
  InputSet& operator=(const InputSet&) = delete;

  // Opens `path` as `role`; the input lives as long as the set. Null, with
  // `error`, when it cannot be opened or is refused.
  const Input* Open(const char* role, const std::string& path, std::string* error);

  // Every open input, for the output-is-an-input check.
  std::vector<FileHandle> Handles() const;

  // The end-of-read check: false, with `error` naming the first input that
  // is not as it was when opened (identity, size, modification or change
  // time), when something wrote to or replaced it while the command read
  // it, or when a read found other bytes than a check had read there.
  // Checks one input, or all of them.
  // `consequence` ends the message: what the failure left behind.
  bool CheckUnchanged(const Input& input, std::string* error,
                      const char* consequence = kNothingWritten) const;
  bool CheckAllUnchanged(std::string* error, const char* consequence = kNothingWritten) const;

 private:
  FileHandle standardOutput_;
  const char* activity_;
  std::deque<Input> inputs_;  // a deque: the pointers Open gives stay valid
};

// While one lives, this thread's reads are a pass over a whole range (the
// payload, the product): each is compared with what the checks read, but
// not kept, so that memory stays flat whatever the input's size. Every
// other read is a check's, and kept.
class StreamedReads {
 public:
  StreamedReads();
  ~StreamedReads();
  StreamedReads(const StreamedReads&) = delete;
  StreamedReads& operator=(const StreamedReads&) = delete;
};

}  // namespace zor::pack
