// writeJson: an iterative walk over the value tree driving RapidJSON's compact writer.
#include "routing/json_writer.h"

#include "binding/binding_type_registry.h"
#include "foundation/base64.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace tav {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
using MemberIterator = decltype(std::declval<const BindingProperty&>().members().begin());

rapidjson::SizeType textLength(std::string_view text) {
  return static_cast<rapidjson::SizeType>(text.size());
}

// Writes a value that has no children; false when the value is a container.
bool writeScalar(Writer& writer, const BindingProperty& value,
                 const BindingTypeRegistry* registry) {
  switch (value.kind()) {
  case BindingKind::Bool:
    writer.Bool(value.getBool());
    return true;
  case BindingKind::Signed:
    writer.Int64(value.getSigned());
    return true;
  case BindingKind::Unsigned:
    writer.Uint64(value.getUnsigned());
    return true;
  case BindingKind::Float: {
    const double number = value.getFloat();
    if (std::isfinite(number)) {
      writer.Double(number);
    } else {
      writer.Null();
    }
    return true;
  }
  case BindingKind::String: {
    const std::string_view text = value.getString();
    writer.String(text.data(), textLength(text));
    return true;
  }
  case BindingKind::Blob: {
    const std::string text = encodeBase64(value.getBlob());
    writer.String(text.data(), textLength(text));
    return true;
  }
  case BindingKind::Enum: {
    const BindingEnum record = value.getEnum();
    const char* name = registry ? registry->enumValueName(record.type, record.number) : nullptr;
    if (name != nullptr) {
      writer.String(name, static_cast<rapidjson::SizeType>(std::strlen(name)));
    } else {
      writer.Int(record.number);
    }
    return true;
  }
  case BindingKind::Collection:
  case BindingKind::Structure:
    return false;
  case BindingKind::Empty:
    break;
  }
  writer.Null();
  return true;
}

// One open array or object of the walk and the position of its next child.
struct Frame {
  const BindingProperty* container;
  size_t nextElement;
  MemberIterator nextMember;
  MemberIterator endMember;
};

} // namespace

std::string writeJson(const BindingProperty& value, const BindingTypeRegistry* registry) {
  if (value.isEmpty()) {
    return std::string();
  }
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  std::vector<Frame> stack;

  // Writes a scalar, or opens a container and pushes its frame.
  auto visit = [&](const BindingProperty& node) {
    if (writeScalar(writer, node, registry)) {
      return;
    }
    if (node.isCollection()) {
      writer.StartArray();
      stack.push_back(Frame{&node, 0, {}, {}});
    } else {
      writer.StartObject();
      auto members = node.members();
      stack.push_back(Frame{&node, 0, members.begin(), members.end()});
    }
  };

  visit(value);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.container->isCollection()) {
      const auto elements = top.container->elements();
      if (top.nextElement == elements.size()) {
        writer.EndArray();
        stack.pop_back();
        continue;
      }
      visit(elements[top.nextElement++]);
    } else {
      if (top.nextMember == top.endMember) {
        writer.EndObject();
        stack.pop_back();
        continue;
      }
      const auto member = *top.nextMember;
      ++top.nextMember;
      writer.Key(member.key.data(), textLength(member.key));
      // visit may grow the stack, which moves top; everything needed from it is taken already.
      visit(member.value);
    }
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}

} // namespace tav
