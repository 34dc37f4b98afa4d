// The references of a registry's types and functions to structs and enums that were not
// registered when the reference was made. Every conversion through such a reference fails, so a
// plugin reports them once, as it registers, naming the type and field or the function and
// argument.
#pragma once

#include "binding/binding_type_registry.h"

#include <string>
#include <vector>

namespace tav {

// One line per unresolved reference, in the registry's name order:
//   "Type 'Outer' field 'inner' has an unregistered struct type (#0A1B2C3D)"
//   "Function 'GetThing' argument 'thing' has an unregistered struct type"
//   "Function 'GetThing' answer has an unregistered enum type"
// A struct or enum used in a field must be registered before the type that holds it.
std::vector<std::string> unregisteredTypeReferences(const BindingTypeRegistry& registry);

} // namespace tav
