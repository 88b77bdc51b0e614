#include "imageio/jpeg_codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Named = std::vector<std::pair<std::string, Bytes>>;
using testing::Sampling;
using testing::TempDir;
using testing::TestPage;

// libjpeg used directly, as the reference the codec has to agree with. Only valid files reach it.
[[noreturn]] void AbortOnError(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  std::fprintf(stderr, "reference libjpeg call failed: %s\n", text);
  std::abort();
}

struct Decoded {
  J_COLOR_SPACE fileSpace = JCS_UNKNOWN;
  int components = 0;  // of the file, or of the decoded samples
  bool progressive = false;
  Bytes samples;
};

// Decodes with libjpeg's default choices into `outSpace`; JCS_UNKNOWN reads the header only.
Decoded ReferenceDecode(const Bytes& jpeg, J_COLOR_SPACE outSpace) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = AbortOnError;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  Decoded d{cinfo.jpeg_color_space, cinfo.num_components, cinfo.progressive_mode != 0, {}};
  if (outSpace != JCS_UNKNOWN) {
    cinfo.out_color_space = outSpace;
    jpeg_start_decompress(&cinfo);
    d.components = cinfo.output_components;
    const std::size_t stride = std::size_t{cinfo.output_width} * d.components;
    d.samples.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = d.samples.data() + cinfo.output_scanline * stride;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  return d;
}

std::uint8_t Luma(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
}

// The luminance the codec must give for `jpeg`, from libjpeg's own decode: gray samples as they
// are, colour through RGB, CMYK and YCCK through inverted CMYK (R = C*K/255, ...).
Bytes ExpectedGray(const Bytes& jpeg) {
  const J_COLOR_SPACE space = ReferenceDecode(jpeg, JCS_UNKNOWN).fileSpace;
  if (space == JCS_GRAYSCALE) return ReferenceDecode(jpeg, JCS_GRAYSCALE).samples;
  const bool cmyk = space == JCS_CMYK || space == JCS_YCCK;
  const Decoded d = ReferenceDecode(jpeg, cmyk ? JCS_CMYK : JCS_RGB);
  Bytes gray(d.samples.size() / d.components);
  for (std::size_t i = 0; i < gray.size(); ++i) {
    const std::uint8_t* p = &d.samples[i * d.components];
    gray[i] = cmyk ? Luma(p[0] * p[3] / 255, p[1] * p[3] / 255, p[2] * p[3] / 255)
                   : Luma(p[0], p[1], p[2]);
  }
  return gray;
}

// Gray, RGB or CMYK samples at quality 100, no subsampling, stored as `fileSpace`, with an
// optional progressive scan script.
Bytes EncodeRaw(int width, int height, const Bytes& samples, J_COLOR_SPACE inSpace,
                J_COLOR_SPACE fileSpace, const std::vector<jpeg_scan_info>& script = {}) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = AbortOnError;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = inSpace == JCS_CMYK ? 4 : inSpace == JCS_GRAYSCALE ? 1 : 3;
  cinfo.in_color_space = inSpace;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, fileSpace);
  jpeg_set_quality(&cinfo, 100, TRUE);
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  }
  if (!script.empty()) {
    cinfo.scan_info = script.data();
    cinfo.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = static_cast<std::size_t>(width) * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

Bytes Pixels(const GrayImage& image) {
  return Bytes(image.pixels.get(), image.pixels.get() + std::size_t(image.width) * image.height);
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::optional<GrayImage> Load(const Bytes& jpeg) {
  return LoadGrayFromMemory(jpeg.data(), jpeg.size());
}

// One flat 16 x 16 block per colour, side by side; a colour is 3 or 4 samples.
constexpr int kBlock = 16;
Bytes Blocks(const std::vector<Bytes>& colours) {
  Bytes samples;
  for (int y = 0; y < kBlock; ++y) {
    for (const Bytes& colour : colours) {
      for (int x = 0; x < kBlock; ++x) samples.insert(samples.end(), colour.begin(), colour.end());
    }
  }
  return samples;
}
std::uint8_t BlockCentre(const GrayImage& image, int block) {
  return image.pixels[kBlock / 2 * image.width + block * kBlock + kBlock / 2];
}

TEST(LoadGray, LuminanceOfRgbTriples) {
  // {R, G, B, luminance}
  const std::vector<Bytes> triples = {{255, 255, 255, 255}, {0, 0, 0, 0},         {77, 77, 77, 77},
                                      {128, 128, 128, 128}, {255, 0, 0, 76},      {0, 255, 0, 149},
                                      {0, 0, 255, 28},      {128, 128, 127, 127}, {1, 1, 0, 0},
                                      {200, 100, 50, 124}};
  std::vector<Bytes> colours;
  for (const Bytes& t : triples) colours.push_back({t[0], t[1], t[2]});
  const int width = kBlock * static_cast<int>(colours.size());
  const Bytes rgb = Blocks(colours);
  // Stored as R, G and B components, flat blocks survive quality 100 exactly: the rule's own
  // results, truncation included, must come out.
  const auto exact = Load(EncodeRaw(width, kBlock, rgb, JCS_RGB, JCS_RGB));
  // The usual YCbCr file loses a level here and there in the colour conversion: compare with
  // the rule applied to what libjpeg decodes.
  const Bytes ycc = testing::EncodeRgbJpeg(width, kBlock, rgb, {Sampling::k444, 100});
  const auto viaYcc = Load(ycc);
  ASSERT_TRUE(exact && viaYcc);
  EXPECT_EQ(Pixels(*viaYcc), ExpectedGray(ycc));
  for (std::size_t i = 0; i < triples.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "triple " << i);
    EXPECT_EQ(BlockCentre(*exact, static_cast<int>(i)), triples[i][3]);
    EXPECT_NEAR(BlockCentre(*viaYcc, static_cast<int>(i)), triples[i][3], 2);
  }
}

constexpr int kWidth = 61;  // not a multiple of any MCU size
constexpr int kHeight = 43;

TestPage GrayPattern() {
  TestPage page(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) page.at(x, y) = static_cast<std::uint8_t>(x * 4 + y);
  }
  page.Fill(10, 10, 30, 20, 0);
  return page;
}

Bytes ColourPattern(int components) {
  Bytes samples;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      samples.insert(samples.end(),
                     {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5),
                      static_cast<std::uint8_t>(255 - x * 2)});
      if (components == 4) samples.push_back(static_cast<std::uint8_t>(255 - y * 3));
    }
  }
  return samples;
}

Bytes Rgb(Sampling sampling, bool progressive = false, int restartRows = 0) {
  return testing::EncodeRgbJpeg(kWidth, kHeight, ColourPattern(3),
                                {sampling, 90, progressive, restartRows});
}

Bytes Segment(std::uint8_t marker, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  std::string segment = {'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                         static_cast<char>(length & 0xFF)};
  return Bytes(segment.begin(), segment.end()) + Bytes(payload.begin(), payload.end());
}

TEST(LoadGray, ReadsEveryLayoutLikeLibjpeg) {
  using namespace std::string_literals;
  // EXIF asking for a quarter turn, a bogus colour profile and thousands of comments change
  // neither the size nor the pixels.
  Bytes metadata = Segment(0xE1, "Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06"s +
                                     std::string(6, '\0')) +
                   Segment(0xE2, "ICC_PROFILE\0\x01\x01"s + std::string(128, 'U'));
  const Bytes comment = Segment(0xFE, "note");
  for (int i = 0; i < 3000; ++i) metadata.insert(metadata.end(), comment.begin(), comment.end());
  Bytes withMetadata = Rgb(Sampling::k420);
  withMetadata.insert(withMetadata.begin() + 2, metadata.begin(), metadata.end());

  const Named files = {
      {"gray", testing::EncodeJpeg(GrayPattern())},
      {"gray progressive", testing::EncodeJpeg(GrayPattern(), {Sampling::kGray, 80, true})},
      {"4:4:4", Rgb(Sampling::k444)},
      {"4:2:2", Rgb(Sampling::k422)},
      {"4:2:0", Rgb(Sampling::k420)},
      {"4:2:0 progressive", Rgb(Sampling::k420, true)},
      {"4:2:0 restarts", Rgb(Sampling::k420, false, 1)},
      {"4:4:4 progressive restarts", Rgb(Sampling::k444, true, 1)},
      {"RGB components", EncodeRaw(kWidth, kHeight, ColourPattern(3), JCS_RGB, JCS_RGB)},
      {"CMYK", EncodeRaw(kWidth, kHeight, ColourPattern(4), JCS_CMYK, JCS_CMYK)},
      {"YCCK", EncodeRaw(kWidth, kHeight, ColourPattern(4), JCS_CMYK, JCS_YCCK)},
      {"metadata", withMetadata}};
  TempDir dir;
  for (const auto& [what, jpeg] : files) {
    SCOPED_TRACE(what);
    testing::WriteBytes(dir / "page.jpg", jpeg);
    const Bytes expected = ExpectedGray(jpeg);
    const std::optional<GrayImage> images[] = {LoadGray((dir / "page.jpg").string()), Load(jpeg)};
    for (const auto& image : images) {
      ASSERT_TRUE(image);
      EXPECT_EQ(image->width, kWidth);
      EXPECT_EQ(image->height, kHeight);
      EXPECT_EQ(Pixels(*image), expected);
    }
  }
}

// Values, not just agreement: gray pages written in every layout read back as the page, and
// inverted CMYK gives R = C*K/255 and so on.
TEST(LoadGray, ReadsNearTheWrittenValues) {
  const TestPage page = GrayPattern();
  for (const Sampling sampling :
       {Sampling::kGray, Sampling::k444, Sampling::k422, Sampling::k420, Sampling::kCmyk}) {
    const auto image = Load(testing::EncodeJpeg(page, {sampling, 100}));
    ASSERT_TRUE(image);
    for (std::size_t i = 0; i < page.pixels.size(); ++i) {
      ASSERT_NEAR(image->pixels[i], page.pixels[i], 3) << "sampling " << int(sampling);
    }
  }
  // No ink; full black; K half over no ink; magenta over no black.
  const auto cmyk = Load(EncodeRaw(
      4 * kBlock, kBlock,
      Blocks({{255, 255, 255, 255}, {0, 0, 0, 0}, {255, 255, 255, 128}, {255, 0, 255, 255}}),
      JCS_CMYK, JCS_CMYK));
  ASSERT_TRUE(cmyk);
  EXPECT_NEAR(BlockCentre(*cmyk, 0), 255, 1);
  EXPECT_NEAR(BlockCentre(*cmyk, 1), 0, 1);
  EXPECT_NEAR(BlockCentre(*cmyk, 2), 128, 1);
  EXPECT_NEAR(BlockCentre(*cmyk, 3), Luma(255, 0, 255), 1);
}

// The offset of the `nth` (0-based) marker 0xFF `code`; the size when there is none.
std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code, int nth = 0) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == code && nth-- == 0) return i;
  }
  return jpeg.size();
}

Bytes Cut(const Bytes& jpeg, std::size_t size) {
  EXPECT_LT(size, jpeg.size());
  return Bytes(jpeg.begin(),
               jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(size, jpeg.size())));
}

Bytes WithSize(Bytes jpeg, int width, int height) {
  std::size_t sof = std::min(FindMarker(jpeg, 0xC0), FindMarker(jpeg, 0xC2));
  jpeg.at(sof + 5) = static_cast<std::uint8_t>(height >> 8);
  jpeg.at(sof + 6) = static_cast<std::uint8_t>(height);
  jpeg.at(sof + 7) = static_cast<std::uint8_t>(width >> 8);
  jpeg.at(sof + 8) = static_cast<std::uint8_t>(width);
  return jpeg;
}

TEST(LoadGray, RejectsDamagedFilesSilently) {
  const Bytes gray = testing::EncodeJpeg(GrayPattern());
  const Bytes progressive = Rgb(Sampling::k420, true);
  const Bytes restarts = Rgb(Sampling::k444, false, 1);
  const std::size_t sos = FindMarker(gray, 0xDA);
  const std::size_t scan = sos + 2 + (gray[sos + 2] << 8 | gray[sos + 3]);
  Bytes wrongRestart = restarts;
  wrongRestart.at(FindMarker(restarts, 0xD1) + 1) = 0xD5;
  Bytes garbage = {0xFF, 0xD8};
  for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<std::uint8_t>(i * 37));
  const std::string text = "not a picture\n";

  const Named files = {
      {"empty", {}},
      {"text", Bytes(text.begin(), text.end())},
      {"start marker only", {0xFF, 0xD8}},
      {"garbage after the start marker", garbage},
      {"cut in the header", Cut(gray, 20)},
      {"cut before the scan", Cut(gray, sos)},
      {"cut where the scan data begins", Cut(gray, scan)},
      {"cut mid-scan", Cut(gray, (scan + gray.size()) / 2)},
      {"cut after a restart marker", Cut(restarts, FindMarker(restarts, 0xD2) + 10)},
      {"progressive cut after its first scan", Cut(progressive, FindMarker(progressive, 0xDA, 1))},
      {"restart markers out of sequence", wrongRestart},
      {"width 0", WithSize(gray, 0, kHeight)},
      {"declares 60000 x 60000", WithSize(gray, 60000, 60000)},
      {"progressive declaring 40000 x 40000", WithSize(progressive, 40000, 40000)}};
  TempDir dir;
  for (const auto& [what, bytes] : files) {
    SCOPED_TRACE(what);
    testing::WriteBytes(dir / "page.jpg", bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadGray((dir / "page.jpg").string()));
    EXPECT_FALSE(Load(bytes));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  EXPECT_FALSE(LoadGrayFromMemory(nullptr, 0));
  EXPECT_FALSE(LoadGrayFromMemory(gray.data(), 0));
}

// A gray progressive file that sends every AC coefficient in scans of its own, refined bit by
// bit: 1 + 63 * (refinements + 1) scans. Real files have about ten; the decoder stops at 300.
Bytes ManyScans(int refinements) {
  std::vector<jpeg_scan_info> script = {{1, {0}, 0, 0, 0, 0}};
  for (int k = 1; k < 64; ++k) {
    script.push_back({1, {0}, k, k, 0, refinements});
    for (int al = refinements; al > 0; --al) script.push_back({1, {0}, k, k, al, al - 1});
  }
  const TestPage page = GrayPattern();
  return EncodeRaw(kWidth, kHeight, page.pixels, JCS_GRAYSCALE, JCS_GRAYSCALE, script);
}

TEST(LoadGray, BoundsTheNumberOfScans) {
  const Bytes within = ManyScans(3);  // 253 scans
  const auto image = Load(within);
  ASSERT_TRUE(image);
  EXPECT_EQ(Pixels(*image), ExpectedGray(within));
  EXPECT_FALSE(Load(ManyScans(4)));  // 316 scans
}

TEST(LoadGray, RejectsWhatIsNotAFile) {
  TempDir dir;
  fs::create_directory(dir / "folder.jpg");
  ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0644), 0);  // opening it must not wait
  for (const char* name : {"missing.jpg", "folder.jpg", "fifo.jpg"}) {
    EXPECT_FALSE(LoadGray((dir / name).string())) << name;
  }
}

// Junk between markers and after the end of the image is harmless.
TEST(LoadGray, ToleratesExtraneousBytes) {
  const Bytes jpeg = testing::EncodeJpeg(GrayPattern());
  Bytes junkBeforeMarker = jpeg;
  junkBeforeMarker.insert(junkBeforeMarker.begin() + std::ptrdiff_t(FindMarker(jpeg, 0xDB)),
                          {1, 2, 3});
  for (const Bytes& bytes : {junkBeforeMarker, jpeg + Bytes{'t', 'a', 'i', 'l'}}) {
    const auto image = Load(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), ExpectedGray(jpeg));
  }
}

TEST(SaveGrayJpeg, ReadsBackAsOneComponentGrayFile) {
  TestPage page(200, 120, 255);
  for (int y = 0; y < page.height; ++y) {
    for (int x = 100; x < page.width; ++x) page.at(x, y) = static_cast<std::uint8_t>(x + y);
  }
  page.Fill(16, 16, 79, 63, 0);
  TempDir dir;
  const std::string name = "-out put \xE9.jpg";  // bytes reach the file system unchanged
  ASSERT_TRUE(SaveGrayJpeg(dir.str() + name, {page.pixels.data(), 200, 120, 200}));
  EXPECT_EQ(testing::EntryNames(dir.path()), std::vector<std::string>{name});

  const Decoded header = ReferenceDecode(testing::ReadBytes(dir / name), JCS_UNKNOWN);
  EXPECT_EQ(header.components, 1);
  EXPECT_EQ(header.fileSpace, JCS_GRAYSCALE);
  EXPECT_FALSE(header.progressive);

  const auto image = LoadGray(dir.str() + name);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, page.width);
  ASSERT_EQ(image->height, page.height);
  long totalDiff = 0;
  for (std::size_t i = 0; i < page.pixels.size(); ++i) {
    totalDiff += std::abs(image->pixels[i] - page.pixels[i]);
  }
  EXPECT_LT(static_cast<double>(totalDiff) / static_cast<double>(page.pixels.size()), 3.0);
  EXPECT_LT(image->pixels[40 * page.width + 48], 120);   // inside the black rectangle
  EXPECT_GT(image->pixels[100 * page.width + 40], 200);  // white margin
}

// A view into a larger image (stride > width) is written as just that rectangle.
TEST(SaveGrayJpeg, HonoursTheViewStride) {
  TestPage big(90, 70);
  for (std::size_t i = 0; i < big.pixels.size(); ++i) big.pixels[i] = std::uint8_t(i * 7);
  TestPage copy(50, 40);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x) copy.at(x, y) = big.at(13 + x, 9 + y);
  }
  const GrayView whole{big.pixels.data(), big.width, big.height, big.width};
  EXPECT_EQ(EncodeGrayJpeg(whole.Sub(13, 9, 50, 40)),
            EncodeGrayJpeg({copy.pixels.data(), 50, 40, 50}));
}

TEST(SaveGrayJpeg, FailureCreatesNothing) {
  TempDir dir;
  const TestPage page(32, 32, 0);
  EXPECT_FALSE(SaveGrayJpeg(dir.str() + "missing/out.jpg", {page.pixels.data(), 32, 32, 32}));
  EXPECT_FALSE(SaveGrayJpeg(dir.str() + "empty.jpg", {page.pixels.data(), 0, 32, 0}));
  // Wider than a JPEG file can describe (65500 pixels).
  const TestPage wide(70000, 1, 0);
  EXPECT_FALSE(SaveGrayJpeg(dir.str() + "wide.jpg", {wide.pixels.data(), 70000, 1, 70000}));
  EXPECT_TRUE(testing::EntryNames(dir.path()).empty());
}

}  // namespace
}  // namespace quarnel
