// The zorpack program as release engineers run it: exit statuses, the
// report it prints, one-line errors, help and version, and the JSON report.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

namespace {

constexpr int kStatusSuccess = 0;
constexpr int kStatusDigestMismatch = 1;
constexpr int kStatusFailure = 2;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One line, prefixed with the program's name, and nothing else.
void ExpectOneErrorLine(const ProgramRun& run) {
  EXPECT_EQ(run.err.rfind("zorpack: ", 0), 0u) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

// A flat JSON object of numbers, booleans and plain strings, as inspect
// --json prints it; values are kept as their text. Empty when the text is
// not such an object.
std::map<std::string, std::string> ParseFlatJson(const std::string& text) {
  std::map<std::string, std::string> values;
  size_t at = 0;
  auto skipSpace = [&] {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  };
  auto expect = [&](char c) {
    skipSpace();
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  };
  auto readString = [&](std::string* out) {
    if (!expect('"')) return false;
    size_t end = text.find('"', at);
    if (end == std::string::npos) return false;
    *out = text.substr(at, end - at);
    at = end + 1;
    return true;
  };
  if (!expect('{')) return {};
  do {
    std::string key;
    std::string value;
    if (!readString(&key) || !expect(':')) return {};
    skipSpace();
    if (at < text.size() && text[at] == '"') {
      if (!readString(&value)) return {};
    } else {
      while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])))) {
        value += text[at++];
      }
      if (value.empty()) return {};
    }
    values[key] = value;
  } while (expect(','));
  if (!expect('}')) return {};
  skipSpace();
  return at == text.size() ? values : std::map<std::string, std::string>{};
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
      {{"help", "pack"}, "Refused, with nothing written"},
      {{"pack", "--help"}, "Refused, with nothing written"},
      {{"inspect", "-h"}, "--json prints one JSON object"},
      {{"help", "extract"}, "usage: zorpack extract FILE OUTPUT"},
      {{"extract", "--help"}, "usage: zorpack extract FILE OUTPUT"},
      {{"help", "version"}, "source revision"},
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

  ProgramRun bare = RunZorpackProgram({});
  EXPECT_EQ(bare.exitCode, kStatusFailure);
  EXPECT_TRUE(Contains(bare.err, "zorpack pack LAUNCHER PAYLOAD OUTPUT")) << bare.err;
  EXPECT_TRUE(bare.out.empty());
}

TEST(zorpack_program, BadUsageAndBadFilesExitWithStatus2) {
  PackDir dir;
  WriteBytes(dir.File("text.exe"), Bytes(200, 'x'));
  const std::string missing = dir.File("missing.exe");
  const std::string launcher = LauncherExePath();
  const std::string tool = SampleToolExePath();
  const std::vector<std::vector<std::string>> invocations = {
      {"frobnicate"},
      {"help", "frobnicate"},
      {"help", "pack", "inspect"},
      {"version", "now"},
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
  };
  for (const auto& arguments : invocations) {
    std::string shown;
    for (const auto& argument : arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    ProgramRun run = RunZorpackProgram(arguments);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kStatusFailure);
    ExpectOneErrorLine(run);
    EXPECT_FALSE(Contains(run.err, "zorpack-tmp")) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(Exists(dir.File("out.exe")));
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
  std::map<std::string, std::string> keys = ParseFlatJson(json.out);
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

  // Signed, as a signing tool leaves it: a certificate table after the
  // trailer and the security directory pointing at it.
  constexpr uint32_t kTableSize = 512;
  Bytes signedBytes = ReadBytes(packed);
  const uint32_t tableOffset = static_cast<uint32_t>(signedBytes.size());
  Bytes table = PatternBytes(kTableSize, 9);
  signedBytes.insert(signedBytes.end(), table.begin(), table.end());
  Store32(signedBytes, SecurityDirectoryOffset(signedBytes), tableOffset);
  Store32(signedBytes, SecurityDirectoryOffset(signedBytes) + 4, kTableSize);
  const std::string signedPacked = dir.File("Signed Updater.exe");
  WriteBytes(signedPacked, signedBytes);
  ProgramRun signedJson = RunZorpackProgram({"inspect", "--json", signedPacked});
  EXPECT_EQ(signedJson.exitCode, kStatusSuccess) << signedJson.err;
  std::map<std::string, std::string> signedExpected = expected;
  signedExpected["certificate_table_offset"] = std::to_string(tableOffset);
  signedExpected["certificate_table_size"] = std::to_string(kTableSize);
  EXPECT_EQ(ParseFlatJson(signedJson.out), signedExpected) << signedJson.out;

  ProgramRun extract = RunZorpackProgram({"extract", packed, extracted});
  EXPECT_EQ(extract.exitCode, kStatusSuccess) << extract.err;
  EXPECT_EQ(ReadBytes(extracted), tool);
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
  EXPECT_EQ(ParseFlatJson(json.out)["payload_matches"], "false") << json.out;

  ProgramRun extract = RunZorpackProgram({"extract", packed, dir.File("tool.exe")});
  EXPECT_EQ(extract.exitCode, kStatusDigestMismatch);
  ExpectOneErrorLine(extract);
  EXPECT_FALSE(Exists(dir.File("tool.exe")));

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
  EXPECT_EQ(ParseFlatJson(json.out)["launcher_recognised"], "false") << json.out;
}

}  // namespace

}  // namespace zor::test
