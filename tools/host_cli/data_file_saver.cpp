// Saving every change of the peers' state to the data file.
#include "tools/host_cli/data_file_saver.h"

#include <cstdio>

namespace tav::tools {

bool DataFileSaver::save(const host::SondarData& data, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string reason;
  if (file_.save(data.toJson(), &reason)) {
    return true;
  }
  std::fprintf(stderr, "tav-host: %s\n", reason.c_str());
  failed_ = true;
  lastError_ = reason;
  *error = std::move(reason);
  return false;
}

bool DataFileSaver::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

std::string DataFileSaver::lastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastError_;
}

} // namespace tav::tools
