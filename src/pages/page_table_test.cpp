#include "pages/page_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

void Touch(const fs::path& path) {
  testing::WriteBytes(path, {0xFF, 0xD8});
}

std::vector<std::string> Names(const PageTable& table) {
  std::vector<std::string> names;
  for (const PageRecord& record : table.records) {
    names.push_back(record.name);
    EXPECT_FALSE(record.box.has_value()) << record.name;
  }
  return names;
}

TEST(ListInputFiles, ListsJpgFilesInTableOrder) {
  TempDir dir;
  for (const char* name : {"a.jpg", "B.JPG", "c.png", "x.Jpg", "A.jpg", "ab.jpg", "p10.jpg",
                           "p2.jpg", "_under.jpg", "Zeta.jpg", "zeta.jpg", "my page.jpg",
                           "-dash.jpg", "\xE9t\xE9.jpg", "x.jpeg", "x.jpg.png", "xjpg"}) {
    Touch(dir / name);
  }
  fs::create_directory(dir / "sub.jpg");
  Touch(dir / "sub.jpg" / "inner.jpg");
  ASSERT_EQ(mkfifo((dir / "f.jpg").c_str(), 0644), 0);
  fs::create_symlink(dir / "a.jpg", dir / "link.jpg");
  fs::create_symlink(dir / "missing.jpg", dir / "d.jpg");
  fs::create_directory_symlink(dir / "sub.jpg", dir / "ld.jpg");

  PageTable table;
  table.records.push_back(PageRecord{"stale.jpg", {}});
  ASSERT_TRUE(ListInputFiles(dir.str(), table));
  // Letters compare as capitals, so '_' (0x5F) follows every letter; ties go by raw bytes.
  const std::vector<std::string> expected = {
      "-dash.jpg", "A.jpg",  "a.jpg", "ab.jpg",   "B.JPG",    "link.jpg",   "my page.jpg",
      "p10.jpg",   "p2.jpg", "x.Jpg", "Zeta.jpg", "zeta.jpg", "_under.jpg", "\xE9t\xE9.jpg"};
  EXPECT_EQ(Names(table), expected);
  EXPECT_EQ(table.count(), static_cast<std::int32_t>(expected.size()));
}

struct FolderCase {
  const char* what;
  void (*make)(const fs::path& dir);
  const char* inDir;  // relative to the temporary folder
  bool expected;
  std::vector<std::string> names;
};

void PrintTo(const FolderCase& c, std::ostream* os) {
  *os << c.what;
}

class ListFolderCases : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ListFolderCases, GivesResultAndNames) {
  TempDir dir;
  GetParam().make(dir.path());
  PageTable table;
  table.records.push_back(PageRecord{"stale.jpg", {}});
  EXPECT_EQ(ListInputFiles(dir.str() + GetParam().inDir, table), GetParam().expected);
  EXPECT_EQ(Names(table), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListFolderCases,
    ::testing::Values(FolderCase{"missing folder", [](const fs::path&) {}, "nothing/", false, {}},
                      FolderCase{"empty folder", [](const fs::path&) {}, "", false, {}},
                      FolderCase{"no jpg",
                                 [](const fs::path& d) {
                                   Touch(d / "c.png");
                                   Touch(d / "jpg");
                                   fs::create_directory(d / "sub");
                                 },
                                 "",
                                 false,
                                 {}},
                      FolderCase{"only a subfolder x.jpg",
                                 [](const fs::path& d) { fs::create_directory(d / "x.jpg"); },
                                 "",
                                 true,
                                 {}},
                      FolderCase{"only a FIFO",
                                 [](const fs::path& d) { mkfifo((d / "f.jpg").c_str(), 0644); },
                                 "",
                                 true,
                                 {}},
                      FolderCase{"folder argument naming a file",
                                 [](const fs::path& d) { Touch(d / "page.jpg"); },
                                 "page.jpg/",
                                 false,
                                 {}},
                      FolderCase{"pages of a subfolder are not listed",
                                 [](const fs::path& d) {
                                   fs::create_directory(d / "in");
                                   Touch(d / "in" / "p.JPG");
                                   fs::create_directory(d / "in" / "deeper");
                                   Touch(d / "in" / "deeper" / "q.jpg");
                                 },
                                 "in/",
                                 true,
                                 {"p.JPG"}}),
    [](const ::testing::TestParamInfo<FolderCase>& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(ListInputFiles, EmptyInDirListsTheCurrentFolder) {
  TempDir dir;
  Touch(dir / "b.jpg");
  Touch(dir / "A.JPG");
  Touch(dir / "notes.txt");
  testing::ScopedCurrentPath inside(dir.path());
  PageTable table;
  ASSERT_TRUE(ListInputFiles("", table));
  EXPECT_EQ(Names(table), (std::vector<std::string>{"A.JPG", "b.jpg"}));
}

TEST(ComesBefore, IsAStrictOrder) {
  struct Pair {
    std::string a, b;
    bool before;
  };
  for (const Pair& p : std::vector<Pair>{{"a", "b", true},
                                         {"b", "a", false},
                                         {"a", "a", false},
                                         {"A", "a", true},
                                         {"a", "A", false},
                                         {"a", "AB", true},
                                         {"ab", "A", false},
                                         {"aB", "Ab", false},
                                         {"z", "_", true},
                                         {"_", "Z", false},
                                         {"Z", "[", true},
                                         {"~", "\x80", true},
                                         {"\xFF", "a", false}}) {
    EXPECT_EQ(ComesBefore(p.a, p.b), p.before) << '"' << p.a << "\" vs \"" << p.b << '"';
  }
}

}  // namespace
}  // namespace quarnel
