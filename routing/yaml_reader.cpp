// readYaml: libyaml's events feeding a builder with a container stack, anchors and aliases.
#include "routing/yaml_reader.h"

#include "binding/document_limits.h"
#include "foundation/message_format.h"
#include "routing/yaml_scalar.h"

#include <yaml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
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
  const char* keptKey = nullptr; // the key's copy among the kept texts, when it has one already
  bool keyFromAlias = false;     // the key is an alias's text, which many steps may repeat
  bool isIndex = true;
};

// Where a node sits: one step from the place of the container that holds it. Everything recorded
// below one container shares that container's place, so an anchor costs one step however deep it
// lies. An anchor on a mapping key keeps the key text in a place of its own.
struct Place {
  const char* key = nullptr; // among the kept texts: a member's key or an anchored key's text
  size_t at = 0;             // the key's length, or the element's index
  uint32_t parent = 0;       // kRootPlace for a child of the root
  bool isIndex = false;
};

// The root itself, and a container whose place has not been needed yet.
constexpr uint32_t kRootPlace = UINT32_MAX;
constexpr uint32_t kNoPlace = UINT32_MAX - 1;

struct AnchorRecord {
  uint32_t place = kRootPlace; // the anchored node, or the anchored key's text
  bool isKey = false;
  bool open = false; // the anchored sequence or mapping has not ended yet
};

// Anchor names and key texts that the table and the places point into; a text stays where it is
// while more are added.
class KeptTexts {
public:
  const char* keep(std::string_view text) {
    if (text.empty()) {
      return "";
    }
    if (text.size() > room_) {
      if (text.size() >= kChunkSize / 4) {
        // A long text gets a block of its own, so the room left in the current chunk is not lost.
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
        std::memcpy(chunks_.back().get(), text.data(), text.size());
        return chunks_.back().get();
      }
      chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunkSize));
      next_ = chunks_.back().get();
      room_ = kChunkSize;
    }
    char* kept = next_;
    std::memcpy(kept, text.data(), text.size());
    next_ += text.size();
    room_ -= text.size();
    return kept;
  }

private:
  static constexpr size_t kChunkSize = 4096;
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* next_ = nullptr;
  size_t room_ = 0;
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
    uint32_t place = kNoPlace; // made when an anchor below first needs it
    PathStep step;             // from the parent; unused for the root
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
    targetStep_.keptKey = pendingKeptKey_;
    targetStep_.keyFromAlias = pendingKeyFromAlias_;
    return &top.container->member(targetStep_.key);
  }

  void setPendingKey(std::string_view text, const char* kept, bool fromAlias) {
    pendingKey_.assign(text);
    pendingKeptKey_ = kept;
    pendingKeyFromAlias_ = fromAlias;
    hasPendingKey_ = true;
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
      if (data.anchor == nullptr) {
        setPendingKey(text, nullptr, false);
        return true;
      }
      AnchorRecord* anchor = recordAnchor(event, data.anchor);
      if (anchor == nullptr) {
        return false;
      }
      anchor->isKey = true;
      anchor->place = static_cast<uint32_t>(places_.size());
      Place& keyText = places_.emplace_back();
      keyText.key = kept_.keep(text);
      keyText.at = text.size();
      setPendingKey(text, keyText.key, false);
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
      anchor->place = targetPlace();
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
    uint32_t place = kNoPlace;
    if (anchorName != nullptr) {
      anchor = recordAnchor(event, anchorName);
      if (anchor == nullptr) {
        return false;
      }
      place = targetPlace();
      anchor->place = place;
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
    frame.place = targetIsRoot_ ? kRootPlace : place;
    if (!targetIsRoot_) {
      frame.step.isIndex = targetStep_.isIndex;
      frame.step.index = targetStep_.index;
      frame.step.key.assign(targetStep_.key);
      frame.step.keptKey = targetStep_.keptKey;
      frame.step.keyFromAlias = targetStep_.keyFromAlias;
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
        const Place& keyText = places_[anchor.place];
        setPendingKey(std::string_view(keyText.key, keyText.at), keyText.key, false);
      } else {
        const BindingProperty* source = resolve(anchor.place);
        if (!source->isString()) {
          return failAt(
              "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
              event);
        }
        setPendingKey(source->getString(), nullptr, true);
      }
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
      const Place& keyText = places_[anchor.place];
      *target = std::string_view(keyText.key, keyText.at);
      return true;
    }

    // The place is walked again rather than trusted, so a repeated key may have reopened the
    // anchored node, or put a container being filled where it was: then the target lies inside
    // the source. That copy is sound, because a copy is built whole beside its target before the
    // target takes it; only a sequence or mapping that is still open under its anchor is cyclic.
    const BindingProperty* source = resolve(anchor.place);
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

  // Walks from the root to a place; a step that no longer leads anywhere gives the shared empty
  // value.
  const BindingProperty* resolve(uint32_t place) {
    chain_.clear();
    for (; place != kRootPlace; place = places_[place].parent) {
      chain_.push_back(place);
    }
    const BindingProperty* node = &root_;
    for (auto step = chain_.rbegin(); step != chain_.rend(); ++step) {
      const Place& at = places_[*step];
      node = at.isIndex ? &node->at(at.at) : &node->find(std::string_view(at.key, at.at));
    }
    return node;
  }

  // The place of the event's target, one step below its container's place.
  uint32_t targetPlace() {
    return targetIsRoot_ ? kRootPlace : newPlace(containerPlace(depth_ - 1), targetStep_);
  }

  // The place of the container open at level, made (with those of its open ancestors) on first
  // need; the root container is the root place.
  uint32_t containerPlace(size_t level) {
    size_t first = level;
    while (first > 0 && frames_[first].place == kNoPlace) {
      --first;
    }
    if (first == 0) {
      frames_[0].place = kRootPlace;
    }
    for (size_t i = first + 1; i <= level; ++i) {
      frames_[i].place = newPlace(frames_[i - 1].place, frames_[i].step);
    }
    return frames_[level].place;
  }

  uint32_t newPlace(uint32_t parent, const PathStep& step) {
    Place place;
    place.parent = parent;
    place.isIndex = step.isIndex;
    if (step.isIndex) {
      place.at = step.index;
    } else {
      place.key = step.keptKey != nullptr ? step.keptKey : keepKey(step);
      place.at = step.key.size();
    }
    places_.push_back(place);
    return static_cast<uint32_t>(places_.size() - 1);
  }

  // A key event's text is kept once, by the one step it names. An alias's text may name any
  // number of steps, so equal ones share one copy.
  const char* keepKey(const PathStep& step) {
    if (!step.keyFromAlias) {
      return kept_.keep(step.key);
    }
    auto found = aliasKeys_.find(step.key);
    if (found == aliasKeys_.end()) {
      found = aliasKeys_.emplace(kept_.keep(step.key), step.key.size()).first;
    }
    return found->data();
  }

  // Adds an anchor to the table; null (with the error recorded) when the name is taken.
  AnchorRecord* recordAnchor(const yaml_event_t& event, const yaml_char_t* anchorName) {
    const std::string_view name = textOf(anchorName);
    if (anchors_.contains(name)) {
      failNamed("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", name.data(), event);
      return nullptr;
    }
    return &anchors_[std::string_view(kept_.keep(name), name.size())];
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
  const char* pendingKeptKey_ = nullptr;
  bool pendingKeyFromAlias_ = false;
  bool hasPendingKey_ = false;
  PathStep targetStep_;
  bool targetIsRoot_ = false;
  std::unordered_map<std::string_view, AnchorRecord> anchors_; // names among the kept texts
  std::deque<Place> places_; // a deque: growing never copies what is there
  KeptTexts kept_;
  std::unordered_set<std::string_view> aliasKeys_;
  std::vector<uint32_t> chain_;
  size_t textNodes_ = 0;
  size_t copiedNodes_ = 0;
  std::string error_;
};

} // namespace

BindingResult readYaml(std::string_view text) {
  // The text ends at its first zero byte, as the zero-terminated body it mostly is; libyaml
  // refuses a null input, which an empty view may carry.
  text = text.substr(0, text.find('\0'));
  if (text.data() == nullptr) {
    text = std::string_view("", 0);
  }
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
