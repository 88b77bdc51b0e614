#include "pages/page_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Names ending in .jpg in any case that are files or links to files, in table order: letters
// compare as capitals, so '_' (0x5F) follows every letter; a prefix comes first; ties go by bytes.
TEST(ListInputFiles, FilesInTableOrder) {
  test::TempDir dir;
  for (const char* name : {"a.jpg", "B.JPG", "c.png", "x.Jpg", "A.jpg", "ab.jpg", "a.jpg.jpg",
                           "_u.jpg", "Zeta.jpg", "zeta.jpg", "\xE9t\xE9.jpg", "x.jpeg", "xjpg"})
    test::WriteBytes(dir / name, {0xFF, 0xD8});
  fs::create_directories(dir / "sub.jpg" / "in.jpg");
  ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0644), 0);
  fs::create_symlink("B.JPG", dir / "link.jpg");
  fs::create_symlink("missing.jpg", dir / "dangling.jpg");
  fs::create_symlink("loop.jpg", dir / "loop.jpg");
  const PageTable table = ListInputFiles(dir.str());
  Names names;
  for (const PageRecord& record : table.records) names.push_back(record.name);
  EXPECT_EQ(names, (Names{"A.jpg", "a.jpg", "a.jpg.jpg", "ab.jpg", "B.JPG", "link.jpg", "x.Jpg",
                          "Zeta.jpg", "zeta.jpg", "_u.jpg", "\xE9t\xE9.jpg"}));
  EXPECT_EQ(ListInputFiles((dir / "missing").string() + "/").count(), 0);
}

}  // namespace
}  // namespace quarnel
