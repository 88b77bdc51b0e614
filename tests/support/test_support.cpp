#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace quarnel::testing {
namespace {

// The test encoder only ever sees valid parameters; a libjpeg error here is a bug in a test.
[[noreturn]] void AbortOnError(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  std::fprintf(stderr, "test JPEG encoder: %s\n", text);
  std::abort();
}

std::vector<std::uint8_t> Encode(int width, int height, int components, J_COLOR_SPACE inSpace,
                                 const std::uint8_t* samples, const JpegOptions& options) {
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
  cinfo.input_components = components;
  cinfo.in_color_space = inSpace;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (options.sampling == Sampling::kCmyk) {
    jpeg_set_colorspace(&cinfo, JCS_YCCK);
  }
  if (components >= 3) {
    int h = 1, v = 1;
    if (options.sampling == Sampling::k422) h = 2;
    if (options.sampling == Sampling::k420) h = v = 2;
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
    for (int c = 1; c < cinfo.num_components; ++c) {
      cinfo.comp_info[c].h_samp_factor = 1;
      cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (options.sampling == Sampling::kCmyk) {
      cinfo.comp_info[3].h_samp_factor = 1;
      cinfo.comp_info[3].v_samp_factor = 1;
    }
  }
  if (options.progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_in_rows = options.restartInterval;
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = static_cast<std::size_t>(width) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

}  // namespace

TestPage::TestPage(int w, int h, std::uint8_t fill)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

void TestPage::Fill(int x0, int y0, int x1, int y1, std::uint8_t value) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) at(x, y) = value;
  }
}

std::vector<std::uint8_t> EncodeJpeg(const TestPage& page, const JpegOptions& options) {
  switch (options.sampling) {
    case Sampling::kGray:
      return Encode(page.width, page.height, 1, JCS_GRAYSCALE, page.pixels.data(), options);
    case Sampling::kCmyk: {
      std::vector<std::uint8_t> cmyk;
      cmyk.reserve(page.pixels.size() * 4);
      for (const std::uint8_t v : page.pixels) cmyk.insert(cmyk.end(), {v, v, v, 255});
      return Encode(page.width, page.height, 4, JCS_CMYK, cmyk.data(), options);
    }
    default: {
      std::vector<std::uint8_t> rgb;
      rgb.reserve(page.pixels.size() * 3);
      for (const std::uint8_t v : page.pixels) rgb.insert(rgb.end(), {v, v, v});
      return Encode(page.width, page.height, 3, JCS_RGB, rgb.data(), options);
    }
  }
}

std::vector<std::uint8_t> EncodeRgbJpeg(int width, int height, const std::vector<std::uint8_t>& rgb,
                                        const JpegOptions& options) {
  return Encode(width, height, 3, JCS_RGB, rgb.data(), options);
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void WriteJpeg(const std::filesystem::path& path, const TestPage& page,
               const JpegOptions& options) {
  WriteBytes(path, EncodeJpeg(page, options));
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarnel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders made read-only by a test must become writable again to be removed.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

ScopedCurrentPath::ScopedCurrentPath(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

ScopedCurrentPath::~ScopedCurrentPath() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

std::vector<std::string> EntryNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quarnel::testing
