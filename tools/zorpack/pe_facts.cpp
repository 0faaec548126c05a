#include "pe_facts.h"

#include <string>
#include <utility>

#include "payload/pe_layout.h"

namespace zor::pack {

namespace {

// The loader's own limit on the number of sections.
constexpr uint16_t kMaxSections = 96;

// Manifests are small; a larger resource is not read, only refused.
constexpr uint32_t kMaxManifestSize = 64 * 1024;

constexpr char kIdentityElement[] = "<assemblyIdentity";
constexpr char kNameAttribute[] = "name=\"";

// The headers from the PE signature on: the COFF header, an optional header
// of any size its field can give, and the longest section table the loader
// takes.
constexpr uint64_t kHeaderBlockSize =
    kOptionalHeaderOffset + UINT16_MAX + uint64_t{kMaxSections} * kSectionHeaderSize;

// The resource tree is read from its root to the end of its section, this
// much at most; a manifest beyond that is read on its own.
constexpr uint64_t kMaxResourceBlockSize = 256 * 1024;

bool ReadBlock(FileHandle file, int64_t fileSize, int64_t offset, uint64_t size, FileBlock* block) {
  if (offset < 0 || offset > fileSize) return false;
  uint64_t held = static_cast<uint64_t>(fileSize - offset);
  if (size > held) size = held;
  block->offset = offset;
  // Exactly as long as what it holds, so that AddressSanitizer sees any read
  // past its end.
  block->bytes = std::vector<unsigned char>(static_cast<size_t>(size));
  return SeekTo(file, offset) && ReadExact(file, block->bytes.data(), static_cast<uint32_t>(size));
}

// The `size` bytes at file offset `offset`, or null when the block does not
// hold all of them: the one bound that every field read passes.
const unsigned char* Span(const FileBlock& block, int64_t offset, uint64_t size) {
  if (offset < block.offset) return nullptr;
  uint64_t at = static_cast<uint64_t>(offset - block.offset);
  if (at > block.bytes.size() || block.bytes.size() - at < size) return nullptr;
  return block.bytes.data() + at;
}

template <typename T>
bool Field(const FileBlock& block, int64_t offset, T* value) {
  const unsigned char* bytes = Span(block, offset, sizeof(T));
  if (bytes == nullptr) return false;
  *value = LoadLittle<T>(bytes);
  return true;
}

// The file offset of a relative virtual address, through the section that
// holds it in its file data, and where that section's file data ends.
bool FileOffsetOf(const PeHeaderFacts& facts, uint32_t rva, int64_t* offset, int64_t* sectionEnd) {
  for (uint16_t i = 0; i < facts.sectionCount && i < kMaxSections; ++i) {
    const unsigned char* section =
        Span(facts.headerBlock, facts.sectionTable + int64_t{i} * kSectionHeaderSize,
             kSectionHeaderSize);
    if (section == nullptr) return false;
    uint32_t start = LoadLittle<uint32_t>(section + kSectionVirtualAddressField);
    uint32_t rawSize = LoadLittle<uint32_t>(section + kSectionRawSizeField);
    if (rva >= start && rva - start < rawSize) {
      *offset = int64_t{LoadLittle<uint32_t>(section + kSectionRawPointerField)} + (rva - start);
      *sectionEnd = *offset - (rva - start) + rawSize;
      return true;
    }
  }
  return false;
}

// The entry of a resource directory (at `directory`, an offset from the
// resource root) that has `id`, or its first entry when `id` is 0.
bool FindResourceEntry(const FileBlock& tree, uint32_t directory, uint32_t id, uint32_t* target) {
  int64_t at = tree.offset + directory;
  const unsigned char* header = Span(tree, at, kResourceDirectorySize);
  if (header == nullptr) return false;
  uint32_t count = uint32_t{LoadLittle<uint16_t>(header + kResourceNamedCountField)} +
                   LoadLittle<uint16_t>(header + kResourceIdCountField);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* entry = Span(
        tree, at + kResourceDirectorySize + int64_t{i} * kResourceEntrySize, kResourceEntrySize);
    if (entry == nullptr) return false;
    uint32_t name = LoadLittle<uint32_t>(entry);
    if (id != 0 && ((name & kResourceNameIsStringFlag) != 0 || name != id)) continue;
    *target = LoadLittle<uint32_t>(entry + kResourceEntryTargetField);
    return true;
  }
  return false;
}

// The first manifest resource's bytes: type RT_MANIFEST, then its first
// name and first language.
bool ReadManifest(FileHandle file, const PeHeaderFacts& facts, std::string* manifest) {
  int64_t root = 0;
  int64_t sectionEnd = 0;
  if (facts.resourceRva == 0 || !FileOffsetOf(facts, facts.resourceRva, &root, &sectionEnd)) {
    return false;
  }
  uint64_t treeSize = static_cast<uint64_t>(sectionEnd - root);
  FileBlock tree;
  if (!ReadBlock(file, facts.fileSize, root,
                 treeSize < kMaxResourceBlockSize ? treeSize : kMaxResourceBlockSize, &tree)) {
    return false;
  }
  uint32_t entry = 0;
  if (!FindResourceEntry(tree, 0, kManifestResourceType, &entry)) return false;
  for (int level = 0; level < 2; ++level) {
    if ((entry & kResourceSubdirectoryFlag) == 0) return false;
    if (!FindResourceEntry(tree, entry & ~kResourceSubdirectoryFlag, 0, &entry)) return false;
  }
  if ((entry & kResourceSubdirectoryFlag) != 0) return false;
  const unsigned char* data = Span(tree, root + entry, kResourceDataEntrySize);
  if (data == nullptr) return false;
  uint32_t size = LoadLittle<uint32_t>(data + kResourceDataSizeField);
  int64_t offset = 0;
  if (size > kMaxManifestSize ||
      !FileOffsetOf(facts, LoadLittle<uint32_t>(data), &offset, &sectionEnd)) {
    return false;
  }
  const unsigned char* bytes = Span(tree, offset, size);
  FileBlock elsewhere;
  if (bytes == nullptr && ReadBlock(file, facts.fileSize, offset, size, &elsewhere)) {
    bytes = Span(elsewhere, offset, size);
  }
  if (bytes == nullptr) return false;
  manifest->assign(reinterpret_cast<const char*>(bytes), size);
  return true;
}

}  // namespace

bool ReadPeHeaderFacts(FileHandle file, PeHeaderFacts* facts) {
  PeHeaderFacts result = {};
  if (!ReadPeHeaders(file, &result.headers) || !QueryFileSize(file, &result.fileSize)) {
    return false;
  }
  const PeHeaders& headers = result.headers;
  bool pe32Plus = IsPe32Plus(headers);
  int64_t newHeader = headers.optionalHeader - kOptionalHeaderOffset;
  const FileBlock& block = result.headerBlock;
  uint16_t optionalSize = 0;
  if (!ReadBlock(file, result.fileSize, newHeader, kHeaderBlockSize, &result.headerBlock) ||
      !Field(block, newHeader + kCoffSectionCountField, &result.sectionCount) ||
      !Field(block, newHeader + kCoffOptionalSizeField, &optionalSize) ||
      !Field(block, newHeader + kCoffCharacteristicsField, &result.characteristics)) {
    return false;
  }
  int64_t securityEntry =
      headers.optionalHeader + DataDirectoryOffset(pe32Plus, kSecurityDirectoryIndex);
  if (!Field(block, securityEntry + kDirectorySizeField, &result.securitySize)) return false;
  Field(block, headers.optionalHeader + kSubsystemField, &result.subsystem);
  uint32_t directoryCount = 0;
  int64_t directoryCountField = pe32Plus ? kPe32PlusDirectoryCountField : kPe32DirectoryCountField;
  if (Field(block, headers.optionalHeader + directoryCountField, &directoryCount) &&
      directoryCount > kResourceDirectoryIndex) {
    Field(block, headers.optionalHeader + DataDirectoryOffset(pe32Plus, kResourceDirectoryIndex),
          &result.resourceRva);
  }
  result.sectionTable = headers.optionalHeader + optionalSize;
  *facts = std::move(result);
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
