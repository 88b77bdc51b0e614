#include "imageio/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace testing;

TEST(WriteFileAtomically, WritesAndReplacesWholeFiles) {
  TempDir dir;
  const std::string target = dir.str() + "page.jpg";
  const Bytes first(100000, 0xAB), second = {1, 2, 3};
  ASSERT_TRUE(WriteFileAtomically(target, first));
  EXPECT_EQ(ReadBytes(target), first);
  ASSERT_TRUE(WriteFileAtomically(target, second));  // a shorter file replaces a longer one
  EXPECT_EQ(ReadBytes(target), second);
  // A bare name is in the current folder (the temporary file too).
  ScopedCurrentPath inside(dir.path());
  ASSERT_TRUE(WriteFileAtomically("empty", {}));
  EXPECT_EQ(ReadBytes(dir / "empty"), Bytes{});
  EXPECT_EQ(EntryNames(dir.path()), (std::vector<std::string>{"empty", "page.jpg"}));
}

TEST(WriteFileAtomically, NewFileGetsTheUsualPermissions) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
    TempDir dir;
    const mode_t previous = umask(mask);
    const bool written = WriteFileAtomically(dir.str() + "out.jpg", Bytes{1});
    umask(previous);
    struct stat info {};
    ASSERT_TRUE(written && stat((dir / "out.jpg").c_str(), &info) == 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
}

// Failing at the open (no such folder) and at the rename (a folder in the way, which must keep
// what it holds) changes nothing and leaves no temporary file. Neither depends on permission bits,
// so both hold when the tests run as root.
TEST(WriteFileAtomically, FailureChangesNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir / "out.jpg");
  WriteBytes(dir / "out.jpg" / "keep.jpg", {4, 5, 6});
  for (const char* target : {"missing/out.jpg", "out.jpg"}) {
    EXPECT_FALSE(WriteFileAtomically(dir.str() + target, Bytes(5000, 7))) << target;
  }
  EXPECT_EQ(EntryNames(dir.path()), std::vector<std::string>{"out.jpg"});
  EXPECT_EQ(EntryNames(dir / "out.jpg"), std::vector<std::string>{"keep.jpg"});
  EXPECT_EQ(ReadBytes(dir / "out.jpg" / "keep.jpg"), (Bytes{4, 5, 6}));
}

}  // namespace
}  // namespace quarnel
