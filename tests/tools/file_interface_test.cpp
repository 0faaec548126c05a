// The file interface that the launcher, the packer and the tests share, on
// the platform the tests run on: one "no file" value, exclusive creation,
// and the identity that tells files apart.
#include <gtest/gtest.h>

#include <string>

#include "pack_platform.h"
#include "runtime/file.h"
#include "tools/pack_files.h"

namespace zor::test {

namespace {

TEST(FileInterface, CreatesExclusivelyAndTellsFilesApart) {
  PackDir dir;
  const auto created = pack::NativePath(dir.File("created"));
  const auto other = pack::NativePath(dir.File("other"));
  const auto missing = pack::NativePath(dir.File("missing"));
  WriteBytes(dir.File("other"), Bytes(1, 'o'));

  UniqueFile file(CreateExclusively(created.c_str()));
  ASSERT_TRUE(file.IsValid());
  EXPECT_TRUE(WriteAll(file.Get(), "abc", 3));
  // Anything under the name refuses it: a file, whether open or not; and
  // for that reason, not another.
  for (const auto& taken : {created, other}) {
    EXPECT_EQ(CreateExclusively(taken.c_str()), NoFile());
    EXPECT_TRUE(pack::LastFailureWasNameTaken()) << pack::LastFailureText();
  }
  EXPECT_EQ(ReadBytes(dir.File("other")), Bytes(1, 'o'));

  FileIdentity byHandle;
  FileIdentity byPath;
  FileIdentity ofOther;
  ASSERT_TRUE(QueryFileIdentity(file.Get(), &byHandle));
  ASSERT_TRUE(QueryPathIdentity(created.c_str(), &byPath));
  ASSERT_TRUE(QueryPathIdentity(other.c_str(), &ofOther));
  EXPECT_TRUE(IsSameFile(byHandle, byPath));
  EXPECT_FALSE(IsSameFile(byHandle, ofOther));
  // The same index on another volume or device is another file.
  FileIdentity elsewhere = byHandle;
  elsewhere.device ^= 1;
  EXPECT_FALSE(IsSameFile(byHandle, elsewhere));
  EXPECT_EQ(byHandle.size, 3);
  EXPECT_FALSE(QueryPathIdentity(missing.c_str(), &ofOther));

  // One value stands for "no file": a failed open's and an empty owner's.
  EXPECT_EQ(OpenForReading(missing.c_str(), ReadSharing::kKeepUnchanged), NoFile());
  EXPECT_EQ(OpenForReading(missing.c_str(), ReadSharing::kLetOthersRemove), NoFile());
  file.Reset();
  EXPECT_EQ(file.Get(), NoFile());
  EXPECT_FALSE(IsOpenFile(NoFile()));
}

}  // namespace

}  // namespace zor::test
