// Writes the seed corpora of the fuzz targets:
//   make_seed_corpus JPEG_DIR COMMAND_LINE_DIR
// JPEG_DIR gets small valid JPEGs of every kind the reader handles (gray and colour, every usual
// chroma sampling, progressive, arithmetic-coded, restart markers, Adobe CMYK and YCCK, extra
// markers, odd sizes); COMMAND_LINE_DIR gets argument lists, one argument per NUL-ended string.
// The files are made afresh each time, so no binary seed is kept in the repository.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

enum class Kind { kGray, kYcc, kRgb, kCmyk, kYcck };

struct Seed {
  std::string name;
  int width;
  int height;
  Kind kind = Kind::kGray;
  int h = 1;  // luma sampling factors; chroma components are 1x1
  int v = 1;
  bool progressive = false;
  bool arithmetic = false;
  bool optimize = false;
  int restartInterval = 0;  // in MCUs
  int restartRows = 0;      // in MCU rows
  int quality = 90;
  bool markers = false;  // a comment and an APP1 segment before the frame
};

[[noreturn]] void AbortOnError(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  std::fprintf(stderr, "make_seed_corpus: %s\n", text);
  std::exit(1);
}

// A page-like picture: light paper, a dark block and a gradient, so that the coefficients are
// not all zero. Colour pictures get a different tint per component.
std::uint8_t Sample(int x, int y, int component) {
  if (x % 7 < 3 && y % 5 < 2) return static_cast<std::uint8_t>(20 + 30 * component);
  return static_cast<std::uint8_t>(160 + (x * 5 + y * 3 + component * 40) % 96);
}

std::vector<std::uint8_t> Encode(const Seed& seed) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = AbortOnError;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);

  int components = 1;
  J_COLOR_SPACE inSpace = JCS_GRAYSCALE;
  if (seed.kind == Kind::kYcc || seed.kind == Kind::kRgb) {
    components = 3;
    inSpace = JCS_RGB;
  } else if (seed.kind == Kind::kCmyk || seed.kind == Kind::kYcck) {
    components = 4;
    inSpace = JCS_CMYK;
  }
  cinfo.image_width = static_cast<JDIMENSION>(seed.width);
  cinfo.image_height = static_cast<JDIMENSION>(seed.height);
  cinfo.input_components = components;
  cinfo.in_color_space = inSpace;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, seed.quality, TRUE);
  switch (seed.kind) {
    case Kind::kRgb:
      jpeg_set_colorspace(&cinfo, JCS_RGB);  // Adobe marker, no colour transform
      break;
    case Kind::kCmyk:
      jpeg_set_colorspace(&cinfo, JCS_CMYK);
      break;
    case Kind::kYcck:
      jpeg_set_colorspace(&cinfo, JCS_YCCK);
      break;
    default:
      break;
  }
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = c == 0 ? seed.h : 1;
    cinfo.comp_info[c].v_samp_factor = c == 0 ? seed.v : 1;
  }
  if (seed.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = seed.arithmetic ? TRUE : FALSE;
  cinfo.optimize_coding = seed.optimize ? TRUE : FALSE;
  cinfo.restart_interval = static_cast<unsigned>(seed.restartInterval);
  cinfo.restart_in_rows = seed.restartRows;

  jpeg_start_compress(&cinfo, TRUE);
  if (seed.markers) {
    const std::string comment = "seed";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
    const unsigned char exif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, sizeof exif);
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(seed.width) * components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < seed.width; ++x) {
      for (int c = 0; c < components; ++c) {
        row[static_cast<std::size_t>(x) * components + c] = Sample(x, y, c);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

std::vector<Seed> JpegSeeds() {
  std::vector<Seed> seeds;
  // Every kind at the odd sizes; 1x1 and 17x9 leave partial MCUs in both directions.
  const struct { int width, height; } sizes[] = {{1, 1}, {17, 9}, {9, 17}, {33, 65}};
  for (const auto& size : sizes) {
    const std::string dims = std::to_string(size.width) + "x" + std::to_string(size.height);
    const int w = size.width, h = size.height;
    seeds.push_back({"gray-" + dims, w, h});
    seeds.push_back({"ycc444-" + dims, w, h, Kind::kYcc, 1, 1});
    seeds.push_back({"ycc422-" + dims, w, h, Kind::kYcc, 2, 1});
    seeds.push_back({"ycc420-" + dims, w, h, Kind::kYcc, 2, 2});
    seeds.push_back({"cmyk-" + dims, w, h, Kind::kCmyk});
  }
  seeds.push_back({"ycc440-17x9", 17, 9, Kind::kYcc, 1, 2});
  seeds.push_back({"ycc411-33x9", 33, 9, Kind::kYcc, 4, 1});
  seeds.push_back({"rgb-17x9", 17, 9, Kind::kRgb});
  seeds.push_back({"ycck-17x9", 17, 9, Kind::kYcck});
  seeds.push_back({"ycck420-33x17", 33, 17, Kind::kYcck, 2, 2});

  Seed s{"gray-progressive-33x65", 33, 65};
  s.progressive = true;
  seeds.push_back(s);
  s = {"ycc420-progressive-33x65", 33, 65, Kind::kYcc, 2, 2};
  s.progressive = true;
  seeds.push_back(s);
  s = {"cmyk-progressive-17x9", 17, 9, Kind::kCmyk};
  s.progressive = true;
  seeds.push_back(s);
  s = {"ycc422-progressive-1x1", 1, 1, Kind::kYcc, 2, 1};
  s.progressive = true;
  seeds.push_back(s);

  s = {"gray-restart1-33x65", 33, 65};
  s.restartInterval = 1;
  seeds.push_back(s);
  s = {"ycc420-restartrow-33x65", 33, 65, Kind::kYcc, 2, 2};
  s.restartRows = 1;
  seeds.push_back(s);
  s = {"ycc420-progressive-restart2-33x65", 33, 65, Kind::kYcc, 2, 2};
  s.progressive = true;
  s.restartInterval = 2;
  seeds.push_back(s);

  s = {"gray-arithmetic-17x9", 17, 9};
  s.arithmetic = true;
  seeds.push_back(s);
  s = {"ycc420-arithmetic-progressive-33x65", 33, 65, Kind::kYcc, 2, 2};
  s.arithmetic = true;
  s.progressive = true;
  seeds.push_back(s);
  s = {"ycc422-arithmetic-restart1-17x9", 17, 9, Kind::kYcc, 2, 1};
  s.arithmetic = true;
  s.restartInterval = 1;
  seeds.push_back(s);

  s = {"gray-optimized-q10-33x65", 33, 65};
  s.optimize = true;
  s.quality = 10;
  seeds.push_back(s);
  s = {"ycc444-q100-markers-17x9", 17, 9, Kind::kYcc, 1, 1};
  s.quality = 100;
  s.markers = true;
  seeds.push_back(s);
  return seeds;
}

// Argument lists for the command-line target: valid ones, every usage error, every check, and
// numbers at and beyond the 32-bit range.
const std::vector<std::vector<std::string>> kCommandLines = {
    {},
    {"-i", "scans"},
    {"-i", "scans/", "-o", "out", "-b", "100", "-w", "180", "-n", "5", "-z"},
    {"-i", "in", "-o", "out", "-w", "-n", "-z"},
    {"-input", "in", "-output", "out", "-black", "90", "-white"},
    {"-w", "-b", "50"},
    {"-n", "-5"},
    {"-n", "20", "-n"},
    {"-b", "  +120", "-w", "256"},
    {"-b", "2147483647"},
    {"-b", "-2147483649", "-w", "99999999999"},
    {"-b", "0", "-w", "1"},
    {"-b", "255", "-w", "255"},
    {"-z"},
    {"-z", "-o", ""},
    {"-o", "", "-i", ""},
    {"-v"},
    {"-i"},
    {"-o"},
    {"-b"},
    {"-x"},
    {"-"},
    {""},
    {"scans"},
    {"-i", "a", "b"},
    {"-w", "", "-n", ""},
    {"-b", "12abc", "-w", "\t\n 7"},
    {"-o", "out", "-q", "90"},
    {"-q", "0"},
    {"-q", "-5", "-q", "101"},
    {"-q"},
    {"-i", "in", "--help"},
    {"-help"},
    {"--version", "-v"},
    {"--versions"},
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_seed_corpus JPEG_DIR COMMAND_LINE_DIR\n";
    return 2;
  }
  const std::string jpegDir = argv[1];
  const std::string commandLineDir = argv[2];
  int written = 0;
  for (const Seed& seed : JpegSeeds()) {
    const std::vector<std::uint8_t> bytes = Encode(seed);
    if (!WriteFile(jpegDir + "/" + seed.name + ".jpg", std::string(bytes.begin(), bytes.end()))) {
      std::cerr << "make_seed_corpus: cannot write into " << jpegDir << "\n";
      return 1;
    }
    ++written;
  }
  int index = 0;
  for (const auto& args : kCommandLines) {
    std::string bytes;
    for (const std::string& arg : args) bytes += arg + '\0';
    if (!WriteFile(commandLineDir + "/args-" + std::to_string(index++), bytes)) {
      std::cerr << "make_seed_corpus: cannot write into " << commandLineDir << "\n";
      return 1;
    }
    ++written;
  }
  std::cout << "make_seed_corpus: " << written << " files\n";
  return 0;
}
