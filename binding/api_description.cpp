// Building the host API description records from the registry's snapshots.
#include "binding/api_description.h"

#include "binding/binding_type_registry.h"

namespace tav {
namespace {

const char* const kEmptyText = "";

// The reference written for a field, argument or return: the alternative one when it is set.
const BindingTypeRef& describedRef(const BindingTypeRef& type, const BindingTypeRef& auxType) {
  return auxType.code != BindingTypeCode::None ? auxType : type;
}

// Only vectors, enums, structs and maps name a type, and only when their descriptor is known.
const char* typeNameOf(const BindingTypeRef& ref) {
  switch (ref.code) {
  case BindingTypeCode::Vector:
  case BindingTypeCode::Enum:
  case BindingTypeCode::Struct:
  case BindingTypeCode::Map:
    return ref.descriptor ? ref.descriptor->name.c_str() : kEmptyText;
  default:
    return kEmptyText;
  }
}

// Points each record's next word at the following record; the last one's stays null.
template <typename Record>
Record* linkRecords(std::vector<Record>& records, size_t first, size_t count) {
  for (size_t i = 0; i + 1 < count; ++i) {
    records[first + i].next = &records[first + i + 1];
  }
  return count == 0 ? nullptr : &records[first];
}

} // namespace

uint32_t ApiDescription::hostTypeCode(int32_t code) {
  return code >= 1 && code <= 19 ? static_cast<uint32_t>(code) : 0;
}

ApiDescription::ApiDescription(const BindingTypeRegistry& registry) {
  const auto functions = registry.functionSnapshot();
  const auto types = registry.typeSnapshot();
  const auto events = registry.eventSnapshot();

  // Every array is sized before the first pointer into it is taken.
  size_t argumentCount = 0;
  for (const auto* function : functions) {
    argumentCount += function->arguments.size();
  }
  size_t fieldCount = 0;
  size_t enumeratorCount = 0;
  for (const auto* type : types) {
    if (type->isEnum) {
      enumeratorCount += type->values.size();
    } else {
      fieldCount += type->fields.size();
    }
  }
  functions_.assign(functions.size(), host::HostFunctionDescription{});
  arguments_.assign(argumentCount, host::HostArgumentDescription{});
  types_.assign(types.size(), host::HostTypeDescription{});
  fields_.assign(fieldCount, host::HostFieldDescription{});
  enumerators_.assign(enumeratorCount, host::HostEnumeratorDescription{});
  events_.assign(events.size(), host::HostEventDescription{});
  tags_.reserve(functions.size() + types.size() + events.size());

  const auto tagArray = [this](const std::vector<std::string>& tags) -> const char* const* {
    if (tags.empty()) {
      return nullptr;
    }
    std::vector<const char*>& texts = tags_.emplace_back();
    texts.reserve(tags.size());
    for (const std::string& tag : tags) {
      texts.push_back(tag.c_str());
    }
    return texts.data();
  };

  size_t nextArgument = 0;
  for (size_t i = 0; i < functions.size(); ++i) {
    const BindingFunctionDescriptor& function = *functions[i];
    host::HostFunctionDescription& record = functions_[i];
    const size_t first = nextArgument;
    for (const BindingArgumentDescriptor& argument : function.arguments) {
      host::HostArgumentDescription& out = arguments_[nextArgument++];
      const BindingTypeRef& type = describedRef(argument.type, argument.auxType);
      out.name = argument.name.c_str();
      out.description = argument.description.c_str();
      out.typeCode = hostTypeCode(static_cast<int32_t>(type.code));
      out.elementCode = hostTypeCode(static_cast<int32_t>(type.elementCode));
      out.typeName = typeNameOf(type);
      out.optional = argument.optional ? 1 : 0;
    }
    const BindingTypeRef& returns = describedRef(function.returns, function.auxReturns);
    record.name = function.name.c_str();
    record.nameSpace = function.nameSpace.c_str();
    record.arguments = linkRecords(arguments_, first, function.arguments.size());
    record.argumentCount = static_cast<uint32_t>(function.arguments.size());
    record.returnCode = hostTypeCode(static_cast<int32_t>(returns.code));
    record.returnElementCode = hostTypeCode(static_cast<int32_t>(returns.elementCode));
    record.returnTypeName = typeNameOf(returns);
    record.description = function.description.c_str();
    record.help = function.help.c_str();
    record.threadSafe = function.threadSafe ? 1 : 0;
    record.async =
        function.async && returns.descriptor ? returns.descriptor->name.c_str() : kEmptyText;
    record.tags = tagArray(function.tags);
    record.tagCount = static_cast<uint32_t>(function.tags.size());
  }

  size_t nextField = 0;
  size_t nextEnumerator = 0;
  for (size_t i = 0; i < types.size(); ++i) {
    const BindingTypeDescriptor& type = *types[i];
    host::HostTypeDescription& record = types_[i];
    record.name = type.name.c_str();
    record.nameSpace = type.nameSpace.c_str();
    record.size = type.size;
    record.description = type.description.c_str();
    record.tags = tagArray(type.tags);
    record.tagCount = static_cast<uint32_t>(type.tags.size());
    if (type.isEnum) {
      const size_t first = nextEnumerator;
      for (const auto& [name, value] : type.values) {
        host::HostEnumeratorDescription& out = enumerators_[nextEnumerator++];
        out.name = value.name.c_str();
        out.description = value.description.c_str();
        out.number = value.number;
      }
      record.values = linkRecords(enumerators_, first, type.values.size());
      record.count = static_cast<uint32_t>(type.values.size());
    } else {
      const size_t first = nextField;
      for (const BindingFieldDescriptor& field : type.fields) {
        host::HostFieldDescription& out = fields_[nextField++];
        const BindingTypeRef& ref = describedRef(field.type, field.auxType);
        out.name = field.name.c_str();
        out.description = field.description.c_str();
        out.offset = field.offset;
        out.typeCode = hostTypeCode(static_cast<int32_t>(ref.code));
        out.elementCode = hostTypeCode(static_cast<int32_t>(ref.elementCode));
        out.typeName = typeNameOf(ref);
        out.optional = field.optional ? 1 : 0;
      }
      record.fields = linkRecords(fields_, first, type.fields.size());
      record.count = static_cast<uint32_t>(type.fields.size());
    }
  }

  for (size_t i = 0; i < events.size(); ++i) {
    const BindingEventDescriptor& event = *events[i];
    host::HostEventDescription& record = events_[i];
    record.name = event.name.c_str();
    record.nameSpace = event.nameSpace.c_str();
    record.payloadTypeName = event.payload ? event.payload->name.c_str() : kEmptyText;
    record.description = event.description.c_str();
    record.tags = tagArray(event.tags);
    record.tagCount = static_cast<uint32_t>(event.tags.size());
  }

  header_.functions = linkRecords(functions_, 0, functions_.size());
  header_.functionCount = static_cast<uint32_t>(functions_.size());
  header_.types = linkRecords(types_, 0, types_.size());
  header_.typeCount = static_cast<uint32_t>(types_.size());
  header_.events = linkRecords(events_, 0, events_.size());
  header_.eventCount = static_cast<uint32_t>(events_.size());
}

} // namespace tav
