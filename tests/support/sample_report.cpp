#include "support/sample_report.h"

#include <windows.h>

#include <cwchar>

#include "support/cache_folder.h"
#include "support/file_bytes.h"

namespace zor::test {

namespace {

bool SplitFields(const Bytes& bytes, std::vector<std::wstring>* fields) {
  if (bytes.size() % 2 != 0) return false;
  std::wstring current;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    wchar_t unit = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == L'\0') {
      fields->push_back(current);
      current.clear();
    } else {
      current.push_back(unit);
    }
  }
  return current.empty();
}

bool TakeVector(const std::vector<std::wstring>& fields, size_t* at, const wchar_t* name,
                std::vector<std::wstring>* values) {
  if (*at + 2 > fields.size() || fields[*at] != name) return false;
  size_t count = std::wcstoul(fields[*at + 1].c_str(), nullptr, 10);
  *at += 2;
  if (*at + count > fields.size()) return false;
  values->assign(fields.begin() + *at, fields.begin() + *at + count);
  *at += count;
  return true;
}

bool TakeValue(const std::vector<std::wstring>& fields, size_t* at, const wchar_t* name,
               std::wstring* value) {
  if (*at + 2 > fields.size() || fields[*at] != name) return false;
  *value = fields[*at + 1];
  *at += 2;
  return true;
}

// The report is renamed into place; under Wine the renaming handle (with
// delete access) stays open for a moment after the new name appears, and
// until it closes, the stream reader's open fails with a sharing violation.
bool CanOpenForReading(const std::wstring& path) {
  return OpenExisting(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE).IsValid();
}

}  // namespace

bool ReadSampleToolReport(const std::wstring& path, SampleToolReport* report) {
  if (!FileExists(path)) return false;
  std::vector<std::wstring> fields;
  if (!SplitFields(ReadFileBytes(path), &fields)) return false;
  size_t at = 0;
  return TakeVector(fields, &at, L"platform-args", &report->platformArgs) &&
         TakeVector(fields, &at, L"crt-args", &report->crtArgs) &&
         TakeValue(fields, &at, L"command-line", &report->commandLine) &&
         TakeValue(fields, &at, L"module", &report->modulePath) &&
         TakeValue(fields, &at, L"directory", &report->workingDirectory) && at == fields.size();
}

bool WaitForSampleToolReport(const std::wstring& path, SampleToolReport* report,
                             unsigned timeoutMs) {
  for (unsigned waited = 0;; waited += 20) {
    if (CanOpenForReading(path)) return ReadSampleToolReport(path, report);
    if (waited >= timeoutMs) return false;
    Sleep(20);
  }
}

ReleaseOnExit::~ReleaseOnExit() {
  if (!FileExists(path_)) WriteFileBytes(path_, {});
}

}  // namespace zor::test
