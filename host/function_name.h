// The name under which a plugin registers the function for a method and a path, which is how the
// host picks the function record for a call.
#pragma once

#include <string>
#include <string_view>

namespace tav::host {

// Walks text with a capitalise flag that starts set: "!", "+", "-", ".", "/" and "_" are dropped
// and set it; "{" becomes "By" and sets it; "}" is dropped and leaves it; any other character is
// copied, upper-cased while the flag is set, and clears it.
std::string capitaliseWalk(std::string_view text);

// The method name's first character, the rest of it in lower case and "/" (nothing for an empty
// method name), then the path up to any "?", all through capitaliseWalk. So GET
// "/tav-banners/v1/current-sondar/flags" gives GetTavBannersV1CurrentSondarFlags.
std::string functionName(std::string_view methodName, std::string_view path);

} // namespace tav::host
