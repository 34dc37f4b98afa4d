// The pieces of a request that the host keeps as C++ values: typed arguments and header pairs.
#pragma once

#include "host/value_tree.h"

#include <optional>
#include <string>

namespace tav::host {

// A typed argument: a name, or none for a positional argument, and its value.
struct TypedArgument {
  std::optional<std::string> name;
  ValueTree value;

  bool operator==(const TypedArgument&) const = default;
};

struct HeaderPair {
  std::string name;
  std::string value;

  bool operator==(const HeaderPair&) const = default;
};

} // namespace tav::host
