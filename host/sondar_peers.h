// SondarPeers: the plugins around the banners plugin, played by the host from one SondarData —
// the inventory, the sondar profile, the loadouts, the platform configuration and telemetry.
//
//   SondarPeers peers(*SondarData::fromFile("sondar.json"));
//   peers.install(host);                                     // before host.start()
//   host.start();                                            // the plugin fetches its switches
//   peers.setConfiguration("Banners", "IsEquipEnabled", true); // an Update event to subscribers
//   host.waitForDeliveries();
//   host.call("PUT", ...);
//   peers.snapshot().saveFile("sondar.json");                // what the plugin wrote included
//
// Peers answer on the plugin's threads, several at once; every member function may be called
// from any thread while they do. The state lives as long as the longest of this object and the
// peers installed in hosts.
#pragma once

#include "host/sondar_data.h"
#include "host/value_tree.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

class Host;

inline constexpr char kInventoryPath[] = "/tav-inventory/v1/signedInventory";
inline constexpr char kProfilePath[] = "/tav-sondar/v1/current-sondar/sondar-profile";
inline constexpr char kLoadoutsPath[] = "/tav-loadouts/v2/items/1";
inline constexpr char kConfigurationPrefix[] = "/tav-platform-config/v1/namespaces/";
inline constexpr char kTelemetryPrefix[] = "/telemetry/v1/events/";

// The answer to a write whose body is not the object the peer takes, with status 400.
inline constexpr char kBadWriteMessage[] = "The request carries no object to write";
// The answer to an inventory request without its list of type names, with status 400.
inline constexpr char kBadInventoryRequestMessage[] =
    "signedInventory takes one unnamed argument: a list of inventory type names";

// "/tav-platform-config/v1/namespaces/<ns>/<name>"
std::string configurationUri(std::string_view ns, std::string_view name);

struct SondarTelemetryEvent {
  std::string name;     // the path after "/telemetry/v1/events/"
  ValueTree parameters; // the request's parameter map; empty when it sent none
};

// Keeps the state somewhere lasting, such as a data file. Given the whole state a change would
// make, answers whether it was kept; false, with error set, refuses the change.
using SondarStore = std::function<bool(const SondarData& next, std::string* error)>;

// The number of telemetry events the peers keep: the newest.
inline constexpr size_t kKeptTelemetryEvents = 1024;

class SondarPeers {
public:
  explicit SondarPeers(SondarData data = {});
  ~SondarPeers();
  SondarPeers(const SondarPeers&) = delete;
  SondarPeers& operator=(const SondarPeers&) = delete;

  // Registers the peers in host and sends configuration events through it from now on. Install
  // before start, so that the plugin's first configuration fetch finds the values. host must
  // outlive every later configuration change.
  void install(Host& host);

  // Runs before every change of the saved state (anything snapshot() holds) is made, with the
  // state the change would make, one change at a time and in the order they are made. When it
  // refuses, nothing changes: the edit below answers false with the store's error, and a profile
  // or loadouts write of the plugin's is answered with status 500 and that error. Readers never
  // see a state the store has not kept. It must not change the peers itself. An empty function
  // removes it.
  void setStore(SondarStore store);

  // Runs after every change of the saved state (anything snapshot() holds): the plugin's profile
  // and loadouts writes and every edit below, on the thread that made the change, outside the
  // peers' lock, so it may take a snapshot. Telemetry, refused or failed writes and removals of
  // what is not there do not run it. Changes made at once on several threads may run it at once.
  // A configuration change runs it before its events are queued and while later changes wait,
  // so it must not change the configuration itself. An empty function removes it.
  void setChangeListener(std::function<void()> listener);

  // ---- the whole state ----
  //
  // Each edit answers true when it made its change, and false when the store refused it (error,
  // when given, says why) or, for a removal, when there was nothing to remove (error empty).

  SondarData snapshot() const;
  // Replaces the state; sends no events.
  bool replace(SondarData data, std::string* error = nullptr);
  // Changes anything but the configuration in one step: change edits the state it is given and
  // answers whether it changed anything. Sends no events.
  bool change(const std::function<bool(SondarData&)>& change, std::string* error = nullptr);
  bool save(const std::string& path, std::string* error = nullptr) const;

  // ---- inventory ----

  bool addFlag(SondarFlag flag, std::string* error = nullptr);
  bool setFlags(std::vector<SondarFlag> flags, std::string* error = nullptr);
  bool addFrame(SondarFrame frame, std::string* error = nullptr);
  bool setFrames(std::vector<SondarFrame> frames, std::string* error = nullptr);
  bool setInventoryOverrides(InventoryOverrides overrides, std::string* error = nullptr);

  // ---- profile and loadouts ----

  ValueTree profile() const;
  // Replaces the whole profile object.
  bool setProfile(ValueTree profile, std::string* error = nullptr);
  // Sets the member key, as a profile write of the plugin's does.
  bool setProfileMember(const std::string& key, ValueTree value, std::string* error = nullptr);
  bool eraseProfileMember(std::string_view key, std::string* error = nullptr);
  ValueTree loadouts() const;

  // ---- configuration ----

  std::optional<ValueTree> configuration(std::string_view ns, std::string_view name) const;
  // Stores the value and fires a resource event {uri, "Create" for a new value else "Update",
  // value} under the URI's event name and under "OnJsonApiEvent", as a framework plugin announces
  // its resources. Events of successive changes are queued in order; with more than one delivery
  // thread they may still run out of order, so wait for deliveries between changes whose order
  // matters. A change the store refuses fires nothing.
  bool setConfiguration(const std::string& ns, const std::string& name, ValueTree value,
                        std::string* error = nullptr);
  // Removes the value and fires "Delete" with no data; false, and no event, when there was none.
  bool deleteConfiguration(const std::string& ns, const std::string& name,
                           std::string* error = nullptr);

  // ---- failures and telemetry ----

  bool setFailure(SondarEndpoint endpoint, SondarFailure failure = {},
                  std::string* error = nullptr);
  bool clearFailure(SondarEndpoint endpoint, std::string* error = nullptr);
  // The last kKeptTelemetryEvents events, oldest first.
  std::vector<SondarTelemetryEvent> telemetry() const;

private:
  struct Shared;
  // Sets one part of the saved state, as change does.
  template <typename T> bool assignPart(T SondarData::*part, T value, std::string* error);
  void fireConfigurationEvent(const std::string& ns, const std::string& name, const char* eventType,
                              ValueTree data);

  std::shared_ptr<Shared> shared_;
};

} // namespace tav::host
