// DataFileSaver: keeps a data file in step with the peers' state, one whole-file save per change.
#pragma once

#include "host/sondar_data.h"
#include "tools/host_cli/data_file.h"

#include <mutex>
#include <string>

namespace tav::tools {

class DataFileSaver {
public:
  explicit DataFileSaver(DataFile file) : file_(std::move(file)) {}

  // Writes data as the whole file (DataFile::save replaces it atomically). On failure the file
  // holds what it held, error says why, the failure is written to standard error and
  // remembered; later changes still try again.
  bool save(const host::SondarData& data, std::string* error);

  // Whether some save has failed, and the reason of the last that did.
  bool failed() const;
  std::string lastError() const;

private:
  mutable std::mutex mutex_;
  DataFile file_;
  std::string lastError_;
  bool failed_ = false;
};

} // namespace tav::tools
