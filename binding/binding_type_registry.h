// BindingTypeRegistry: the registered native types, functions and events of one plugin.
//
// Registration is find-or-create: the first registration of a name wins, and a builder that
// found its name already present ignores every further call. Native structs and enums register
// through member pointers:
//
//   auto b = registry.registerType<BannerFlag>("VmfBeTavBannersBannerFlag");
//   if (!b.existed()) {
//     b.setDescription("...");
//     b.addTags(tags);
//     b.field("theme", &BannerFlag::theme);
//     b.field("level", &BannerFlag::level, kBindingFieldRequired);
//   }
//
// A nested struct or enum must be registered before the type that uses it: its descriptor is
// looked up when the field is added, and a field of an unregistered type carries a null
// descriptor (its conversions then fail with the unregistered-structure messages).
//
// One mutex guards every container; it is held only for the container access itself.
// Descriptors do not change after registration, so they are read without the lock.
#pragma once

#include "binding/binding_type_descriptor.h"
#include "binding/static_type_id.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav {

class BindingTypeRegistry;
template <typename T> class NativeTypeBuilder;

// Returned by registerType. When existed() is true every operation does nothing.
class BindingTypeBuilder {
public:
  BindingTypeBuilder(BindingTypeRegistry* registry, BindingTypeDescriptor* descriptor, bool existed)
      : registry_(registry), descriptor_(descriptor), existed_(existed) {}

  bool existed() const { return existed_; }
  BindingTypeDescriptor* descriptor() const { return descriptor_; }
  BindingTypeRegistry& registry() const { return *registry_; }

  // Appends a field; the converter is taken over by the field (and dropped when existed()).
  void addField(std::string_view name, std::string_view description, uint32_t offset,
                const StaticTypeId* typeId, BindingTypeRef type, BindingTypeRef auxType,
                uint32_t flags, std::unique_ptr<BindingConverter> converter, bool optional = false);
  // Inserts an enumerator, or overwrites the number and description of the one of that name.
  void addValue(std::string_view name, int32_t number, std::string_view description = {});
  // Appends a tag unless it is empty.
  void addTag(std::string_view tag);
  void addTags(std::span<const std::string> tags);
  void addTags(std::initializer_list<std::string_view> tags);
  void setDescription(std::string_view description);
  void setNameSpace(std::string_view nameSpace);

private:
  BindingTypeRegistry* registry_;
  BindingTypeDescriptor* descriptor_;
  bool existed_;
};

// Returned by registerEvent; acts only when the event is new and the text is not empty.
class BindingEventBuilder {
public:
  BindingEventBuilder(BindingEventDescriptor* descriptor, bool existed)
      : descriptor_(descriptor), existed_(existed) {}

  bool existed() const { return existed_; }
  BindingEventDescriptor* descriptor() const { return descriptor_; }
  void setDescription(std::string_view description);
  void addTag(std::string_view tag);

private:
  BindingEventDescriptor* descriptor_;
  bool existed_;
};

class BindingTypeRegistry {
public:
  // Starts with the built-in types and events.
  BindingTypeRegistry();
  ~BindingTypeRegistry();
  BindingTypeRegistry(const BindingTypeRegistry&) = delete;
  BindingTypeRegistry& operator=(const BindingTypeRegistry&) = delete;

  // Find-or-create by name. A new descriptor is entered in the name map and, unless typeId is
  // the no-payload placeholder, in the id index.
  BindingTypeBuilder registerType(uint32_t size, std::string_view name, const StaticTypeId* typeId,
                                  bool isEnum);
  // The same for a native struct or enum (an enum class with a 32-bit underlying type), whose
  // builder adds fields by member pointer.
  template <typename T> NativeTypeBuilder<T> registerType(std::string_view name);

  BindingEventBuilder registerEvent(std::string_view name, const BindingTypeDescriptor* payload);

  // Creates a function with argCount empty argument slots. A detached function is kept alive
  // by the registry but not entered in the name map and does not change revision; otherwise it
  // replaces any function of that name and revision is incremented. Callers look the name up
  // with findFunction first and reuse an existing descriptor.
  BindingFunctionDescriptor* registerFunction(std::string_view name, size_t argCount,
                                              bool detached = false);
  // Erases the function (entered or detached), increments revision and destroys it with its
  // invoker. A descriptor the registry does not own is ignored.
  void removeFunction(const BindingFunctionDescriptor* function);

  const BindingTypeDescriptor* findTypeById(const StaticTypeId* typeId) const;
  const BindingTypeDescriptor* findTypeById(uint32_t id) const;
  const BindingTypeDescriptor* findTypeByName(std::string_view name) const;
  BindingFunctionDescriptor* findFunction(std::string_view name) const;
  const BindingEventDescriptor* findEvent(std::string_view name) const;

  // The name of the first enumerator, in name order, of the enum registered under type whose
  // number equals number; null when the type is unknown or no enumerator has that number.
  const char* enumValueName(const StaticTypeId* type, int32_t number) const;
  // True when some enumerator of the enum has that number; false for a null descriptor.
  static bool enumHasNumber(const BindingTypeDescriptor* descriptor, int32_t number);

  // Copies of the maps, in name order, for the API description.
  std::vector<const BindingFunctionDescriptor*> functionSnapshot() const;
  std::vector<const BindingTypeDescriptor*> typeSnapshot() const;
  std::vector<const BindingEventDescriptor*> eventSnapshot() const;

  uint32_t revision() const;

  // Removes every function, event and type once the built-ins are in, then registers the
  // built-in types and events again.
  void reset();

private:
  mutable std::mutex lock_;
  uint32_t revision_ = 0;
  std::map<std::string, std::unique_ptr<BindingFunctionDescriptor>, std::less<>> functions_;
  std::map<std::string, std::unique_ptr<BindingEventDescriptor>, std::less<>> events_;
  std::map<std::string, std::unique_ptr<BindingTypeDescriptor>, std::less<>> typesByName_;
  std::map<uint32_t, BindingTypeDescriptor*> typesById_;
  // Detached functions, and functions replaced under their name, stay alive until reset or
  // destruction so that pointers handed out earlier never dangle.
  std::vector<std::unique_ptr<BindingFunctionDescriptor>> unlisted_;
  bool builtinsRegistered_ = false;
};

template <typename T>
NativeTypeBuilder<T> BindingTypeRegistry::registerType(std::string_view name) {
  static_assert(std::is_class_v<T> || std::is_enum_v<T>, "only structs and enums are registered");
  if constexpr (std::is_enum_v<T>) {
    static_assert(sizeof(T) == 4 && std::is_signed_v<std::underlying_type_t<T>>,
                  "registered enums have a signed 32-bit underlying type");
  }
  return NativeTypeBuilder<T>(
      registerType(static_cast<uint32_t>(sizeof(T)), name, &typeId<T>(), std::is_enum_v<T>));
}

} // namespace tav

// The member-pointer builder used by registerType<T>.
#include "binding/native_binding.h"
