// The capitalising walk behind function names and the plugin identifier.
#include "routing/function_name.h"

namespace tav {
namespace {

// ASCII only, so the result never depends on the process locale.
char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string identifierFromText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool capitalise = true;
  for (char c : text) {
    switch (c) {
    case '!':
    case '+':
    case '-':
    case '.':
    case '/':
    case '_':
      capitalise = true;
      break;
    case '{':
      out += "By";
      capitalise = true;
      break;
    case '}':
      break;
    default:
      out += capitalise ? upper(c) : c;
      capitalise = false;
      break;
    }
  }
  return out;
}

std::string functionName(HttpMethod method, std::string_view templ) {
  std::string_view name = httpMethodName(method);
  std::string text;
  text.reserve(name.size() + 1 + templ.size());
  if (!name.empty()) {
    text += name.front();
    for (char c : name.substr(1)) {
      text += lower(c);
    }
    text += '/';
  }
  text += templ;
  return identifierFromText(text);
}

} // namespace tav
