#include "imageio/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::TempDir;

// Restores the umask a test changed.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(umask(mask)) {}
  ~ScopedUmask() { umask(previous_); }

 private:
  mode_t previous_;
};

TEST(WriteFileAtomically, WritesAndReplacesWholeFiles) {
  TempDir dir;
  const fs::path target = dir / "page.jpg";
  const Bytes first(100000, 0xAB);
  ASSERT_TRUE(WriteFileAtomically(target.string(), first));
  EXPECT_EQ(testing::ReadBytes(target), first);
  // A shorter file replaces a longer one completely.
  const Bytes second = {1, 2, 3};
  ASSERT_TRUE(WriteFileAtomically(target.string(), second));
  EXPECT_EQ(testing::ReadBytes(target), second);
  ASSERT_TRUE(WriteFileAtomically((dir / "empty").string(), {}));
  EXPECT_EQ(fs::file_size(dir / "empty"), 0u);
  EXPECT_EQ(testing::EntryNames(dir.path()), (std::vector<std::string>{"empty", "page.jpg"}));
}

TEST(WriteFileAtomically, PathWithoutFolderIsInTheCurrentFolder) {
  TempDir dir;
  testing::ScopedCurrentPath inside(dir.path());
  ASSERT_TRUE(WriteFileAtomically("plain.jpg", Bytes{9}));
  EXPECT_EQ(testing::EntryNames(dir.path()), std::vector<std::string>{"plain.jpg"});
}

TEST(WriteFileAtomically, NewFileGetsTheUsualPermissions) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
    TempDir dir;
    const fs::path target = dir / "out.jpg";
    {
      ScopedUmask scoped(mask);
      ASSERT_TRUE(WriteFileAtomically(target.string(), Bytes{1}));
    }
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
}

struct FailureCase {
  const char* what;
  std::function<void(const fs::path& dir)> make;  // what stands in the way
  const char* target;                             // relative to the temporary folder
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.what;
}

class WriteFailure : public ::testing::TestWithParam<FailureCase> {};

// These failures do not depend on permission bits, so they hold when the tests run as root.
TEST_P(WriteFailure, ReportsFalseAndChangesNothing) {
  TempDir dir;
  GetParam().make(dir.path());
  std::vector<std::pair<std::string, Bytes>> before;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    before.emplace_back(entry.path().string(),
                        entry.is_regular_file() ? testing::ReadBytes(entry.path()) : Bytes{});
  }
  EXPECT_FALSE(WriteFileAtomically(dir.str() + GetParam().target, Bytes(5000, 7)));
  std::vector<std::pair<std::string, Bytes>> after;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    after.emplace_back(entry.path().string(),
                       entry.is_regular_file() ? testing::ReadBytes(entry.path()) : Bytes{});
  }
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);  // also: no temporary file left anywhere
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteFailure,
    ::testing::Values(FailureCase{"MissingFolder", [](const fs::path&) {}, "missing/out.jpg"},
                      FailureCase{"ParentIsAFile",
                                  [](const fs::path& d) {
                                    testing::WriteBytes(d / "file", {1, 2});
                                  },
                                  "file/out.jpg"},
                      FailureCase{"TargetIsAFolder",
                                  [](const fs::path& d) {
                                    fs::create_directory(d / "out.jpg");
                                    testing::WriteBytes(d / "out.jpg" / "keep.jpg", {4, 5, 6});
                                  },
                                  "out.jpg"},
                      FailureCase{"TargetIsAnEmptyFolder",
                                  [](const fs::path& d) { fs::create_directory(d / "out.jpg"); },
                                  "out.jpg"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace quarnel
