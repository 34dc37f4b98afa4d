// Session: libtav_banners.so loaded and started by a host whose peers play the sondar, as every
// command of tav-host sets it up.
//
//   SessionOptions options{.dataFile = "sondar.json"};
//   SessionOpening opening = Session::open(options);
//   if (!opening.session) { /* opening.error, opening.code */ }
//   opening.session->host().call("GET", "/tav-banners/v1/current-sondar/flags");
#pragma once

#include "host/host.h"
#include "host/sondar_peers.h"
#include "tools/host_cli/data_file.h"
#include "tools/host_cli/data_file_saver.h"
#include "tools/host_cli/exit_codes.h"

#include <memory>
#include <optional>
#include <string>

namespace tav::tools {

// The plugin library as each platform names it.
#ifdef _WIN32
inline constexpr char kLibraryFileName[] = "tav_banners.dll";
#else
inline constexpr char kLibraryFileName[] = "libtav_banners.so";
#endif

struct SessionOptions {
  std::string library;  // empty: kLibraryFileName in the folder of the running executable
  std::string dataFile; // empty: the embedded sample, and nothing is saved
  bool echoLog = false; // the plugin's log lines on standard error
};

// The library beside the running executable.
std::string defaultLibraryPath();

class Session;

struct SessionOpening {
  std::unique_ptr<Session> session; // null on failure
  ExitCode code = ExitCode::Ok;
  std::string error;
};

class Session {
public:
  // Locks the data file against other tav-hosts (DataFile, ExitCode::DataFailed when another
  // holds it or others could swap it), reads it (or takes the sample), loads the library, installs
  // the peers and starts the plugin, which fetches its configuration. With a data file, every later
  // change of the peers' state is saved to it before it is made, and a change whose save fails is
  // refused with the reason; the lock is held until the session ends.
  static SessionOpening open(const SessionOptions& options);

  // Stops the plugin and closes the library.
  ~Session();

  host::Host& host() { return host_; }
  host::SondarPeers& peers() { return peers_; }
  // Whether a change could not be saved to the data file, and why the last one could not.
  bool saveFailed() const { return saver_ && saver_->failed(); }
  std::string saveError() const { return saver_ ? saver_->lastError() : std::string(); }

private:
  Session(const SessionOptions& options, host::SondarData data, std::optional<DataFile> file);

  // Declared in the order they may be destroyed in reverse: the host stops the plugin first,
  // while the peers and the saver its writes reach are still there; the saver holds the lock.
  std::optional<DataFileSaver> saver_;
  host::SondarPeers peers_;
  host::Host host_;
};

} // namespace tav::tools
