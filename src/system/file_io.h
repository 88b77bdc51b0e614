#pragma once

// Files through their descriptors: the descriptor's owner, reads and writes that carry on after
// an interrupted call, and the folder name the system calls take.

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <string>

namespace quarnel {

// Owns a file descriptor (or none, when negative) and closes it when destroyed.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor now; false when close reports an error (written data may be lost).
  bool Close();

 private:
  int fd_ = -1;
};

// Calls `call` (a read, write, pread or pwrite) again for as long as a signal interrupts it
// before it moved any byte, and returns its result.
template <typename Call>
ssize_t RetryOnInterrupt(Call call) {
  ssize_t result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// Writes all of `bytes` to `fd`; false on the first error.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes);

// A file opened for reading, or why it could not be.
struct OpenedFile {
  FileDescriptor fd;  // invalid when the file could not be opened or is not a regular file
  int error = 0;      // the system's error number (errno) when it could not be opened; 0 else
};

// Opens the regular file at `path` for reading. The descriptor is invalid when the file is
// missing or cannot be opened (`error` says why) or is not a regular file (a folder, a FIFO, a
// device; `error` is 0). Opening never waits: a FIFO without a writer is refused at once.
OpenedFile OpenRegularFile(const std::string& path);

// The system's words for the error number `error` (errno), as strerror gives them: "Permission
// denied" for EACCES.
std::string SystemErrorText(int error);

// Which of the standard descriptors 0, 1 and 2 were closed when the process started.
struct ClosedStandardStreams {
  bool input = false, output = false, error = false;
};

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, so that no file the process
// opens later gets one of their numbers and receives what is written to standard output or error.
// Called first thing, before any other descriptor is opened; returns which ones were closed.
ClosedStandardStreams OpenClosedStandardStreams();

// The path the system calls take for a folder as the settings hold it: "" is the current folder.
std::string FolderPath(const std::string& folder);

}  // namespace quarnel
