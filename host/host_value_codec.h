// Copying a HostValue into a ValueTree, and building host-owned HostValues from a ValueTree.
#pragma once

#include "binding/host_records.h"
#include "host/value_tree.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tav::host {

// Values nested deeper than this are refused rather than followed, so that a corrupt record whose
// arrays point back at themselves cannot run the host out of stack.
inline constexpr unsigned kMaxValueDepth = 256;

// Copies value into a tree. Null texts read as empty texts and null arrays with a count of 0 as
// empty arrays. Refuses, with a message in error: an unknown kind ("unknown value kind 11"), an
// owned text whose length word differs from its text ("owned string length 5 differs from its
// text length 3"), a null array or blob with a non-zero count ("null list with 2 items"), and
// nesting beyond kMaxValueDepth. The value itself is left untouched.
std::optional<ValueTree> decodeHostValue(const HostValue& value, std::string* error = nullptr);

// Builds a value the host owns: texts as kind 6 with their length, blobs as kind 8, lists as
// kind 9 and maps as kind 10 with owned keys. Free it with releaseEncodedValue only.
HostValue encodeHostValue(const ValueTree& tree);

// Builds a map of borrowed texts (kind 5) with owned keys, in the given order, leaving out null
// texts. The texts must outlive the record; free it with releaseEncodedValue, which frees the
// keys and the entries only.
HostValue encodeBorrowedTextMap(
    const std::vector<std::pair<std::string, std::shared_ptr<const std::string>>>& texts);

// Frees what encodeHostValue or encodeBorrowedTextMap allocated and zeroes the record.
void releaseEncodedValue(HostValue& value);

} // namespace tav::host
