// The sondar tav-host plays when no data file is given.
#pragma once

#include "host/sondar_data.h"

#include <string_view>

namespace tav::tools {

// The sample in the data file format (docs/sondar-data.md), for `tav-host sample`.
std::string_view sampleSondarJson();

// The sample read into peer state.
host::SondarData sampleSondar();

} // namespace tav::tools
