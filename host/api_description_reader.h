// A C++ copy of the API description a plugin hands over with its function table: functions,
// types and events, with null texts read as empty.
#pragma once

#include "binding/host_records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

struct ArgumentInfo {
  std::string name;
  std::string description;
  uint32_t typeCode = 0;
  uint32_t elementCode = 0;
  std::string typeName;
  bool optional = false;
};

struct FunctionInfo {
  std::string name;
  std::string nameSpace;
  std::vector<ArgumentInfo> arguments;
  uint32_t returnCode = 0;
  uint32_t returnElementCode = 0;
  std::string returnTypeName;
  std::string description;
  std::string help;
  bool threadSafe = false;
  std::string async;
  std::vector<std::string> tags;
  const HostFunctionRecord* record = nullptr; // where the call entry and context live
};

struct FieldInfo {
  std::string name;
  std::string description;
  uint32_t offset = 0;
  uint32_t typeCode = 0;
  uint32_t elementCode = 0;
  std::string typeName;
  bool optional = false;
};

struct EnumeratorInfo {
  std::string name;
  std::string description;
  int32_t number = 0;
};

struct TypeInfo {
  std::string name;
  std::string nameSpace;
  uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  std::vector<FieldInfo> fields;           // a struct's
  std::vector<EnumeratorInfo> enumerators; // an enum's
  uint32_t count = 0;                      // the record's own count word
};

struct EventInfo {
  std::string name;
  std::string nameSpace;
  std::string payloadTypeName;
  std::string description;
  std::vector<std::string> tags;
};

struct ApiDescription {
  std::vector<FunctionInfo> functions;
  std::vector<TypeInfo> types;
  std::vector<EventInfo> events;

  // Null when nothing of that name is described.
  const FunctionInfo* findFunction(std::string_view name) const;
  const TypeInfo* findType(std::string_view name) const;
  const EventInfo* findEvent(std::string_view name) const;
};

// Reads the header and every array it points at by index and count; the next words are not
// followed. A null header reads as an empty description.
ApiDescription readApiDescription(const HostApiDescription* header);

} // namespace tav::host
