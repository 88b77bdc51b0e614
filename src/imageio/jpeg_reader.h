#pragma once

// Reading JPEG files into 8-bit luminance. Nothing here prints; failures are results.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "imageio/gray_image.h"
#include "imageio/read_result.h"

namespace quarnel {

// Decoder limits. No real scanned page comes near them; they keep a small hostile file
// from costing gigabytes or minutes.
// - A page that declares more than kMaxDecodedPixels pixels (2^28, 268 megapixels; a 600 dpi
//   scan of an A2 sheet has about 140) is refused as soon as its frame header is read, before
//   any pixel memory is used. Below it every valid file is read, whatever its coding and size:
//   an arithmetic-coded blank page may take barely a hundred bytes.
// - Whole-image buffers inside the decoder (progressive and multi-scan files keep every
//   coefficient of the image) may take at most kMaxDecoderMemory bytes: about 170 megapixels
//   of a 4:2:0 colour file.
// - A progressive file may have at most kMaxScans scans (real files have about ten).
inline constexpr std::int64_t kMaxDecodedPixels = std::int64_t{1} << 28;
inline constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;
inline constexpr int kMaxScans = 300;

// Memory that decoding reuses from image to image: the luminance pixels of the last image read
// and its density, the colour rows on their way to them, and, once a page stored on its side has
// been read, a second image's worth into which such pages are turned upright. It grows to the
// largest image read and keeps that size until it is destroyed, so that a run of similar pages
// takes no fresh memory per page.
class DecodeBuffer {
 public:
  std::uint8_t* Pixels(std::size_t bytes);  // at least `bytes`; earlier contents are lost
  std::uint8_t* Rows(std::size_t bytes);
  std::uint8_t* Turned(std::size_t bytes);  // at least `bytes`; earlier contents are lost
  void KeepTurned();  // the turned memory becomes the pixels, the pixel memory the turned one
  std::unique_ptr<std::uint8_t[]> TakePixels();  // leaves the buffer without pixel memory
  const Density& density() const { return density_; }
  void SetDensity(const Density& density) { density_ = density; }

 private:
  std::unique_ptr<std::uint8_t[]> pixels_;
  std::size_t pixelCapacity_ = 0;
  std::unique_ptr<std::uint8_t[]> rows_;
  std::size_t rowCapacity_ = 0;
  std::unique_ptr<std::uint8_t[]> turned_;
  std::size_t turnedCapacity_ = 0;
  Density density_;
};

// Reads the JPEG file at `path` into luminance. Grayscale files give their samples unchanged;
// colour files are decoded to RGB (CMYK/YCCK by the inverted-CMYK rule R = round(C*K/255), ...)
// and converted with (77 R + 150 G + 29 B) >> 8. No colour profile is applied. The image is
// upright as viewers show it: the orientation of the file's EXIF block (the first APP1 marker
// that is one) turns and mirrors the stored pixels, so a page stored on its side comes out with
// width and height swapped. The buffer's density is the file's: JFIF's in inches or
// centimetres, else EXIF's, else none; across and down swap with the pixels.
// Fails, saying why (ReadProblem), when the file cannot be opened, is not a regular file, cannot
// be read, is empty, is not a JPEG, is damaged or truncated (corrupt-data and premature-end
// warnings count as damage) or is beyond one of the limits above. Throws std::bad_alloc when
// memory runs out.
// The image is the returned view of `buffer`'s memory (stride = width), valid until the buffer is
// used again. On failure the buffer's contents are undefined.
ReadResult<MutableGrayView> LoadGray(const std::string& path, DecodeBuffer& buffer);

// The same for a JPEG held in memory, refusing images of more than `maxPixels` pixels (a lower
// limit lets a caller such as a fuzzer pass over large images after reading only the header;
// they fail as kTooManyPixels), and giving the density to `density` when it is not null.
ReadResult<GrayImage> LoadGrayFromMemory(const std::uint8_t* data, std::size_t size,
                                         std::int64_t maxPixels = kMaxDecodedPixels,
                                         Density* density = nullptr);

}  // namespace quarnel
