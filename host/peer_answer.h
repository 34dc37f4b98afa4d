// What a peer (a stand-in for another plugin) answers to one request of the plugin's.
//
//   host.addPeer("GET", "/tav-inventory/v1/signedInventory", [](const SeenRequest&) {
//     return PeerAnswer::value(ValueTree::map({{"items", ValueTree::list({})}}));
//   });
//   PeerAnswer::error(404, "Not found");
//   PeerAnswer::stream({R"({"a":)", "1}"});  // two reads, the first one short with more to follow
//   PeerAnswer::lentTexts({{"TOURNAMENT_FLAG", token}});  // token: a shared_ptr the peer keeps
#pragma once

#include "host/value_tree.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tav::host {

struct PeerAnswer {
  enum class Shape : uint8_t { Value, Error, Stream, LentTexts };
  using LentText = std::pair<std::string, std::shared_ptr<const std::string>>;

  static PeerAnswer value(ValueTree value, uint32_t status = 0) {
    PeerAnswer answer;
    answer.shape = Shape::Value;
    answer.payload = std::move(value);
    answer.status = status;
    return answer;
  }
  // A map of texts that the peer keeps anyway, such as the inventory's signed tokens (megabytes
  // each): the record borrows them (kind 5) instead of copying them, and holds on to them until
  // the plugin releases it. A null text is left out.
  static PeerAnswer lentTexts(std::vector<LentText> texts, uint32_t status = 0) {
    PeerAnswer answer;
    answer.shape = Shape::LentTexts;
    answer.lent = std::move(texts);
    answer.status = status;
    return answer;
  }
  static PeerAnswer error(uint32_t status, std::string message) {
    PeerAnswer answer;
    answer.shape = Shape::Error;
    answer.status = status;
    answer.message = std::move(message);
    return answer;
  }
  // Each read returns at most the rest of the current chunk (an empty chunk is a read of no bytes
  // with more to follow). The size hint defaults to the chunks' total length.
  static PeerAnswer stream(std::vector<std::string> chunks,
                           std::optional<uint32_t> sizeHint = std::nullopt) {
    PeerAnswer answer;
    answer.shape = Shape::Stream;
    answer.chunks = std::move(chunks);
    answer.sizeHint = sizeHint;
    return answer;
  }
  // Like stream, but once the chunks are read the stream says more follows and the next read
  // fails.
  static PeerAnswer failingStream(std::vector<std::string> chunks) {
    PeerAnswer answer = stream(std::move(chunks));
    answer.failAfterChunks = true;
    return answer;
  }

  Shape shape = Shape::Value;
  ValueTree payload;
  uint32_t status = 0;
  std::string message;
  std::vector<std::string> chunks;
  std::optional<uint32_t> sizeHint;
  bool failAfterChunks = false;
  std::vector<LentText> lent;
};

} // namespace tav::host
