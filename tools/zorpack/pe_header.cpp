#include "pe_header.h"

#include <string>

#include "payload/pe_layout.h"

namespace zor::pack {

namespace {

// The loader's own limit on the number of sections.
constexpr uint16_t kMaxSections = 96;

// Manifests are small; a larger resource is not read, only refused.
constexpr uint32_t kMaxManifestSize = 64 * 1024;

constexpr char kIdentityElement[] = "<assemblyIdentity";
constexpr char kNameAttribute[] = "name=\"";

// Reads `count` bytes at `offset`, refusing ranges that leave the file
// rather than relying on a short read.
bool ReadAt(FileHandle file, int64_t offset, void* buffer, uint32_t count) {
  int64_t fileSize = 0;
  if (!QueryFileSize(file, &fileSize)) return false;
  if (offset < 0 || offset > fileSize || fileSize - offset < count) return false;
  return SeekTo(file, offset) && ReadExact(file, buffer, count);
}

bool ReadField16(FileHandle file, int64_t offset, uint16_t* value) {
  unsigned char bytes[2];
  if (!ReadAt(file, offset, bytes, sizeof bytes)) return false;
  *value = LoadLittle16(bytes);
  return true;
}

bool ReadField32(FileHandle file, int64_t offset, uint32_t* value) {
  unsigned char bytes[4];
  if (!ReadAt(file, offset, bytes, sizeof bytes)) return false;
  *value = LoadLittle32(bytes);
  return true;
}

// The file offset of a relative virtual address, through the section that
// holds it in its file data.
bool FileOffsetOf(FileHandle file, const PeHeaderFacts& facts, uint32_t rva, int64_t* offset) {
  for (uint16_t i = 0; i < facts.sectionCount && i < kMaxSections; ++i) {
    unsigned char section[kSectionHeaderSize];
    if (!ReadAt(file, facts.sectionTable + int64_t{i} * kSectionHeaderSize, section,
                sizeof section)) {
      return false;
    }
    uint32_t start = LoadLittle32(section + kSectionVirtualAddressField);
    uint32_t rawSize = LoadLittle32(section + kSectionRawSizeField);
    if (rva >= start && rva - start < rawSize) {
      *offset = int64_t{LoadLittle32(section + kSectionRawPointerField)} + (rva - start);
      return true;
    }
  }
  return false;
}

// The entry of a resource directory (at `directory`, an offset from the
// resource root) that has `id`, or its first entry when `id` is 0.
bool FindResourceEntry(FileHandle file, int64_t root, uint32_t directory, uint32_t id,
                       uint32_t* target) {
  unsigned char header[kResourceDirectorySize];
  if (!ReadAt(file, root + directory, header, sizeof header)) return false;
  uint32_t count = uint32_t{LoadLittle16(header + kResourceNamedCountField)} +
                   LoadLittle16(header + kResourceIdCountField);
  for (uint32_t i = 0; i < count; ++i) {
    unsigned char entry[kResourceEntrySize];
    if (!ReadAt(file, root + directory + kResourceDirectorySize + int64_t{i} * kResourceEntrySize,
                entry, sizeof entry)) {
      return false;
    }
    uint32_t name = LoadLittle32(entry);
    if (id != 0 && ((name & kResourceNameIsStringFlag) != 0 || name != id)) continue;
    *target = LoadLittle32(entry + 4);
    return true;
  }
  return false;
}

// The first manifest resource's bytes: type RT_MANIFEST, then its first
// name and first language.
bool ReadManifest(FileHandle file, const PeHeaderFacts& facts, std::string* manifest) {
  int64_t root = 0;
  if (facts.resourceRva == 0 || !FileOffsetOf(file, facts, facts.resourceRva, &root)) return false;
  uint32_t entry = 0;
  if (!FindResourceEntry(file, root, 0, kManifestResourceType, &entry)) return false;
  for (int level = 0; level < 2; ++level) {
    if ((entry & kResourceSubdirectoryFlag) == 0) return false;
    if (!FindResourceEntry(file, root, entry & ~kResourceSubdirectoryFlag, 0, &entry)) return false;
  }
  if ((entry & kResourceSubdirectoryFlag) != 0) return false;
  unsigned char data[kResourceDataEntrySize];
  if (!ReadAt(file, root + entry, data, sizeof data)) return false;
  uint32_t size = LoadLittle32(data + 4);
  int64_t offset = 0;
  if (size > kMaxManifestSize || !FileOffsetOf(file, facts, LoadLittle32(data), &offset)) {
    return false;
  }
  manifest->assign(size, '\0');
  return ReadAt(file, offset, &(*manifest)[0], size);
}

}  // namespace

bool ReadPeHeaderFacts(FileHandle file, PeHeaderFacts* facts) {
  PeHeaderFacts result = {};
  if (!ReadPeHeaders(file, &result.headers)) return false;
  const PeHeaders& headers = result.headers;
  bool pe32Plus = IsPe32Plus(headers);
  int64_t directoryCountField = pe32Plus ? kPe32PlusDirectoryCountField : kPe32DirectoryCountField;
  int64_t newHeader = headers.optionalHeader - kOptionalHeaderOffset;
  uint16_t optionalSize = 0;
  if (!ReadField16(file, newHeader + kCoffSectionCountField, &result.sectionCount) ||
      !ReadField16(file, newHeader + kCoffOptionalSizeField, &optionalSize) ||
      !ReadField16(file, newHeader + kCoffCharacteristicsField, &result.characteristics)) {
    return false;
  }
  int64_t securitySizeField =
      headers.optionalHeader + DataDirectoryOffset(pe32Plus, kSecurityDirectoryIndex) + 4;
  if (!ReadField32(file, securitySizeField, &result.securitySize)) return false;
  uint32_t directoryCount = 0;
  ReadField16(file, headers.optionalHeader + kSubsystemField, &result.subsystem);
  if (ReadField32(file, headers.optionalHeader + directoryCountField, &directoryCount) &&
      directoryCount > kResourceDirectoryIndex) {
    ReadField32(file,
                headers.optionalHeader + DataDirectoryOffset(pe32Plus, kResourceDirectoryIndex),
                &result.resourceRva);
  }
  result.sectionTable = headers.optionalHeader + optionalSize;
  *facts = result;
  return true;
}

bool IsDll(const PeHeaderFacts& facts) {
  return (facts.characteristics & kDllImage) != 0;
}

bool IsWindowsProgram(const PeHeaderFacts& facts) {
  return (facts.characteristics & kExecutableImage) != 0 && !IsDll(facts) &&
         (facts.subsystem == kSubsystemWindowsGui || facts.subsystem == kSubsystemWindowsConsole);
}

bool HasManifestIdentity(FileHandle file, const PeHeaderFacts& facts, const char* identityName) {
  std::string manifest;
  if (!ReadManifest(file, facts, &manifest)) return false;
  // The manifest's own identity is its first assemblyIdentity element;
  // those of dependencies come later, nested in their own elements.
  size_t element = manifest.find(kIdentityElement);
  if (element == std::string::npos) return false;
  size_t end = manifest.find('>', element);
  if (end == std::string::npos) return false;
  std::string attributes = manifest.substr(element, end - element);
  std::string wanted = std::string(kNameAttribute) + identityName + "\"";
  size_t at = attributes.find(wanted);
  // "name" as a whole attribute name, not the end of another one.
  return at != std::string::npos && at > 0 &&
         (attributes[at - 1] == ' ' || attributes[at - 1] == '\t' || attributes[at - 1] == '\n' ||
          attributes[at - 1] == '\r');
}

}  // namespace zor::pack
