// Small helpers of the substitute host's Windows files (Windows builds only).
#pragma once

#include <string>

namespace tav::host {

// FormatMessage's text for GetLastError(), without its line end and final full stop, or
// "error N" when the system has none.
std::string lastWindowsErrorText();

// Six random letters and digits, for names that must not be taken already.
std::string randomNameSuffix();

} // namespace tav::host
