// DLLs planted beside a program, run with the load order that Windows uses
// for DLLs that are not known to the system (the program's folder first; the
// tests' environment asks Wine for it). None of them may run in the launcher:
// not before its entry point (its own imports and what the system's libraries
// pull in), not later (the theme library behind the box), whether the tool
// runs or a box shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "launcher/dll_search.h"
#include "support/cache_folder.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/launcher_run.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor {
namespace {

constexpr wchar_t kLauncherName[] = L"Firmware Update.exe";
constexpr wchar_t kLogVariable[] = L"ZOR_PLANTED_DLL_LOG";
// Imported by the launcher, loaded by the system's libraries before its entry
// point, or loaded later by its calls.
const wchar_t* const kPlantedNames[] = {L"bcrypt.dll",  L"version.dll", L"uxtheme.dll",
                                        L"userenv.dll", L"profapi.dll", L"cryptbase.dll"};
// Loaded in this process by the in-process case and by the controls. The
// copy stands beside every test program while they run, so it is a system
// DLL that no test program loads on its own (tests run side by side).
constexpr wchar_t kLaterLoadedName[] = L"wtsapi32.dll";
// What the planted DLLs' DllMain recorded, one "DLL in program" per load,
// file names only; empty when none ran.
std::string LoadsRecordedIn(const std::wstring& log) {
  if (!test::FileExists(log)) return "";
  test::Bytes bytes = test::ReadFileBytes(log);
  std::string loads;
  std::string name;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    wchar_t unit = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == L'\\') {
      name.clear();
    } else if (unit == L'\t' || unit == L'\n') {
      loads += name + (unit == L'\t' ? " in " : "; ");
      name.clear();
    } else {
      name += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
  }
  return loads;
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return folder;
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& unit : text) unit = static_cast<wchar_t>(towlower(unit));
  return text;
}

std::wstring ThisProgramsFolder() {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  return FolderOf(program);
}

// A copy of a system DLL beside this test program, removed again at the end.
class PlantedBesideThisProgram {
 public:
  explicit PlantedBesideThisProgram(const wchar_t* name) {
    path_ = ThisProgramsFolder() + L"\\" + name;
    if (!CopyFileW(test::kPlantedDll, path_.c_str(), FALSE)) ADD_FAILURE() << "cannot plant";
  }
  ~PlantedBesideThisProgram() { DeleteFileW(path_.c_str()); }
  PlantedBesideThisProgram(const PlantedBesideThisProgram&) = delete;
  PlantedBesideThisProgram& operator=(const PlantedBesideThisProgram&) = delete;

 private:
  std::wstring path_;
};

TEST(DllSearch, NoDllBesideTheLauncherRunsWhenTheToolRunsOrABoxShows) {
  struct Case {
    const char* name;
    bool corruptMagic;
    DWORD exitCode;
    size_t boxes;
  };
  const Case cases[] = {
      {"the tool runs", false, 0, 0},
      {"the payload box shows", true, 1, 1},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    for (const wchar_t* name : kPlantedNames) {
      ASSERT_TRUE(CopyFileW(test::kPlantedDll, dir.File(name).c_str(), FALSE)) << c.name;
    }
    test::LauncherFileParts parts;
    parts.image = test::LauncherImage();
    parts.payload = test::UniqueSamplePayload(test::FreshTag());
    parts.corruptMagic = c.corruptMagic;
    test::BuiltLauncherFile built = test::WriteLauncherFile(dir.File(kLauncherName), parts);
    test::ScopedCacheFolder cache(built.payloadDigest);
    std::wstring log = dir.File(L"loads.log");
    test::ScopedEnvironment logVariable(kLogVariable, log);

    test::LauncherRun run = test::RunLauncherToEnd(dir.File(kLauncherName));
    EXPECT_EQ(LoadsRecordedIn(log), "") << c.name << ": planted DLLs ran in the launcher";
    ASSERT_TRUE(run.exited) << c.name;
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.boxes.size(), c.boxes) << c.name;

    // The control: the same planted DLL runs when an unhardened program,
    // this test, loads it by bare name from its own folder. So the empty log
    // above can fail.
    {
      PlantedBesideThisProgram planted(kLaterLoadedName);
      HMODULE loaded = LoadLibraryW(kLaterLoadedName);
      ASSERT_NE(loaded, nullptr) << c.name;
      FreeLibrary(loaded);
    }
    EXPECT_NE(LoadsRecordedIn(log), "")
        << c.name
        << ": the planted DLL did not run: the load order this test needs is not in effect";
  }
}

TEST(DllSearch, AfterTheEntrysRestrictionABareNameGetsTheSystemsCopy) {
  ASSERT_EQ(GetModuleHandleW(kLaterLoadedName), nullptr) << "already loaded: nothing to show";
  PlantedBesideThisProgram planted(kLaterLoadedName);

  test::TempDir dir;
  std::wstring log = dir.File(L"loads.log");
  test::ScopedEnvironment logVariable(kLogVariable, log);

  // The control: before the restriction, the planted copy is what a bare
  // name loads and it runs (the order Windows uses is in effect), so the
  // checks below can fail. Its path alone would not show that: Wine names a
  // built-in DLL loaded in place of a file after that file.
  HMODULE unrestricted = LoadLibraryW(kLaterLoadedName);
  ASSERT_NE(unrestricted, nullptr);
  FreeLibrary(unrestricted);
  ASSERT_NE(LoadsRecordedIn(log), "")
      << "the planted copy did not run: the load order this test needs is not in effect";
  ASSERT_EQ(GetModuleHandleW(kLaterLoadedName), nullptr) << "the planted copy stayed loaded";
  ASSERT_TRUE(DeleteFileW(log.c_str()));

  ASSERT_TRUE(RestrictDllSearch());
  HMODULE loaded = LoadLibraryW(kLaterLoadedName);
  ASSERT_NE(loaded, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(loaded, path, MAX_PATH);
  FreeLibrary(loaded);
  EXPECT_EQ(Lower(FolderOf(path)), Lower(SystemFolder()));
  EXPECT_EQ(LoadsRecordedIn(log), "") << "the planted copy ran after the restriction";
}

}  // namespace
}  // namespace zor
