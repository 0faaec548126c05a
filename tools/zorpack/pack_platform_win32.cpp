#include <windows.h>

#include <bcrypt.h>
#include <winternl.h>

#include <stddef.h>

#include "pack_platform.h"
#include "runtime/unique_handle.h"

namespace zor::pack {

namespace {

// NtSetInformationFile's class for a rename; FILE_RENAME_INFO is its record.
constexpr int kFileRenameInformation = 10;
// The prefix of a full path that names a device, not a file ("\\.\NUL").
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";

// The file a console control event removes (see CreateRemovedOnInterrupt).
// The handler runs on a thread of its own, so the handle sits behind a lock.
CRITICAL_SECTION interruptLock;
bool interruptLockReady = false;
HANDLE interruptFile = nullptr;

// Deletes an open file through its handle, whatever its name is by now: it
// goes when the last handle to it closes.
bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         0;
}

BOOL WINAPI RemoveOnControlEvent(DWORD) {
  EnterCriticalSection(&interruptLock);
  if (interruptFile != nullptr) MarkForDeletion(interruptFile);
  LeaveCriticalSection(&interruptLock);
  // Let the default handler end the process.
  return FALSE;
}

std::wstring Wide(const std::string& utf8) {
  int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  // A failed count leaves the text empty; a count of 0 writes nothing.
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                      static_cast<int>(wide.size()));
  return wide;
}

std::string Utf8(const wchar_t* text, size_t count) {
  int length =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), &utf8[0],
                      static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8;
}

// True when `result` is a success; otherwise it becomes the last error, as
// Win32 calls leave it.
bool NtSucceeded(NTSTATUS result) {
  if (!NT_SUCCESS(result)) SetLastError(RtlNtStatusToDosError(result));
  return NT_SUCCESS(result);
}

// Opens `name` in the open folder `folder`, never by a path from the root:
// NtCreateFile takes a handle to start from. Synchronous, as CreateFileW's
// handles are. The failure becomes the last error.
HANDLE OpenInFolder(HANDLE folder, const std::string& name, ACCESS_MASK access, ULONG sharing,
                    ULONG disposition, ULONG options) {
  std::wstring wide = Wide(name);
  UNICODE_STRING unicodeName;
  unicodeName.Buffer = &wide[0];
  unicodeName.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  unicodeName.MaximumLength = unicodeName.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK status = {};
  HANDLE file = nullptr;
  NTSTATUS result = NtCreateFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                 FILE_ATTRIBUTE_NORMAL, sharing, disposition,
                                 options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  return NtSucceeded(result) ? file : NoFile();
}

// Opens `name` in `folder` only to look at it: a link itself, not its target.
HANDLE OpenToLookAt(HANDLE folder, const std::string& name, ULONG options) {
  return OpenInFolder(folder, name, FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, options);
}

std::wstring FullPath(const std::string& path) {
  std::wstring wide = Wide(path);
  DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::wstring();
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
  full.resize(length < full.size() ? length : 0);
  return full;
}

// Where a link leads, as the system resolves it; empty when it leads
// nowhere.
std::string LinkTarget(HANDLE folder, const std::string& name) {
  UniqueFile target(OpenToLookAt(folder, name, 0));
  if (!target.IsValid()) return std::string();
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetFinalPathNameByHandleW(target.Get(), path, MAX_PATH * 4, 0);
  if (length == 0 || length >= MAX_PATH * 4) return std::string();
  return Utf8(path, length);
}

}  // namespace

std::wstring NativePath(const std::string& path) {
  return Wide(path);
}

std::string Utf8FromNative(const std::wstring& text) {
  return Utf8(text.data(), text.size());
}

PathKind KindOfPath(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kFile;
}

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

bool RandomBits(uint64_t* bits) {
  return BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bits), sizeof *bits,
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

bool LastFailureWasNameTaken() {
  DWORD code = GetLastError();
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool LastFailureWasMissingName() {
  DWORD code = GetLastError();
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name,
                      std::string* refusal) {
  refusal->clear();
  // The full path, not the path as given: "C:name" lies in C:'s current
  // folder, not in the working folder.
  std::wstring full = FullPath(output);
  size_t separator = full.find_last_of(L"\\/");
  if (separator == std::wstring::npos) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  *name = Utf8(full.data() + separator + 1, full.size() - separator - 1);
  std::wstring path = full.substr(0, separator + 1);
  // Others may not rename or delete the folder while it is open (no
  // FILE_SHARE_DELETE), on top of every step working through this handle.
  folder->Reset(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return folder->IsValid();
}

void WatchInputReads(InputReadWatch) {}

FileHandle OpenInputFile(const std::string& path, std::string* refusal) {
  refusal->clear();
  return OpenForReading(Wide(path).c_str(), ReadSharing::kKeepUnchanged);
}

bool IsDevicePath(const std::string& path) {
  return FullPath(path).rfind(kDevicePrefix, 0) == 0;
}

bool QueryOutput(FileHandle folder, const std::string& name, ExistingOutput* existing) {
  *existing = ExistingOutput();
  UniqueFile file(OpenToLookAt(folder, name, FILE_OPEN_REPARSE_POINT));
  if (!file.IsValid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
  BY_HANDLE_FILE_INFORMATION facts;
  if (!GetFileInformationByHandle(file.Get(), &facts)) return false;
  if ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    existing->kind = OutputKind::kLink;
    existing->linkTarget = LinkTarget(folder, name);
  } else if ((facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    existing->kind = OutputKind::kFolder;
  } else {
    existing->kind =
        GetFileType(file.Get()) == FILE_TYPE_DISK ? OutputKind::kRegular : OutputKind::kOther;
  }
  return true;
}

bool SetFinalPermissions(FileHandle, FileHandle, const ExistingOutput&) {
  return true;
}

bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file) {
  UniqueFile named(OpenToLookAt(folder, name, FILE_OPEN_REPARSE_POINT));
  FileIdentity namedIdentity;
  FileIdentity fileIdentity;
  return named.IsValid() && QueryFileIdentity(named.Get(), &namedIdentity) &&
         QueryFileIdentity(file, &fileIdentity) && namedIdentity.regular &&
         IsSameFile(namedIdentity, fileIdentity);
}

bool RenameInFolder(FileHandle folder, FileHandle file, const std::string&, const std::string& to,
                    bool replace) {
  // The open file is renamed, into the open folder: no path is looked up
  // again. (NtSetInformationFile takes the name relative to the folder as
  // it is; the Win32 wrapper would first make it a full path.)
  std::wstring wide = Wide(to);
  size_t size = offsetof(FILE_RENAME_INFO, FileName) + (wide.size() + 1) * sizeof(wchar_t);
  std::string buffer(size, '\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  memcpy(rename->FileName, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  IO_STATUS_BLOCK status = {};
  return NtSucceeded(
      NtSetInformationFile(file, &status, rename, static_cast<ULONG>(size),
                           static_cast<FILE_INFORMATION_CLASS>(kFileRenameInformation)));
}

void DenyExclusiveRenameForTesting(bool) {}

bool RemoveFromFolder(FileHandle, FileHandle file, const std::string&) {
  return MarkForDeletion(file);
}

void InstallInterruptCleanup() {
  InitializeCriticalSection(&interruptLock);
  interruptLockReady = true;
  SetConsoleCtrlHandler(RemoveOnControlEvent, TRUE);
}

FileHandle CreateRemovedOnInterrupt(FileHandle folder, const std::string& name) {
  // CREATE_NEW's counterpart fails on any existing name, a link included.
  // DELETE access lets the file be renamed and removed through its handle;
  // sharing delete (what POSIX always allows) lets others do nothing else.
  auto create = [&] {
    return OpenInFolder(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                        FILE_CREATE, FILE_NON_DIRECTORY_FILE);
  };
  if (!interruptLockReady) return create();
  // The handler waits for the lock, so it sees either no file or this one.
  EnterCriticalSection(&interruptLock);
  FileHandle file = create();
  DWORD failure = GetLastError();
  if (IsOpenFile(file)) interruptFile = file;
  LeaveCriticalSection(&interruptLock);
  SetLastError(failure);
  return file;
}

void StopRemovingOnInterrupt() {
  if (!interruptLockReady) return;
  EnterCriticalSection(&interruptLock);
  interruptFile = nullptr;
  LeaveCriticalSection(&interruptLock);
}

void ForgetLastFailure() {
  SetLastError(ERROR_SUCCESS);
}

std::string LastFailureText() {
  DWORD code = GetLastError();
  // Some failures (a hash that could not be set up) leave no error code.
  if (code == ERROR_SUCCESS) return std::string();
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring reason(message != nullptr ? message : L"", length);
  LocalFree(message);
  // The system's texts end in a line break (and often a full stop); the
  // message must stay on one line.
  reason.resize(reason.find_last_not_of(L"\r\n .") + 1);
  for (wchar_t& unit : reason) {
    if (unit == L'\r' || unit == L'\n') unit = L' ';
  }
  if (reason.empty()) return "error " + std::to_string(code);
  return Utf8FromNative(reason);
}

bool IsWritableStream(FileHandle stream) {
  return IsValidHandle(stream);
}

bool IsTerminal(FileHandle stream) {
  DWORD mode = 0;
  return GetConsoleMode(stream, &mode) != 0;
}

bool WriteText(FileHandle stream, const std::string& text) {
  // A missing standard handle is null or INVALID_HANDLE_VALUE.
  if (!IsValidHandle(stream)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD mode = 0;
  // A console shows UTF-16; a pipe or a file gets the UTF-8 bytes.
  if (GetConsoleMode(stream, &mode)) {
    std::wstring wide = Wide(text);
    DWORD written = 0;
    return WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
  }
  return WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
