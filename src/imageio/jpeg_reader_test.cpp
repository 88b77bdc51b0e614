#include "imageio/jpeg_reader.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <tuple>

#include "imageio/exif.h"
#include "test_support.h"

namespace quarnel {
namespace {

using namespace test;

// libjpeg's own decode of a valid file, turned into luminance by the formula: colour (and gray,
// replicated) through RGB, CMYK and YCCK through inverted CMYK (R = C*K/255 rounded, ...).
Bytes Reference(const Bytes& jpeg) {
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  err.emit_message = [](j_common_ptr, int) {};  // the junk row warns
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

// Every coding a scanner may write (the fuzzing seeds, made by cjpeg, and CMYK and YCCK here) is
// read exactly as libjpeg decodes it, from a file and from memory; damaged and hostile files,
// and the inputs kept from fuzzing, are refused quickly and silently, with their reason.
TEST(LoadGray, ReadsLikeLibjpegAndRefusesDamage) {
  const std::string damaged = "damaged or cut short", pixels = "more than 2^28 pixels";
  std::vector<std::tuple<std::string, Bytes, std::string>> files;  // the reason; "" if readable
  for (const auto* dir : {"corpus/jpeg_reader", "regressions/jpeg_reader"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(QUARNEL_FUZZ_DIR + std::string(dir)))
      files.emplace_back(entry.path(), ReadBytes(entry.path()), dir[0] == 'c' ? "" : pixels);
  }
  Bytes cmyk, page = ReadBytes(QUARNEL_FUZZ_DIR "corpus/jpeg_reader/colour-2x2-33x65.jpg");
  const Bytes blank = ReadBytes(QUARNEL_FUZZ_DIR "corpus/jpeg_reader/blank-a4-arithmetic.jpg");
  for (int i = 0; i < 4 * 61 * 43; ++i) cmyk.push_back(static_cast<std::uint8_t>(i * i / 8 + i));
  Bytes junk = page,
        badRestart = ReadBytes(QUARNEL_FUZZ_DIR "corpus/jpeg_reader/restarts-33x65.jpg");
  junk.insert(junk.begin() + 20, {0, 1, 2});  // junk before a marker is tolerated
  Bytes cutWithEnd(page.begin(), page.end() - 300);
  cutWithEnd.insert(cutWithEnd.end(), {0xFF, 0xD9});
  const Bytes rst1 = {0xFF, 0xD1};
  std::search(badRestart.begin(), badRestart.end(), rst1.begin(), rst1.end())[1] = 0xD5;
  const Bytes progressive = EncodeSamples(61, 43, 4, cmyk, {.progressive = true});
  files.insert(
      files.end(),
      {{"CMYK progressive", progressive, ""},
       {"YCCK", EncodeSamples(61, 43, 4, cmyk, {.ycck = true}), ""},
       {"junk", junk, ""},
       {"padded arithmetic bomb", DeclareSize(blank, 46340, blank.size() + 131072), pixels},
       {"empty", {}, "empty file"},
       {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "not a JPEG file"},
       {"cut in the header", Bytes(page.begin(), page.begin() + 200), damaged},
       {"cut mid-scan", Bytes(page.begin(), page.end() - 300), damaged},
       {"cut mid-scan, end marker kept", cutWithEnd, damaged},
       {"progressive, no end marker", Bytes(progressive.begin(), progressive.end() - 2), damaged},
       {"progressive, no last scan", Bytes(progressive.begin(), progressive.end() - 40), damaged},
       {"restart markers out of sequence", badRestart, damaged},
       {"baseline declaring 40000 x 40000", DeclareSize(page, 40000, 200000), pixels},
       {"progressive declaring 40000 x 40000", DeclareSize(progressive, 40000, 200000), pixels},
       {"progressive CMYK declaring 9000 x 9000", DeclareSize(progressive, 9000, 200000),
        "needs more than 512 MiB of decoder memory"},
       {"316 scans", EncodeSamples(61, 43, 1, Bytes(61 * 43, 9), {.acScanBits = 5}),
        "more than 300 scans"}});
  TempDir dir;
  for (const auto& [what, jpeg, reason] : files) {
    SCOPED_TRACE(what);
    WriteBytes(dir / "page.jpg", jpeg);
    ::testing::internal::CaptureStderr();
    DecodeBuffer buffer;
    const auto fromFile = LoadGray((dir / "page.jpg").string(), buffer);
    const auto fromMemory = LoadGrayFromMemory(jpeg.data(), jpeg.size());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(fromFile ? "" : ReasonText(fromFile.failure()), reason);
    ASSERT_EQ(fromMemory ? "" : ReasonText(fromMemory.failure()), reason);
    if (!reason.empty()) continue;
    const Bytes pixels(fromFile->data, fromFile->data + fromFile->width * fromFile->height);
    EXPECT_EQ(pixels, Reference(jpeg));
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), fromMemory->pixels.get()));
  }
  // What the system says of a file that cannot be opened or read, or of a folder.
  for (const auto& [path, reason] :
       {std::pair{dir.str() + "gone.jpg", "cannot open: No such file or directory"},
        {dir.str(), "not a regular file"},
        {"/proc/self/mem", "cannot read: Input/output error"}}) {
    DecodeBuffer buffer;
    EXPECT_EQ(ReasonText(LoadGray(path, buffer).failure()), reason);
  }
}

// EXIF's orientation and density in both byte orders; a block damaged or cut anywhere gives
// neither.
TEST(ParseExif, OrientationAndDensity) {
  auto parse = [](Bytes app1, std::size_t size = 1000, std::size_t flip = 0) {
    app1[flip] ^= flip ? 0x40 : 0;  // the block, cut to its first `size` bytes, one byte changed
    return ParseExif(std::span(app1).subspan(4, std::min(size, app1.size() - 4)));
  };
  for (const bool mm : {false, true}) {
    for (unsigned o = 0; o <= 9; ++o)
      EXPECT_EQ(parse(Exif(mm, {{0x112, 3, o}})).orientation, o >= 1 && o <= 8 ? int(o) : 1);
    const Bytes full = Exif(mm, {{0x112, 3, 6}, {0x11A, 5, 300}, {0x11B, 5, 200}, {0x128, 3, 3}});
    EXPECT_TRUE(parse(full).orientation == 6 && parse(full).density == (Density{2, 300, 200}));
    for (std::size_t cut = 0; cut < full.size() - 4; ++cut)  // the last rational is at the end
      EXPECT_EQ(parse(full, cut).orientation, 1) << cut;
    for (const std::size_t at : {4, 10, 11, 13, 15})  // signature, byte order, 42, IFD0's offset
      EXPECT_EQ(parse(full, 1000, at).orientation + parse(full, 1000, at).density.unit, 1) << at;
  }
}

// A page stored turned or mirrored is read as the upright page (8 x 8 blocks of one grey each
// pass through the codec unchanged); EXIF's density turns with it, JFIF's comes first.
TEST(LoadGray, TurnsPagesUpright) {
  TestPage upright(24, 16);
  for (int i = 0; i < 24 * 16; ++i) upright.pixels[i] = (i % 24 / 8 + i / 192 * 3) * 40;
  for (int o = 1; o <= 8; ++o) {
    TestPage s(o >= 5 ? 16 : 24, o >= 5 ? 24 : 16);  // stored
    for (int i = 0; i < 24 * 16; ++i) {              // where EXIF shows stored pixel (x, y)
      const int w = s.width - 1, h = s.height - 1, x = i % s.width, y = i / s.width;
      // clang-format off
      const std::pair<int, int> shown[] = {{x, y}, {w - x, y}, {w - x, h - y}, {x, h - y},
                                           {y, x}, {h - y, x}, {h - y, w - x}, {y, w - x}};
      // clang-format on
      s.at(x, y) = upright.at(shown[o - 1].first, shown[o - 1].second);
    }
    const Bytes exif = Exif(o % 2, {{0x112, 3, unsigned(o)}, {0x11A, 5, 300}, {0x11B, 5, 200}});
    const Density jfif = o % 3 ? Density{} : Density{2, 40, 80};  // then EXIF's is not used
    Bytes jpeg = WithDensity(EncodeJpeg(s), jfif);
    jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
    Density got, want = jfif.unit ? jfif : Density{1, 300, 200};
    const auto image = LoadGrayFromMemory(jpeg.data(), jpeg.size(), kMaxDecodedPixels, &got);
    ASSERT_TRUE(image && image->width == 24 &&  // and so 16 high
                std::equal(upright.pixels.begin(), upright.pixels.end(), image->pixels.get()));
    EXPECT_EQ(got, (o >= 5 ? Density{want.unit, want.y, want.x} : want)) << o;
  }
}

}  // namespace
}  // namespace quarnel
