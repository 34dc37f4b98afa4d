// Reading the API description records.
#include "host/api_description_reader.h"

namespace tav::host {
namespace {

std::string textOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

std::vector<std::string> textsOf(const char* const* texts, uint32_t count) {
  std::vector<std::string> out;
  if (texts == nullptr) {
    return out;
  }
  out.reserve(count);
  for (uint32_t index = 0; index < count; ++index) {
    out.push_back(textOf(texts[index]));
  }
  return out;
}

FunctionInfo readFunction(const HostFunctionRecord& record) {
  const HostFunctionDescription& description = record.description;
  FunctionInfo info;
  info.name = textOf(description.name);
  info.nameSpace = textOf(description.nameSpace);
  if (description.arguments != nullptr) {
    for (uint32_t index = 0; index < description.argumentCount; ++index) {
      const HostArgumentDescription& argument = description.arguments[index];
      info.arguments.push_back(ArgumentInfo{textOf(argument.name), textOf(argument.description),
                                            argument.typeCode, argument.elementCode,
                                            textOf(argument.typeName), argument.optional != 0});
    }
  }
  info.returnCode = description.returnCode;
  info.returnElementCode = description.returnElementCode;
  info.returnTypeName = textOf(description.returnTypeName);
  info.description = textOf(description.description);
  info.help = textOf(description.help);
  info.threadSafe = description.threadSafe != 0;
  info.async = textOf(description.async);
  info.tags = textsOf(description.tags, description.tagCount);
  info.record = &record;
  return info;
}

TypeInfo readType(const HostTypeDescription& type) {
  TypeInfo info;
  info.name = textOf(type.name);
  info.nameSpace = textOf(type.nameSpace);
  info.size = type.size;
  info.description = textOf(type.description);
  info.tags = textsOf(type.tags, type.tagCount);
  info.count = type.count;
  if (type.fields != nullptr) {
    for (uint32_t index = 0; index < type.count; ++index) {
      const HostFieldDescription& field = type.fields[index];
      info.fields.push_back(FieldInfo{textOf(field.name), textOf(field.description), field.offset,
                                      field.typeCode, field.elementCode, textOf(field.typeName),
                                      field.optional != 0});
    }
  } else if (type.values != nullptr) {
    for (uint32_t index = 0; index < type.count; ++index) {
      const HostEnumeratorDescription& value = type.values[index];
      info.enumerators.push_back(
          EnumeratorInfo{textOf(value.name), textOf(value.description), value.number});
    }
  }
  return info;
}

EventInfo readEvent(const HostEventDescription& event) {
  return EventInfo{textOf(event.name), textOf(event.nameSpace), textOf(event.payloadTypeName),
                   textOf(event.description), textsOf(event.tags, event.tagCount)};
}

template <typename Info>
const Info* findNamed(const std::vector<Info>& infos, std::string_view name) {
  for (const Info& info : infos) {
    if (info.name == name) {
      return &info;
    }
  }
  return nullptr;
}

} // namespace

const FunctionInfo* ApiDescription::findFunction(std::string_view name) const {
  return findNamed(functions, name);
}

const TypeInfo* ApiDescription::findType(std::string_view name) const {
  return findNamed(types, name);
}

const EventInfo* ApiDescription::findEvent(std::string_view name) const {
  return findNamed(events, name);
}

ApiDescription readApiDescription(const HostApiDescription* header) {
  ApiDescription description;
  if (header == nullptr) {
    return description;
  }
  // The functions word points at the full function records, not at bare descriptions.
  const auto* records = reinterpret_cast<const HostFunctionRecord*>(header->functions);
  if (records != nullptr) {
    for (uint32_t index = 0; index < header->functionCount; ++index) {
      description.functions.push_back(readFunction(records[index]));
    }
  }
  if (header->types != nullptr) {
    for (uint32_t index = 0; index < header->typeCount; ++index) {
      description.types.push_back(readType(header->types[index]));
    }
  }
  if (header->events != nullptr) {
    for (uint32_t index = 0; index < header->eventCount; ++index) {
      description.events.push_back(readEvent(header->events[index]));
    }
  }
  return description;
}

} // namespace tav::host
