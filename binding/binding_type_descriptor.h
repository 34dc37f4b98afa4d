// Descriptors of native types, functions and events, and the converter interface of a field.
//
// Descriptors are created by the BindingTypeRegistry and owned by it. They are filled during
// registration on one thread and never changed afterwards, so converters and the API description
// read them without taking the registry's lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tav {
namespace host {
struct HostValue;
} // namespace host

class BindingProperty;
class BindingResult;
class PackedHostLayout;
class BindingTypeRegistry;
struct BindingTypeDescriptor;
struct StaticTypeId;

// The type of a field, argument or return value; the codes cross the host boundary.
enum class BindingTypeCode : int32_t {
  None = 0,
  Bool = 1,
  Int8 = 2,
  Uint8 = 3,
  Int16 = 4,
  Uint16 = 5,
  Int32 = 6,
  Uint32 = 7,
  Int64 = 8,
  Uint64 = 9,
  Float = 10,
  Double = 11,
  String = 12,
  Object = 13, // a BindingProperty held in a native record
  Blob = 14,
  Vector = 15,
  Enum = 16,
  Struct = 17,
  Callback = 18,
  Map = 19,
};

// "bool", "int8", ..., "map"; "" for a code outside the table. Used in conversion messages.
const char* bindingTypeCodeName(BindingTypeCode code);

// code; the element code of a vector or the mapped code of a map (else None); the struct or enum
// descriptor itself for Struct and Enum, the element's descriptor for a vector or map of structs
// or enums, null otherwise (and null when the type was not registered at the time).
struct BindingTypeRef {
  BindingTypeCode code = BindingTypeCode::None;
  BindingTypeCode elementCode = BindingTypeCode::None;
  const BindingTypeDescriptor* descriptor = nullptr;
};

// Moves one native value between its native storage and a BindingProperty. Converters are
// stateless apart from what their construction fixes; one instance exists per field, argument
// or registration.
class BindingConverter {
public:
  // Value to native: writes *native or records the first error on result. Does nothing when
  // result is already failed. Returns result.ok(). typeArg is the descriptor of the field's
  // BindingTypeRef; context is passed through to nested converters untouched.
  virtual bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                         std::string_view name, const BindingTypeDescriptor* typeArg,
                         const BindingTypeRegistry& registry, void* context) const = 0;
  // Native to value: fills out, or sets out's error.
  virtual void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
                       const BindingTypeRegistry& registry) const = 0;
  // Native to value, written straight into `target` (an empty member or element about to be
  // filled) instead of a result of its own that would then be copied over. Gives target the
  // value toValue gives. On failure the error goes to `status` (which may hold target, and is
  // then cleared with it) and false is returned. Does nothing when status is already failed.
  virtual bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                              const BindingTypeDescriptor* typeArg,
                              const BindingTypeRegistry& registry) const;
  // Native to the host's packed record without the value tree: counts (target null) or writes
  // what toValue and then toPackedHostValue would give. Returns false, before anything is
  // written, when this converter or the value has no such direct form; the caller then goes
  // through toValue, which also reports any failure.
  virtual bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                            const BindingTypeDescriptor* typeArg,
                            const BindingTypeRegistry& registry) const;
  virtual ~BindingConverter() = default;
};

// Field flags.
// Native to value: leave the member out when the converted value is empty or zero.
inline constexpr uint32_t kBindingFieldOmitWhenEmpty = 1u << 0;
// Value to native: the input structure must carry the member, and not empty.
inline constexpr uint32_t kBindingFieldRequired = 1u << 1;

struct BindingEnumValue {
  int32_t number = 0;
  std::string name;
  std::string description;
  const BindingTypeDescriptor* owner = nullptr;
};

struct BindingFieldDescriptor {
  std::string name;
  uint32_t nameHash = 0; // FNV-1a of name
  std::string description;
  const StaticTypeId* typeId = nullptr;
  uint32_t offset = 0; // byte offset inside the native record
  BindingTypeRef type;
  // Replaces type in the host API description only, when its code is not None.
  BindingTypeRef auxType;
  uint32_t flags = 0;
  std::unique_ptr<BindingConverter> converter;
  const BindingTypeDescriptor* owner = nullptr;
  // Reported to the host; conversions ignore it.
  bool optional = false;
};

struct BindingTypeDescriptor {
  uint32_t size = 0; // of the native record; 4 for an enum
  bool isEnum = false;
  std::string name; // unique key in the registry
  uint32_t id = 0;
  const StaticTypeId* typeId = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFieldDescriptor> fields; // structs, in registration order
  // Indexes of the fields with a converter, in the byte-wise order of their names: the order of
  // the members they become. Empty unless every such name is distinct and free of zero bytes.
  std::vector<uint32_t> memberOrder;
  bool distinctMemberNames = true;
  std::map<std::string, BindingEnumValue> values; // enums, by name
  BindingTypeRegistry* registry = nullptr;
};

struct BindingFunctionDescriptor;

struct BindingArgumentDescriptor {
  std::string name;
  uint32_t nameHash = 0;
  std::string description;
  bool optional = false;
  BindingTypeRef type;
  BindingTypeRef auxType; // as BindingFieldDescriptor::auxType
  const BindingFunctionDescriptor* owner = nullptr;
};

// The callable behind a function. Its operations are defined by the plugin runtime, which
// derives from this; the descriptor only owns it.
struct BindingInvoker {
  virtual ~BindingInvoker() = default;
};

struct BindingFunctionDescriptor {
  std::string name;
  std::vector<BindingArgumentDescriptor> arguments;
  BindingTypeRef returns;
  BindingTypeRef auxReturns; // replaces returns in the host API description when set
  std::vector<std::string> tags;
  std::string nameSpace;
  std::string description;
  std::string help;
  bool threadSafe = false;
  // Answers later through an asynchronous event whose payload is the return type.
  bool async = false;
  std::unique_ptr<BindingInvoker> invoker;
  BindingTypeRegistry* registry = nullptr;

  // Fills argument slot index, appending slots when there are fewer, and returns it so the
  // caller can set its name and description (the name's hash is kept by setArgumentName).
  BindingArgumentDescriptor& setArgument(size_t index, BindingTypeRef type, bool optional);
  void setArgumentName(size_t index, std::string_view name);
};

struct BindingEventDescriptor {
  std::string name;
  const BindingTypeDescriptor* payload = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
};

} // namespace tav
