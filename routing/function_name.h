// Registry names derived from text: function names from method and template, and the
// plugin identifier from the plugin's full name.
#pragma once

#include "routing/http_method.h"

#include <string>
#include <string_view>

namespace tav {

// Walks `text` with a capitalise-next flag, initially set: "!", "+", "-", ".", "/" and "_" are
// dropped and set the flag; "{" becomes "By" and sets the flag; "}" is dropped and leaves the
// flag as it is; any other character is copied, upper-cased (ASCII only) when the flag is set,
// which clears it. "vmf-be-tav-banners" gives "VmfBeTavBanners".
std::string identifierFromText(std::string_view text);

// The function's registry name: the method name with only its first character kept as is and
// the rest lower-cased, then "/", then the template, all walked by identifierFromText. A method
// without a name (`Any`, `Custom`) contributes nothing. GET "/tav-banners/v1/current-sondar/flags"
// gives "GetTavBannersV1CurrentSondarFlags"; a segment "{id}" contributes "ById".
std::string functionName(HttpMethod method, std::string_view templ);

} // namespace tav
