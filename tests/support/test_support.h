#pragma once

// What the tests share: pages written as JPEG files, temporary folders, the binary run as a child
// process, and the few-line reference implementations that the tool is compared with.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/extremes.h"
#include "app/batch_run.h"
#include "imageio/gray_image.h"

namespace quarnel::test {

using Bytes = std::vector<std::uint8_t>;

struct JpegOptions {
  int quality = 100;  // 100 keeps 0/255 edges within a few levels
  bool progressive = false;
  int acScanBits = 0;  // > 0: 1 + components * 63 * acScanBits scans, one per AC coefficient bit
  bool ycck = false;   // with 4 components: stored as YCCK rather than CMYK
};

struct TestPage {  // gray, row-major
  int width, height;
  Bytes pixels;
  TestPage(int w, int h, std::uint8_t fill = 255)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  GrayView View() const { return {pixels.data(), width, height, width}; }
  // Sets columns x0 ... x1 and rows y0 ... y1 (inclusive) to `value`.
  void Fill(int x0, int y0, int x1, int y1, std::uint8_t value) {
    for (int y = y0; y <= y1; ++y) std::fill(&at(x0, y), &at(x1, y) + 1, value);
  }
};

// `samples` holds 1 (gray), 3 (RGB) or 4 (inverted CMYK) bytes a pixel.
Bytes EncodeSamples(int width, int height, int components, const Bytes& samples,
                    const JpegOptions& options = {});
inline Bytes EncodeJpeg(const TestPage& page, const JpegOptions& options = {}) {
  return EncodeSamples(page.width, page.height, 1, page.pixels, options);
}
// The file with its frame header changed to declare size x size pixels, and cut or padded with
// zeros to `bytes` bytes.
Bytes DeclareSize(Bytes jpeg, int size, std::size_t bytes);
// The gray file with its JFIF header saying `density` (the encoder writes 1:1 of no unit).
Bytes WithDensity(Bytes jpeg, const Density& density);
// An APP1 marker whose payload, from its fifth byte, is an EXIF block in Motorola or Intel byte
// order with one IFD0 entry a {tag, type, value}: a short (type 3) or a rational (type 5) of
// value / 1.
Bytes Exif(bool motorola, const std::vector<std::array<unsigned, 3>>& entries);

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadBytes(const std::filesystem::path& path);

// A fresh temporary folder, removed with all in it.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string() + "/"; }  // as a folder argument
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::filesystem::path path_;
};

// The names of the entries directly in `folder` (none when it is missing), sorted by bytes.
std::vector<std::string> EntryNames(const std::filesystem::path& folder);

struct RunResult {
  std::string out, err;  // byte for byte
  int status = -1;       // exit status; -1 when the child did not exit
  int signal = 0;        // the signal that ended the child (9 also after the timeout)
};

struct ChildOptions {
  std::filesystem::path workDir{};                         // the test's own when empty
  std::vector<std::pair<std::string, std::string>> env{};  // set in the child
  long long fileSizeLimit = -1;                            // RLIMIT_FSIZE; < 0: unchanged
  long long addressSpaceLimit = -1;                        // RLIMIT_AS; < 0: unchanged
  int signal = 0;  // sent when standard output contains signalAfter
  std::string signalAfter{};
  std::chrono::milliseconds timeout = std::chrono::seconds(30);  // then the child is killed
  enum { kCaptured, kFullDevice, kClosedPipe, kClosed } stdoutTo = kCaptured;  // standard output
};

// Runs `binary` with `args` (no shell), standard input closed, no signal blocked.
RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options);
#ifdef QUARNEL_BINARY
inline RunResult RunQuarnel(const std::vector<std::string>& args, const ChildOptions& o = {}) {
  return RunProgram(QUARNEL_BINARY, args, o);
}
#endif

// What main does with `args`, done in this process: they are parsed and checked (a usage or
// settings error gives its message and status 255), then RunBatch runs with `options`.
RunResult RunInProcess(const std::vector<std::string>& args, const RunOptions& options);

// The content box by definition: the bounding box of the pixels below `black` (noise 0) or the
// edges that ScanProfileEdge finds on the row and column counts of those pixels, widened by 5
// pixels before the first dark row and column and 4 after the last, within the page.
std::optional<ContentBox> ReferenceBox(GrayView page, int black, int noise);

// Where a box lands on the canvas: the columns maxRight - maxWidth ... and the rows minTop ... of
// every page, except that a box starting left of that moves right to column 0 and one ending
// below it moves up to end on the last row.
std::pair<int, int> ReferencePlacement(const ContentBox& box, const Extremes& e);

// An output page by definition: a white canvas with the box of `page` at its placement; then, for
// white < 256 and a box of at least 5 x 5, every box pixel with no pixel below `white` within
// four rows and columns of it in the box is 255.
TestPage ReferenceCanvas(GrayView page, const std::optional<ContentBox>& box, const Extremes& e,
                         int white);

}  // namespace quarnel::test
