#pragma once

// Test pages built in memory and written as JPEG files with libjpeg, and temporary folders.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace quarnel::testing {

using Bytes = std::vector<std::uint8_t>;

enum class Sampling { kGray, k444, k422, k420, kCmyk };

struct JpegOptions {
  Sampling sampling = Sampling::kGray;
  int quality = 100;  // 100 keeps 0/255 edges within a few levels
  bool progressive = false;
  int restartInterval = 0;  // in MCU rows; 0 for none
  int acScanBits = 0;  // > 0: 1 + components * 63 * acScanBits scans, one per AC coefficient bit
};

struct TestPage {  // gray, row-major
  int width, height;
  Bytes pixels;
  TestPage(int w, int h, std::uint8_t fill = 255)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // Sets columns x0 ... x1 and rows y0 ... y1 (inclusive) to `value`.
  void Fill(int x0, int y0, int x1, int y1, std::uint8_t value) {
    for (int y = y0; y <= y1; ++y) std::fill(&at(x0, y), &at(x1, y) + 1, value);
  }
};

// Colour samplings write R = G = B = gray (CMYK: C = M = Y = gray, K = 255, inverted).
Bytes EncodeJpeg(const TestPage& page, const JpegOptions& options = {});
Bytes EncodeRgbJpeg(int width, int height, const Bytes& rgb, const JpegOptions& options);
// Inverted CMYK samples (4 a pixel), stored as YCCK or as plain CMYK.
Bytes EncodeCmykJpeg(int width, int height, const Bytes& cmyk, bool ycck);

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadBytes(const std::filesystem::path& path);
inline void WriteJpeg(const std::filesystem::path& path, const TestPage& page,
                      const JpegOptions& options = {}) {
  WriteBytes(path, EncodeJpeg(page, options));
}

// A fresh temporary folder, removed with all in it (a test that makes parts read-only undoes it).
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string() + "/"; }  // as a folder argument
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::filesystem::path path_;
};

// Makes `folder` the current folder until the object goes out of scope.
struct ScopedCurrentPath {
  std::filesystem::path previous = std::filesystem::current_path();
  explicit ScopedCurrentPath(const std::filesystem::path& folder) {
    std::filesystem::current_path(folder);
  }
  ~ScopedCurrentPath() { std::filesystem::current_path(previous); }
  ScopedCurrentPath(const ScopedCurrentPath&) = delete;
};

// The names of the entries directly in `folder` (none when it is missing), sorted by bytes.
std::vector<std::string> EntryNames(const std::filesystem::path& folder);

}  // namespace quarnel::testing
