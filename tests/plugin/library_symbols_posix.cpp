// Exports and needed libraries of an ELF shared library, as nm and readelf list them.
#include "tests/plugin/library_symbols.h"

#include <cstdio>
#include <sstream>

namespace tav::test {
namespace {

// The last word of every line that a command prints.
std::vector<std::string> lastWords(const std::string& command) {
  std::vector<std::string> words;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr)
    return {"<" + command + " could not run>"};
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream read(line);
    std::string word;
    std::string last;
    while (read >> word)
      last = word;
    if (!last.empty())
      words.push_back(last);
  }
  pclose(pipe);
  return words;
}

} // namespace

std::vector<std::string> exportedSymbols(const std::string& path) {
  return lastWords("nm -D --defined-only '" + path + "'");
}

std::vector<std::string> importedLibraries(const std::string& path) {
  // Lines such as " 0x0000000000000001 (NEEDED)  Shared library: [libc.so.6]".
  std::vector<std::string> names;
  for (const std::string& word : lastWords("readelf -d '" + path + "' | grep '(NEEDED)'"))
    names.push_back(word.size() > 2 ? word.substr(1, word.size() - 2) : word);
  return names;
}

bool isSystemLibrary(const std::string& name) {
  // A sanitizer build links the sanitizer's runtime into everything it makes.
  for (const char* sanitizer : {"libasan.so", "libubsan.so", "libtsan.so"}) {
    if (name.rfind(sanitizer, 0) == 0)
      return true;
  }
  for (const char* system :
       {"libc.so.6", "libm.so.6", "libyaml-0.so.2", "ld-linux-x86-64.so.2", "ld-linux.so.2"}) {
    if (name == system)
      return true;
  }
  return false;
}

} // namespace tav::test
