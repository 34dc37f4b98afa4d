// The signed inventory: one request, one token per type, and the payloads gathered into a record.
#include "banners/inventory_source.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

#include "banners/inventory_payload_reader.h"
#include "banners/json_web_token.h"
#include "binding/native_binding.h"
#include "foundation/log.h"
#include "plugin/outgoing_request.h"

namespace tav::banners {
namespace {

SourceError LoggedError(std::string message) {
  logMessage(LogLevel::Warn, kLogGroupDbg, "%s", message.c_str());
  return SourceError{std::move(message)};
}

// Passes on the items of one type only: a token's payload may hold both lists, and only the
// list of the type it was asked for counts.
class OneTypeSink final : public InventoryItemSink {
public:
  OneTypeSink(std::string_view type, InventoryItemSink& to) : type_(type), to_(to) {}

  void expect(std::string_view type, size_t count) override {
    if (type == type_) {
      to_.expect(type, count);
    }
  }
  void take(TournamentFlagInventoryItem& item) override {
    if (type_ == kTournamentFlag) {
      to_.take(item);
    }
  }
  void take(TournamentFrameInventoryItem& item) override {
    if (type_ == kTournamentFrame) {
      to_.take(item);
    }
  }
  void drop(std::string_view) override { to_.drop(type_); }

private:
  std::string_view type_;
  InventoryItemSink& to_;
};

template <typename Item> void HandOver(std::vector<Item>& items, InventoryItemSink& sink) {
  for (Item& item : items) {
    sink.take(item);
  }
}

} // namespace

std::string InventoryRequestFailedMessage(const std::vector<std::string>& types,
                                          std::string_view error) {
  std::string message = "Failed to retrieve inventory types [";
  for (size_t i = 0; i < types.size(); ++i) {
    if (i != 0) {
      message += ", ";
    }
    message += types[i];
  }
  message += "] from tav-inventory: ";
  message += error;
  return message;
}

SourceResult<void> ReadInventory(const OutgoingRequests& requests,
                                 const std::vector<std::string>& types, InventoryItemSink& sink) {
  BindingProperty typeList;
  typeList.makeCollection();
  for (const std::string& type : types) {
    typeList.append() = type;
  }
  RequestResult<std::map<std::string, std::string>> answer =
      requests.requestWithArgument<std::map<std::string, std::string>>(
          HttpMethod::Get, kInventoryUrl, std::move(typeList));
  if (!answer.ok()) {
    return LoggedError(InventoryRequestFailedMessage(types, answer.error().message));
  }

  // Payloads of the common shape go straight to the sink; the others are gathered as values and
  // converted together, the general way. A type named twice has one token and so one list: it
  // is read once.
  BindingProperty gathered;
  std::vector<std::string_view> done;
  for (const std::string& type : types) {
    auto token = answer.value().find(type);
    if (token == answer.value().end()) {
      return LoggedError(std::string(kEmptyInventoryMessage));
    }
    if (std::find(done.begin(), done.end(), type) != done.end()) {
      continue;
    }
    done.push_back(type);
    JsonWebToken reader(std::move(token->second)); // megabytes for a large inventory
    OneTypeSink ofType(type, sink);
    if (ReadInventoryPayload(reader.payloadText(), ofType)) {
      continue;
    }
    ofType.drop(type);
    // The payload is read where its list goes, and the list then takes the payload's place, so
    // the items are never copied. A payload without the list leaves the empty value, and so an
    // empty list.
    BindingProperty& list = gathered.member(kItemsMember).member(type);
    reader.readPayloadInto(list);
    list.replaceWithPart(list.member(kItemsMember).member(type));
  }
  if (gathered.isEmpty() && !types.empty()) {
    return {};
  }

  InventoryResponse general;
  BindingResult conversion;
  if (!fromValue(conversion, general, gathered, "<value>", requests.registry())) {
    return LoggedError(std::string(kInventoryPayloadMessage));
  }
  sink.expect(kTournamentFlag, general.items.TOURNAMENT_FLAG.size());
  HandOver(general.items.TOURNAMENT_FLAG, sink);
  sink.expect(kTournamentFrame, general.items.TOURNAMENT_FRAME.size());
  HandOver(general.items.TOURNAMENT_FRAME, sink);
  return {};
}

SourceResult<InventoryResponse> GetInventory(const OutgoingRequests& requests,
                                             const std::vector<std::string>& types) {
  InventoryResponse inventory;
  InventoryListSink lists(inventory.items);
  if (SourceResult<void> read = ReadInventory(requests, types, lists); !read.ok()) {
    return SourceError{read.error()};
  }
  return inventory;
}

} // namespace tav::banners
