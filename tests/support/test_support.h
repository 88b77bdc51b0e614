#pragma once

// Helpers for the tests: test pages built in memory, written as JPEG files with libjpeg, and
// temporary folders that clean up after themselves.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quarnel::testing {

// How a test JPEG is encoded.
enum class Sampling { kGray, k444, k422, k420, kCmyk };

struct JpegOptions {
  Sampling sampling = Sampling::kGray;
  int quality = 100;  // 100 keeps 0/255 edges within a few levels
  bool progressive = false;
  int restartInterval = 0;  // in MCU rows; 0 for none
};

// A gray page of `width` x `height` bytes, row-major.
struct TestPage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  TestPage(int w, int h, std::uint8_t fill = 255);
  std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // Sets columns x0 ... x1 and rows y0 ... y1 (inclusive) to `value`.
  void Fill(int x0, int y0, int x1, int y1, std::uint8_t value);
};

// Encodes gray samples. For the colour samplings each pixel is written as R = G = B = value
// (CMYK as C = M = Y = value, K = 255 in the inverted convention), which reads back as gray.
std::vector<std::uint8_t> EncodeJpeg(const TestPage& page, const JpegOptions& options = {});

// Encodes interleaved RGB samples (width * height * 3 bytes).
std::vector<std::uint8_t> EncodeRgbJpeg(int width, int height, const std::vector<std::uint8_t>& rgb,
                                        const JpegOptions& options);

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteJpeg(const std::filesystem::path& path, const TestPage& page,
               const JpegOptions& options = {});

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path as a folder argument: ends in '/'.
  std::string str() const { return path_.string() + "/"; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Makes `folder` the current folder until the object goes out of scope.
class ScopedCurrentPath {
 public:
  explicit ScopedCurrentPath(const std::filesystem::path& folder);
  ~ScopedCurrentPath();
  ScopedCurrentPath(const ScopedCurrentPath&) = delete;
  ScopedCurrentPath& operator=(const ScopedCurrentPath&) = delete;

 private:
  std::filesystem::path previous_;
};

// The names of the entries directly in `folder`, sorted by their bytes.
std::vector<std::string> EntryNames(const std::filesystem::path& folder);

}  // namespace quarnel::testing
