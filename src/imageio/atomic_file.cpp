#include "imageio/atomic_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace quarnel {
namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A fresh name for a temporary file beside the target. It starts with a dot and ends in
// ".tmp", so a listing of "*.jpg" files never picks it up.
std::string TemporaryName(const std::string& folder) {
  std::uint64_t random = 0;
  if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    random ^= static_cast<std::uint64_t>(getpid()) * 0x9E3779B97F4A7C15ULL;
  }
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".quarnel-%016llx.tmp",
                static_cast<unsigned long long>(random));
  return folder + suffix;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Holds back the signals that end a run (interrupt, termination, hang-up) in the calling thread
// while a temporary file exists, so that a run ended by one of them never leaves a temporary file
// behind: a signal that arrives meanwhile is delivered when the file is complete or removed.
class DeferTerminationSignals {
 public:
  DeferTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~DeferTerminationSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  DeferTerminationSignals(const DeferTerminationSignals&) = delete;
  DeferTerminationSignals& operator=(const DeferTerminationSignals&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string folder = FolderOf(path);
  const DeferTerminationSignals deferSignals;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder);
    // Mode 0666: the kernel takes the umask off, as for any new file.
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, bytes);
  if (close(fd) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace quarnel
