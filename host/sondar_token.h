// Signed inventory tokens as the sondar's inventory hands them out: three base64url segments of
// JSON text joined by ".".
#pragma once

#include <string>
#include <string_view>

namespace tav::host {

// The header every sondar token carries.
inline constexpr char kSondarTokenHeader[] = R"({"alg":"RS256","kid":"sondar","typ":"JWT"})";
// The bytes of every sondar token's signature; nobody verifies it, so it only has to be there.
inline constexpr char kSondarTokenSignature[] = "sondar-signature";

// Base64url of RFC 4648 ("-" and "_" for "+" and "/") without "=" padding.
std::string encodeBase64UrlUnpadded(std::string_view bytes);

// header.payload.signature, each part encoded with encodeBase64UrlUnpadded; the texts are taken
// as they are, so a test can sign text that no JSON writer would produce.
std::string makeSondarToken(std::string_view payloadJson,
                            std::string_view headerJson = kSondarTokenHeader,
                            std::string_view signature = kSondarTokenSignature);

} // namespace tav::host
