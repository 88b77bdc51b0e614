#include "system/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "system/file_io.h"
#include "system/signals.h"

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

constexpr int kNameAttempts = 100;

// The error of the call that just failed; 0 cannot be one.
int LastError() {
  return errno != 0 ? errno : EIO;
}

// Renames the complete file `temporary` over `path`; removes it when that fails. Returns 0, or
// the error of the rename.
int RenameIntoPlace(const std::string& temporary, const std::string& path) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return 0;
  const int error = LastError();
  unlink(temporary.c_str());
  return error;
}

// Writes the bytes to a file without a name in `folder`, gives it a temporary name through its
// /proc link once it is complete, and renames that over `path`. A run killed meanwhile leaves
// nothing behind, but in the instant between the two names. Returns 0 when the file was written,
// else the error that stopped it; nullopt when the file system (or the missing /proc) does not
// allow it, and nothing was left behind.
std::optional<int> WriteUnnamed(const std::string& folder, const std::string& path,
                                std::span<const std::uint8_t> bytes) {
  // Mode 0666: the kernel takes the umask off, as for any new file.
  FileDescriptor fd(open(FolderPath(folder).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!fd.valid()) return std::nullopt;
  if (!WriteAll(fd.get(), bytes)) return LastError();
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd.get());
  std::string temporary;
  int linked = -1;
  for (int attempt = 0; attempt < kNameAttempts && linked != 0; ++attempt) {
    temporary = TemporaryName(folder);
    linked = linkat(AT_FDCWD, link, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno != EEXIST) break;
  }
  const bool closed = fd.Close();
  const int error = LastError();
  if (linked != 0) return std::nullopt;
  if (!closed) {
    unlink(temporary.c_str());
    return error;
  }
  return RenameIntoPlace(temporary, path);
}

// The same with a temporary file that has its name from the start.
int WriteNamed(const std::string& folder, const std::string& path,
               std::span<const std::uint8_t> bytes) {
  std::string temporary;
  FileDescriptor fd;
  for (int attempt = 0; attempt < kNameAttempts && !fd.valid(); ++attempt) {
    temporary = TemporaryName(folder);
    fd = FileDescriptor(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid() && errno != EEXIST) return LastError();
  }
  if (!fd.valid()) return EEXIST;

  int error = WriteAll(fd.get(), bytes) ? 0 : LastError();
  if (!fd.Close() && error == 0) error = LastError();
  if (error == 0) return RenameIntoPlace(temporary, path);
  unlink(temporary.c_str());
  return error;
}

}  // namespace

WriteStatus WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string folder = FolderOf(path);
  // A run ended by one of these signals never leaves a temporary file behind: one that arrives
  // meanwhile is delivered when the file is complete or removed.
  const SignalBlock deferSignals(TerminationSignals());
  const std::optional<int> unnamed = WriteUnnamed(folder, path, bytes);
  return {unnamed ? *unnamed : WriteNamed(folder, path, bytes)};
}

bool WriteStatus::noSpace() const {
  return error == ENOSPC || error == EDQUOT;
}

std::string ReasonText(const WriteStatus& status) {
  return "cannot write: " + SystemErrorText(status.error);
}

}  // namespace quarnel
