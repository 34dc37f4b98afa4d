// The signed inventory: one request, one token per type, and the payloads gathered into a record.
#include "banners/inventory_source.h"

#include <algorithm>
#include <map>
#include <string_view>

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

// Reads a payload of the common shape and keeps only the list of `type`, as the general way
// keeps only what it gathers. False when the payload needs the general way.
bool TakeItemsOfType(std::string_view payload, std::string_view type, InventoryItemsByType& out) {
  InventoryItemsByType part;
  if (!ReadInventoryPayload(payload, part)) {
    return false;
  }
  if (type == kTournamentFlag) {
    out.TOURNAMENT_FLAG = std::move(part.TOURNAMENT_FLAG);
  } else if (type == kTournamentFrame) {
    out.TOURNAMENT_FRAME = std::move(part.TOURNAMENT_FRAME);
  }
  return true;
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

SourceResult<InventoryResponse> GetInventory(const OutgoingRequests& requests,
                                             const std::vector<std::string>& types) {
  BindingProperty typeList;
  typeList.makeCollection();
  for (const std::string& type : types) {
    typeList.append() = type;
  }
  RequestResult<std::map<std::string, std::string>> answer =
      requests.requestWithArgument<std::map<std::string, std::string>>(HttpMethod::Get,
                                                                       kInventoryUrl, typeList);
  if (!answer.ok()) {
    return LoggedError(InventoryRequestFailedMessage(types, answer.error().message));
  }

  // Payloads of the common shape go straight into the records; the others are gathered as
  // values and converted together, the general way. A type named twice has one token and so one
  // list: it is read once.
  InventoryResponse inventory;
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
    if (TakeItemsOfType(reader.payloadText(), type, inventory.items)) {
      continue;
    }
    // The payload is read where its list goes, and the list then takes the payload's place, so
    // the items are never copied. A payload without the list leaves the empty value, and so an
    // empty list.
    BindingProperty& list = gathered.member(kItemsMember).member(type);
    reader.readPayloadInto(list);
    list.replaceWithPart(list.member(kItemsMember).member(type));
  }

  BindingResult conversion;
  if ((!gathered.isEmpty() || types.empty()) &&
      !fromValue(conversion, inventory, gathered, "<value>", requests.registry())) {
    return LoggedError(std::string(kInventoryPayloadMessage));
  }
  return inventory;
}

} // namespace tav::banners
