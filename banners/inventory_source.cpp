// The signed inventory: one request, one token per type, and the payloads gathered into a record.
#include "banners/inventory_source.h"

#include <map>

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

  BindingProperty gathered;
  for (const std::string& type : types) {
    auto token = answer.value().find(type);
    if (token == answer.value().end()) {
      return LoggedError(std::string(kEmptyInventoryMessage));
    }
    JsonWebToken reader(std::move(token->second)); // megabytes for a large inventory
    // The payload is read where its list goes, and the list then takes the payload's place, so
    // the items are never copied. A payload without the list leaves the empty value, and so an
    // empty list.
    BindingProperty& list = gathered.member(kItemsMember).member(type);
    reader.readPayloadInto(list);
    list.replaceWithPart(list.member(kItemsMember).member(type));
  }

  InventoryResponse inventory;
  BindingResult conversion;
  if (!fromValue(conversion, inventory, gathered, "<value>", requests.registry())) {
    return LoggedError(std::string(kInventoryPayloadMessage));
  }
  return inventory;
}

} // namespace tav::banners
