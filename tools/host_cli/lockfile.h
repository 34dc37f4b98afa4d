// The serve command's credentials and the lockfile that hands them to local clients.
//
// The lockfile is one line, "tav-host:<pid>:<port>:<password>:http", readable by its owner only
// (mode 0600). A client reads the port and the password from it and sends basic authentication
// with the user kUserName.
#pragma once

#include <string>
#include <string_view>

namespace tav::tools {

inline constexpr char kUserName[] = "tav";

// 24 characters of base64url over 18 bytes from the system's random source.
std::string randomPassword();

// "Basic " and the base64 of "<user>:<password>", the Authorization header that is let in.
std::string basicAuthorization(std::string_view user, std::string_view password);

// Compares texts of equal length in a time independent of where they differ, so that the
// answer time does not tell how much of a guessed header was right.
bool sameSecret(std::string_view left, std::string_view right);

// $XDG_RUNTIME_DIR/tav-host.lock, else $HOME/.tav-host.lock, else /tmp/tav-host-<uid>.lock.
std::string defaultLockfilePath();

// Writes the lockfile for this process whole (a private temporary file renamed over the path).
// Refuses, with error, when the path holds the lockfile of another running tav-host.
bool writeLockfile(const std::string& path, int port, const std::string& password,
                   std::string* error);

// Removes the lockfile when it is still this process's own.
void removeLockfile(const std::string& path);

} // namespace tav::tools
