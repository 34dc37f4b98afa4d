// Finding references to structs and enums that were never registered.
#include "binding/unregistered_types.h"

#include "binding/binding_type_descriptor.h"
#include "binding/static_type_id.h"

namespace tav {
namespace {

// "struct" or "enum" when ref needs a descriptor it does not have, else null.
const char* missingKind(const BindingTypeRef& ref) {
  if (ref.descriptor != nullptr) {
    return nullptr;
  }
  BindingTypeCode code = ref.code;
  if (code == BindingTypeCode::Vector || code == BindingTypeCode::Map) {
    code = ref.elementCode;
  }
  if (code == BindingTypeCode::Struct) {
    return "struct";
  }
  if (code == BindingTypeCode::Enum) {
    return "enum";
  }
  return nullptr;
}

} // namespace

std::vector<std::string> unregisteredTypeReferences(const BindingTypeRegistry& registry) {
  std::vector<std::string> lines;
  for (const BindingTypeDescriptor* type : registry.typeSnapshot()) {
    for (const BindingFieldDescriptor& field : type->fields) {
      if (const char* kind = missingKind(field.type)) {
        std::string line = "Type '" + type->name + "' field '" + field.name +
                           "' has an unregistered " + kind + " type";
        if (field.typeId != nullptr) {
          line += std::string(" (") + field.typeId->text + ")";
        }
        lines.push_back(std::move(line));
      }
    }
  }
  for (const BindingFunctionDescriptor* function : registry.functionSnapshot()) {
    for (const BindingArgumentDescriptor& argument : function->arguments) {
      if (const char* kind = missingKind(argument.type)) {
        lines.push_back("Function '" + function->name + "' argument '" + argument.name +
                        "' has an unregistered " + kind + " type");
      }
    }
    if (const char* kind = missingKind(function->returns)) {
      lines.push_back("Function '" + function->name + "' answer has an unregistered " +
                      std::string(kind) + " type");
    }
  }
  return lines;
}

} // namespace tav
