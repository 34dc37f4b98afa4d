// What a built plugin library shows the system loader: the names it exports and the libraries
// it needs, read from the file (nm and readelf) or from the loaded image (Windows).
#pragma once

#include <string>
#include <vector>

namespace tav::test {

std::vector<std::string> exportedSymbols(const std::string& path);
std::vector<std::string> importedLibraries(const std::string& path);

// Whether a library that a plugin may need comes with the system itself (the C library, or the
// Windows system DLLs), rather than with a compiler or a package.
bool isSystemLibrary(const std::string& name);

} // namespace tav::test
