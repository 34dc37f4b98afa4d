// readYaml: libyaml's events feeding a builder with a container stack, anchors and aliases.
#include "routing/yaml_reader.h"

#include "binding/document_limits.h"
#include "foundation/message_format.h"
#include "routing/yaml_scalar.h"

#include <yaml.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tav {
namespace {

// The parser, deleted on every path.
class YamlParser {
public:
  explicit YamlParser(std::string_view text) {
    initialized_ = yaml_parser_initialize(&parser_) != 0;
    if (initialized_) {
      yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
      yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()),
                                   text.size());
    }
  }
  ~YamlParser() {
    if (initialized_) {
      yaml_parser_delete(&parser_);
    }
  }
  YamlParser(const YamlParser&) = delete;
  YamlParser& operator=(const YamlParser&) = delete;

  bool initialized() const { return initialized_; }
  yaml_parser_t& get() { return parser_; }

private:
  yaml_parser_t parser_;
  bool initialized_ = false;
};

// One event, deleted when it goes out of scope (libyaml zeroes the event of a failed parse, so
// deleting it then is harmless).
class YamlEvent {
public:
  YamlEvent() = default;
  ~YamlEvent() { yaml_event_delete(&event_); }
  YamlEvent(const YamlEvent&) = delete;
  YamlEvent& operator=(const YamlEvent&) = delete;

  yaml_event_t* get() { return &event_; }
  const yaml_event_t& operator*() const { return event_; }

private:
  yaml_event_t event_{};
};

// One step from a container to a child: an element index or a member key.
struct PathStep {
  size_t index = 0;
  std::string key;
  bool isIndex = true;
};

struct AnchorRecord {
  std::vector<PathStep> path; // from the root to the anchored node
  std::string keyText;        // the text of an anchored mapping key
  bool isKey = false;
  bool open = false; // the anchored sequence or mapping has not ended yet
};

// Nodes and container depth of a subtree, counted until the count passes a limit.
struct Extent {
  size_t nodes = 0;
  size_t depth = 0;
};

Extent measure(const BindingProperty& root, size_t limit) {
  Extent extent;
  std::vector<std::pair<const BindingProperty*, size_t>> pending{{&root, 1}};
  while (!pending.empty() && extent.nodes <= limit) {
    auto [node, level] = pending.back();
    pending.pop_back();
    ++extent.nodes;
    if (node->isCollection()) {
      extent.depth = std::max(extent.depth, level);
      for (const BindingProperty& element : node->elements()) {
        pending.emplace_back(&element, level + 1);
      }
    } else if (node->isStructure()) {
      extent.depth = std::max(extent.depth, level);
      for (auto member : node->members()) {
        pending.emplace_back(&member.value, level + 1);
      }
    }
  }
  return extent;
}

const char* textOf(const yaml_char_t* text) {
  return reinterpret_cast<const char*>(text);
}

class YamlTreeBuilder {
public:
  explicit YamlTreeBuilder(BindingProperty& root) : root_(root) {}

  const std::string& error() const { return error_; }

  // Applies one event; false once an error has been recorded.
  bool handle(const yaml_event_t& event) {
    switch (event.type) {
    case YAML_DOCUMENT_START_EVENT:
      if (!root_.isEmpty()) {
        return fail("Multi-document YAML is not supported.");
      }
      return true;
    case YAML_SCALAR_EVENT:
      return onScalar(event);
    case YAML_SEQUENCE_START_EVENT:
      return onOpen(event, true);
    case YAML_MAPPING_START_EVENT:
      return onOpen(event, false);
    case YAML_SEQUENCE_END_EVENT:
    case YAML_MAPPING_END_EVENT:
      onClose();
      return true;
    case YAML_ALIAS_EVENT:
      return onAlias(event);
    case YAML_NO_EVENT:
    case YAML_STREAM_START_EVENT:
    case YAML_STREAM_END_EVENT:
    case YAML_DOCUMENT_END_EVENT:
      break;
    }
    return true;
  }

private:
  struct Frame {
    BindingProperty* container = nullptr;
    bool isSequence = false;
    AnchorRecord* anchor = nullptr;
    PathStep step; // from the parent; unused for the root
  };

  // The value an event fills: the root, a new element of the open sequence, or the member of the
  // pending key of the open mapping; null when the open mapping expects a key. The step to the
  // target is left in targetStep_.
  BindingProperty* selectTarget() {
    if (depth_ == 0) {
      targetIsRoot_ = true;
      return &root_;
    }
    targetIsRoot_ = false;
    Frame& top = frames_[depth_ - 1];
    if (top.isSequence) {
      BindingProperty& element = top.container->append();
      targetStep_.isIndex = true;
      targetStep_.index = top.container->size() - 1;
      return &element;
    }
    if (!hasPendingKey_) {
      return nullptr;
    }
    hasPendingKey_ = false;
    targetStep_.isIndex = false;
    std::swap(targetStep_.key, pendingKey_);
    return &top.container->member(targetStep_.key);
  }

  bool onScalar(const yaml_event_t& event) {
    const auto& data = event.data.scalar;
    const std::string_view text(textOf(data.value), data.length);
    BindingProperty* target = selectTarget();
    if (target == nullptr) {
      if (data.tag != nullptr && textOf(data.tag) != kYamlStrTag) {
        return failAt(
            "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2", event);
      }
      pendingKey_.assign(text);
      hasPendingKey_ = true;
      if (data.anchor != nullptr) {
        AnchorRecord* anchor = recordAnchor(event, data.anchor);
        if (anchor == nullptr) {
          return false;
        }
        anchor->isKey = true;
        anchor->keyText.assign(text);
      }
      return true;
    }
    ++textNodes_;
    const bool quoted = data.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                        data.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
    if (!resolveYamlScalar(*target, YamlScalar{textOf(data.tag), text, quoted}, error_)) {
      return false;
    }
    if (data.anchor != nullptr) {
      AnchorRecord* anchor = recordAnchor(event, data.anchor);
      if (anchor == nullptr) {
        return false;
      }
      anchor->path = targetPath();
    }
    return true;
  }

  bool onOpen(const yaml_event_t& event, bool isSequence) {
    BindingProperty* target = selectTarget();
    if (target == nullptr) {
      return failAt(isSequence ? "Unexpected start of sequence. At line: %1 col: %2"
                               : "Unexpected start of mapping. At line: %1 col: %2",
                    event);
    }
    if (depth_ == kMaxDocumentDepth) {
      return failAt("Document nested too deeply. At line: %1 col: %2", event);
    }
    ++textNodes_;
    if (isSequence) {
      target->makeCollection();
    } else {
      target->makeStructure();
    }
    const yaml_char_t* anchorName =
        isSequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor;
    AnchorRecord* anchor = nullptr;
    if (anchorName != nullptr) {
      anchor = recordAnchor(event, anchorName);
      if (anchor == nullptr) {
        return false;
      }
      anchor->path = targetPath();
      anchor->open = true;
    }
    // Frames are reused rather than popped so that their key buffers keep their capacity.
    if (depth_ == frames_.size()) {
      frames_.emplace_back();
    }
    Frame& frame = frames_[depth_++];
    frame.container = target;
    frame.isSequence = isSequence;
    frame.anchor = anchor;
    if (!targetIsRoot_) {
      frame.step.isIndex = targetStep_.isIndex;
      frame.step.index = targetStep_.index;
      frame.step.key.assign(targetStep_.key);
    }
    return true;
  }

  void onClose() {
    if (depth_ == 0) {
      return;
    }
    Frame& frame = frames_[--depth_];
    if (frame.anchor != nullptr) {
      frame.anchor->open = false;
    }
  }

  bool onAlias(const yaml_event_t& event) {
    const char* name = textOf(event.data.alias.anchor);
    BindingProperty* target = selectTarget();
    auto found = anchors_.find(name);
    if (found != anchors_.end() && found->second.open) {
      return failNamed("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3", name,
                       event);
    }
    if (found == anchors_.end()) {
      return failNamed("Undefined alias encountered: \"%1\". At line: %2 col: %3", name, event);
    }
    const AnchorRecord& anchor = found->second;

    if (target == nullptr) {
      // An alias in a key's place reuses the key text, or the text of an anchored string.
      if (anchor.isKey) {
        pendingKey_.assign(anchor.keyText);
      } else {
        const BindingProperty* source = resolve(anchor.path);
        if (!source->isString()) {
          return failAt(
              "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
              event);
        }
        pendingKey_.assign(source->getString());
      }
      hasPendingKey_ = true;
      return true;
    }

    const size_t allowed = std::min(
        std::max(kMinAliasExpansion, kAliasExpansionFactor * textNodes_), kMaxAliasExpansion);
    const size_t budget = allowed > copiedNodes_ ? allowed - copiedNodes_ : 0;
    if (anchor.isKey) {
      if (budget == 0) {
        return failAt("Document expands aliases too far. At line: %1 col: %2", event);
      }
      ++copiedNodes_;
      *target = anchor.keyText;
      return true;
    }

    const BindingProperty* source = resolve(anchor.path);
    // The path is walked again rather than trusted, so a repeated key may have turned the node
    // into one of the containers still being filled; copying it would copy into itself. (A node
    // inside the target is fine: the copy is built whole before the target lets go of it.)
    for (size_t i = 0; i < depth_; ++i) {
      if (frames_[i].container == source) {
        return failNamed("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3",
                         name, event);
      }
    }
    const Extent extent = measure(*source, budget);
    if (extent.nodes > budget) {
      return failAt("Document expands aliases too far. At line: %1 col: %2", event);
    }
    if (depth_ + extent.depth > kMaxDocumentDepth) {
      return failAt("Document nested too deeply. At line: %1 col: %2", event);
    }
    copiedNodes_ += extent.nodes;
    *target = *source;
    return true;
  }

  // Walks a recorded path from the root; a step that no longer leads anywhere gives the shared
  // empty value.
  const BindingProperty* resolve(const std::vector<PathStep>& path) const {
    const BindingProperty* node = &root_;
    for (const PathStep& step : path) {
      node = step.isIndex ? &node->at(step.index) : &node->find(step.key);
    }
    return node;
  }

  std::vector<PathStep> targetPath() const {
    std::vector<PathStep> path;
    if (targetIsRoot_) {
      return path;
    }
    path.reserve(depth_);
    for (size_t i = 1; i < depth_; ++i) {
      path.push_back(frames_[i].step);
    }
    path.push_back(targetStep_);
    return path;
  }

  // Adds an anchor to the table; null (with the error recorded) when the name is taken.
  AnchorRecord* recordAnchor(const yaml_event_t& event, const yaml_char_t* anchorName) {
    const char* name = textOf(anchorName);
    auto [it, inserted] = anchors_.try_emplace(name);
    if (!inserted) {
      failNamed("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", name, event);
      return nullptr;
    }
    return &it->second;
  }

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }
  bool failAt(std::string_view templ, const yaml_event_t& event) {
    return fail(formatMessage(templ, static_cast<uint64_t>(event.start_mark.line + 1),
                              static_cast<uint64_t>(event.start_mark.column + 1)));
  }
  bool failNamed(std::string_view templ, const char* name, const yaml_event_t& event) {
    return fail(formatMessage(templ, name, static_cast<uint64_t>(event.start_mark.line + 1),
                              static_cast<uint64_t>(event.start_mark.column + 1)));
  }

  BindingProperty& root_;
  std::vector<Frame> frames_;
  size_t depth_ = 0;
  std::string pendingKey_;
  bool hasPendingKey_ = false;
  PathStep targetStep_;
  bool targetIsRoot_ = false;
  std::unordered_map<std::string, AnchorRecord> anchors_;
  size_t textNodes_ = 0;
  size_t copiedNodes_ = 0;
  std::string error_;
};

} // namespace

BindingResult readYaml(std::string_view text) {
  BindingResult result;
  YamlParser parser(text);
  if (!parser.initialized()) {
    result.setError(formatMessage("YAML parser error: %1. At line: %2 col: %3",
                                  "cannot initialize the parser", uint64_t{0}, uint64_t{0}));
    return result;
  }
  YamlTreeBuilder builder(result);
  bool parserFailed = false;
  bool builderFailed = false;
  while (true) {
    YamlEvent event;
    if (yaml_parser_parse(&parser.get(), event.get()) == 0) {
      parserFailed = true;
      break;
    }
    if (!builder.handle(*event)) {
      builderFailed = true;
      break;
    }
    if ((*event).type == YAML_STREAM_END_EVENT) {
      break;
    }
  }
  if (builderFailed) {
    result.setError(builder.error());
  } else if (parserFailed) {
    const yaml_parser_t& state = parser.get();
    result.setError(formatMessage("YAML parser error: %1. At line: %2 col: %3",
                                  state.problem ? state.problem : "",
                                  static_cast<uint64_t>(state.problem_mark.line),
                                  static_cast<uint64_t>(state.problem_mark.column)));
  }
  return result;
}

} // namespace tav
