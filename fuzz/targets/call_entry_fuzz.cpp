// The whole call entry: one call of the real banners plugin, loaded in-process by the substitute
// host, with the request and the answers of every peer plugin taken from the input.
//
// Input, cut at zero bytes into nine parts:
//   1. the method name ("GET", "PUT", any other text is a custom method);
//   2. the path with its query;
//   3. header pairs, one "name: value" per line;
//   4. the two configuration answers, one per line: the equip switch, then the current season;
//   5. the inventory's answer;  6. the profile's answer;  7. the answer to every other request
//      (the loadouts and profile writes, telemetry);
//   8. the content type;  9. the body (the rest of the input, any bytes).
// An answer is one letter and its text:
//   j<JSON>            a value (text that is not JSON is sent as a string)
//   e<status> <text>   an error
//   s<a>|<b>|...       a stream of those chunks;  f... the same stream, failing after its chunks
//   i<TYPE> <JSON>...  inventory tokens signed here, one "TYPE payload" per line (in part 5 the
//                      lines are separated by "\x1e", the record separator)
//   t<TYPE> <token>... raw tokens, one per "\x1e"-separated piece
//   anything else      an empty value.
//
// Every input runs a host of its own: load, start (which fetches the configuration), the call,
// unload. Checks: no crash, sanitizer report or leak; the response record was released; the
// value the plugin wrote was well formed; and after unload every record the host handed out was
// released exactly once and no HostApi entry failed.
#include "fuzz_support.h"

#include "binding/host_records.h"
#include "host/host.h"
#include "host/peer_answer.h"
#include "host/sondar_peers.h"
#include "host/sondar_token.h"
#include "host/value_tree.h"
#include "plugin/plugin_export.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The plugin is linked into this program, so its entry is defined here rather than generated.
TAV_PLUGIN_ENTRY(load_tav_banners);

namespace {

using tav::host::PeerAnswer;
using tav::host::ValueTree;

constexpr char kRecordSeparator = '\x1e';

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  for (std::string_view piece : tav::fuzz::splitLines(text, separator)) {
    pieces.emplace_back(piece);
  }
  return pieces;
}

ValueTree jsonOrText(std::string_view text) {
  std::optional<ValueTree> tree = ValueTree::fromJson(text);
  return tree ? std::move(*tree) : ValueTree(text);
}

// Inventory tokens by type: "TYPE rest" pieces, the rest signed or taken as it is.
ValueTree tokens(std::string_view text, bool sign) {
  std::vector<tav::host::ValueEntry> entries;
  for (std::string_view piece : tav::fuzz::splitLines(text, kRecordSeparator)) {
    const size_t space = piece.find(' ');
    const std::string_view type = piece.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? "" : piece.substr(space + 1);
    entries.emplace_back(std::string(type),
                         sign ? ValueTree(tav::host::makeSondarToken(rest)) : ValueTree(rest));
  }
  return ValueTree::map(std::move(entries));
}

PeerAnswer answerFrom(std::string_view spec) {
  if (spec.empty()) {
    return PeerAnswer::value(ValueTree());
  }
  const std::string_view text = spec.substr(1);
  switch (spec[0]) {
  case 'j':
    return PeerAnswer::value(jsonOrText(text));
  case 'e': {
    uint32_t status = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), status);
    std::string_view message = text.substr(static_cast<size_t>(end - text.data()));
    if (!message.empty() && message.front() == ' ') {
      message.remove_prefix(1);
    }
    return PeerAnswer::error(error == std::errc() ? status : 500, std::string(message));
  }
  case 's':
    return PeerAnswer::stream(split(text, '|'));
  case 'f':
    return PeerAnswer::failingStream(split(text, '|'));
  case 'i':
    return PeerAnswer::value(tokens(text, true));
  case 't':
    return PeerAnswer::value(tokens(text, false));
  default:
    return PeerAnswer::value(ValueTree());
  }
}

// A peer answering every request with the answer the spec describes, built afresh each time.
tav::host::Peer peerOf(std::string_view spec) {
  return [spec = std::string(spec)](const tav::host::SeenRequest&) { return answerFrom(spec); };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::vector<std::string_view> parts = fuzz::splitParts(fuzz::asText(data, size), 9);

  host::HostOptions options;
  options.deliveryThreads = 1;
  host::Host host(options);

  const std::vector<std::string_view> configuration = fuzz::splitLines(parts[3]);
  host.addPrefixPeer("", "/", peerOf(parts[6]));
  host.addPeer("GET", host::configurationUri("Banners", "IsEquipEnabled"),
               peerOf(configuration[0]));
  host.addPeer("GET", host::configurationUri("ClientSystemStates", "currentSeason"),
               peerOf(configuration.size() > 1 ? configuration[1] : std::string_view()));
  host.addPeer("GET", host::kInventoryPath, peerOf(parts[4]));
  host.addPeer("GET", host::kProfilePath, peerOf(parts[5]));

  fuzz::check(host.load(&load_tav_banners), "the plugin does not load", host.lastError());
  fuzz::check(host.start(), "the plugin does not start");
  host.waitForDeliveries();

  host::CallRequest request;
  request.method = std::string(parts[0]);
  request.path = std::string(parts[1]);
  for (auto& [name, value] : fuzz::headerLines(parts[2])) {
    request.headers.push_back({std::move(name), std::move(value)});
  }
  if (!parts[7].empty() || !parts[8].empty()) {
    request.contentType = std::string(parts[7]);
    request.body = std::string(parts[8]);
  }

  const host::CallResult result = host.call(request);
  // TAV_FUZZ_ECHO=1 prints each answer, to see what a seed reaches.
  static const bool echo = std::getenv("TAV_FUZZ_ECHO") != nullptr;
  if (echo) {
    std::fprintf(stderr, "%s %s -> status %u error %s value %s\n", request.method.c_str(),
                 request.path.c_str(), result.status, result.error.value_or("(none)").c_str(),
                 result.value.toJson().c_str());
  }
  fuzz::check(result.attempts == 0 || result.released, "a response record was not released");
  fuzz::check(!result.valueError.has_value(), "the plugin wrote a malformed value",
              result.valueError.value_or(""));
  fuzz::check(!result.streamError.has_value(), "the plugin's stream misbehaved",
              result.streamError.value_or(""));

  host.unload();
  fuzz::check(host.ownership().outstanding() == 0, "a record or stream was never released");
  const std::vector<std::string> faults = host.ownership().faults();
  fuzz::check(faults.empty(), "a release fault", faults.empty() ? "" : faults.front());
  fuzz::check(host.entryFailures() == 0, "a HostApi entry failed inside the host");
  return 0;
}
