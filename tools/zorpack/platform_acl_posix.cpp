#include "platform_acl_posix.h"

#include <errno.h>
#include <sys/xattr.h>

#include "platform_output.h"

namespace zor::pack {

namespace {

constexpr char kAccessAclName[] = "system.posix_acl_access";
constexpr size_t kAclHeaderSize = 4;
constexpr size_t kAclEntrySize = 8;
constexpr unsigned kAclUserObject = 0x01;
constexpr unsigned kAclGroupObject = 0x04;
constexpr unsigned kAclMask = 0x10;
constexpr unsigned kAclOther = 0x20;

// Set by tests only.
void (*beforeFinalModeHook)() = nullptr;

// Sets the mode of `file`, whose ACL is in place.
bool SetMode(FileHandle file, mode_t mode) {
  if (beforeFinalModeHook != nullptr) beforeFinalModeHook();
  return fchmod(file, mode) == 0;
}

}  // namespace

void SetBeforeFinalModeHookForTesting(void (*hook)()) {
  beforeFinalModeHook = hook;
}

bool ReadAccessAcl(FileHandle file, std::string* acl) {
  acl->clear();
  ssize_t size = fgetxattr(file, kAccessAclName, nullptr, 0);
  if (size < 0) return errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP;
  acl->resize(static_cast<size_t>(size));
  size = fgetxattr(file, kAccessAclName, &(*acl)[0], acl->size());
  if (size < 0) return false;
  acl->resize(static_cast<size_t>(size));
  return true;
}

std::string AclWithMode(std::string acl, mode_t mode) {
  if (acl.size() < kAclHeaderSize || (acl.size() - kAclHeaderSize) % kAclEntrySize != 0) {
    return std::string();
  }
  bool hasMask = false;
  for (size_t at = kAclHeaderSize; at < acl.size(); at += kAclEntrySize) {
    hasMask |= static_cast<unsigned char>(acl[at]) == kAclMask;
  }
  const unsigned groupClass = hasMask ? kAclMask : kAclGroupObject;
  for (size_t at = kAclHeaderSize; at < acl.size(); at += kAclEntrySize) {
    unsigned tag = static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1])
                                                             << 8;
    int shift = tag == kAclUserObject ? 6 : tag == groupClass ? 3 : tag == kAclOther ? 0 : -1;
    if (shift < 0) continue;
    acl[at + 2] = static_cast<char>((mode >> shift) & 07);
    acl[at + 3] = 0;
  }
  return acl;
}

bool SetAccess(FileHandle file, const std::string& acl, mode_t mode) {
  if (acl.empty()) {
    bool removed = fremovexattr(file, kAccessAclName) == 0 || errno == ENODATA ||
                   errno == ENOTSUP || errno == EOPNOTSUPP;
    return removed && SetMode(file, mode);
  }
  std::string narrowed = AclWithMode(acl, mode);
  if (narrowed.empty()) {
    errno = EINVAL;
    return false;
  }
  return fsetxattr(file, kAccessAclName, narrowed.data(), narrowed.size(), 0) == 0 &&
         SetMode(file, mode);
}

}  // namespace zor::pack
