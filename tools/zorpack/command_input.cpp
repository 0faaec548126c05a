#include "command_input.h"

#include "pack_text.h"
#include "packer.h"

namespace zor::pack {

InputSet::InputSet(FileHandle standardOutput, const char* activity)
    : standardOutput_(standardOutput), activity_(activity) {}

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
  return &inputs_.back();
}

std::vector<FileHandle> InputSet::Handles() const {
  std::vector<FileHandle> handles;
  for (const Input& input : inputs_) handles.push_back(input.Get());
  return handles;
}

bool InputSet::CheckUnchanged(const Input& input, std::string* error) const {
  FileIdentity now;
  const FileIdentity& before = input.identity;
  if (QueryFileIdentity(input.Get(), &now) && IsSameFile(now, before) && now.size == before.size &&
      now.modified == before.modified && now.changed == before.changed) {
    return true;
  }
  // What was read is neither its old nor its new bytes.
  *error = input.role + (" " + Quoted(input.path)) + " changed while it was being " + activity_ +
           "; nothing was written";
  return false;
}

bool InputSet::CheckAllUnchanged(std::string* error) const {
  for (const Input& input : inputs_) {
    if (!CheckUnchanged(input, error)) return false;
  }
  return true;
}

}  // namespace zor::pack
