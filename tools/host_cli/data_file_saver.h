// DataFileSaver: keeps a data file in step with the peers' state, one whole-file save per change.
#pragma once

#include "host/sondar_peers.h"

#include <mutex>
#include <string>

namespace tav::tools {

class DataFileSaver {
public:
  explicit DataFileSaver(std::string path) : path_(std::move(path)) {}

  // Saves the peers' state as it stands now (SondarData::saveFile replaces the file atomically).
  // Saves run one at a time and each takes its snapshot once the one before has finished, so the
  // last save to end holds every change made before it began. A failure is written to standard
  // error and remembered; later changes still try again.
  void save(const host::SondarPeers& peers);

  // Whether some save has failed.
  bool failed() const;
  const std::string& path() const { return path_; }

private:
  std::string path_;
  mutable std::mutex mutex_;
  bool failed_ = false;
};

} // namespace tav::tools
