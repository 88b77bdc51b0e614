#include "output/packed_box.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace quarnel {
namespace {

// Random boxes, white paper with specks or noise, kept by two threads' rooms in a store whose
// memory and file each hold a few of them: every kept box comes back exactly, from memory or from
// the unnamed file, and a packing cut short or run on does not unpack.
TEST(PackedBoxStore, GivesBackEveryKeptBox) {
  std::mt19937 rng(3);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  testing::TempDir folder;
  PackedBoxStore store(8000, PackedBoxStore::Memory::kFirst, folder.str(), 8000);
  PackedBoxStore::Room rooms[2];
  std::vector<std::pair<testing::TestPage, std::optional<PackedBoxStore::Kept>>> boxes;
  int inMemory = 0, inFile = 0;
  for (int i = 0; i < 40; ++i) {
    testing::TestPage page(uniform(1, 70), uniform(1, 40));
    const bool paper = uniform(0, 1);
    for (auto& v : page.pixels) v = paper && uniform(0, 9) ? 255 : uniform(0, 255);
    const auto kept = store.Keep(
        page.width, page.height, [&](std::int32_t y) { return page.View().Row(y); }, rooms[i % 2]);
    (kept && kept->inFile ? inFile : inMemory) += kept ? 1 : 0;
    boxes.emplace_back(std::move(page), kept);
  }
  EXPECT_TRUE(inMemory > 0 && inFile > 0 && inMemory + inFile < 40) << inMemory << " " << inFile;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const auto& [page, kept] = boxes[i];
    if (!kept) continue;
    const auto bytes = store.Take(*kept, rooms[i % 2]);
    ASSERT_TRUE(bytes);
    std::vector<std::uint8_t> packed(bytes->begin(), bytes->end());
    testing::TestPage back(page.width, page.height, 7);
    const MutableGrayView target{back.pixels.data(), back.width, back.height, back.width};
    ASSERT_TRUE(UnpackBox(packed, target)) << i;
    EXPECT_EQ(back.pixels, page.pixels) << i;
    EXPECT_FALSE(UnpackBox(std::span(packed).first(packed.size() - 1), target)) << i;
    packed.push_back(0);
    EXPECT_FALSE(UnpackBox(packed, target)) << i;
  }
  EXPECT_TRUE(testing::EntryNames(folder.path()).empty());
  // Memory only where there is no file.
  PackedBoxStore fileFirst(8000, PackedBoxStore::Memory::kWithoutFile, folder.str(), 8000);
  const auto kept = fileFirst.Keep(
      1, 1, [&](std::int32_t) { return boxes[0].first.pixels.data(); }, rooms[0]);
  EXPECT_TRUE(kept && kept->inFile);
}

}  // namespace
}  // namespace quarnel
