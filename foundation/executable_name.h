// The running executable's path and file name, as log lines show them.
#pragma once

namespace tav {

// The executable's full path (up to 1024 characters), read once; empty when it cannot be found.
const char* executablePathText();

// The part of the path after its last separator (the whole path when there is none), or
// "<unknown>" when the path cannot be found. The text lives for the whole process.
const char* executableFileName();

} // namespace tav
