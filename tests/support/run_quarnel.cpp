#include "run_quarnel.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

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
  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string dir = workDir.string();

  Pipe out;
  Pipe err;
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(out.write, STDOUT_FILENO) < 0 ||
        dup2(err.write, STDERR_FILENO) < 0 || (!dir.empty() && chdir(dir.c_str()) != 0)) {
      _exit(126);
    }
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  CloseFd(out.write);
  CloseFd(err.write);

  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out.read >= 0 || err.read >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
    if (ready <= 0) continue;
    if (fds[0].revents != 0 && !Drain(out.read, result.out)) CloseFd(out.read);
    if (fds[1].revents != 0 && !Drain(err.read, result.err)) CloseFd(err.read);
  }

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
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
