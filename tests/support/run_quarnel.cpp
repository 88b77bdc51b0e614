#include "run_quarnel.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>

extern char** environ;

namespace quarnel::testing {
namespace {

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    read = fds[0];
    write = fds[1];
  }
  ~Pipe() {
    CloseFd(read);
    CloseFd(write);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
};

// Reads what is available on `fd` into `sink`; returns false at end of file.
bool Drain(int fd, std::string& sink) {
  char buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    sink.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir, std::chrono::milliseconds timeout) {
  ChildOptions options;
  options.workDir = workDir;
  options.timeout = timeout;
  return RunProgram(binary, args, options);
}

RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options) {
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string dir = options.workDir.string();
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const bool replaced = std::any_of(options.env.begin(), options.env.end(), [&](const auto& e) {
      return text.starts_with(e.first + "=");
    });
    if (!replaced) envStrings.push_back(text);
  }
  for (const auto& [name, value] : options.env) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  Pipe out;
  Pipe err;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    auto limit = [](int resource, long long bytes) {
      if (bytes < 0) return true;
      const rlimit value{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
      return setrlimit(resource, &value) == 0;
    };
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(out.write, STDOUT_FILENO) < 0 ||
        dup2(err.write, STDERR_FILENO) < 0 || (!dir.empty() && chdir(dir.c_str()) != 0) ||
        !limit(RLIMIT_FSIZE, options.fileSizeLimit) ||
        !limit(RLIMIT_AS, options.addressSpaceLimit)) {
      _exit(126);
    }
    execve(binary.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  CloseFd(out.write);
  CloseFd(err.write);

  RunResult result;
  const auto deadline = start + options.timeout;
  std::optional<std::chrono::steady_clock::time_point> signalAt;
  auto scheduleSignal = [&] {
    if (options.signal != 0 && !signalAt &&
        result.out.find(options.signalAfterOutput) != std::string::npos) {
      signalAt = std::chrono::steady_clock::now() + options.signalDelay;
    }
  };
  scheduleSignal();
  while (out.read >= 0 || err.read >= 0) {
    const auto now = std::chrono::steady_clock::now();
    if (signalAt && !result.signalSent && now >= *signalAt) {
      result.signalSent = kill(pid, options.signal) == 0;
    }
    auto until = deadline;
    if (signalAt && !result.signalSent) until = std::min(until, *signalAt);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    if (now >= deadline) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(std::max<long long>(left.count(), 0) + 1));
    if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
    if (ready <= 0) continue;
    if (fds[0].revents != 0 && !Drain(out.read, result.out)) CloseFd(out.read);
    if (fds[1].revents != 0 && !Drain(err.read, result.err)) CloseFd(err.read);
    scheduleSignal();
  }

  int wstatus = 0;
  rusage usage{};
  while (wait4(pid, &wstatus, 0, &usage) < 0) {
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  result.maxRssKiB = usage.ru_maxrss;
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  return result;
}

std::string ProgressLines(const std::string& prefix, int count, int lines) {
  if (lines < 0) lines = count;
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += prefix + " " + std::to_string(i) + "/" + std::to_string(count) + "   \r";
  }
  return text;
}

std::string Summary(const SummaryLine& right, const SummaryLine& top, const SummaryLine& width,
                    const SummaryLine& height) {
  std::string text = "\n";
  auto line = [&text](const char* label, const SummaryLine& s) {
    text += label;
    text += s.name;
    text += " (" + std::to_string(s.value) + ")\n";
  };
  line("Max Right:  ", right);
  line("Max Top:    ", top);
  line("Max Width:  ", width);
  line("Max Height: ", height);
  return text;
}

}  // namespace quarnel::testing
