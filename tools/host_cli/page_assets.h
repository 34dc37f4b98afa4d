// The browser page of `tav-host serve`: its files, compiled into the program at build time
// (tools/embed_files.cmake), and the paths it is served under.
//
//   if (const std::optional<PageAsset> asset = findPageAsset(request.path)) {
//     response.set_content(asset->bytes.data(), asset->bytes.size(), asset->contentType);
//   }
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace tav::tools {

// The page itself; its other files are below kPageAssetsPrefix, by file name.
inline constexpr char kPagePath[] = "/";
inline constexpr char kPageAssetsPrefix[] = "/tav-host/page/";

struct EmbeddedFile {
  std::string_view name; // the file name, without its folder
  std::string_view bytes;
};

// Every file of tools/host_cli/page, sorted by name. Defined in the generated source.
std::span<const EmbeddedFile> pageFiles();

struct PageAsset {
  std::string_view bytes;
  std::string_view contentType;
};

// The file a GET of path answers: index.html for kPagePath, a page file by name below
// kPageAssetsPrefix; nothing for any other path or an unknown name.
std::optional<PageAsset> findPageAsset(std::string_view path);

// Whether path is the page or below its prefix, so that no other handler answers it.
bool isPagePath(std::string_view path);

} // namespace tav::tools
