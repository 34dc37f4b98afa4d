// The registry of types, functions and events, and its builders.
#include "binding/binding_type_registry.h"

#include "binding/builtin_types.h"
#include "binding/fnv1a.h"

#include <algorithm>
#include <cstring>

namespace tav {

const char* bindingTypeCodeName(BindingTypeCode code) {
  switch (code) {
  case BindingTypeCode::Bool:
    return "bool";
  case BindingTypeCode::Int8:
    return "int8";
  case BindingTypeCode::Uint8:
    return "uint8";
  case BindingTypeCode::Int16:
    return "int16";
  case BindingTypeCode::Uint16:
    return "uint16";
  case BindingTypeCode::Int32:
    return "int32";
  case BindingTypeCode::Uint32:
    return "uint32";
  case BindingTypeCode::Int64:
    return "int64";
  case BindingTypeCode::Uint64:
    return "uint64";
  case BindingTypeCode::Float:
    return "float";
  case BindingTypeCode::Double:
    return "double";
  case BindingTypeCode::String:
    return "string";
  case BindingTypeCode::Object:
    return "object";
  case BindingTypeCode::Blob:
    return "blob";
  case BindingTypeCode::Vector:
    return "vector";
  case BindingTypeCode::Enum:
    return "enum";
  case BindingTypeCode::Struct:
    return "struct";
  case BindingTypeCode::Callback:
    return "callback";
  case BindingTypeCode::Map:
    return "map";
  case BindingTypeCode::None:
    break;
  }
  return "";
}

BindingArgumentDescriptor& BindingFunctionDescriptor::setArgument(size_t index, BindingTypeRef type,
                                                                  bool optional) {
  if (arguments.size() <= index) {
    arguments.resize(index + 1);
  }
  BindingArgumentDescriptor& argument = arguments[index];
  argument.type = type;
  argument.optional = optional;
  argument.owner = this;
  return argument;
}

void BindingFunctionDescriptor::setArgumentName(size_t index, std::string_view name) {
  if (arguments.size() <= index) {
    arguments.resize(index + 1);
  }
  BindingArgumentDescriptor& argument = arguments[index];
  argument.name.assign(name);
  argument.nameHash = fnv1a(name);
  argument.owner = this;
}

namespace {

// Keeps memberOrder sorted as a structure orders its keys: texts compared as zero-terminated
// byte strings. Two fields that would land on one member give up the order altogether.
void placeInMemberOrder(BindingTypeDescriptor& type, uint32_t index) {
  if (!type.distinctMemberNames) {
    return;
  }
  const std::string& name = type.fields[index].name;
  const auto before = [&](uint32_t other) {
    return std::strcmp(type.fields[other].name.c_str(), name.c_str()) < 0;
  };
  const auto at = std::partition_point(type.memberOrder.begin(), type.memberOrder.end(), before);
  if (name.find('\0') != std::string::npos ||
      (at != type.memberOrder.end() && type.fields[*at].name == name)) {
    type.distinctMemberNames = false;
    type.memberOrder.clear();
    return;
  }
  type.memberOrder.insert(at, index);
}

} // namespace

void BindingTypeBuilder::addField(std::string_view name, std::string_view description,
                                  uint32_t offset, const StaticTypeId* typeId, BindingTypeRef type,
                                  BindingTypeRef auxType, uint32_t flags,
                                  std::unique_ptr<BindingConverter> converter, bool optional) {
  if (existed_) {
    return;
  }
  BindingFieldDescriptor& field = descriptor_->fields.emplace_back();
  field.name.assign(name);
  field.nameHash = fnv1a(name);
  field.description.assign(description);
  field.typeId = typeId;
  field.offset = offset;
  field.type = type;
  if (auxType.code != BindingTypeCode::None) {
    field.auxType = auxType;
  }
  field.flags = flags;
  field.converter = std::move(converter);
  field.owner = descriptor_;
  field.optional = optional;
  if (field.converter) {
    placeInMemberOrder(*descriptor_, static_cast<uint32_t>(descriptor_->fields.size() - 1));
  }
}

void BindingTypeBuilder::addValue(std::string_view name, int32_t number,
                                  std::string_view description) {
  if (existed_) {
    return;
  }
  auto [at, inserted] = descriptor_->values.try_emplace(std::string(name));
  BindingEnumValue& value = at->second;
  if (inserted) {
    value.name.assign(name);
    value.owner = descriptor_;
  }
  value.number = number;
  value.description.assign(description);
}

void BindingTypeBuilder::addTag(std::string_view tag) {
  if (existed_ || tag.empty()) {
    return;
  }
  descriptor_->tags.emplace_back(tag);
}

void BindingTypeBuilder::addTags(std::span<const std::string> tags) {
  for (const std::string& tag : tags) {
    addTag(tag);
  }
}

void BindingTypeBuilder::addTags(std::initializer_list<std::string_view> tags) {
  for (std::string_view tag : tags) {
    addTag(tag);
  }
}

void BindingTypeBuilder::setDescription(std::string_view description) {
  if (!existed_) {
    descriptor_->description.assign(description);
  }
}

void BindingTypeBuilder::setNameSpace(std::string_view nameSpace) {
  if (!existed_) {
    descriptor_->nameSpace.assign(nameSpace);
  }
}

void BindingEventBuilder::setDescription(std::string_view description) {
  if (!existed_ && !description.empty()) {
    descriptor_->description.assign(description);
  }
}

void BindingEventBuilder::addTag(std::string_view tag) {
  if (!existed_ && !tag.empty()) {
    descriptor_->tags.emplace_back(tag);
  }
}

BindingTypeRegistry::BindingTypeRegistry() {
  reset();
}

BindingTypeRegistry::~BindingTypeRegistry() = default;

BindingTypeBuilder BindingTypeRegistry::registerType(uint32_t size, std::string_view name,
                                                     const StaticTypeId* typeId, bool isEnum) {
  std::lock_guard guard(lock_);
  if (auto found = typesByName_.find(name); found != typesByName_.end()) {
    return BindingTypeBuilder(this, found->second.get(), true);
  }
  auto descriptor = std::make_unique<BindingTypeDescriptor>();
  descriptor->size = size;
  descriptor->isEnum = isEnum;
  descriptor->name.assign(name);
  descriptor->id = typeId ? typeId->id : 0;
  descriptor->typeId = typeId;
  descriptor->registry = this;
  BindingTypeDescriptor* raw = descriptor.get();
  typesByName_.emplace(std::string(name), std::move(descriptor));
  if (typeId != nullptr && typeId->id != noPayloadTypeId().id) {
    // A second name for the same native type keeps the first one's index entry.
    typesById_.try_emplace(typeId->id, raw);
  }
  return BindingTypeBuilder(this, raw, false);
}

BindingEventBuilder BindingTypeRegistry::registerEvent(std::string_view name,
                                                       const BindingTypeDescriptor* payload) {
  std::lock_guard guard(lock_);
  if (auto found = events_.find(name); found != events_.end()) {
    return BindingEventBuilder(found->second.get(), true);
  }
  auto descriptor = std::make_unique<BindingEventDescriptor>();
  descriptor->name.assign(name);
  descriptor->payload = payload;
  BindingEventDescriptor* raw = descriptor.get();
  events_.emplace(std::string(name), std::move(descriptor));
  return BindingEventBuilder(raw, false);
}

BindingFunctionDescriptor* BindingTypeRegistry::registerFunction(std::string_view name,
                                                                 size_t argCount, bool detached) {
  auto descriptor = std::make_unique<BindingFunctionDescriptor>();
  descriptor->name.assign(name);
  descriptor->arguments.resize(argCount);
  for (BindingArgumentDescriptor& argument : descriptor->arguments) {
    argument.owner = descriptor.get();
  }
  descriptor->registry = this;
  BindingFunctionDescriptor* raw = descriptor.get();

  std::lock_guard guard(lock_);
  if (detached) {
    unlisted_.push_back(std::move(descriptor));
    return raw;
  }
  auto [at, inserted] = functions_.try_emplace(std::string(name));
  if (!inserted) {
    unlisted_.push_back(std::move(at->second));
  }
  at->second = std::move(descriptor);
  ++revision_;
  return raw;
}

void BindingTypeRegistry::removeFunction(const BindingFunctionDescriptor* function) {
  if (function == nullptr) {
    return;
  }
  std::unique_ptr<BindingFunctionDescriptor> removed;
  {
    std::lock_guard guard(lock_);
    if (auto found = functions_.find(function->name);
        found != functions_.end() && found->second.get() == function) {
      removed = std::move(found->second);
      functions_.erase(found);
    } else {
      auto unlisted = std::find_if(unlisted_.begin(), unlisted_.end(),
                                   [&](const auto& entry) { return entry.get() == function; });
      if (unlisted == unlisted_.end()) {
        return;
      }
      removed = std::move(*unlisted);
      unlisted_.erase(unlisted);
    }
    ++revision_;
  }
  // The invoker and descriptor are destroyed outside the lock: an invoker may look things up.
}

const BindingTypeDescriptor* BindingTypeRegistry::findTypeById(const StaticTypeId* typeId) const {
  return typeId ? findTypeById(typeId->id) : nullptr;
}

const BindingTypeDescriptor* BindingTypeRegistry::findTypeById(uint32_t id) const {
  std::lock_guard guard(lock_);
  auto found = typesById_.find(id);
  return found == typesById_.end() ? nullptr : found->second;
}

const BindingTypeDescriptor* BindingTypeRegistry::findTypeByName(std::string_view name) const {
  std::lock_guard guard(lock_);
  auto found = typesByName_.find(name);
  return found == typesByName_.end() ? nullptr : found->second.get();
}

BindingFunctionDescriptor* BindingTypeRegistry::findFunction(std::string_view name) const {
  std::lock_guard guard(lock_);
  auto found = functions_.find(name);
  return found == functions_.end() ? nullptr : found->second.get();
}

const BindingEventDescriptor* BindingTypeRegistry::findEvent(std::string_view name) const {
  std::lock_guard guard(lock_);
  auto found = events_.find(name);
  return found == events_.end() ? nullptr : found->second.get();
}

const char* BindingTypeRegistry::enumValueName(const StaticTypeId* type, int32_t number) const {
  const BindingTypeDescriptor* descriptor = findTypeById(type);
  if (descriptor == nullptr) {
    return nullptr;
  }
  // The values map is ordered by name, so the first match is the name that sorts first.
  for (const auto& [name, value] : descriptor->values) {
    if (value.number == number) {
      return value.name.c_str();
    }
  }
  return nullptr;
}

bool BindingTypeRegistry::enumHasNumber(const BindingTypeDescriptor* descriptor, int32_t number) {
  if (descriptor == nullptr) {
    return false;
  }
  return std::any_of(descriptor->values.begin(), descriptor->values.end(),
                     [&](const auto& entry) { return entry.second.number == number; });
}

std::vector<const BindingFunctionDescriptor*> BindingTypeRegistry::functionSnapshot() const {
  std::lock_guard guard(lock_);
  std::vector<const BindingFunctionDescriptor*> out;
  out.reserve(functions_.size());
  for (const auto& [name, function] : functions_) {
    out.push_back(function.get());
  }
  return out;
}

std::vector<const BindingTypeDescriptor*> BindingTypeRegistry::typeSnapshot() const {
  std::lock_guard guard(lock_);
  std::vector<const BindingTypeDescriptor*> out;
  out.reserve(typesByName_.size());
  for (const auto& [name, type] : typesByName_) {
    out.push_back(type.get());
  }
  return out;
}

std::vector<const BindingEventDescriptor*> BindingTypeRegistry::eventSnapshot() const {
  std::lock_guard guard(lock_);
  std::vector<const BindingEventDescriptor*> out;
  out.reserve(events_.size());
  for (const auto& [name, event] : events_) {
    out.push_back(event.get());
  }
  return out;
}

uint32_t BindingTypeRegistry::revision() const {
  std::lock_guard guard(lock_);
  return revision_;
}

void BindingTypeRegistry::reset() {
  {
    // Taken out under the lock, destroyed after it: converters and invokers may call back in.
    std::map<std::string, std::unique_ptr<BindingFunctionDescriptor>, std::less<>> functions;
    std::map<std::string, std::unique_ptr<BindingEventDescriptor>, std::less<>> events;
    std::map<std::string, std::unique_ptr<BindingTypeDescriptor>, std::less<>> types;
    std::vector<std::unique_ptr<BindingFunctionDescriptor>> unlisted;
    std::lock_guard guard(lock_);
    if (builtinsRegistered_) {
      if (!functions_.empty() || !unlisted_.empty()) {
        ++revision_;
      }
      functions.swap(functions_);
      unlisted.swap(unlisted_);
      events.swap(events_);
      types.swap(typesByName_);
      typesById_.clear();
      builtinsRegistered_ = false;
    }
  }
  registerBuiltinTypes(*this);
  std::lock_guard guard(lock_);
  builtinsRegistered_ = true;
}

} // namespace tav
