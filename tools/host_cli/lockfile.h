// The serve command's credentials and the lockfile that hands them to local clients.
//
// The lockfile is one line, "tav-host:<pid>:<port>:<password>:http", readable by its owner only
// (mode 0600). A client reads the port and the password from it and sends basic authentication
// with the user kUserName. Between claiming the lockfile and binding its port, serve leaves only
// "tav-host:<pid>" in it.
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

// Whether the process pid is running and is a tav-host.
bool isRunningTavHost(long pid);

// Claims path for this process before anything else of serve happens: creates it exclusively,
// holding "tav-host:<pid>". A lockfile already there is taken over when the process it names
// has ended or is not a tav-host, and refused, with error, when it is a running tav-host.
// Claims of one folder are made one at a time, under a lock on the folder, so that of two
// servers started at once exactly one wins. Temporary files that earlier writes of the lockfile
// left behind are removed. A symbolic link at path is followed.
bool claimLockfile(const std::string& path, std::string* error);

// Writes the whole line for this process over the claimed lockfile, atomically (through
// host::replaceFileAtomically), keeping its mode.
bool writeLockfile(const std::string& path, int port, const std::string& password,
                   std::string* error);

// Removes the lockfile when it is still this process's own.
void removeLockfile(const std::string& path);

} // namespace tav::tools
