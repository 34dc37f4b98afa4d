// ISO-8601 text of UTC times, written and read.
//
// A UTC time is a signed 64-bit count of seconds since 1970-01-01T00:00:00Z; -1 means that there
// is no valid time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// Writes seconds as "%Y-%m-%dT%H:%M:%SZ", for example "1970-01-01T00:00:00Z". When the runtime
// cannot break the time into calendar fields, reports the failure "ALE-8A14EBBK" (an " ERROR" log
// line) and returns the empty text.
std::string formatUtcTime(int64_t seconds);

// Reads an ISO-8601 UTC time in the extended form ("1970-01-01T00:00:00") or the basic form
// ("19700101T000000"). The separator may be "T", "t" or a space; a fraction of seconds ("." or ","
// and digits) is skipped; the only suffixes accepted are none, "Z", "z", "-00", "-0000", "-00:00",
// "+00", "+0000" and "+00:00". Returns the seconds, or -1 for any other text.
int64_t parseUtcTime(std::string_view text);

} // namespace tav
