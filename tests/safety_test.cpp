// Runs ended early: by a signal, which leaves every output file as it was, absent or complete,
// and no other file (a temporary one) behind; by memory running out, which is reported.

#include <gtest/gtest.h>

#include <csignal>
#include <random>

#include "imageio/jpeg_reader.h"
#include "test_support.h"

namespace quarnel::test {
namespace {

const Bytes kOld = {'o', 'l', 'd'};  // what the output folder held before

// The binary on one CPU (`taskset -c 0`: one worker), or on all of the machine's.
RunResult RunOnCpus(bool oneCpu, std::vector<std::string> args, const ChildOptions& o) {
  if (oneCpu) args.insert(args.begin(), {"-c", "0", QUARNEL_BINARY});
  return RunProgram(oneCpu ? "/usr/bin/taskset" : QUARNEL_BINARY, args, o);
}

std::string PageName(int i) {
  std::string name = "p";
  return name + std::to_string(i) + ".jpg";
}

// A signal while pages are written (40 large noisy pages, whitened) or during the analysis ends
// the run with 128 + signal.
TEST(OutputSafety, Signals) {
  TempDir in;
  std::mt19937 random(7);
  TestPage page(1200, 1200);
  for (auto& v : page.pixels) v = random() % 100;
  for (int i = 10; i < 50; ++i) WriteBytes(in / PageName(i), EncodeJpeg(page));
  for (const auto& [signal, after, oneCpu] : {std::tuple{SIGINT, "Output 0/", true},
                                              {SIGTERM, "Output 1/", false},
                                              {SIGHUP, "Input 1", false},
                                              {SIGQUIT, "Output 2/", true}}) {
    TempDir out;
    for (int i = 10; i < 50; i += 2) WriteBytes(out / PageName(i), kOld);
    const RunResult run = RunOnCpus(oneCpu, {"-i", in.str(), "-o", out.str(), "-w"},
                                    {.signal = signal, .signalAfter = after});
    EXPECT_EQ(run.status, 128 + signal) << after << ", signal " << run.signal;
    for (const std::string& name : EntryNames(out.path())) {
      const Bytes bytes = ReadBytes(out / name);
      EXPECT_TRUE(bytes == kOld || LoadGrayFromMemory(bytes.data(), bytes.size())) << name;
      EXPECT_TRUE(name.starts_with("p") && name.ends_with(".jpg")) << name;
    }
  }
}

// Memory running out is a message and a status, not an abort: under a 256 MiB address space, a
// page of 16384 x 16384 pixels, and a progressive one of 12000 x 12000 (the decoder's
// coefficients).
TEST(OutputSafety, OutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  for (const auto& [oneCpu, progressive, size] :
       {std::tuple{true, false, 16384}, {false, true, 12000}}) {
    TempDir in, out;
    const Bytes page = EncodeJpeg(TestPage(120, 100, 0), {.progressive = progressive});
    WriteBytes(in / "a.jpg", page);
    WriteBytes(in / "b.jpg", DeclareSize(page, size, 64000));
    const RunResult run =
        RunOnCpus(oneCpu, {"-i", in.str(), "-o", out.str()}, {.addressSpaceLimit = 256 << 20});
    EXPECT_EQ(run.err, "ERROR: out of memory\n") << oneCpu;
    EXPECT_EQ(run.status, 1) << "signal " << run.signal;
    EXPECT_TRUE(EntryNames(out.path()).empty());
  }
}

}  // namespace
}  // namespace quarnel::test
