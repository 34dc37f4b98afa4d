// SystemFile: a file the system opened for tav-host (a descriptor on POSIX, a handle on
// Windows), closed when it goes; and FileStamp, which tells whether a name still leads to the
// file tav-host last saw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tav::tools {

// Which file a name leads to and the last change made to it: a file replaced, edited in place,
// renamed or given other permissions gets another stamp. On Windows the device is the volume's
// serial number and the inode the file's index.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;

  bool operator==(const FileStamp&) const = default;
  // Whether both stamps are of one file, whatever was done to it between them.
  bool sameFile(const FileStamp& other) const {
    return device == other.device && inode == other.inode;
  }
};

enum class LockAttempt : uint8_t { Taken, Busy, Failed };

class SystemFile {
public:
  // The descriptor, or the handle as an integer; kNone for no file.
  using Native = std::intptr_t;
  static constexpr Native kNone = -1;

  SystemFile() = default;
  explicit SystemFile(Native native) : native_(native) {}
  SystemFile(SystemFile&& other) noexcept;
  SystemFile& operator=(SystemFile&& other) noexcept;
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;
  ~SystemFile();

  // Opens path to read it, following links, as the system opens a file the user names (a pipe
  // waits for its writer). Nothing, with the system's reason, when it cannot be opened.
  static std::optional<SystemFile> openToRead(const std::string& path, std::string* reason);

  Native native() const { return native_; }
  bool isOpen() const { return native_ != kNone; }
  void close();

  // One read of at most size bytes: the count, 0 at the end, -1 on failure.
  std::ptrdiff_t read(char* data, size_t size);
  // Appends everything from here to the end; false, with the system's reason, when a read
  // fails (a folder on POSIX).
  bool readAll(std::string& text, std::string* reason);
  // Writes text in one call; false, with the system's reason, unless all of it was written.
  bool write(std::string_view text, std::string* reason);
  std::optional<FileStamp> stamp(std::string* reason) const;
  // Takes an exclusive lock on the file without waiting, held until the file is closed.
  // Windows locks a byte far beyond the end, so that reading the file is not hindered.
  LockAttempt tryLock(std::string* reason);

private:
  Native native_ = kNone;
};

} // namespace tav::tools
