#include "imageio/atomic_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

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

// Holds back the signals that end a run in the calling thread while a temporary file exists, so
// that a run ended by one of them never leaves a temporary file behind: a signal that arrives
// meanwhile is delivered when the file is complete or removed.
class DeferTerminationSignals {
 public:
  DeferTerminationSignals() {
    const sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~DeferTerminationSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  DeferTerminationSignals(const DeferTerminationSignals&) = delete;
  DeferTerminationSignals& operator=(const DeferTerminationSignals&) = delete;

 private:
  sigset_t previous_;
};

constexpr int kNameAttempts = 100;

// Renames the complete file `temporary` over `path`; removes it when that fails.
bool RenameIntoPlace(const std::string& temporary, const std::string& path) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

enum class Outcome { kWritten, kFailed, kNoUnnamedFile };

// Writes the bytes to a file without a name in `folder`, gives it a temporary name through its
// /proc link once it is complete, and renames that over `path`. A run killed meanwhile leaves
// nothing behind, but in the instant between the two names. kNoUnnamedFile: the file system (or
// the missing /proc) does not allow it, and nothing was left behind.
Outcome WriteUnnamed(const std::string& folder, const std::string& path,
                     std::span<const std::uint8_t> bytes) {
  // Mode 0666: the kernel takes the umask off, as for any new file.
  const int fd =
      open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return Outcome::kNoUnnamedFile;
  if (!WriteAll(fd, bytes)) {
    close(fd);
    return Outcome::kFailed;
  }
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  std::string temporary;
  int linked = -1;
  for (int attempt = 0; attempt < kNameAttempts && linked != 0; ++attempt) {
    temporary = TemporaryName(folder);
    linked = linkat(AT_FDCWD, link, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno != EEXIST) break;
  }
  const bool closed = close(fd) == 0;
  if (linked != 0) return Outcome::kNoUnnamedFile;
  if (!closed) {
    unlink(temporary.c_str());
    return Outcome::kFailed;
  }
  return RenameIntoPlace(temporary, path) ? Outcome::kWritten : Outcome::kFailed;
}

// The same with a temporary file that has its name from the start.
bool WriteNamed(const std::string& folder, const std::string& path,
                std::span<const std::uint8_t> bytes) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    temporary = TemporaryName(folder);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, bytes);
  if (close(fd) != 0) ok = false;
  if (ok) return RenameIntoPlace(temporary, path);
  unlink(temporary.c_str());
  return false;
}

}  // namespace

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGVTALRM, SIGPROF, SIGUSR1,
                           SIGUSR2, SIGXCPU, SIGPOLL}) {
    sigaddset(&set, signal);
  }
#ifdef SIGSTKFLT
  sigaddset(&set, SIGSTKFLT);
#endif
#ifdef SIGPWR
  sigaddset(&set, SIGPWR);
#endif
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
  return set;
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string folder = FolderOf(path);
  const DeferTerminationSignals deferSignals;
  switch (WriteUnnamed(folder, path, bytes)) {
    case Outcome::kWritten:
      return true;
    case Outcome::kFailed:
      return false;
    case Outcome::kNoUnnamedFile:
      break;
  }
  return WriteNamed(folder, path, bytes);
}

}  // namespace quarnel
