#include "run_quarnel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

#include "imageio/jpeg_codec.h"
#include "test_support.h"

namespace quarnel::testing {

RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options) {
  std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  auto limit = [](int resource, long long bytes) {
    const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return bytes < 0 || setrlimit(resource, &value) == 0;
  };
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  if (options.stdoutTo != ChildOptions::Stdout::kCaptured) close(std::exchange(out[0], -1));
  const pid_t pid = fork();
  if (pid == 0) {  // the test program has one thread: the child may still call setenv
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    const int devNull = open("/dev/null", O_RDONLY);
    const int stdoutFd = options.stdoutTo == ChildOptions::Stdout::kFull
                             ? open("/dev/full", O_WRONLY | O_CLOEXEC)
                             : out[1];
    if (devNull >= 0 && dup2(devNull, 0) == 0 && dup2(stdoutFd, 1) == 1 && dup2(err[1], 2) == 2 &&
        (options.workDir.empty() || chdir(options.workDir.c_str()) == 0) &&
        limit(RLIMIT_FSIZE, options.fileSizeLimit) && limit(RLIMIT_AS, options.addressSpaceLimit))
      execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) throw std::runtime_error("fork failed");
  RunResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {  // until the child and its pipes are gone
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) kill(pid, SIGKILL);  // a hang: the result shows signal 9
    if (poll(fds, 2, static_cast<int>(left.count() > 10 ? left.count() : 10)) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      if (n <= 0) close(std::exchange(fds[i].fd, -1));
    }
    if (options.signal != 0 && result.out.find(options.signalAfter) != std::string::npos)
      kill(pid, options.signal);  // again until it ends the child
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
  result.maxRssKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::optional<GrayImage> ReadOutputPage(const std::filesystem::path& path, int width, int height) {
  const Bytes jpeg = ReadBytes(path);
  std::array<int, 3> frame{};  // width, height and components in the frame header
  for (std::size_t p = 2; p + 10 <= jpeg.size() && jpeg[p] == 0xFF && frame[2] == 0;
       p += 2 + (jpeg[p + 2] << 8 | jpeg[p + 3])) {
    if (jpeg[p + 1] == 0xC0 || jpeg[p + 1] == 0xC2)
      frame = {jpeg[p + 7] << 8 | jpeg[p + 8], jpeg[p + 5] << 8 | jpeg[p + 6], jpeg[p + 9]};
  }
  auto image = LoadGrayFromMemory(jpeg.data(), jpeg.size());
  if (image && frame == std::array{width, height, 1}) return image;
  ADD_FAILURE() << path << " is " << frame[0] << " x " << frame[1] << " with " << frame[2]
                << " components" << (image ? "" : ", not decodable");
  return std::nullopt;
}

std::string ProgressLines(const std::string& prefix, int count, int lines) {
  std::string text;
  for (int i = 0; i < (lines < 0 ? count : lines); ++i)
    text += prefix + " " + std::to_string(i) + "/" + std::to_string(count) + "   \r";
  return text;
}

std::string Summary(const SummaryLine& right, const SummaryLine& top, const SummaryLine& width,
                    const SummaryLine& height) {
  std::string text = "\n";
  for (const auto& [label, s] : {std::pair{"Max Right:  ", &right},
                                 {"Max Top:    ", &top},
                                 {"Max Width:  ", &width},
                                 {"Max Height: ", &height}})
    text += std::string(label) + s->first + " (" + std::to_string(s->second) + ")\n";
  return text;
}

}  // namespace quarnel::testing
