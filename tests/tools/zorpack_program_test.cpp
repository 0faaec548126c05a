// The zorpack program as release engineers run it: exit statuses, the
// report it prints, one-line errors, help and version, and the JSON report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "pack_text.h"
#include "packer.h"
#include "payload/pe_layout.h"
#include "support/json_check.h"
#include "test_paths.h"
#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

namespace {

constexpr int kStatusSuccess = 0;
constexpr int kStatusDigestMismatch = 1;
constexpr int kStatusProductDiffers = 1;
constexpr int kStatusFailure = 2;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Shown(const std::vector<std::string>& arguments) {
  std::string shown;
  for (const auto& argument : arguments) shown += argument + " ";
  return shown;
}

// One line, prefixed with the program's name, and nothing else.
void ExpectOneErrorLine(const ProgramRun& run) {
  EXPECT_EQ(run.err.rfind("zorpack: ", 0), 0u) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(zorpack_program, HelpVersionAndUsage) {
  struct HelpCase {
    std::vector<std::string> arguments;
    const char* shows;
  };
  const HelpCase helps[] = {
      {{"--help"}, "zorpack pack LAUNCHER PAYLOAD OUTPUT"},
      {{"-h"}, "zorpack pack LAUNCHER PAYLOAD OUTPUT"},
      {{"help"}, "zorpack pack LAUNCHER PAYLOAD OUTPUT"},
      {{"help"}, "\n       zorpack sbom --launcher LAUNCHER [OPTION...] PRODUCT [OUTPUT]\n"},
      {{"help", "pack"}, "Refused, with nothing written"},
      {{"pack", "--help"}, "Refused, with nothing written"},
      {{"inspect", "-h"}, "--json prints one JSON object"},
      {{"help", "extract"}, "usage: zorpack extract FILE OUTPUT"},
      {{"extract", "--help"}, "usage: zorpack extract FILE OUTPUT"},
      {{"help", "version"}, "source revision"},
      {{"help", "--help"}, "usage: zorpack help [COMMAND]"},
      {{"help", "-h"}, "usage: zorpack help [COMMAND]"},
      {{"--help", "inspect"}, "--json prints one JSON object"},
      {{"version", "--help"}, "usage: zorpack version"},
      {{"verify", "--help"}, "The signature is NOT checked"},
      {{"help", "sbom"}, "zor:payload_offset"},
      {{"sbom", "-h"}, "Exit status: 0 written"},
      {{"--version"}, "zorpack 1."},
      {{"version"}, "zorpack 1."},
  };
  for (const HelpCase& c : helps) {
    SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
    ProgramRun run = RunZorpackProgram(c.arguments);
    EXPECT_EQ(run.exitCode, kStatusSuccess);
    EXPECT_TRUE(Contains(run.out, c.shows)) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
  }
  // The version names the 40-digit revision the packer was built from.
  std::string version = RunZorpackProgram({"version"}).out;
  size_t revision = version.find("(source revision ");
  ASSERT_NE(revision, std::string::npos) << version;
  EXPECT_EQ(version.find_first_not_of("0123456789abcdef", revision + 17), revision + 57) << version;

  // The manual's synopsis names every command that the usage names.
  std::ifstream manual(std::filesystem::path(kSourceDir) / "docs" / "zorpack.md");
  const std::string manualText((std::istreambuf_iterator<char>(manual)), {});
  const std::string usage = RunZorpackProgram({"help"}).out;
  size_t commands = 0;
  for (size_t at = usage.find("zorpack "); at < usage.find("\n\n");
       at = usage.find("zorpack ", at)) {
    at += 8;
    std::string name = usage.substr(at, usage.find(' ', at) - at);
    EXPECT_TRUE(Contains(manualText, "\nzorpack " + name + " ")) << name;
    ++commands;
  }
  EXPECT_EQ(commands, 8u) << usage;

  ProgramRun bare = RunZorpackProgram({});
  EXPECT_EQ(bare.exitCode, kStatusFailure);
  EXPECT_TRUE(Contains(bare.err, "zorpack pack LAUNCHER PAYLOAD OUTPUT")) << bare.err;
  EXPECT_TRUE(bare.out.empty());
}

// A refused run: exit status 2 and one line on stderr that names no
// temporary file and lets no control or bidirectional character reach the
// terminal; nothing on stdout.
ProgramRun ExpectRefused(const std::vector<std::string>& arguments) {
  SCOPED_TRACE(Shown(arguments));
  ProgramRun run = RunZorpackProgram(arguments);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, kStatusFailure);
  ExpectOneErrorLine(run);
  for (const char* hidden : {"zorpack-tmp", "\x1b", "\x7f", "\x9b", "\xe2\x80\xae"}) {
    EXPECT_FALSE(Contains(run.err, hidden)) << run.err;
  }
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_TRUE(run.leftInWorkingFolder.empty()) << run.leftInWorkingFolder.front();
  return run;
}

TEST(zorpack_program, BadUsageAndBadFilesExitWithStatus2) {
  PackDir dir;
  WriteBytes(dir.File("text.exe"), Bytes(200, 'x'));
  // A few KiB on disk whose trailer claims 8 GiB: refused before hashing.
  WriteSparseFileWithTrailer(dir.File("crafted.exe"), PeImageWithTail(0, 1), 8ull << 30,
                             (8ull << 30) - 4096);
  const std::string missing = dir.File("missing.exe");
  const std::string launcher = LauncherExePath();
  const std::string tool = SampleToolExePath();
  std::vector<std::vector<std::string>> invocations = {
      {"frobnicate"},
      {"version", "now"},
      {"--version", "extra"},
      {"pack"},
      {"pack", launcher, tool},
      {"pack", launcher, tool, dir.File("a.exe"), dir.File("b.exe")},
      {"inspect"},
      {"inspect", "--json"},
      {"inspect", launcher, launcher},
      {"extract", launcher},
      {"pack", missing, tool, dir.File("out.exe")},
      {"pack", launcher, dir.File("text.exe"), dir.File("out.exe")},
      {"pack", tool, launcher, dir.File("out.exe")},
      {"pack", launcher, tool, tool},
      {"pack", launcher, tool, dir.Path()},
      {"pack", launcher, tool, dir.File("no-such-folder") + kPathSeparator + "out.exe"},
      {"pack", launcher, dir.Path(), dir.File("out.exe")},
      {"inspect", missing},
      {"inspect", tool},
      {"inspect", dir.Path()},
      {"extract", tool, dir.File("out.exe")},
      {"verify"},
      {"verify", launcher},
      {"verify", "--launcher"},
      {"verify", "--launcher", launcher},
      {"verify", tool, "--launcher"},
      {"verify", "--launcher", launcher, "--launcher", launcher, tool},
      {"verify", "--launcher", launcher, tool, tool},
      {"verify", "--launcher", missing, tool},
      {"verify", "--launcher", tool, tool},
      {"verify", "--launcher", launcher, missing},
      {"verify", "--launcher", launcher, dir.Path()},
      {"verify", "--launcher", launcher, dir.File("crafted.exe")},
      {"sbom", tool},
      {"sbom", "--launcher", launcher},
      {"sbom", "--launcher", launcher, tool, dir.File("a.json"), dir.File("b.json")},
      {"sbom", "--launcher", launcher, "--name", "a", "--name", "b", tool},
      {"sbom", "--launcher", launcher, tool, "--payload-sbom"},
      {"sbom", "--launcher", launcher, "--version", "", tool},
      {"sbom", "--launcher", launcher, "--json", tool},
      {"sbom", "--launcher", launcher, "--payload-sbom", missing, tool},
      {"sbom", "--launcher", tool, tool},
      {"pack", launcher, tool, ""},
      {"extract", tool, ""},
      // pack reads its output back: it cannot write to standard output.
      {"pack", launcher, tool, "-"},
      // Control bytes in a path must not break the line or reach the
      // terminal.
      {"inspect", dir.File("new\nline \x1b[2J \x7f.exe")},
      // C1 controls and a right-to-left override.
      {"inspect", dir.File("x\xc2\x9b"
                           "31m \xe2\x80\xae"
                           "exe.txt")},
  };
  // A raw C1 byte, not part of any character: only POSIX paths are bytes.
  if (kPathSeparator[0] == '/')
    invocations.push_back({"inspect", dir.File("x\x9b"
                                               "2J.exe")});
  // The system's /dev/stdout is such a link: never replaced by a file.
  if (MakeLink(dir.File("stdout-link"), "/proc/self/fd/1")) {
    invocations.push_back({"pack", launcher, tool, dir.File("stdout-link")});
  }
  for (const auto& arguments : invocations) ExpectRefused(arguments);
  // help of a command that does not exist says so, by name.
  const std::pair<std::vector<std::string>, const char*> wrongHelps[] = {
      {{"help", "nosuch"},
       "unknown command 'nosuch' (pack, inspect, extract, verify, sbom, verify-sbom, help, "
       "version)"},
      {{"help", "pack", "inspect"}, "help takes one command name"},
  };
  for (const auto& [arguments, says] : wrongHelps) {
    EXPECT_TRUE(Contains(ExpectRefused(arguments).err, says));
  }
  // Before "--", a word that starts with '-' and is no option of the
  // command is refused as an option, by name; after "--" it is a file (none
  // of these exist).
  struct OptionCase {
    std::vector<std::string> arguments;
    std::string word;
    bool isOption;
  };
  const OptionCase options[] = {
      {{"pack", launcher, tool, "-v"}, "-v", true},
      {{"pack", launcher, "--", "-v", dir.File("out.exe")}, "-v", false},
      {{"inspect", "-x", tool}, "-x", true},
      {{"inspect", "--", "-h"}, "-h", false},
      {{"extract", tool, "--force"}, "--force", true},
      {{"extract", "--", "--help", dir.File("out.exe")}, "--help", false},
      {{"verify", "--launcher", launcher, tool, "--jsn"}, "--jsn", true},
      // After "--", even a command's own option is a file.
      {{"verify", "--launcher", launcher, "--", "--json"}, "--json", false},
      {{"inspect", "--", "--json"}, "--json", false},
      {{"pack", "--", "--json", tool, dir.File("out.exe")}, "--json", false},
      {{"extract", "--", "--json", dir.File("out.exe")}, "--json", false},
      {{"help", "--all"}, "--all", true},
      {{"version", "--short"}, "--short", true},
  };
  for (const OptionCase& c : options) {
    ProgramRun run = ExpectRefused(c.arguments);
    EXPECT_TRUE(Contains(run.err, "'" + c.word + "'")) << run.err;
    EXPECT_EQ(Contains(run.err, "no option"), c.isOption) << run.err;
  }
  // No input is read from standard input: "-" is refused, not taken as a
  // file of that name.
  const std::vector<std::string> fromStandardInput[] = {
      {"inspect", "-"},
      {"extract", "-", dir.File("out.exe")},
      {"verify", "--launcher", "-", tool},
      {"pack", launcher, "-", dir.File("out.exe")},
  };
  for (const auto& arguments : fromStandardInput) {
    EXPECT_TRUE(Contains(ExpectRefused(arguments).err, "reads no standard input"));
  }
  EXPECT_FALSE(Exists(dir.File("out.exe")));
  if (Exists(dir.File("stdout-link"))) {
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::u8path(dir.File("stdout-link"))));
  }
}

// Each character as a message shows it (the refused run's line) and as
// the JSON reports write it: every escaped range is escaped up to its last
// character, and the first one past it is shown as it is.
TEST(zorpack_program, EscapesEachHiddenRangeToItsEndAndNoFurther) {
  struct Shown {
    const char* character;  // UTF-8
    const char* message;
    const char* json;
  };
  const Shown cases[] = {
      {"\"", "\"", "\\\""},
      {"\\", "\\", "\\\\"},
      {"\x01", "\\x01", "\\u0001"},
      {"\x1f", "\\x1f", "\\u001f"},
      {"\x7f", "\\x7f", "\\u007f"},
      {"\xc2\x80", "\\xc2\\x80", "\\u0080"},
      {"\xc2\x9f", "\\xc2\\x9f", "\\u009f"},
      {"\xc2\xa0", "\xc2\xa0", "\xc2\xa0"},
      {"\xc2\xac", "\xc2\xac", "\xc2\xac"},
      {"\xc2\xad", "\\xc2\\xad", "\\u00ad"},
      {"\xc2\xae", "\xc2\xae", "\xc2\xae"},
      {"\xcd\x8e", "\xcd\x8e", "\xcd\x8e"},
      {"\xcd\x8f", "\\xcd\\x8f", "\\u034f"},
      {"\xcd\x90", "\xcd\x90", "\xcd\x90"},
      {"\xd8\x9c", "\\xd8\\x9c", "\\u061c"},
      {"\xd8\x9d", "\xd8\x9d", "\xd8\x9d"},
      {"\xe1\x85\x9e", "\xe1\x85\x9e", "\xe1\x85\x9e"},
      {"\xe1\x85\x9f", "\\xe1\\x85\\x9f", "\\u115f"},
      {"\xe1\x85\xa0", "\\xe1\\x85\\xa0", "\\u1160"},
      {"\xe1\x85\xa1", "\xe1\x85\xa1", "\xe1\x85\xa1"},
      {"\xe1\xa0\x8d", "\xe1\xa0\x8d", "\xe1\xa0\x8d"},
      {"\xe1\xa0\x8e", "\\xe1\\xa0\\x8e", "\\u180e"},
      {"\xe1\xa0\x8f", "\xe1\xa0\x8f", "\xe1\xa0\x8f"},
      {"\xe2\x80\x8a", "\xe2\x80\x8a", "\xe2\x80\x8a"},
      {"\xe2\x80\x8b", "\\xe2\\x80\\x8b", "\\u200b"},
      {"\xe2\x80\x8e", "\\xe2\\x80\\x8e", "\\u200e"},
      {"\xe2\x80\x8f", "\\xe2\\x80\\x8f", "\\u200f"},
      {"\xe2\x80\x90", "\xe2\x80\x90", "\xe2\x80\x90"},
      {"\xe2\x80\xa7", "\xe2\x80\xa7", "\xe2\x80\xa7"},
      {"\xe2\x80\xa8", "\\xe2\\x80\\xa8", "\\u2028"},
      {"\xe2\x80\xa9", "\\xe2\\x80\\xa9", "\\u2029"},
      {"\xe2\x80\xaa", "\\xe2\\x80\\xaa", "\\u202a"},
      {"\xe2\x80\xae", "\\xe2\\x80\\xae", "\\u202e"},
      {"\xe2\x80\xaf", "\xe2\x80\xaf", "\xe2\x80\xaf"},
      {"\xe2\x81\x9f", "\xe2\x81\x9f", "\xe2\x81\x9f"},
      {"\xe2\x81\xa0", "\\xe2\\x81\\xa0", "\\u2060"},
      {"\xe2\x81\xa4", "\\xe2\\x81\\xa4", "\\u2064"},
      {"\xe2\x81\xa5", "\xe2\x81\xa5", "\xe2\x81\xa5"},
      {"\xe2\x81\xa6", "\\xe2\\x81\\xa6", "\\u2066"},
      {"\xe2\x81\xa9", "\\xe2\\x81\\xa9", "\\u2069"},
      {"\xe2\x81\xaa", "\xe2\x81\xaa", "\xe2\x81\xaa"},
      {"\xe3\x85\xa3", "\xe3\x85\xa3", "\xe3\x85\xa3"},
      {"\xe3\x85\xa4", "\\xe3\\x85\\xa4", "\\u3164"},
      {"\xe3\x85\xa5", "\xe3\x85\xa5", "\xe3\x85\xa5"},
      {"\xef\xbb\xbe", "\xef\xbb\xbe", "\xef\xbb\xbe"},
      {"\xef\xbb\xbf", "\\xef\\xbb\\xbf", "\\ufeff"},
      {"\xef\xbc\x80", "\xef\xbc\x80", "\xef\xbc\x80"},
      {"\xef\xbe\x9f", "\xef\xbe\x9f", "\xef\xbe\x9f"},
      {"\xef\xbe\xa0", "\\xef\\xbe\\xa0", "\\uffa0"},
      {"\xef\xbe\xa1", "\xef\xbe\xa1", "\xef\xbe\xa1"},
      {"\xef\xbf\xb8", "\xef\xbf\xb8", "\xef\xbf\xb8"},
      {"\xef\xbf\xb9", "\\xef\\xbf\\xb9", "\\ufff9"},
      {"\xef\xbf\xbb", "\\xef\\xbf\\xbb", "\\ufffb"},
      {"\xef\xbf\xbc", "\xef\xbf\xbc", "\xef\xbf\xbc"},
      {"\xf0\x9d\x85\xb2", "\xf0\x9d\x85\xb2", "\xf0\x9d\x85\xb2"},
      {"\xf0\x9d\x85\xb3", "\\xf0\\x9d\\x85\\xb3", "\\ud834\\udd73"},
      {"\xf0\x9d\x85\xba", "\\xf0\\x9d\\x85\\xba", "\\ud834\\udd7a"},
      {"\xf0\x9d\x85\xbb", "\xf0\x9d\x85\xbb", "\xf0\x9d\x85\xbb"},
      {"\xf3\x9f\xbf\xbf", "\xf3\x9f\xbf\xbf", "\xf3\x9f\xbf\xbf"},
      {"\xf3\xa0\x80\x80", "\\xf3\\xa0\\x80\\x80", "\\udb40\\udc00"},
      {"\xf3\xa0\x80\x81", "\\xf3\\xa0\\x80\\x81", "\\udb40\\udc01"},
      {"\xf3\xa0\x81\xbf", "\\xf3\\xa0\\x81\\xbf", "\\udb40\\udc7f"},
      {"\xf3\xa0\x82\x80", "\xf3\xa0\x82\x80", "\xf3\xa0\x82\x80"},
  };
  PackDir dir;
  std::string name;
  for (const Shown& c : cases) name += c.character;
  // JSON is UTF-8 throughout: a stray byte is escaped there too.
  EXPECT_EQ(pack::Escaped("a\xff", pack::EscapeStyle::kJson), "a\\u00ff");
  ProgramRun run = ExpectRefused({"inspect", dir.File(name + ".exe")});
  for (const Shown& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    EXPECT_EQ(pack::Escaped(c.character, pack::EscapeStyle::kJson), c.json);
  }
}

TEST(zorpack_program, FifosExitWithStatus2) {
  if (kNoFifosHere != nullptr) GTEST_SKIP() << kNoFifosHere;
  PackDir dir;
  const std::string fifo = dir.File("fifo");
  const std::string launcher = LauncherExePath();
  ASSERT_TRUE(MakeFifo(fifo));
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"verify", "--launcher", launcher, fifo},
                                             {"verify", "--launcher", fifo, SampleToolExePath()},
                                             {"pack", launcher, fifo, dir.File("out.exe")}}) {
    ExpectRefused(arguments);
  }
  EXPECT_FALSE(Exists(dir.File("out.exe")));
}

// A drive-relative OUTPUT lies in that drive's current folder, whatever the
// working folder, and so does its temporary file: the rename stays on one
// volume, and nothing lands in the working folder.
TEST(zorpack_program, DriveRelativeOutputLandsInThatDrivesFolder) {
  const std::string folder = "C:\\zorpack-drive-relative";
  if (!SetDriveCFolder(folder)) GTEST_SKIP() << "drives have no current folders here";
  std::filesystem::remove_all(std::filesystem::u8path(folder));
  std::filesystem::create_directory(std::filesystem::u8path(folder));
  const std::vector<std::string> before = Entries(".");
  ProgramRun run =
      RunZorpackProgram({"pack", LauncherExePath(), SampleToolExePath(), "C:relative.exe"});
  EXPECT_EQ(run.exitCode, kStatusSuccess) << run.err;
  EXPECT_EQ(Entries(folder), std::vector<std::string>{"relative.exe"});
  EXPECT_EQ(Entries("."), before);
  SetDriveCFolder("C:\\");
  std::filesystem::remove_all(std::filesystem::u8path(folder));
}

// A report that cannot be written is a failure, not a success in silence:
// each command's report into a full device and into a closed standard
// output. The report goes out before an output is put in place, so an
// output whose report was lost keeps what it held, and no temporary file
// stays; a closed standard output is named as such.
TEST(zorpack_program, UnwritableOutputExitsWithStatus2) {
  PackDir dir;
  const std::string packed = dir.File("Updater.exe");
  const std::string output = dir.File("out.exe");
  ASSERT_EQ(RunZorpackProgram({"pack", LauncherExePath(), SampleToolExePath(), packed}).exitCode,
            kStatusSuccess);
  const std::vector<std::string> commands[] = {
      {"pack", LauncherExePath(), SampleToolExePath(), output},
      {"inspect", packed},
      {"inspect", "--json", packed},
      {"extract", packed, output},
      {"extract", packed, "-"},
      {"verify", "--json", "--launcher", LauncherExePath(), packed},
      {"help"},
      {"version"},
  };
  const Bytes old = {'o', 'l', 'd'};
  for (StandardOutput stream : {StandardOutput::kFull, StandardOutput::kClosed}) {
    for (const auto& arguments : commands) {
      SCOPED_TRACE(Shown(arguments) + (stream == StandardOutput::kFull ? "(full)" : "(closed)"));
      WriteBytes(output, old);
      const std::vector<std::string> before = Entries(dir.Path());
      ProgramRun run = RunZorpackProgram(arguments, stream);
      EXPECT_EQ(run.exitCode, kStatusFailure);
      ExpectOneErrorLine(run);
      EXPECT_TRUE(Contains(run.err, stream == StandardOutput::kClosed && arguments.back() == "-"
                                        ? "standard output is closed"
                                        : "standard output"))
          << run.err;
      EXPECT_EQ(ReadBytes(output), old);
      EXPECT_EQ(Entries(dir.Path()), before);
    }
  }
}

TEST(zorpack_program, PackInspectExtractRoundTrip) {
  PackDir dir;
  const std::string packed = dir.File("My Updater.exe");
  const std::string extracted = dir.File("tool copy.exe");
  Bytes tool = ReadBytes(SampleToolExePath());
  std::string digest = HexOf(Sha256Of(tool));
  std::string digestLine = "payload sha256: " + digest + "\n";
  std::string sizeLine = "payload size: " + std::to_string(tool.size()) + "\n";

  ProgramRun pack = RunZorpackProgram({"pack", LauncherExePath(), SampleToolExePath(), packed});
  ASSERT_EQ(pack.exitCode, kStatusSuccess) << pack.err;
  EXPECT_TRUE(Contains(pack.out, digestLine)) << pack.out;
  EXPECT_TRUE(pack.err.empty());

  ProgramRun inspect = RunZorpackProgram({"inspect", packed});
  EXPECT_EQ(inspect.exitCode, kStatusSuccess) << inspect.err;
  for (const std::string& line : {digestLine, sizeLine, std::string("certificate table: none\n"),
                                  std::string("payload check: matches\n"),
                                  std::string("launcher: this project's launcher\n")}) {
    EXPECT_TRUE(Contains(inspect.out, line)) << inspect.out;
  }

  ProgramRun json = RunZorpackProgram({"inspect", "--json", packed});
  EXPECT_EQ(json.exitCode, kStatusSuccess) << json.err;
  std::map<std::string, std::string> keys = JsonObjectMembers(json.out);
  ASSERT_FALSE(keys.empty()) << json.out;
  uint64_t payloadOffset = ReadBytes(LauncherExePath()).size();
  const std::map<std::string, std::string> expected = {
      {"payload_offset", std::to_string(payloadOffset)},
      {"payload_size", std::to_string(tool.size())},
      {"payload_sha256", digest},
      {"computed_sha256", digest},
      {"payload_matches", "true"},
      {"certificate_table_offset", "0"},
      {"certificate_table_size", "0"},
      {"launcher_recognised", "true"},
  };
  EXPECT_EQ(keys, expected) << json.out;
  // Its help explains every key.
  std::string help = RunZorpackProgram({"help", "inspect"}).out;
  for (const auto& [key, value] : keys) EXPECT_TRUE(Contains(help, key)) << key;

  // Signed, as a signing tool leaves it: a certificate table after the
  // trailer and the security directory pointing at it.
  constexpr uint32_t kTableSize = 512;
  const uint32_t tableOffset = static_cast<uint32_t>(ReadBytes(packed).size());
  // The report of the packed file with `table` appended and its security
  // directory naming `offset` and kTableSize.
  auto inspectWith = [&](const Bytes& table, uint32_t offset) {
    Bytes bytes = ReadBytes(packed);
    bytes.insert(bytes.end(), table.begin(), table.end());
    Store32(bytes, SecurityDirectoryOffset(bytes), offset);
    Store32(bytes, SecurityDirectoryOffset(bytes) + 4, kTableSize);
    WriteBytes(dir.File("Signed Updater.exe"), bytes);
    ProgramRun run = RunZorpackProgram({"inspect", "--json", dir.File("Signed Updater.exe")});
    EXPECT_EQ(run.exitCode, kStatusSuccess) << run.err;
    return JsonObjectMembers(run.out);
  };
  std::map<std::string, std::string> signedExpected = expected;
  signedExpected["certificate_table_offset"] = std::to_string(tableOffset);
  signedExpected["certificate_table_size"] = std::to_string(kTableSize);
  EXPECT_EQ(inspectWith(PatternBytes(kTableSize, 9), tableOffset), signedExpected);
  // A security directory that points just past the end names no table: the
  // trailer still ends the file, and the report shows none.
  EXPECT_EQ(inspectWith({}, tableOffset + 1), expected);

  ProgramRun extract = RunZorpackProgram({"extract", packed, extracted});
  EXPECT_EQ(extract.exitCode, kStatusSuccess) << extract.err;
  EXPECT_EQ(ReadBytes(extracted), tool);

  // - is standard output, which then carries the payload alone.
  ProgramRun toStdout = RunZorpackProgram({"extract", packed, "-"});
  EXPECT_EQ(toStdout.exitCode, kStatusSuccess) << toStdout.err;
  EXPECT_TRUE(toStdout.out == std::string(tool.begin(), tool.end()));
  EXPECT_TRUE(toStdout.err.empty()) << toStdout.err;
}

TEST(zorpack_program, DamagedPayloadOrForeignLauncherFailInspect) {
  PackDir dir;
  const std::string packed = dir.File("Updater.exe");
  ASSERT_EQ(RunZorpackProgram({"pack", LauncherExePath(), SampleToolExePath(), packed}).exitCode,
            kStatusSuccess);
  Bytes bytes = ReadBytes(packed);
  Bytes launcher = ReadBytes(LauncherExePath());
  bytes[launcher.size() + 4096] ^= 0x01;  // inside the payload
  WriteBytes(packed, bytes);

  ProgramRun inspect = RunZorpackProgram({"inspect", packed});
  EXPECT_EQ(inspect.exitCode, kStatusDigestMismatch);
  EXPECT_TRUE(Contains(inspect.out, "payload check: MISMATCH")) << inspect.out;
  ExpectOneErrorLine(inspect);

  ProgramRun json = RunZorpackProgram({"--json", packed});
  EXPECT_EQ(json.exitCode, kStatusFailure);
  json = RunZorpackProgram({"inspect", packed, "--json"});
  EXPECT_EQ(json.exitCode, kStatusDigestMismatch);
  EXPECT_EQ(JsonObjectMembers(json.out)["payload_matches"], "false") << json.out;

  ProgramRun extract = RunZorpackProgram({"extract", packed, dir.File("tool.exe")});
  EXPECT_EQ(extract.exitCode, kStatusDigestMismatch);
  ExpectOneErrorLine(extract);
  EXPECT_FALSE(Exists(dir.File("tool.exe")));

  // sbom of a program that carries no payload says so, as inspect does,
  // rather than naming a launcher byte.
  ProgramRun bare =
      RunZorpackProgram({"sbom", "--launcher", LauncherExePath(), SampleToolExePath()});
  EXPECT_EQ(bare.exitCode, kStatusProductDiffers);
  EXPECT_TRUE(Contains(bare.err, "carries no payload")) << bare.err;
  EXPECT_TRUE(bare.out.empty()) << bare.out;

  // A trailer behind some other program: inspect says whose image it is.
  LauncherFileParts parts;
  parts.image = PeImageWithTail(0, 1);
  parts.payload = PeImageWithTail(3, 2);
  WriteBytes(dir.File("foreign.exe"), BuildLauncherFile(parts).bytes);
  ProgramRun foreign = RunZorpackProgram({"inspect", dir.File("foreign.exe")});
  EXPECT_EQ(foreign.exitCode, kStatusFailure);
  EXPECT_TRUE(Contains(foreign.out, "launcher: NOT this project's launcher image")) << foreign.out;
  EXPECT_TRUE(Contains(foreign.err, "is not this project's launcher image")) << foreign.err;
  ExpectOneErrorLine(foreign);
  json = RunZorpackProgram({"inspect", "--json", dir.File("foreign.exe")});
  EXPECT_EQ(json.exitCode, kStatusFailure);
  EXPECT_EQ(JsonObjectMembers(json.out)["launcher_recognised"], "false") << json.out;
}

// Where a UTF-16 string's value starts in a version record: after its key,
// the key's terminator and the padding to a 4-byte boundary.
size_t VersionStringValueAt(const Bytes& image, const std::string& key) {
  Bytes pattern;
  for (char c : key) {
    pattern.push_back(static_cast<uint8_t>(c));
    pattern.push_back(0);
  }
  pattern.insert(pattern.end(), {0, 0});
  auto found = std::search(image.begin(), image.end(), pattern.begin(), pattern.end());
  if (found == image.end()) return 0;
  size_t at = static_cast<size_t>(found - image.begin()) + pattern.size();
  return (at + 3) / 4 * 4;
}

// A product from the field against the released launcher image: every way
// one can differ is named by its first differing field and offset, and only
// an intact product, signed or not, passes.
TEST(zorpack_verify, NamesTheFirstDifferenceOfEachAlteredProduct) {
  PackDir dir;
  const Bytes launcher = ReadBytes(LauncherExePath());
  const uint64_t imageSize = launcher.size();
  // A payload whose size needs padding, so that the padding can be bent.
  Bytes payload = ReadBytes(SampleToolExePath());
  payload.resize(payload.size() + (13 - (imageSize + payload.size()) % 8) % 8 + 1, 0x5A);
  const uint64_t padding = pack::PaddingBetween(imageSize, payload.size());
  ASSERT_GT(padding, 1u);
  const uint64_t payloadOffset = imageSize + padding;
  const uint64_t trailerEnd = payloadOffset + payload.size() + 48;
  constexpr uint32_t kTableSize = 1024;

  auto product = [&](const Bytes& image, uint64_t paddingSize, uint32_t tableSize) {
    LauncherFileParts parts;
    parts.image = image;
    parts.padding = paddingSize;
    parts.payload = payload;
    parts.certificateTableSize = tableSize;
    Bytes bytes = BuildLauncherFile(parts).bytes;
    // Signing also sets the header checksum.
    if (tableSize != 0) {
      size_t checksum = OptionalHeaderOffset(bytes) + kChecksumField;
      bytes = WithStore32(bytes, checksum, 0x0004F00D);
    }
    return bytes;
  };
  const Bytes unsigned_ = product(launcher, padding, 0);
  const Bytes signed_ = product(launcher, padding, kTableSize);

  // Another build of the launcher: the same size, another revision in its
  // version record.
  Bytes otherBuild = launcher;
  size_t revisionAt = VersionStringValueAt(otherBuild, "FileVersion");
  ASSERT_NE(revisionAt, 0u);
  otherBuild[revisionAt] = otherBuild[revisionAt] == 'a' ? 'b' : 'a';

  auto changed = [&](size_t at, uint8_t mask) {
    Bytes bytes = signed_;
    bytes[at] ^= mask;
    return bytes;
  };
  Bytes appended = signed_;
  appended.insert(appended.end(), {'e', 'x', 't', 'r', 'a'});
  Bytes cutSignature = Slice(signed_, 0, signed_.size() - 8);
  Bytes appendedUnsigned = unsigned_;
  appendedUnsigned.insert(appendedUnsigned.end(), 8, 0);
  // The fields right behind the checksum that signing rewrites: only the
  // checksum's four bytes are passed over.
  const size_t subsystemAt = OptionalHeaderOffset(launcher) + kChecksumField + 4;

  // A launcher image longer than one compare chunk (64 KiB): a difference
  // far into it is named at its own offset.
  Bytes longLauncher = launcher;
  longLauncher.resize(3 * 0x10000, 0);
  WriteBytes(dir.File("long-launcher.exe"), longLauncher);
  Bytes farChange =
      product(longLauncher, pack::PaddingBetween(longLauncher.size(), payload.size()), kTableSize);
  const uint64_t farAt = 2 * 0x10000 + 77;
  farChange[farAt] = 0x01;

  struct VerifyCase {
    const char* name;
    Bytes product;
    std::string field;  // "null" for a match, with exit status 0; else 1
    uint64_t offset;
    std::string launcher = LauncherExePath();
  };
  const VerifyCase cases[] = {
      {"unsigned", unsigned_, "null", 0},
      {"signed", signed_, "null", 0},
      {"changed launcher byte", changed(0x400, 0x01), "launcher_byte", 0x400},
      {"subsystem after the checksum", changed(subsystemAt, 0x01), "launcher_byte", subsystemAt},
      {"DLL characteristics", changed(subsystemAt + 2, 0x40), "launcher_byte", subsystemAt + 2},
      {"launcher of another build", product(otherBuild, padding, kTableSize), "launcher_byte",
       revisionAt},
      {"cut inside the launcher", Slice(signed_, 0, imageSize / 2), "launcher_size", imageSize / 2},
      // Both ends of the padding are checked.
      {"non-zero padding", changed(imageSize, 0x20), "padding_byte", imageSize},
      {"non-zero last padding byte", changed(payloadOffset - 1, 0x01), "padding_byte",
       payloadOffset - 1},
      {"padding too long", product(launcher, padding + 8, kTableSize), "padding_size", imageSize},
      {"payload does not match", changed(payloadOffset + 100, 0x80), "payload_digest",
       payloadOffset},
      {"bytes after an unsigned file", appendedUnsigned, "trailer", appendedUnsigned.size()},
      {"certificate table cut short", cutSignature, "security_directory", trailerEnd},
      {"table shorter than its own header", product(launcher, padding, 4), "security_directory",
       trailerEnd},
      {"bytes after the signature", appended, "data_after_certificate_table", signed_.size()},
      {"beyond the first compare chunk", farChange, "launcher_byte", farAt,
       dir.File("long-launcher.exe")},
  };
  // Its help explains every key of the JSON report.
  const std::string help = RunZorpackProgram({"help", "verify"}).out;
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("Updater.exe");
    WriteBytes(path, c.product);
    ProgramRun run = RunZorpackProgram({"verify", "--launcher", c.launcher, path, "--json"});
    const bool same = c.field == "null";
    EXPECT_EQ(run.exitCode, same ? kStatusSuccess : kStatusProductDiffers) << run.err;
    std::map<std::string, std::string> keys = JsonObjectMembers(run.out);
    ASSERT_FALSE(keys.empty()) << run.out;
    EXPECT_EQ(keys["first_difference"], c.field) << run.out;
    for (const auto& [key, value] : keys) EXPECT_TRUE(Contains(help, key)) << key;
    EXPECT_EQ(keys["signature_checked"], "false");
    if (same) {
      EXPECT_EQ(keys["verdict"], "same");
      EXPECT_TRUE(run.err.empty()) << run.err;
      continue;
    }
    EXPECT_EQ(keys["verdict"], "different");
    EXPECT_EQ(keys["first_difference_offset"], std::to_string(c.offset)) << run.out;
    ExpectOneErrorLine(run);
    EXPECT_TRUE(Contains(run.err, c.field + " at offset " + std::to_string(c.offset))) << run.err;
  }

  // Without --json: a line per check, the verdict and where to check the
  // signature.
  WriteBytes(dir.File("good.exe"), signed_);
  ProgramRun good =
      RunZorpackProgram({"verify", "--launcher", LauncherExePath(), dir.File("good.exe")});
  EXPECT_EQ(good.exitCode, kStatusSuccess) << good.err;
  for (const char* line : {"launcher: ok", "padding: ok", "payload: ok", "trailer: ok",
                           "certificate_table: ok", "verdict: SAME", "osslsigncode verify"}) {
    EXPECT_TRUE(Contains(good.out, line)) << good.out;
  }
  WriteBytes(dir.File("bad.exe"), changed(payloadOffset + 100, 0x80));
  ProgramRun bad =
      RunZorpackProgram({"verify", "--launcher", LauncherExePath(), dir.File("bad.exe")});
  EXPECT_EQ(bad.exitCode, kStatusProductDiffers);
  EXPECT_TRUE(Contains(
      bad.out, "payload: DIFFERS (payload_digest at offset " + std::to_string(payloadOffset) + ")"))
      << bad.out;
  EXPECT_TRUE(Contains(bad.out, "verdict: DIFFERENT")) << bad.out;
}

}  // namespace

}  // namespace zor::test
