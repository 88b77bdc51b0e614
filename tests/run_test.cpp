// The binary against a model of the run written from its definition. Random books (pages that
// cannot be read, pages without content, equal pages, odd names) run with random settings into
// output folders holding old pages, or folders in the way of pages or of the CSV report, on a
// disk that may be full; on one worker and on several, with and without boxes kept between the
// passes. Standard output, standard error, the exit status and the output folder afterwards (the
// report in it) must agree byte for byte.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <random>

#include "app/messages.h"
#include "imageio/jpeg_reader.h"
#include "test_support.h"

namespace quarnel::test {
namespace {

namespace fs = std::filesystem;
using Folder = std::map<std::string, Bytes>;  // a folder's entries; a subfolder as no bytes

struct Book {
  std::vector<std::string> names;  // in table order
  std::vector<Bytes> files;
  int black = 120, white = 256, noise = 0, quality = 50;
  bool output = true, topOnly = false;
  Folder before;                 // the output folder before the run
  long long fileSizeLimit = -1;  // larger files do not fit on the disk
  std::string report;            // the name of a CSV report written into the output folder
};

struct Outcome {
  std::string out, err;
  int status = 0;
  Folder files;
  bool operator==(const Outcome&) const = default;
};

Outcome Model(const Book& book, const std::string& outDir) {
  const int n = static_cast<int>(book.files.size());
  std::vector<ReadResult<GrayImage>> pages;
  std::vector<std::optional<ContentBox>> boxes;
  std::vector<Density> densities(n);
  Outcome o{"", "", 0, book.before};
  Extreme right, top{INT32_MAX, 0}, width, height;  // the largest right edge, the smallest top, ...
  std::vector<std::string> written(n, book.output ? "skipped" : ""), reason(n);
  for (int j = 0; j < n; ++j) {
    pages.push_back(LoadGrayFromMemory(book.files[j].data(), book.files[j].size(),
                                       kMaxDecodedPixels, &densities[j]));
    boxes.push_back(pages[j] ? ReferenceBox(pages[j]->View(), book.black, book.noise)
                             : std::nullopt);
    o.out += "Input " + std::to_string(j) + "/" + std::to_string(n) + "   \r";
    // A file that cannot be read is damaged when it starts as a JPEG file does (FF D8).
    const bool jpeg = book.files[j][0] == 0xFF && book.files[j][1] == 0xD8;
    if (!pages[j]) reason[j] = jpeg ? "damaged or cut short" : "not a JPEG file";
    if (!boxes[j]) o.err += "Error: " + std::to_string(j) + "\n";
    if (!boxes[j]) continue;
    if (boxes[j]->width > width.value) width = {boxes[j]->width, j};
    if (boxes[j]->height > height.value) height = {boxes[j]->height, j};
    if (boxes[j]->top < top.value) top = {boxes[j]->top, j};
    if (boxes[j]->right > right.value) right = {boxes[j]->right, j};
  }
  const Extremes x{{right, top, width, height}};
  // clang-format off
  for (const auto& [label, extreme] : {std::pair{"\nMax Right:  ", right}, {"Max Top:    ", top},
                                       {"Max Width:  ", width}, {"Max Height: ", height}})
    // clang-format on
    o.out += label + book.names[extreme.page] + " (" + std::to_string(extreme.value) + ")\n";
  if (book.output && width.value == 0) o.err += "ERROR: no page has content, nothing written\n";
  if (book.output && width.value == 0) o.status = 1;
  auto write = [&](int k) {
    Bytes jpeg = EncodeJpeg(ReferenceCanvas(pages[k]->View(), boxes[k], x, book.white),
                            {.quality = book.quality});
    if (densities[k].unit) jpeg = WithDensity(jpeg, densities[k]);
    const auto old = book.before.find(book.names[k]);
    const bool blocked = old != book.before.end() && old->second.empty();
    written[k] = "failed";
    if (blocked || (book.fileSizeLimit >= 0 && std::ssize(jpeg) > book.fileSizeLimit)) {
      o.err += "Error: cannot write " + outDir + book.names[k] + "\n";
      o.status = 1;
      reason[k] = blocked ? "cannot write: Is a directory" : "cannot write: File too large";
    } else {
      o.files[book.names[k]] = jpeg;
      written[k] = "written";
    }
  };
  if (book.output && width.value > 0 && book.topOnly) {
    o.out += "Output Top file\n";
    for (const int k : ExtremePages(x)) write(k);
  }
  const bool fullPass = book.output && width.value > 0 && !book.topOnly;
  for (int k = 0; fullPass && k < n; ++k) {
    o.out += "Output " + std::to_string(k) + "/" + std::to_string(n) + "   \r";
    if (!pages[k]) {
      o.err += "Error\n", o.status = 1, written[k] = "failed";
      break;
    }
    write(k);
  }
  if (fullPass) o.out += "\n";
  if (book.report.empty()) return o;
  std::string csv =
      "page,name,status,page_width,page_height,left,top,right,bottom,width,height,canvas_x,"
      "canvas_y,sets,output,sheet_left,sheet_top,sheet_right,sheet_bottom,reason\n";
  for (int j = 0; j < n; ++j) {
    std::string name = book.names[j], sets;
    for (std::size_t q = name.find('"'); q != std::string::npos; q = name.find('"', q + 2))
      name.insert(q, 1, '"');
    if (name.find_first_of(",\"\r\n") != std::string::npos) name.insert(0, 1, '"') += '"';
    csv += std::to_string(j) + "," + name + "," +
           (!pages[j]   ? "unreadable,,,"
            : !boxes[j] ? "no content,"
                        : "ok,");
    if (pages[j])
      csv += std::to_string(pages[j]->width) + "," + std::to_string(pages[j]->height) + ",";
    if (!boxes[j]) csv += ",,,,,,,,,";
    if (boxes[j]) {
      const ContentBox& b = *boxes[j];
      const auto [cx, cy] = ReferencePlacement(b, x);
      for (const int v : {b.left(), b.top, b.right, b.bottom(), b.width, b.height, cx, cy})
        csv += std::to_string(v) + ",";
      // clang-format off
      for (const auto& [page, word] : {std::pair{right.page, "right"}, {top.page, "top"},
                                       {width.page, "width"}, {height.page, "height"}})
        // clang-format on
        if (page == j) sets += (sets.empty() ? "" : " ") + std::string(word);
      csv += sets + ",";
    }
    csv += written[j] + ",,,,," + reason[j] + "\n";  // no sheet without -s
  }
  if (book.before.contains(book.report) ||
      (book.fileSizeLimit >= 0 && std::ssize(csv) > book.fileSizeLimit))
    return {o.out, o.err + "Error: cannot write " + outDir + book.report + "\n", 1, o.files};
  o.files[book.report] = Bytes(csv.begin(), csv.end());
  return o;
}

// Light or white paper with noise, dark blocks and specks; the first page of the first book is
// large, so that later pages are ready first on several workers, and white with a box over the
// whole page, so that its kept box has long runs of white.
Book RandomBook(std::mt19937& rng, int number) {
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Book book;
  book.black = uniform(60, 200);
  book.white = uniform(0, 1) ? 256 : uniform(book.black + 1, 255);
  book.noise = uniform(0, 2) ? 0 : uniform(1, 3);
  book.quality = uniform(0, 1) ? 50 : uniform(1, 100);
  book.output = number <= 1 || uniform(0, 5) > 0;
  book.topOnly = book.output && uniform(0, 3) == 0;
  book.fileSizeLimit = uniform(0, 3) || number == 0 ? -1 : uniform(600, 900);  // above any stdout
  book.report = std::array{"", "", "report.csv", "Report.CSV"}[uniform(0, 3)];
  if (!book.report.empty() && uniform(0, 9) == 0) book.before[book.report] = {};
  const int n = number == 0 ? 6 : number == 1 ? 3 : uniform(1, 6);
  for (int i = 0; i < n; ++i) {
    std::string name = "p";
    name += std::to_string(i) + std::array{".jpg", " \xff -z.jpg", ",\"q\"\n.JPG"}[i % 3];
    book.names.push_back(name);
    if (uniform(0, 5) == 0) book.before[name] = uniform(0, 1) ? Bytes{} : Bytes{'o', 'l', 'd'};
    // The second book has no content; the first one starts with its large page.
    const int kind = number == 1 ? i + 1 : number + i == 0 ? 0 : uniform(0, 9);
    if (kind == 1 || kind == 2) {
      const Bytes cut = {0xFF, 0xD8};  // the start of a JPEG file
      book.files.push_back(kind == 2 ? EncodeJpeg(TestPage(30, 20))
                           : i % 2   ? cut
                                     : Bytes{'n', 'o'});
    } else if (kind == 3 && i > 0) {
      book.files.push_back(book.files.back());
    } else {
      const bool large = number + i == 0;
      const bool small = uniform(0, 3) == 0;
      TestPage page(large ? 900 : uniform(small ? 2 : 20, small ? 9 : 80),
                    large ? 700 : uniform(small ? 2 : 20, 80));
      const int paper = large || uniform(0, 2) == 0 ? 255 : 190;  // white paper: runs of 255
      for (auto& v : page.pixels) v = uniform(paper, 255);
      for (int k = uniform(0, 3); k > 0; --k) {
        const int x = uniform(0, page.width - 1), y = uniform(0, page.height - 1);
        page.Fill(x, y, uniform(x, page.width - 1), uniform(y, page.height - 1), uniform(0, 150));
      }
      for (int k = uniform(0, 3); k > 0; --k)
        page.at(uniform(0, page.width - 1), uniform(0, page.height - 1)) = 0;
      if (large) page.at(0, 0) = page.at(899, 699) = 0;  // its box: the whole page
      Bytes jpeg = EncodeJpeg(page, {.progressive = i % 2 == 1});
      if (i % 3 == 1) jpeg = WithDensity(jpeg, {1, 350, 350});
      // Every fourth page is stored turned (the model reads it as the reader does) and has EXIF's
      // density.
      const auto exif =
          Exif(number % 2, {{0x112, 3, number % 8 + 1u}, {0x11A, 5, 7}, {0x11B, 5, 9}});
      if (i % 4 == 2) jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
      book.files.push_back(jpeg);
    }
  }
  return book;
}

TEST(Run, MatchesTheModel) {
  std::mt19937 rng(1);
  umask(022);  // new files are -rw-r--r--
  for (int number = 0; number < 40; ++number) {
    const Book book = RandomBook(rng, number);
    TempDir in, out;
    for (std::size_t i = 0; i < book.files.size(); ++i)
      WriteBytes(in / book.names[i], book.files[i]);
    std::vector<std::string> args = {"-i", in.str(),
                                     "-b", std::to_string(book.black),
                                     "-w", std::to_string(book.white),
                                     "-n", std::to_string(book.noise)};
    if (book.output) args.insert(args.end(), {"-o", out.str()});
    if (book.topOnly) args.push_back("-z");
    if (!book.report.empty()) args.insert(args.end(), {"-r", out.str() + book.report});
    if (book.quality != 50 || number % 2)
      args.insert(args.end(), {"-q", std::to_string(book.quality)});
    const Outcome expected = Model(book, out.str());
    // The binary, on the machine's cores, under the book's limit on the file size; and, for books
    // without that limit, the run in this process on one worker and on several, with boxes kept
    // in memory, in a file, in a file or memory too small for all of them.
    // clang-format off
    for (const auto& [process, workers, memory, file] : {std::tuple{true, 0, 0, 0},
         {false, 1, 4000000, 0}, {false, 3, 0, 100000000}, {false, 2, 3000, 0},
         {false, 2, 0, 20000}}) {
      // clang-format on
      if (!process && book.fileSizeLimit >= 0) continue;
      fs::remove_all(out.path());
      fs::create_directory(out.path());
      for (const auto& [name, bytes] : book.before) {
        if (bytes.empty()) fs::create_directory(out / name);
        if (!bytes.empty()) WriteBytes(out / name, bytes);
      }
      const RunResult run = process ? RunQuarnel(args, {.fileSizeLimit = book.fileSizeLimit})
                                    : RunInProcess(args, {workers, file, memory, nullptr});
      Outcome got{run.out, run.err, run.status, {}};
      for (const std::string& name : EntryNames(out.path())) {
        got.files[name] = fs::is_directory(out / name) ? Bytes{} : ReadBytes(out / name);
        EXPECT_TRUE(fs::is_directory(out / name) ||
                    fs::status(out / name).permissions() == fs::perms(0644));
      }
      ASSERT_TRUE(got == expected) << "book " << number << ", " << workers << " workers\n"
                                   << got.out << got.err << "expected\n"
                                   << expected.out << expected.err;
    }
  }
}

// The sheet mode's output (standard output and error, status, pages, report) is the same on one
// worker and on three as from the binary.
TEST(Run, SheetModeOnAnyNumberOfWorkers) {
  std::vector<Outcome> outcomes;
  for (const int workers : {0, 1, 3}) {
    TempDir out;
    const std::vector<std::string> args = {"-s",      "-i", QUARNEL_EXAMPLES_DIR "/book", "-o",
                                           out.str(), "-r", out.str() + "x.csv"};
    const auto run = workers ? RunInProcess(args, {workers, {}, {}, nullptr}) : RunQuarnel(args);
    outcomes.push_back({run.out, run.err, run.status, {}});
    for (const std::string& name : EntryNames(out.path()))
      outcomes.back().files[name] = ReadBytes(out / name);
  }
  EXPECT_TRUE(outcomes[0].status == 0 && outcomes[0] == outcomes[1] && outcomes[0] == outcomes[2])
      << outcomes[0].err;
}

// What main makes of the command line (command_line_test.cpp has every message), and of standard
// output that cannot be written (a full device, a pipe whose reader is gone): the text on
// standard output or, for a failure, on standard error, and the status.
TEST(Run, MessagesAndStatus) {
  const std::string book = QUARNEL_EXAMPLES_DIR "/book";
  using C = ChildOptions;
  const std::string err = "Error: cannot write standard output\n";
  const std::tuple<std::vector<std::string>, int, std::string, int> cases[] = {
      // clang-format off
      {{"--version"}, C::kCaptured, "quarnel 0.03\n", 0},
      {{"-h"}, C::kCaptured, std::string(messages::kUsage) + messages::kHelp, 0},
      {{"-v"}, C::kCaptured, "quarnel ver 0.03\n\n" + std::string(messages::kUsage), 255},
      {{"-z"}, C::kCaptured, "ERROR: -z option needs -o option\n", 255},
      {{"-i", "no", "-o", "out", "-r", "r.csv"}, C::kCaptured, "ERROR: no .jpg file in no/\n", 1},
      {{}, C::kCaptured, "ERROR: no .jpg file in ./\n", 1},
      {{"-i", book, "-o", ".", "-r", "r.csv"}, C::kFullDevice, err, 1},
      {{"-i", book, "-o", ".", "-r", "r.csv"}, C::kClosedPipe, err, 1},
      {{"-i", book, "-o", ".", "-r", "r.csv"}, C::kClosed, err, 1},
      {{"--version"}, C::kFullDevice, err, 1},
      {{"-h"}, C::kFullDevice, err, 1}, {{"--help"}, C::kClosed, err, 1}};
  // clang-format on
  TempDir normal;  // the pages as a run with its standard output writes them
  RunQuarnel({"-i", book, "-o", normal.str(), "-r", normal.str() + "r.csv"});
  for (const auto& [args, to, text, status] : cases) {
    TempDir dir;
    const RunResult run =
        RunQuarnel(args, {.workDir = dir.path(), .stdoutTo = decltype(ChildOptions::stdoutTo)(to)});
    EXPECT_EQ(status ? run.err : run.out, text) << ::testing::PrintToString(args);
    EXPECT_EQ(status ? run.out : run.err, "");
    EXPECT_EQ(EntryNames(dir.path()).size(), to && args.size() > 1 ? 7u : 0u);  // pages, report
    for (const std::string& name : EntryNames(dir.path()))
      EXPECT_EQ(ReadBytes(dir / name), ReadBytes(normal / name)) << name;
    EXPECT_EQ(run.status, status);
  }
}

}  // namespace
}  // namespace quarnel::test
