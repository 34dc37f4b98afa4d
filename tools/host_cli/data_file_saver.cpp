// Saving every change of the peers' state to the data file.
#include "tools/host_cli/data_file_saver.h"

#include <cstdio>

namespace tav::tools {

void DataFileSaver::save(const host::SondarPeers& peers) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string error;
  if (!peers.snapshot().saveFile(path_, &error)) {
    failed_ = true;
    std::fprintf(stderr, "tav-host: %s\n", error.c_str());
  }
}

bool DataFileSaver::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

} // namespace tav::tools
