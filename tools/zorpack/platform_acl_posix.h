// A file's access ACL as Linux keeps it, in an extended attribute: a 4-byte
// version, then 8-byte entries of tag, permissions and ID, little-endian.
#pragma once

#include <sys/stat.h>

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// The ACL of the open file `file` into `*acl`: empty when it has none or
// the file system keeps none. False on any other failure: access is never
// widened because an ACL could not be read.
bool ReadAccessAcl(FileHandle file, std::string* acl);

// `acl` with its owner, group class (the mask, or the owning group's entry
// when there is no mask) and others entries set to the bits of `mode`, as
// chmod would set them; empty when it is not a well-formed ACL.
std::string AclWithMode(std::string acl, mode_t mode);

// Gives `file` the access ACL `acl` (none when empty) and `mode`. The ACL
// goes on already narrowed to `mode`: set first and narrowed after, it
// would let others open the file for writing in between.
bool SetAccess(FileHandle file, const std::string& acl, mode_t mode);

}  // namespace zor::pack
