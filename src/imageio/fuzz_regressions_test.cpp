// Inputs that once made the JPEG reader fuzz target fail (fuzz/regressions/jpeg_reader/) are read
// again here, from memory and from a file: neither read may crash, and a read that succeeds must
// give a sane image, the same both ways.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "imageio/jpeg_codec.h"

namespace quarnel {
namespace {

std::vector<std::filesystem::path> RegressionInputs() {
  std::vector<std::filesystem::path> inputs;
  const std::filesystem::path folder =
      std::filesystem::path(QUARNEL_FUZZ_REGRESSIONS_DIR) / "jpeg_reader";
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

void ExpectSane(const GrayImage& image) {
  EXPECT_GE(image.width, 1);
  EXPECT_GE(image.height, 1);
  EXPECT_LE(static_cast<std::int64_t>(image.width) * image.height, kMaxDecodedPixels);
  ASSERT_NE(image.pixels, nullptr);
}

// What a read gave, without holding on to the pixels.
struct ReadSummary {
  bool read = false;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint64_t checksum = 0;

  friend bool operator==(const ReadSummary&, const ReadSummary&) = default;
};

ReadSummary Summarise(const std::optional<GrayImage>& image) {
  ReadSummary summary;
  if (!image) return summary;
  ExpectSane(*image);
  summary.read = true;
  summary.width = image->width;
  summary.height = image->height;
  const std::size_t count =
      static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
  for (std::size_t i = 0; i < count; ++i)
    summary.checksum = summary.checksum * 31 + image->pixels[i];
  return summary;
}

TEST(FuzzRegressions, JpegReaderInputsAreReadSafely) {
  const auto inputs = RegressionInputs();
  if (inputs.empty()) GTEST_SKIP() << "no inputs in fuzz/regressions/jpeg_reader";
  for (const auto& path : inputs) {
    SCOPED_TRACE(path.filename().string());
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
    try {
      const ReadSummary fromMemory = Summarise(LoadGrayFromMemory(bytes.data(), bytes.size()));
      const ReadSummary fromFile = Summarise(LoadGray(path.string()));
      EXPECT_EQ(fromMemory, fromFile);
    } catch (const std::bad_alloc&) {
      // Running out of memory is an allowed outcome of a read.
    }
  }
}

}  // namespace
}  // namespace quarnel
