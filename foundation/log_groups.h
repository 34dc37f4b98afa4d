// The process-wide table of log group names and the registration of new groups.
//
// Bit i of a group mask is named by entry i: 0 "DBG", 1 "GEN", 2 "XTR", 3 "PRF", 4 "MEM", 5 "DSK",
// 6 "NET", 7 "TST"; the others read "???" until a name is registered for them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav {

inline constexpr size_t kLogGroupLimit = 64;

// The bit of a group name, compared on its first three characters, registering the name on the
// next free index when it is new. The table holds 64 names: once it is full, a new name gets the
// mask 0, which means "no group" and so passes every group filter instead of claiming a bit that
// belongs to another group. A null or empty name also gets 0.
uint64_t logGroupBit(const char* name);

// The names of the groups in mask, in ascending bit order separated by ";", written into buffer
// (always terminated when capacity > 0, cut to fit). Returns the length written.
size_t logGroupNames(uint64_t mask, char* buffer, size_t capacity);

} // namespace tav
