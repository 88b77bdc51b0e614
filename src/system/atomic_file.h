#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quarnel {

// What became of a file written: written completely, or the system's error (errno) that stopped
// it.
struct WriteStatus {
  int error = 0;  // 0: written

  bool written() const { return error == 0; }
  // The disk or the user's quota was full (ENOSPC, EDQUOT).
  bool noSpace() const;
};

// Why a file could not be written, in the system's words: "cannot write: No space left on device".
std::string ReasonText(const WriteStatus& status);

// Writes `bytes` to `path` so that no reader ever sees a partial file: the bytes go to a
// temporary file in the same folder, which is renamed over `path` only once it is complete. Where
// the file system allows it, the temporary file has no name at all while it is written (O_TMPFILE)
// and is named (".quarnel-*.tmp", so it never ends in ".jpg") only for the moment before the
// rename; elsewhere it has that name from the start. On any failure the temporary file is removed
// and `path` keeps what it held before, and the status holds the error of the call that failed
// (ENOENT for a missing folder, EISDIR for a folder in the way, ENOSPC for a full disk, ...). The
// new file gets the permissions of any new file (0666 less the umask). The signals of
// TerminationSignals() (system/signals.h) sent to the calling thread are held back while the
// temporary file exists.
WriteStatus WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Where a run writes its files: WriteFileAtomically, or a writer a test hands in.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual WriteStatus Write(const std::string& path, std::span<const std::uint8_t> bytes) const {
    return WriteFileAtomically(path, bytes);
  }
};

}  // namespace quarnel
