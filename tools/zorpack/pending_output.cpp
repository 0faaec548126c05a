#include "pending_output.h"

namespace zor::pack {

namespace {

constexpr char kTemporarySuffix[] = ".zorpack-tmp";

}  // namespace

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

std::string DescribeFailure(const std::string& path) {
  std::string reason = LastFailureText();
  return reason.empty() ? Quoted(path) : Quoted(path) + ": " + reason;
}

std::string FolderOf(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  if (end == 0) return std::string();
  // "/name" lies in the root folder, which the separator alone names.
  size_t folderEnd = end - 1;
  while (folderEnd > 0 && IsPathSeparator(path[folderEnd - 1])) --folderEnd;
  return folderEnd == 0 ? path.substr(0, 1) : path.substr(0, folderEnd);
}

PendingOutput::~PendingOutput() {
  if (!file_.IsValid()) return;
  file_.Reset();
  RemoveFile(temporaryPath_);
}

bool PendingOutput::Create(const std::string& finalPath, std::string* error) {
  if (KindOfPath(finalPath) == PathKind::kFolder) {
    *error = "the output " + Quoted(finalPath) + " is a folder, not a file";
    return false;
  }
  std::string folder = FolderOf(finalPath);
  if (!folder.empty() && KindOfPath(folder) != PathKind::kFolder) {
    *error = "the folder of the output " + Quoted(finalPath) + " does not exist";
    return false;
  }
  finalPath_ = finalPath;
  // The process id keeps two packers writing the same output apart.
  temporaryPath_ = finalPath + "." + std::to_string(CurrentProcessId()) + kTemporarySuffix;
  file_.Reset(CreateForWriting(temporaryPath_));
  if (file_.IsValid()) return true;
  *error = "cannot write the output " + DescribeFailure(finalPath_);
  return false;
}

bool PendingOutput::Commit(std::string* error) {
  if (!FlushFile(file_.Get())) {
    *error = "cannot write the output " + DescribeFailure(finalPath_);
    return false;
  }
  file_.Reset();
  if (ReplaceFile(temporaryPath_, finalPath_)) return true;
  *error = "cannot replace " + DescribeFailure(finalPath_);
  RemoveFile(temporaryPath_);
  return false;
}

}  // namespace zor::pack
