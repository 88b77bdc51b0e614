#include "pages/page_table.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using namespace testing;

// FIFOs, links and odd names run end to end; here each rule of the listing has a row.
TEST(ListInputFiles, ResultAndNamesInTableOrder) {
  TempDir dir;
  fs::create_directories(dir / "in" / "deeper");
  fs::create_directories(dir / "folder" / "x.jpg");
  fs::create_directories(dir / "none" / "sub");
  for (const char* name :
       {"a.jpg", "B.JPG", "c.png", "x.Jpg", "A.jpg", "ab.jpg", "p10.jpg", "p2.jpg", "_u.jpg",
        "Zeta.jpg", "zeta.jpg", "-dash.jpg", "\xE9t\xE9.jpg", "x.jpeg", "x.jpg.png", "xjpg",
        "none/c.png", "in/p.JPG", "in/deeper/q.jpg"}) {
    WriteBytes(dir / name, {0xFF, 0xD8});
  }
  fs::create_directory(dir / "sub.jpg");
  // Letters compare as capitals, so '_' (0x5F) follows every letter; ties go by raw bytes.
  const Names all = {"-dash.jpg", "A.jpg", "a.jpg",    "ab.jpg",   "B.JPG",  "p10.jpg",
                     "p2.jpg",    "x.Jpg", "Zeta.jpg", "zeta.jpg", "_u.jpg", "\xE9t\xE9.jpg"};
  // {inDir (relative to the temporary folder, the current folder), result, names}: a subfolder's
  // own subfolders are not listed; a .jpg name that is no file gives true and no page; no .jpg
  // name, no folder and a file given as the folder give false.
  const std::tuple<std::string, bool, Names> cases[] = {
      {"", true, all},      {"in/", true, {"p.JPG"}}, {"folder/", true, {}},
      {"none/", false, {}}, {"missing/", false, {}},  {"a.jpg/", false, {}}};
  ScopedCurrentPath inside(dir.path());
  for (const auto& [inDir, result, expected] : cases) {
    PageTable table{{{"stale.jpg", {}}}};
    EXPECT_EQ(ListInputFiles(inDir, table), result) << inDir;
    Names names;
    for (const PageRecord& record : table.records) names.push_back(record.name);
    EXPECT_EQ(names, expected) << inDir;
  }
}

// What the sort above cannot show: the order is strict, and a prefix comes first.
TEST(ComesBefore, IsAStrictOrder) {
  const std::tuple<std::string, std::string, bool> pairs[] = {
      {"a", "a", false},  {"A", "a", true},  {"a", "A", false}, {"aB", "Ab", false},
      {"Ab", "aB", true}, {"a", "AB", true}, {"AB", "a", false}};
  for (const auto& [a, b, before] : pairs) {
    EXPECT_EQ(ComesBefore(a, b), before) << '"' << a << "\" vs \"" << b << '"';
  }
}

}  // namespace
}  // namespace quarnel
