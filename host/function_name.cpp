// Function names from a method and a path.
#include "host/function_name.h"

#include <cctype>

namespace tav::host {
namespace {

bool isSeparator(char c) {
  return c == '!' || c == '+' || c == '-' || c == '.' || c == '/' || c == '_';
}

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

std::string capitaliseWalk(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool capitalise = true;
  for (char c : text) {
    if (isSeparator(c)) {
      capitalise = true;
    } else if (c == '{') {
      out += "By";
      capitalise = true;
    } else if (c == '}') {
      // Dropped; the flag stays as the placeholder's name left it.
    } else {
      out += capitalise ? upper(c) : c;
      capitalise = false;
    }
  }
  return out;
}

std::string functionName(std::string_view methodName, std::string_view path) {
  std::string text;
  if (!methodName.empty()) {
    text += methodName.front();
    for (char c : methodName.substr(1)) {
      text += lower(c);
    }
    text += '/';
  }
  text += path.substr(0, path.find('?'));
  return capitaliseWalk(text);
}

} // namespace tav::host
