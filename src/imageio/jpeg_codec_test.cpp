#include "imageio/jpeg_codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <jpeglib.h>
#include <cstdlib>
#include <tuple>

#include "test_support.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace testing;

// libjpeg's own decode of a valid file, turned into the luminance the codec must give: colour
// (and gray, replicated) through RGB, CMYK and YCCK through inverted CMYK (R = C*K/255 rounded).
Bytes Reference(const Bytes& jpeg) {
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  err.emit_message = [](j_common_ptr, int) {};  // the extraneous-bytes row warns
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, jpeg.data(), jpeg.size());
  jpeg_read_header(&c, TRUE);
  const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  c.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&c);
  const std::size_t n = c.output_components;
  Bytes row(c.output_width * n), gray;
  while (c.output_scanline < c.output_height) {
    JSAMPROW p = row.data();
    jpeg_read_scanlines(&c, &p, 1);
    for (std::size_t i = 0; i < row.size(); i += n) {
      const unsigned k = cmyk ? row[i + 3] : 255, r = (row[i] * k + 127) / 255,
                     g = (row[i + 1] * k + 127) / 255, b = (row[i + 2] * k + 127) / 255;
      gray.push_back(std::uint8_t((77 * r + 150 * g + 29 * b) >> 8));
    }
  }
  jpeg_destroy_decompress(&c);
  return gray;
}

constexpr int kWidth = 61, kHeight = 43;  // not multiples of any MCU size

// A pattern of `n` components a pixel; ink (K) varies too.
Bytes Colours(int n) {
  Bytes samples;
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const int x = i % kWidth, y = i / kWidth, c[] = {x * 4 + y, y * 5, 255 - x * 2, 255 - y * 3};
    for (int j = 0; j < n; ++j) samples.push_back(std::uint8_t(c[j]));
  }
  return samples;
}

Bytes Rgb(Sampling sampling, bool progressive = false, int restartRows = 0) {
  return EncodeRgbJpeg(kWidth, kHeight, Colours(3), {sampling, 90, progressive, restartRows});
}

std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code, int nth = 0) {
  std::size_t i = 0;
  while (i + 1 < jpeg.size() && !(jpeg[i] == 0xFF && jpeg[i + 1] == code && nth-- == 0)) ++i;
  return i;
}

TEST(LoadGray, ReadsEveryLayoutLikeLibjpegAndRefusesDamageSilently) {
  TestPage page(kWidth, kHeight);
  page.pixels = Colours(1);
  const Bytes gray = EncodeJpeg(page), progressive = Rgb(Sampling::k420, true);
  // Tolerated: junk before a marker, two 65000-byte APP2 segments skipped across read buffers.
  Bytes extras = gray, badRestart = Rgb(Sampling::k444, false, 1), app2 = {0xFF, 0xE2, 0xFD, 0xEA};
  app2.resize(65004, 'U');
  extras.insert(extras.begin() + FindMarker(gray, 0xDB), {1, 2, 3});
  extras.insert(extras.begin() + 2, app2.begin(), app2.end());
  extras.insert(extras.begin() + 2, app2.begin(), app2.end());
  badRestart.at(FindMarker(badRestart, 0xD1) + 1) = 0xD5;
  // Any cut takes the same premature-end path; many more cuts run end to end.
  const std::vector<std::tuple<const char*, Bytes, bool>> files = {
      {"gray", gray, true},
      {"gray progressive", EncodeJpeg(page, {Sampling::kGray, 80, true}), true},
      {"4:4:4", Rgb(Sampling::k444), true},
      {"4:2:2", Rgb(Sampling::k422), true},
      {"4:2:0", Rgb(Sampling::k420), true},
      {"4:2:0 progressive", progressive, true},
      {"4:2:0 restarts", Rgb(Sampling::k420, false, 1), true},
      {"CMYK", EncodeCmykJpeg(kWidth, kHeight, Colours(4), false), true},
      {"YCCK", EncodeCmykJpeg(kWidth, kHeight, Colours(4), true), true},
      {"extras", extras, true},
      {"empty", {}, false},
      {"text", {'t', 'e', 'x', 't'}, false},
      {"cut in the header", Bytes(gray.begin(), gray.begin() + 20), false},
      {"cut mid-scan",
       Bytes(gray.begin(), gray.begin() + (FindMarker(gray, 0xDA) + gray.size()) / 2), false},
      {"progressive, first scan only",
       Bytes(progressive.begin(), progressive.begin() + FindMarker(progressive, 0xDA, 1)), false},
      {"restart markers out of sequence", badRestart, false}};
  TempDir dir;
  for (const auto& [what, jpeg, readable] : files) {
    SCOPED_TRACE(what);
    WriteBytes(dir / "page.jpg", jpeg);
    ::testing::internal::CaptureStderr();
    const std::optional<GrayImage> images[] = {LoadGray((dir / "page.jpg").string()),
                                               LoadGrayFromMemory(jpeg.data(), jpeg.size())};
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    for (const auto& image : images) {
      ASSERT_EQ(image.has_value(), readable);
      if (!image) continue;
      EXPECT_EQ(std::pair(image->width, image->height), std::pair(kWidth, kHeight));
      EXPECT_EQ(Bytes(image->pixels.get(), image->pixels.get() + kWidth * kHeight),
                Reference(jpeg));
    }
  }
  // The listing never passes on a FIFO, but LoadGray must refuse one itself, without waiting.
  ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0644), 0);
  EXPECT_FALSE(LoadGray((dir / "fifo.jpg").string()));
}

// The file holds just the view's rectangle (the view has the larger image's stride), as a baseline
// one-component JPEG; a failure leaves it as it was.
TEST(SaveGrayJpeg, WritesAViewAsAGrayFileAndKeepsItOnFailure) {
  TestPage big(300, 150), page(200, 120), wide(70000, 1);  // wide: too wide for a JPEG file
  for (int x = 100; x < 200; ++x) page.Fill(x, 0, x, 119, std::uint8_t(x));
  page.Fill(16, 16, 79, 63, 0);
  for (int y = 0; y < 120; ++y) std::copy_n(&page.at(0, y), 200, &big.at(60, 20 + y));
  TempDir dir;
  const std::string name = "-out put \xE9.jpg", path = dir.str() + name;  // bytes as given
  ASSERT_TRUE(SaveGrayJpeg(path, GrayView{big.pixels.data(), 300, 150, 300}.Sub(60, 20, 200, 120)));
  const Bytes saved = ReadBytes(path);
  const std::size_t sof = FindMarker(saved, 0xC0);  // 8 bits, 120 rows, 200 columns, 1 component
  ASSERT_EQ(Bytes(&saved[sof + 4], &saved[sof + 10]), (Bytes{8, 0, 120, 0, 200, 1}));
  const Bytes back = Reference(saved);
  long diff = 0;
  for (std::size_t i = 0; i < back.size(); ++i) diff += std::abs(back[i] - page.pixels[i]);
  EXPECT_LT(diff, 3 * long(back.size()));  // mean error under 3 levels

  EXPECT_FALSE(SaveGrayJpeg(path, {wide.pixels.data(), 70000, 1, 70000}));
  EXPECT_EQ(ReadBytes(path), saved);
  EXPECT_EQ(EntryNames(dir.path()), std::vector<std::string>{name});  // no temporary file
}

}  // namespace
}  // namespace quarnel
