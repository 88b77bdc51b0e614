#include "test_support.h"

#include <jpeglib.h>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarnel::testing {
namespace fs = std::filesystem;
namespace {

// `fileSpace` is the colour space stored in the file, or JCS_UNKNOWN for libjpeg's default.
Bytes Encode(int width, int height, int components, J_COLOR_SPACE inSpace,
             const std::uint8_t* samples, const JpegOptions& options,
             J_COLOR_SPACE fileSpace = JCS_UNKNOWN) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = [](j_common_ptr) { std::abort(); };  // the tests encode only valid pages
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = inSpace;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (fileSpace != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, fileSpace);
  const bool wide = options.sampling == Sampling::k422 || options.sampling == Sampling::k420;
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = c == 0 && wide ? 2 : 1;
    cinfo.comp_info[c].v_samp_factor = c == 0 && options.sampling == Sampling::k420 ? 2 : 1;
  }
  if (options.progressive) jpeg_simple_progression(&cinfo);
  const int bits = options.acScanBits;
  std::vector<jpeg_scan_info> scans = {{cinfo.num_components, {0, 1, 2, 3}, 0, 0, 0, 0}};
  for (int c = 0; c < cinfo.num_components; ++c) {
    for (int k = 1; k < 64; ++k) {
      for (int bit = bits - 1; bit >= 0; --bit)
        scans.push_back({1, {c}, k, k, bit == bits - 1 ? 0 : bit + 1, bit});
    }
  }
  if (bits > 0) cinfo.scan_info = scans.data();
  if (bits > 0) cinfo.num_scans = static_cast<int>(scans.size());
  cinfo.restart_in_rows = options.restartInterval;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto row =
        const_cast<JSAMPROW>(samples + std::size_t{cinfo.next_scanline} * width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

}  // namespace

Bytes EncodeJpeg(const TestPage& page, const JpegOptions& options) {
  const int n = std::array{1, 3, 3, 3, 4}[static_cast<int>(options.sampling)];
  Bytes samples;
  for (const std::uint8_t v : page.pixels) {
    for (int c = 0; c < n; ++c) samples.push_back(c == 3 ? 255 : v);
  }
  const J_COLOR_SPACE space = n == 1 ? JCS_GRAYSCALE : n == 3 ? JCS_RGB : JCS_CMYK;
  return Encode(page.width, page.height, n, space, samples.data(), options,
                n == 4 ? JCS_YCCK : JCS_UNKNOWN);
}

Bytes EncodeRgbJpeg(int width, int height, const Bytes& rgb, const JpegOptions& options) {
  return Encode(width, height, 3, JCS_RGB, rgb.data(), options);
}

Bytes EncodeCmykJpeg(int width, int height, const Bytes& cmyk, bool ycck) {
  return Encode(width, height, 4, JCS_CMYK, cmyk.data(), {Sampling::kCmyk},
                ycck ? JCS_YCCK : JCS_CMYK);
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  if (!file.write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes)))
    throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "quarnel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> EntryNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quarnel::testing
