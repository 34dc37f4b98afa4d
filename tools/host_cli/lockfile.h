// The serve command's credentials and the lockfile that hands them to local clients.
//
// The lockfile is one line, "tav-host:<pid>:<port>:<password>:http", readable by its owner only
// (mode 0600 on POSIX, an access list naming the user alone on Windows). A client reads the port
// and the password from it and sends basic authentication with the user kUserName. Between claiming
// the lockfile and binding its port, serve leaves only "tav-host:<pid>" in it.
#pragma once

#include "tools/host_cli/platform.h"
#include "tools/host_cli/safe_folder.h"
#include "tools/host_cli/stop_request.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tav::tools {

inline constexpr char kUserName[] = "tav";

// Who may read the lockfile, as --help says it.
#ifdef _WIN32
inline constexpr char kLockfileAccess[] = "readable by you alone";
#else
inline constexpr char kLockfileAccess[] = "mode 0600";
#endif

// 24 characters of base64url over 18 bytes from the system's random source.
std::string randomPassword();

// "Basic " and the base64 of "<user>:<password>", the Authorization header that is let in.
std::string basicAuthorization(std::string_view user, std::string_view password);

// Compares texts of equal length in a time independent of where they differ, so that the
// answer time does not tell how much of a guessed header was right.
bool sameSecret(std::string_view left, std::string_view right);

// The lockfile of one serve, from its claim to its removal.
class Lockfile {
public:
  // How long a claim waits for another claim in the same folder to end.
  static constexpr std::chrono::seconds kFolderLockWait{10};

  // Claims path for this process before anything else of serve happens: creates it exclusively,
  // for the user alone, holding "tav-host:<pid>". A lockfile already there is taken over when it is
  // the user's own regular file and the process it names has ended or is not a tav-host, and
  // refused, with error, when it names a running tav-host. A symbolic link at path is refused,
  // never followed or removed, and so is a folder others could swap files in (SafeFolder). Claims
  // of one folder are made one at a time, under a lock on the folder (FolderLock), so that of two
  // servers started at once exactly one wins; that lock is waited for at most kFolderLockWait,
  // and a stop request ends the wait and the claim. Temporary files that earlier writes of
  // the lockfile left behind are removed.
  static std::optional<Lockfile> claim(const std::string& path, const StopRequest& stop,
                                       std::string* error);

  Lockfile(Lockfile&& other) noexcept = default;
  Lockfile& operator=(Lockfile&& other) = delete;
  Lockfile(const Lockfile&) = delete;
  Lockfile& operator=(const Lockfile&) = delete;
  // Removes the lockfile when it is still the file this process wrote.
  ~Lockfile();

  // Writes the whole line for this process over the claimed lockfile, atomically, the new file
  // readable by its owner alone from its first byte.
  bool write(int port, const std::string& password, std::string* error);

private:
  explicit Lockfile(SafeFolder folder) : folder_(std::move(folder)) {}

  SafeFolder folder_;
  std::optional<FileStamp> written_; // of the file this process wrote last
};

} // namespace tav::tools
