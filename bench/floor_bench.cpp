// The in-process floor of a run: what the codec alone spends on one book, one thread. It decodes
// every input page and encodes every output page with libjpeg-turbo directly, as the tool sets
// it up, and times only that:
// - decode: the whole file read into memory, colour decoded to JCS_EXT_RGBX a few rows at a
//   time into a row buffer at an odd address (as src/imageio/jpeg_codec.cpp does), gray files to
//   JCS_GRAYSCALE, CMYK/YCCK to JCS_CMYK; the rows are not looked at;
// - encode: each page of a finished run's output folder, decoded beforehand (not timed), encoded
//   as a grayscale quality-50 baseline JPEG into memory.
// Buffers are reused from page to page, so no time goes to fresh memory.
//
// Usage: quarnel_floor_bench BOOK_DIR OUT_DIR [RUNS]
// Prints the median of RUNS passes over the book (3 by default):
//   floor PAGES_IN PAGES_OUT DECODE_S ENCODE_S TOTAL_S ENCODED_BYTES OUTPUT_BYTES
// ENCODED_BYTES against OUTPUT_BYTES (the output folder's) shows that the encoder did the
// tool's work: re-encoding a quality-50 page at quality 50 gives nearly the same file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> JpegFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && (name.ends_with(".jpg") || name.ends_with(".JPG")))
        names.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0;
  if (ok) bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    ok = got > 0;
    if (ok) done += static_cast<std::size_t>(got);
  }
  close(fd);
  return ok;
}

// Decodes `jpeg`; with `gray` (a gray file only) the rows are kept there, otherwise they go
// through `rows`. The default error handler ends the program on a damaged file.
void Decode(const std::vector<unsigned char>& jpeg, std::vector<unsigned char>& rows,
            std::vector<unsigned char>* gray, int* width, int* height) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      cinfo.out_color_space = JCS_EXT_RGBX;
      break;
  }
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) *
                             static_cast<std::size_t>(cinfo.output_components);
  *width = static_cast<int>(cinfo.output_width);
  *height = static_cast<int>(cinfo.output_height);
  constexpr int kRows = 16;
  if (gray) gray->resize(stride * cinfo.output_height);
  if (rows.size() < 1 + kRows * stride) rows.resize(1 + kRows * stride);
  JSAMPROW pointers[kRows];
  while (cinfo.output_scanline < cinfo.output_height) {
    for (int i = 0; i < kRows; ++i) {
      pointers[i] = gray
                        ? gray->data() + (cinfo.output_scanline + static_cast<unsigned>(i)) * stride
                        : rows.data() + 1 + static_cast<std::size_t>(i) * stride;
    }
    jpeg_read_scanlines(&cinfo, pointers,
                        std::min<JDIMENSION>(kRows, cinfo.output_height - cinfo.output_scanline));
  }
  jpeg_abort_decompress(&cinfo);  // the rest of the file is not needed
  jpeg_destroy_decompress(&cinfo);
}

std::size_t Encode(const std::vector<unsigned char>& gray, int width, int height,
                   std::vector<unsigned char>& out) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  const std::size_t room =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 65536;
  if (out.size() < room) out.resize(room);
  unsigned char* buffer = out.data();
  unsigned long size = static_cast<unsigned long>(out.size());
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 50, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  constexpr int kRows = 16;
  JSAMPROW pointers[kRows];
  while (cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION count = std::min<JDIMENSION>(kRows, cinfo.image_height - cinfo.next_scanline);
    for (JDIMENSION i = 0; i < count; ++i) {
      pointers[i] =
          const_cast<JSAMPROW>(gray.data()) +
          static_cast<std::size_t>(cinfo.next_scanline + i) * static_cast<std::size_t>(width);
    }
    jpeg_write_scanlines(&cinfo, pointers, count);
  }
  jpeg_finish_compress(&cinfo);
  if (buffer != out.data()) std::free(buffer);  // the library grew it (never for such pages)
  jpeg_destroy_compress(&cinfo);
  return size;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s BOOK_DIR OUT_DIR [RUNS]\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> inputs = JpegFiles(argv[1]);
  const std::vector<std::string> outputs = JpegFiles(argv[2]);
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  if (inputs.empty() || outputs.empty()) {
    std::fprintf(stderr, "no .jpg in %s or %s\n", argv[1], argv[2]);
    return 1;
  }

  std::vector<unsigned char> file, rows, gray, encoded;
  std::vector<double> decodeTimes, encodeTimes;
  std::size_t encodedBytes = 0, outputBytes = 0;
  for (int run = 0; run < runs; ++run) {
    Clock::duration decode{}, encode{};
    for (const std::string& path : inputs) {
      const auto start = Clock::now();
      if (!ReadFile(path, file)) return 1;
      int width = 0, height = 0;
      Decode(file, rows, nullptr, &width, &height);
      decode += Clock::now() - start;
    }
    encodedBytes = outputBytes = 0;
    for (const std::string& path : outputs) {
      if (!ReadFile(path, file)) return 1;
      outputBytes += file.size();
      int width = 0, height = 0;
      Decode(file, rows, &gray, &width, &height);
      const auto start = Clock::now();
      encodedBytes += Encode(gray, width, height, encoded);
      encode += Clock::now() - start;
    }
    decodeTimes.push_back(Seconds(decode));
    encodeTimes.push_back(Seconds(encode));
  }
  std::vector<double> totals;
  for (int run = 0; run < runs; ++run) totals.push_back(decodeTimes[run] + encodeTimes[run]);
  std::vector<double> sorted = totals;
  std::sort(sorted.begin(), sorted.end());
  const int chosen = static_cast<int>(
      std::find(totals.begin(), totals.end(), sorted[sorted.size() / 2]) - totals.begin());
  std::printf("floor %zu %zu %.4f %.4f %.4f %zu %zu\n", inputs.size(), outputs.size(),
              decodeTimes[chosen], encodeTimes[chosen], totals[chosen], encodedBytes, outputBytes);
  return 0;
}
