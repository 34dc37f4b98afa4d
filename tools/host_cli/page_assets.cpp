// Finding the page's files by the path a browser asks for.
#include "tools/host_cli/page_assets.h"

namespace tav::tools {
namespace {

constexpr char kIndexName[] = "index.html";

// By the name's ending; a file of another kind is served as bytes and the browser guesses nothing
// (nosniff is set on the answer).
std::string_view contentTypeOf(std::string_view name) {
  const auto endsWith = [&](std::string_view suffix) {
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
  };
  if (endsWith(".html")) {
    return "text/html; charset=utf-8";
  }
  if (endsWith(".css")) {
    return "text/css; charset=utf-8";
  }
  if (endsWith(".js")) {
    return "text/javascript; charset=utf-8";
  }
  if (endsWith(".svg")) {
    return "image/svg+xml";
  }
  return "application/octet-stream";
}

} // namespace

std::optional<PageAsset> findPageAsset(std::string_view path) {
  std::string_view name;
  if (path == kPagePath) {
    name = kIndexName;
  } else if (path.starts_with(kPageAssetsPrefix)) {
    name = path.substr(std::string_view(kPageAssetsPrefix).size());
  } else {
    return std::nullopt;
  }
  for (const EmbeddedFile& file : pageFiles()) {
    if (file.name == name) {
      return PageAsset{file.bytes, contentTypeOf(file.name)};
    }
  }
  return std::nullopt;
}

bool isPagePath(std::string_view path) {
  return path == kPagePath || path.starts_with(kPageAssetsPrefix);
}

} // namespace tav::tools
