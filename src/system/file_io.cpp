#include "system/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace quarnel {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool FileDescriptor::Close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return close(fd) == 0;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote =
        RetryOnInterrupt([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
    if (wrote < 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

OpenedFile OpenRegularFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must never wait for a writer; regular files ignore the flag.
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return {FileDescriptor(), errno};
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return {FileDescriptor(), errno};
  if (!S_ISREG(info.st_mode)) return {};
  return {std::move(fd), 0};
}

std::string SystemErrorText(int error) {
  return std::generic_category().message(error);
}

ClosedStandardStreams OpenClosedStandardStreams() {
  bool closed[3] = {};
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed[fd] = true;
    // The lowest free number is taken, so this is `fd` itself: the ones below it are open.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  return {closed[0], closed[1], closed[2]};
}

std::string FolderPath(const std::string& folder) {
  return folder.empty() ? std::string(".") : folder;
}

}  // namespace quarnel
