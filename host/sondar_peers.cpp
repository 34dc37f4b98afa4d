// The sondar's peer services and the edits that tests and the command-line host make to them.
#include "host/sondar_peers.h"

#include "host/host.h"
#include "host/sondar_inventory.h"
#include "host/sondar_resource_event.h"

#include <deque>
#include <map>
#include <mutex>

namespace tav::host {

namespace {

std::optional<PeerAnswer> injectedFailure(const SondarData& data, SondarEndpoint endpoint) {
  auto failure = data.failures.find(endpoint);
  if (failure == data.failures.end()) {
    return std::nullopt;
  }
  return PeerAnswer::error(failure->second.status, failure->second.message);
}

enum class Outcome : uint8_t { Unchanged, Kept, Refused };

} // namespace

struct SondarPeers::Shared {
  mutable std::mutex mutex;
  SondarData data;
  // Tokens signed since the inventory last changed, by type (null for an omitted type): a
  // benchmark's inventory runs to megabytes, and signing it again for every request would
  // measure the peer instead of the plugin.
  std::map<std::string, std::shared_ptr<const std::string>> tokens;
  std::deque<SondarTelemetryEvent> telemetry;

  // Held from a configuration change until its events are queued, so that they queue in the
  // order of the changes.
  std::mutex eventsMutex;
  Host* host = nullptr;

  // Held by each change from its start until it is kept or refused, so that the store sees the
  // changes one at a time and refusing one never undoes another.
  std::mutex changeMutex;

  mutable std::mutex listenerMutex;
  std::shared_ptr<const std::function<void()>> listener;
  std::shared_ptr<const SondarStore> store;

  // Call without mutex held.
  void changed() const {
    std::shared_ptr<const std::function<void()>> current;
    {
      std::lock_guard<std::mutex> lock(listenerMutex);
      current = listener;
    }
    if (current) {
      (*current)();
    }
  }

  // Makes edit, which answers whether it changed anything; inventory says whether it may touch
  // what the tokens are signed from. With a store, edit works on a copy that replaces the state
  // only once the store has kept it. Call without mutex held.
  Outcome commit(const std::function<bool(SondarData&)>& edit, bool inventory, std::string* error) {
    std::unique_lock<std::mutex> changing(changeMutex);
    std::shared_ptr<const SondarStore> keeper;
    {
      std::lock_guard<std::mutex> lock(listenerMutex);
      keeper = store;
    }
    if (!keeper) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!edit(data)) {
        return Outcome::Unchanged;
      }
      if (inventory) {
        tokens.clear();
      }
    } else {
      SondarData next;
      {
        std::lock_guard<std::mutex> lock(mutex);
        next = data;
      }
      if (!edit(next)) {
        return Outcome::Unchanged;
      }
      std::string reason;
      if (!(*keeper)(next, &reason)) {
        if (error != nullptr) {
          *error = reason;
        }
        return Outcome::Refused;
      }
      std::lock_guard<std::mutex> lock(mutex);
      data = std::move(next);
      if (inventory) {
        tokens.clear();
      }
    }
    changing.unlock();
    changed();
    return Outcome::Kept;
  }

  bool edit(const std::function<bool(SondarData&)>& change, std::string* error,
            bool inventory = false) {
    if (error != nullptr) {
      error->clear();
    }
    return commit(change, inventory, error) == Outcome::Kept;
  }
};

namespace {

PeerAnswer success() {
  return PeerAnswer::value(ValueTree());
}

// The object a write carries: the plugin sends its parameters as one unnamed map argument; a
// JSON body is taken too, for callers that post one.
std::optional<ValueTree> writtenObject(const SeenRequest& request) {
  if (request.args.size() == 1 && !request.args[0].name &&
      request.args[0].value.kind() == ValueKind::Map) {
    return request.args[0].value;
  }
  if (request.args.empty() && request.body) {
    std::optional<ValueTree> body = ValueTree::fromJson(*request.body);
    if (body && body->kind() == ValueKind::Map) {
      return body;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> requestedTypes(const SeenRequest& request) {
  if (request.args.size() != 1 || request.args[0].name ||
      request.args[0].value.kind() != ValueKind::List) {
    return std::nullopt;
  }
  std::vector<std::string> types;
  for (const ValueTree& type : request.args[0].value.items()) {
    if (type.kind() != ValueKind::String) {
      return std::nullopt;
    }
    types.push_back(type.text());
  }
  return types;
}

// "<ns>/<name>" after the configuration prefix, query dropped; nothing for any other shape.
std::optional<std::pair<std::string, std::string>> configurationKey(const SeenRequest& request) {
  const std::string path = request.pathWithoutQuery();
  const std::string_view prefix = kConfigurationPrefix;
  if (path.compare(0, prefix.size(), prefix) != 0) {
    return std::nullopt;
  }
  const std::string rest = path.substr(prefix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == rest.size() ||
      rest.find('/', slash + 1) != std::string::npos) {
    return std::nullopt;
  }
  return std::make_pair(rest.substr(0, slash), rest.substr(slash + 1));
}

void setMember(ValueTree& map, const std::string& key, ValueTree value) {
  std::vector<ValueEntry> entries =
      map.kind() == ValueKind::Map ? map.entries() : std::vector<ValueEntry>();
  bool replaced = false;
  for (auto& [name, old] : entries) {
    if (name == key) {
      old = value;
      replaced = true;
    }
  }
  if (!replaced) {
    entries.emplace_back(key, std::move(value));
  }
  map = ValueTree::map(std::move(entries));
}

} // namespace

std::string configurationUri(std::string_view ns, std::string_view name) {
  return std::string(kConfigurationPrefix) + std::string(ns) + "/" + std::string(name);
}

SondarPeers::SondarPeers(SondarData data) : shared_(std::make_shared<Shared>()) {
  shared_->data = std::move(data);
}

SondarPeers::~SondarPeers() = default;

void SondarPeers::install(Host& host) {
  {
    std::lock_guard<std::mutex> lock(shared_->eventsMutex);
    shared_->host = &host;
  }
  std::shared_ptr<Shared> shared = shared_;

  host.addPeer("GET", kInventoryPath, [shared](const SeenRequest& request) {
    const std::optional<std::vector<std::string>> types = requestedTypes(request);
    if (!types) {
      return PeerAnswer::error(400, kBadInventoryRequestMessage);
    }
    std::vector<PeerAnswer::LentText> tokens;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (auto failure = injectedFailure(shared->data, SondarEndpoint::Inventory)) {
        return *failure;
      }
      for (const std::string& type : *types) {
        auto cached = shared->tokens.find(type);
        if (cached == shared->tokens.end()) {
          std::optional<std::string> token = inventoryToken(shared->data, type);
          std::shared_ptr<const std::string> signedToken =
              token ? std::make_shared<const std::string>(std::move(*token)) : nullptr;
          cached = shared->tokens.emplace(type, std::move(signedToken)).first;
        }
        if (cached->second) {
          tokens.emplace_back(type, cached->second);
        }
      }
    }
    // Lent rather than copied: a large inventory's token is megabytes long.
    return PeerAnswer::lentTexts(std::move(tokens));
  });

  host.addPeer("GET", kProfilePath, [shared](const SeenRequest&) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (auto failure = injectedFailure(shared->data, SondarEndpoint::ProfileRead)) {
      return *failure;
    }
    return PeerAnswer::value(shared->data.profile);
  });

  host.addPeer("POST", kProfilePath, [shared](const SeenRequest& request) {
    const std::optional<ValueTree> update = writtenObject(request);
    const ValueTree* key = update ? update->find("key") : nullptr;
    if (key == nullptr || key->kind() != ValueKind::String) {
      return PeerAnswer::error(400, kBadWriteMessage);
    }
    const ValueTree* value = update->find("value");
    std::optional<PeerAnswer> failed;
    std::string error;
    const Outcome outcome = shared->commit(
        [&](SondarData& data) {
          failed = injectedFailure(data, SondarEndpoint::ProfileWrite);
          if (!failed) {
            setMember(data.profile, key->text(), value != nullptr ? *value : ValueTree());
          }
          return !failed;
        },
        false, &error);
    if (failed) {
      return *failed;
    }
    return outcome == Outcome::Refused ? PeerAnswer::error(500, error) : success();
  });

  host.addPeer("POST", kLoadoutsPath, [shared](const SeenRequest& request) {
    std::optional<ValueTree> body = writtenObject(request);
    if (!body) {
      return PeerAnswer::error(400, kBadWriteMessage);
    }
    std::optional<PeerAnswer> failed;
    std::string error;
    const Outcome outcome = shared->commit(
        [&](SondarData& data) {
          failed = injectedFailure(data, SondarEndpoint::Loadouts);
          if (!failed) {
            data.loadouts = *body;
          }
          return !failed;
        },
        false, &error);
    if (failed) {
      return *failed;
    }
    return outcome == Outcome::Refused ? PeerAnswer::error(500, error) : success();
  });

  host.addPrefixPeer("GET", kConfigurationPrefix, [shared](const SeenRequest& request) {
    const auto key = configurationKey(request);
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (auto failure = injectedFailure(shared->data, SondarEndpoint::Configuration)) {
      return *failure;
    }
    if (key) {
      auto ns = shared->data.configuration.find(key->first);
      if (ns != shared->data.configuration.end()) {
        auto value = ns->second.find(key->second);
        if (value != ns->second.end()) {
          return PeerAnswer::value(value->second);
        }
      }
    }
    return PeerAnswer::error(404, kNoPeerMessage);
  });

  host.addPrefixPeer("POST", kTelemetryPrefix, [shared](const SeenRequest& request) {
    SondarTelemetryEvent event;
    event.name = request.pathWithoutQuery().substr(std::string_view(kTelemetryPrefix).size());
    if (std::optional<ValueTree> parameters = writtenObject(request)) {
      event.parameters = std::move(*parameters);
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (auto failure = injectedFailure(shared->data, SondarEndpoint::Telemetry)) {
      return *failure;
    }
    if (shared->telemetry.size() == kKeptTelemetryEvents) {
      shared->telemetry.pop_front();
    }
    shared->telemetry.push_back(std::move(event));
    return success();
  });
}

SondarData SondarPeers::snapshot() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->data;
}

void SondarPeers::setStore(SondarStore store) {
  std::lock_guard<std::mutex> lock(shared_->listenerMutex);
  shared_->store = store ? std::make_shared<const SondarStore>(std::move(store)) : nullptr;
}

void SondarPeers::setChangeListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(shared_->listenerMutex);
  shared_->listener =
      listener ? std::make_shared<const std::function<void()>>(std::move(listener)) : nullptr;
}

bool SondarPeers::replace(SondarData data, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state = std::move(data);
        return true;
      },
      error, true);
}

bool SondarPeers::change(const std::function<bool(SondarData&)>& change, std::string* error) {
  return shared_->edit(change, error, true);
}

bool SondarPeers::save(const std::string& path, std::string* error) const {
  return snapshot().saveFile(path, error);
}

template <typename T>
bool SondarPeers::assignPart(T SondarData::*part, T value, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state.*part = std::move(value);
        return true;
      },
      error, true);
}

bool SondarPeers::addFlag(SondarFlag flag, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state.flags.push_back(std::move(flag));
        return true;
      },
      error, true);
}

bool SondarPeers::setFlags(std::vector<SondarFlag> flags, std::string* error) {
  return assignPart(&SondarData::flags, std::move(flags), error);
}

bool SondarPeers::addFrame(SondarFrame frame, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state.frames.push_back(std::move(frame));
        return true;
      },
      error, true);
}

bool SondarPeers::setFrames(std::vector<SondarFrame> frames, std::string* error) {
  return assignPart(&SondarData::frames, std::move(frames), error);
}

bool SondarPeers::setInventoryOverrides(InventoryOverrides overrides, std::string* error) {
  return assignPart(&SondarData::inventory, std::move(overrides), error);
}

ValueTree SondarPeers::profile() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->data.profile;
}

bool SondarPeers::setProfile(ValueTree profile, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state.profile = std::move(profile);
        return true;
      },
      error);
}

bool SondarPeers::setProfileMember(const std::string& key, ValueTree value, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        setMember(state.profile, key, std::move(value));
        return true;
      },
      error);
}

bool SondarPeers::eraseProfileMember(std::string_view key, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        std::vector<ValueEntry> kept;
        for (const ValueEntry& entry : state.profile.entries()) {
          if (entry.first != key) {
            kept.push_back(entry);
          }
        }
        const bool erased = kept.size() != state.profile.entries().size();
        if (erased) {
          state.profile = ValueTree::map(std::move(kept));
        }
        return erased;
      },
      error);
}

ValueTree SondarPeers::loadouts() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->data.loadouts;
}

std::optional<ValueTree> SondarPeers::configuration(std::string_view ns,
                                                    std::string_view name) const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  auto values = shared_->data.configuration.find(std::string(ns));
  if (values == shared_->data.configuration.end()) {
    return std::nullopt;
  }
  auto value = values->second.find(std::string(name));
  if (value == values->second.end()) {
    return std::nullopt;
  }
  return value->second;
}

bool SondarPeers::setConfiguration(const std::string& ns, const std::string& name, ValueTree value,
                                   std::string* error) {
  std::lock_guard<std::mutex> order(shared_->eventsMutex);
  bool created = false;
  // Kept (and saved) before the plugin hears of it, so that nothing it does in answer is saved
  // first.
  const bool kept = shared_->edit(
      [&](SondarData& state) {
        std::map<std::string, ValueTree>& values = state.configuration[ns];
        created = values.find(name) == values.end();
        values[name] = value;
        return true;
      },
      error);
  if (kept) {
    fireConfigurationEvent(ns, name, created ? "Create" : "Update", std::move(value));
  }
  return kept;
}

bool SondarPeers::deleteConfiguration(const std::string& ns, const std::string& name,
                                      std::string* error) {
  std::lock_guard<std::mutex> order(shared_->eventsMutex);
  const bool kept = shared_->edit(
      [&](SondarData& state) {
        auto values = state.configuration.find(ns);
        if (values == state.configuration.end() || values->second.erase(name) == 0) {
          return false;
        }
        if (values->second.empty()) {
          state.configuration.erase(values);
        }
        return true;
      },
      error);
  if (kept) {
    fireConfigurationEvent(ns, name, "Delete", ValueTree());
  }
  return kept;
}

// Called with eventsMutex held.
void SondarPeers::fireConfigurationEvent(const std::string& ns, const std::string& name,
                                         const char* eventType, ValueTree data) {
  if (shared_->host == nullptr) {
    return;
  }
  const std::string uri = configurationUri(ns, name);
  ValueTree payload = resourceEventPayload(uri, eventType, std::move(data));
  shared_->host->fireEvent(resourceEventName(uri), payload);
  shared_->host->fireEvent(kResourceEventName, std::move(payload));
}

bool SondarPeers::setFailure(SondarEndpoint endpoint, SondarFailure failure, std::string* error) {
  return shared_->edit(
      [&](SondarData& state) {
        state.failures[endpoint] = std::move(failure);
        return true;
      },
      error);
}

bool SondarPeers::clearFailure(SondarEndpoint endpoint, std::string* error) {
  return shared_->edit([&](SondarData& state) { return state.failures.erase(endpoint) > 0; },
                       error);
}

std::vector<SondarTelemetryEvent> SondarPeers::telemetry() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return {shared_->telemetry.begin(), shared_->telemetry.end()};
}

} // namespace tav::host
