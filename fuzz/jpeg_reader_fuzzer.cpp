// libFuzzer target for the JPEG reading path.
//
// Each input is decoded from memory (LoadGrayFromMemory) and, through a memory-backed file, from
// a file descriptor (LoadGray, which has its own source manager). Both must agree: the same
// success or failure and the same pixels. A decoded image must have a sane size, and every one of
// its pixels is read, so that a buffer smaller than width * height shows up under
// AddressSanitizer. Running out of memory (std::bad_alloc) is an allowed outcome.
//
// libjpeg comes from the system and has no coverage instrumentation, so libFuzzer alone would see
// only the reader's own code. A probe therefore reads each input a second time with libjpeg
// directly and reports what the library went through (the markers it traced, the warnings and
// the error it raised, the frame type, colour space and sampling, the number of scans) as extra
// features, which lets the fuzzer keep inputs that take the library somewhere new.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "imageio/gray_image.h"
#include "imageio/jpeg_codec.h"

namespace {

// libFuzzer treats every counter in this section as a feature of the current input.
__attribute__((section("__libfuzzer_extra_counters"), used)) std::uint8_t gFeatures[1 << 14];

enum FeatureKind : std::uint32_t {
  kTraced = 1,    // a trace message: markers and tables seen
  kWarned = 2,    // a warning
  kFailed = 3,    // the error that ended the read
  kFrame = 4,     // colour space, components, precision, coding, sampling
  kScans = 5,     // number of scans
  kOutcome = 6,   // what the reader made of it
  kPrologue = 7,  // how far the probe got
};

void AddFeature(std::uint32_t kind, std::uint32_t value) {
  std::uint32_t hash = kind * 0x9E3779B1u ^ (value + 0x7F4A7C15u) * 0x85EBCA77u;
  hash ^= hash >> 15;
  hash *= 0x2C1B3C6Du;
  hash ^= hash >> 13;
  std::uint8_t& counter = gFeatures[hash % sizeof gFeatures];
  if (counter < 255) ++counter;
}

struct ProbeErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ProbeErrorExit(j_common_ptr cinfo) {
  AddFeature(kFailed, static_cast<std::uint32_t>(cinfo->err->msg_code));
  std::longjmp(reinterpret_cast<ProbeErrors*>(cinfo->err)->jump, 1);
}

void ProbeMessage(j_common_ptr cinfo, int level) {
  const auto code = static_cast<std::uint32_t>(cinfo->err->msg_code);
  AddFeature(level < 0 ? kWarned : kTraced, code);
}

void ProbeOutput(j_common_ptr /*cinfo*/) {}

// The reader's own bound on scans; without it a file of many tiny scans takes long to probe.
void ProbeLimitScans(j_common_ptr cinfo) {
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > quarnel::kMaxScans) ProbeErrorExit(cinfo);
}

void AddFrameFeatures(const jpeg_decompress_struct& cinfo) {
  std::uint32_t frame = static_cast<std::uint32_t>(cinfo.jpeg_color_space);
  frame = frame * 8 + static_cast<std::uint32_t>(cinfo.num_components & 7);
  frame = frame * 2 + (cinfo.progressive_mode ? 1 : 0);
  frame = frame * 2 + (cinfo.arith_code ? 1 : 0);
  frame = frame * 2 + (cinfo.restart_interval != 0 ? 1 : 0);
  frame = frame * 16 + static_cast<std::uint32_t>(cinfo.data_precision & 15);
  frame = frame * 4 + (cinfo.saw_JFIF_marker ? 1 : 0) + (cinfo.saw_Adobe_marker ? 2 : 0);
  AddFeature(kFrame, frame);
  for (int c = 0; c < cinfo.num_components && c < 4; ++c) {
    const jpeg_component_info& info = cinfo.comp_info[c];
    AddFeature(kFrame, 0x10000u + static_cast<std::uint32_t>(c * 256 + info.h_samp_factor * 16 +
                                                             info.v_samp_factor));
  }
}

// Reads the input with libjpeg up to the end of its last scan (coefficients only, no output
// pass), within the reader's memory bound, recording features on the way. Keeps only plain
// data in its frame: the error handler jumps back here.
void Probe(jpeg_decompress_struct* cinfo, ProbeErrors* errors, jpeg_progress_mgr* progress,
           const std::uint8_t* data, std::size_t size) {
  if (setjmp(errors->jump)) return;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = quarnel::kMaxDecoderMemory;
  cinfo->progress = progress;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  AddFeature(kPrologue, 1);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return;
  AddFeature(kPrologue, 2);
  AddFrameFeatures(*cinfo);
  cinfo->buffered_image = TRUE;
  jpeg_start_decompress(cinfo);
  AddFeature(kPrologue, 3);
  while (jpeg_consume_input(cinfo) != JPEG_REACHED_EOI) {
  }
  AddFeature(kPrologue, 4);
  AddFeature(kScans, static_cast<std::uint32_t>(std::min(cinfo->input_scan_number, 64)));
}

void ProbeInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ProbeErrors errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ProbeErrorExit;
  errors.pub.emit_message = ProbeMessage;
  errors.pub.output_message = ProbeOutput;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = ProbeLimitScans;
  Probe(&cinfo, &errors, &progress, data, size);
  jpeg_destroy_decompress(&cinfo);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "jpeg_reader_fuzzer: %s\n", what);
  std::abort();
}

std::uint64_t Checksum(const quarnel::GrayImage& image) {
  std::uint64_t sum = 0;
  const std::size_t count =
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  const std::uint8_t* pixels = image.pixels.get();
  for (std::size_t i = 0; i < count; ++i) sum = sum * 31 + pixels[i];
  return sum;
}

void CheckImage(const quarnel::GrayImage& image) {
  if (image.width < 1 || image.height < 1) Fail("decoded image with an empty size");
  const std::int64_t pixels = static_cast<std::int64_t>(image.width) * image.height;
  if (pixels > quarnel::kMaxDecodedPixels) Fail("decoded image beyond the pixel limit");
  if (image.pixels == nullptr) Fail("decoded image without pixels");
}

// The same bytes through LoadGray: a memory-backed file opened by its /proc path, so that the
// reader's open, fstat and read(2) path is used as for a page on disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : fd_(memfd_create("jpeg_reader_fuzzer", MFD_CLOEXEC)) {
    if (fd_ < 0) Fail("memfd_create failed");
    std::size_t done = 0;
    while (done < size) {
      const ssize_t wrote = write(fd_, data + done, size - done);
      if (wrote <= 0) Fail("cannot write the memory file");
      done += static_cast<std::size_t>(wrote);
    }
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ProbeInput(data, size);

  std::optional<quarnel::GrayImage> fromMemory;
  try {
    fromMemory = quarnel::LoadGrayFromMemory(data, size);
  } catch (const std::bad_alloc&) {
    AddFeature(kOutcome, 0);
    return 0;
  }
  AddFeature(kOutcome, fromMemory ? 2 : 1);
  std::uint64_t memorySum = 0;
  if (fromMemory) {
    CheckImage(*fromMemory);
    memorySum = Checksum(*fromMemory);
    // Do not hold two copies of a large image at once.
    fromMemory->pixels.reset();
  }

  std::optional<quarnel::GrayImage> fromFile;
  try {
    MemoryFile file(data, size);
    fromFile = quarnel::LoadGray(file.path());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (fromMemory.has_value() != fromFile.has_value()) {
    Fail(fromMemory ? "read from memory but not from a file" : "read from a file but not memory");
  }
  if (fromFile) {
    CheckImage(*fromFile);
    if (fromFile->width != fromMemory->width || fromFile->height != fromMemory->height) {
      Fail("memory and file reads give different sizes");
    }
    if (Checksum(*fromFile) != memorySum) Fail("memory and file reads give different pixels");
  }
  return 0;
}
