// A new, empty folder of the system's temporary folder, made under a name no one else holds.
#pragma once

#include <string>
#include <string_view>

namespace tav::host {

// Makes "<temporary folder>/<prefix>XXXXXX" with six random characters and answers its path,
// or the empty text (with the reason in error, when given) when it cannot be made. The caller
// removes it.
std::string makeTemporaryFolder(std::string_view prefix, std::string* error = nullptr);

} // namespace tav::host
