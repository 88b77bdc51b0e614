#include "test_support.h"

#include <fcntl.h>
#include <jpeglib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "analysis/content_bounds.h"
#include "app/command_line.h"

namespace quarnel::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

Bytes EncodeSamples(int width, int height, int components, const Bytes& samples,
                    const JpegOptions& options) {
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
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (options.ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  std::vector<jpeg_scan_info> scans = {{components, {0, 1, 2, 3}, 0, 0, 0, 0}};
  for (int c = 0; c < components; ++c)
    for (int k = 1; k < 64; ++k)
      for (int bit = options.acScanBits - 1; bit >= 0; --bit)
        scans.push_back({1, {c}, k, k, bit == options.acScanBits - 1 ? 0 : bit + 1, bit});
  if (options.acScanBits > 0) cinfo.scan_info = scans.data(), cinfo.num_scans = std::ssize(scans);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto row =
        const_cast<JSAMPROW>(&samples[std::size_t{cinfo.next_scanline} * width * components]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

Bytes DeclareSize(Bytes jpeg, int size, std::size_t bytes) {
  std::size_t sof = 2;  // the frame header: baseline, progressive or arithmetic
  while (jpeg.at(sof) != 0xFF ||
         (jpeg.at(sof + 1) != 0xC0 && jpeg[sof + 1] != 0xC2 && jpeg[sof + 1] != 0xC9))
    ++sof;
  jpeg[sof + 5] = jpeg[sof + 7] = static_cast<std::uint8_t>(size >> 8);
  jpeg[sof + 6] = jpeg[sof + 8] = static_cast<std::uint8_t>(size);
  jpeg.resize(bytes);
  return jpeg;
}

Bytes WithDensity(Bytes jpeg, const Density& d) {
  jpeg.at(13) = d.unit;  // after the start, APP0's marker and length, "JFIF\0" and the version
  jpeg.at(14) = d.x >> 8, jpeg[15] = d.x & 255, jpeg[16] = d.y >> 8, jpeg[17] = d.y & 255;
  return jpeg;
}

Bytes Exif(bool motorola, const std::vector<std::array<unsigned, 3>>& entries) {
  Bytes b{'E', 'x', 'i', 'f', 0, 0}, r;  // the rationals, after IFD0 and its next-IFD offset
  auto put = [motorola](Bytes& to, std::size_t v, int n) {
    for (int i = 0; i < n; ++i) to.push_back(std::uint8_t(v >> 8 * (motorola ? n - 1 - i : i)));
  };
  put(b, motorola ? 0x4D4D : 0x4949, 2), put(b, 42, 2), put(b, 8, 4), put(b, entries.size(), 2);
  for (const auto& [tag, type, value] : entries) {
    put(b, tag, 2), put(b, type, 2), put(b, 1, 4);
    put(b, type == 5 ? 14 + 12 * entries.size() + r.size() : value << (motorola ? 16 : 0), 4);
    if (type == 5) put(r, value, 4), put(r, 1, 4);  // a short is at the start of the four bytes
  }
  put(b, 0, 4), b.insert(b.end(), r.begin(), r.end());
  b.insert(b.begin(), {0xFF, 0xE1, std::uint8_t((b.size() + 2) >> 8), std::uint8_t(b.size() + 2)});
  return b;
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
  fs::remove_all(path_);
}

std::vector<std::string> EntryNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The child writes into files, which are read until it ends.
RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options) {
  std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const TempDir io;
  const std::string out = (io / "out").string(), err = (io / "err").string();
  const pid_t pid = fork();
  if (pid == 0) {  // the test program has one thread: the child may still call setenv
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    const rlimit size{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
    const rlimit space{rlim_t(options.addressSpaceLimit), rlim_t(options.addressSpaceLimit)};
    int stdoutFd = creat(out.c_str(), 0600), pipeFds[2];
    if (options.stdoutTo == ChildOptions::kFullDevice) stdoutFd = open("/dev/full", O_WRONLY);
    if (options.stdoutTo == ChildOptions::kClosedPipe && pipe(pipeFds) == 0)
      stdoutFd = pipeFds[1], close(pipeFds[0]);  // every write fails with EPIPE
    if (dup2(open("/dev/null", O_RDONLY), 0) == 0 && dup2(stdoutFd, 1) == 1 &&
        dup2(creat(err.c_str(), 0600), 2) == 2 &&
        (options.workDir.empty() || chdir(options.workDir.c_str()) == 0) &&
        (options.fileSizeLimit < 0 || setrlimit(RLIMIT_FSIZE, &size) == 0) &&
        (options.addressSpaceLimit < 0 || setrlimit(RLIMIT_AS, &space) == 0) &&
        (options.stdoutTo != ChildOptions::kClosed || close(1) == 0))
      execv(binary.c_str(), argv.data());
    _exit(127);
  }
  auto text = [](const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  int status = 0;
  for (auto left = options.timeout; waitpid(pid, &status, WNOHANG) == 0; left -= 1ms) {
    std::this_thread::sleep_for(1ms);
    if (options.signal != 0 && text(out).find(options.signalAfter) != std::string::npos)
      kill(pid, options.signal);
    if (left.count() <= 0) kill(pid, SIGKILL);  // a hang: the result shows signal 9
  }
  return {text(out), text(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

RunResult RunInProcess(const std::vector<std::string>& args, const RunOptions& options) {
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.settings) return {parsed.answer, parsed.error, parsed.error.empty() ? 0 : 255};
  if (const auto problem = CheckSettings(*parsed.settings)) return {"", *problem, 255};
  std::FILE* streams[] = {std::tmpfile(), std::tmpfile()};
  RunOptions withArguments = options;
  withArguments.arguments = args;
  const int status = RunBatch(*parsed.settings, withArguments, streams[0], streams[1]);
  std::string text[2];
  for (int i = 0; i < 2; ++i) {
    text[i].resize(static_cast<std::size_t>(std::ftell(streams[i])));
    std::rewind(streams[i]);
    text[i].resize(std::fread(text[i].data(), 1, text[i].size(), streams[i]));
    std::fclose(streams[i]);
  }
  return {text[0], text[1], status};
}

std::optional<ContentBox> ReferenceBox(GrayView page, int black, int noise) {
  int left = page.width, right = -1, top = page.height, bottom = -1;
  std::vector<std::int32_t> rows(page.height), columns(page.width);
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      if (page.Row(y)[x] >= black) continue;
      left = std::min(left, x), right = std::max(right, x), ++rows[y], ++columns[x];
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (noise > 0) {
    top = ScanProfileEdge(rows.data(), page.height, true, noise);
    bottom = ScanProfileEdge(rows.data(), page.height, false, noise);
    left = ScanProfileEdge(columns.data(), page.width, true, noise);
    right = ScanProfileEdge(columns.data(), page.width, false, noise);
  }
  if (left < 0 || top < 0 || left >= right || top >= bottom) return std::nullopt;
  const int x0 = std::max(left - 5, 0), x1 = std::min(right + 5, page.width);
  const int y0 = std::max(top - 5, 0);
  return ContentBox{x1, y0, x1 - x0, std::min(bottom + 5, page.height) - y0};
}

std::pair<int, int> ReferencePlacement(const ContentBox& box, const Extremes& e) {
  const int right = e.maxRight(), top = e.minTop(), width = e.maxWidth(), height = e.maxHeight();
  return {std::max(box.left() - (right - width), 0),
          box.bottom() > top + height ? height - box.height : box.top - top};
}

TestPage ReferenceCanvas(GrayView page, const std::optional<ContentBox>& box, const Extremes& e,
                         int white) {
  TestPage canvas(e.maxWidth(), e.maxHeight());
  if (!box || box->width <= 0 || box->height <= 0) return canvas;
  const int x0 = ReferencePlacement(*box, e).first, y0 = ReferencePlacement(*box, e).second;
  for (int y = 0; y < box->height; ++y)
    for (int x = 0; x < box->width; ++x)
      canvas.at(x0 + x, y0 + y) = page.Row(box->top + y)[box->left() + x];
  if (white > 255 || box->width < 5 || box->height < 5) return canvas;
  const TestPage placed = canvas;
  auto dark = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < box->width && y < box->height &&
           placed.pixels[(y0 + y) * e.maxWidth() + x0 + x] < white;
  };
  for (int y = 0; y < box->height; ++y) {
    for (int x = 0; x < box->width; ++x) {
      bool keep = false;
      for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) keep = keep || dark(x + dx, y + dy);
      if (!keep) canvas.at(x0 + x, y0 + y) = 255;
    }
  }
  return canvas;
}

}  // namespace quarnel::test
