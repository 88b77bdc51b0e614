#include "output/packed_box_store.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace quarnel {
namespace {

using KeptIn = PackedBoxStore::KeptIn;

// Random boxes, white paper with specks or noise, kept by two threads' areas in a store whose
// memory or file holds a few of them: every kept box comes back exactly, and a packing cut short
// or run on does not unpack. Memory serves only where there is no file.
TEST(PackedBoxStore, GivesBackEveryKeptBox) {
  std::mt19937 rng(3);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  test::TempDir folder;
  using Case = std::tuple<int, int, KeptIn>;  // the file's and the memory's budgets; where
  for (const auto& [file, memory, where] :
       {Case{0, 8000, KeptIn::kMemory}, {8000, 0, KeptIn::kFile}, {8000, 8000, KeptIn::kFile}}) {
    constexpr int kPages = 40;
    PackedBoxStore store(kPages, folder.str(), file, memory);
    PackedBoxStore::WorkerArea areas[2];
    std::vector<test::TestPage> pages;
    int kept = 0;
    for (int i = 0; i < kPages; ++i) {
      test::TestPage page(uniform(1, 70), uniform(1, 40));
      const bool paper = uniform(0, 1);
      for (auto& v : page.pixels) v = paper && uniform(0, 9) ? 255 : uniform(0, 255);
      const KeptIn in = store.Keep(
          i, page.width, page.height, [&](std::int32_t y) { return page.View().Row(y); },
          areas[i % 2]);
      EXPECT_TRUE(in == where || in == KeptIn::kNowhere) << i;
      kept += in == where;
      pages.push_back(std::move(page));
    }
    EXPECT_TRUE(kept > 0 && kept < kPages) << kept;
    for (int i = 0; i < kPages; ++i) {
      const auto bytes = store.Take(i, areas[i % 2]);
      if (!bytes) continue;
      --kept;
      std::vector<std::uint8_t> packed(bytes->begin(), bytes->end());
      test::TestPage back = pages[static_cast<std::size_t>(i)];
      const MutableGrayView target{back.pixels.data(), back.width, back.height, back.width};
      std::fill(back.pixels.begin(), back.pixels.end(), 7);
      ASSERT_TRUE(UnpackBox(packed, target)) << i;
      EXPECT_EQ(back.pixels, pages[static_cast<std::size_t>(i)].pixels) << i;
      EXPECT_FALSE(UnpackBox(std::span(packed).first(packed.size() - 1), target)) << i;
      packed.push_back(0);
      EXPECT_FALSE(UnpackBox(packed, target)) << i;
    }
    EXPECT_EQ(kept, 0);
    EXPECT_TRUE(test::EntryNames(folder.path()).empty());
  }
}

// Boxes are kept only while the file system keeps the larger of 1 GiB and 5 % of its size free.
TEST(PackedBoxStore, LeavesReserve) {
  constexpr std::uint64_t M = 1 << 20, G = 1 << 30;
  using Case = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, bool>;  // free, size, more
                                                                               // clang-format off
  for (const auto& [free, size, more, keeps] :
       {Case{2 * G, 10 * G, G, true}, {2 * G, 10 * G, G + 1, false}, {G, 10 * G, 0, true},
        {G - 1, 10 * G, 0, false}, {30 * G, 400 * G, 10 * G, true}, {0, 0, 0, false},
        {30 * G, 400 * G, 10 * G + M, false}})
    // clang-format on
    EXPECT_EQ(LeavesReserve({free, size, FileSystemKind::kDisk}, more), keeps) << free << more;
}

}  // namespace
}  // namespace quarnel
