// Exports and imported DLLs of a PE library, read from its image once loaded.
#include "tests/plugin/library_symbols.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace tav::test {
namespace {

// Loaded as a data file: its entry point and its imports are not run or resolved, so a library
// that needs a missing DLL can still be read.
class MappedImage {
public:
  explicit MappedImage(const std::string& path)
      : module_(LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ~MappedImage() {
    if (module_ != nullptr)
      FreeLibrary(module_);
  }
  MappedImage(const MappedImage&) = delete;
  MappedImage& operator=(const MappedImage&) = delete;

  template <typename T> const T* at(DWORD offset) const {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(module_) + offset);
  }
  // The image's directory of that index, or null when the image has none.
  template <typename T> const T* directory(int index) const {
    if (module_ == nullptr)
      return nullptr;
    const auto* dos = at<IMAGE_DOS_HEADER>(0);
    const auto* nt = at<IMAGE_NT_HEADERS>(static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[index];
    return entry.VirtualAddress == 0 ? nullptr : at<T>(entry.VirtualAddress);
  }
  bool loaded() const { return module_ != nullptr; }

private:
  HMODULE module_;
};

} // namespace

std::vector<std::string> exportedSymbols(const std::string& path) {
  MappedImage image(path);
  if (!image.loaded())
    return {"<cannot load " + path + ">"};
  const auto* exports = image.directory<IMAGE_EXPORT_DIRECTORY>(IMAGE_DIRECTORY_ENTRY_EXPORT);
  std::vector<std::string> names;
  if (exports == nullptr)
    return names;
  const DWORD* nameOffsets = image.at<DWORD>(exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.emplace_back(image.at<char>(nameOffsets[i]));
  // Exports by number alone have no name to list, but they are exports all the same.
  for (DWORD i = exports->NumberOfNames; i < exports->NumberOfFunctions; ++i)
    names.push_back("<ordinal " + std::to_string(exports->Base + i) + ">");
  return names;
}

std::vector<std::string> importedLibraries(const std::string& path) {
  MappedImage image(path);
  if (!image.loaded())
    return {"<cannot load " + path + ">"};
  std::vector<std::string> names;
  const auto* entry = image.directory<IMAGE_IMPORT_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (; entry != nullptr && entry->Name != 0; ++entry) {
    std::string name = image.at<char>(entry->Name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    names.push_back(name);
  }
  return names;
}

bool isSystemLibrary(const std::string& name) {
  // The kernel, the system's C runtime and the system's own API sets; a compiler's runtime DLL
  // (libstdc++-6.dll, libgcc_s_dw2-1.dll, libwinpthread-1.dll) is not among them.
  for (const char* system : {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll",
                             "ntdll.dll", "ws2_32.dll", "shell32.dll", "ole32.dll"}) {
    if (name == system)
      return true;
  }
  return name.rfind("api-ms-win-", 0) == 0;
}

} // namespace tav::test
