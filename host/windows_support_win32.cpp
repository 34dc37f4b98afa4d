// Error texts and random names for the substitute host's Windows files.
#include "host/windows_support.h"

#include <windows.h>

#include <random>

namespace tav::host {

std::string lastWindowsErrorText() {
  const DWORD code = GetLastError();
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    text[--length] = '\0';
  return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

std::string randomNameSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::minstd_rand pick(std::random_device{}());
  std::string suffix(6, 'X');
  for (char& c : suffix)
    c = kLetters[pick() % (sizeof kLetters - 1)];
  return suffix;
}

} // namespace tav::host
