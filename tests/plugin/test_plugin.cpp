// The test plugin "tav-test" (full name "vmf-be-tav-test") and its routes:
//
//   GET  /tav-test/v1/items/{id}?count=N  TestItem {id, count (N, or 1 without it), colour Red}
//   PUT  /tav-test/v1/items/{id}          body argument "item" (TestItem); answers it with the
//                                         path's id, colour Green
//   GET  /tav-test/v1/items               a list of two TestItems, "a" and "b"
//   GET  /tav-test/v1/missing             NotFound with no message: 404 "Not found"
//   GET  /tav-test/v1/teapot              ErrorResponse: 418 "I'm a teapot", header "X-Pot: tea"
//   GET  /tav-test/v1/stream?size=N       a stream of N bytes ("0123456789" repeated) read in
//                                         pieces of at most 1000 bytes; the value is empty;
//                                         a negative N answers 400 "size must not be negative"
//   POST /tav-test/v1/events              body argument "payload" (any value); sends the resource
//                                         event {uri "/tav-test/v1/items", Update, payload} as
//                                         "OnJsonApiEvent" and answers nothing (status 0)
//   GET  /tav-test/v1/caller              TestCaller: the caller's handle, method name, path,
//                                         "User-Agent" header and receive time
//   GET  /tav-test/v1/fail/{how}          throws: "bad_alloc" std::bad_alloc, anything else
//                                         std::runtime_error; the call answers 500
//                                         "Internal server error"
//   GET  /tav-test/v1/relay?url=U         GETs U from the host and answers its value; a failed
//                                         request answers its message with its status (502
//                                         when it has none)
//   POST /tav-test/v1/watch               body argument "uri": observes that resource URI (a
//                                         "*" in it observes every matching URI); an observed
//                                         event whose data has a "watch" or "unwatch" text
//                                         observes that URI or unsubscribes from it in turn
//   POST /tav-test/v1/unwatch             body argument "uri": unsubscribes from that URI once
//   GET  /tav-test/v1/seen                the resource events observed so far, in arrival order
//
// Types are registered as "VmfBeTavTestItem", "VmfBeTavTestItemColour" and "VmfBeTavTestCaller"
// with the plugin's tags.
#include "tests/plugin/test_plugin.h"

#include "binding/native_binding.h"
#include "plugin/plugin_entry.h"
#include "routing/http_method.h"

#include <new>
#include <stdexcept>

namespace tav::test {

void TestPlugin::onRegistered() {
  BindingTypeRegistry& registry = typeRegistry();
  auto colour = registry.registerType<TestItemColour>(identifier() + "ItemColour");
  if (!colour.existed()) {
    colour.addTags(tags());
    colour.addValue("Red", TestItemColour::Red);
    colour.addValue("Green", TestItemColour::Green);
  }
  auto item = registry.registerType<TestItem>(identifier() + "Item");
  if (!item.existed()) {
    item.addTags(tags());
    item.field("id", &TestItem::id, kBindingFieldRequired);
    item.field("count", &TestItem::count);
    item.field("colour", &TestItem::colour);
  }
  auto caller = registry.registerType<TestCaller>(identifier() + "Caller");
  if (!caller.existed()) {
    caller.addTags(tags());
    caller.field("handle", &TestCaller::handle);
    caller.field("method", &TestCaller::method);
    caller.field("path", &TestCaller::path);
    caller.field("agent", &TestCaller::agent);
    caller.field("receiveTime", &TestCaller::receiveTime);
  }

  route(HttpMethod::Get, "/tav-test/v1/items/{id}", &TestPlugin::getItem)
      .argument("id", "", ArgumentLocation::Path)
      .argument("count", "", ArgumentLocation::Query);
  route(HttpMethod::Put, "/tav-test/v1/items/{id}", &TestPlugin::putItem)
      .argument("id", "", ArgumentLocation::Path)
      .bodyArgument("item");
  route(HttpMethod::Get, "/tav-test/v1/items", &TestPlugin::listItems);
  route(HttpMethod::Get, "/tav-test/v1/missing", &TestPlugin::missing);
  route(HttpMethod::Get, "/tav-test/v1/teapot", &TestPlugin::teapot);
  route(HttpMethod::Get, "/tav-test/v1/stream", &TestPlugin::stream)
      .argument("size", "", ArgumentLocation::Query);
  route(HttpMethod::Post, "/tav-test/v1/events", &TestPlugin::announce).bodyArgument("payload");
  route(HttpMethod::Get, "/tav-test/v1/caller", &TestPlugin::caller);
  route(HttpMethod::Get, "/tav-test/v1/fail/{how}", &TestPlugin::fail)
      .argument("how", "", ArgumentLocation::Path);
  route(HttpMethod::Get, "/tav-test/v1/relay", &TestPlugin::relay)
      .argument("url", "", ArgumentLocation::Query);
  route(HttpMethod::Post, "/tav-test/v1/watch", &TestPlugin::watch).bodyArgument("uri");
  route(HttpMethod::Post, "/tav-test/v1/unwatch", &TestPlugin::unwatch).bodyArgument("uri");
  route(HttpMethod::Get, "/tav-test/v1/seen", &TestPlugin::seen);
}

HandlerResponse<TestItem> TestPlugin::getItem(std::string id, std::optional<int32_t> count) {
  return TestItem{std::move(id), count.value_or(1), TestItemColour::Red};
}

HandlerResponse<TestItem> TestPlugin::putItem(const std::string& id, const TestItem& item) {
  return TestItem{id, item.count, TestItemColour::Green};
}

HandlerResponse<std::vector<TestItem>> TestPlugin::listItems() {
  return std::vector<TestItem>{{"a", 1, TestItemColour::Red}, {"b", 2, TestItemColour::Green}};
}

HandlerResponse<std::string> TestPlugin::missing() {
  return NotFound();
}

HandlerResponse<std::string> TestPlugin::teapot() {
  HandlerResponse<std::string> response = ErrorResponse(418, "I'm a teapot");
  response.headers.push_back({"X-Pot", "tea"});
  return response;
}

HandlerResponse<std::string> TestPlugin::stream(int32_t size) {
  if (size < 0) {
    return ErrorResponse(400, "size must not be negative");
  }
  std::string text;
  text.reserve(static_cast<size_t>(size));
  for (int32_t i = 0; i < size; ++i) {
    text += static_cast<char>('0' + i % 10);
  }
  HandlerResponse<std::string> response;
  response.stream = makeTextStream(std::move(text), 1000);
  return response;
}

HandlerResponse<void> TestPlugin::announce(const BindingProperty& payload) {
  PluginResourceEvent event;
  event.uri = "/tav-test/v1/items";
  event.eventType = PluginResourceEventType::Update;
  event.data = payload;
  const EventSendResult sent = sendResourceEvent(kJsonApiEventName, event);
  if (!sent.ok()) {
    return InternalServerError(sent.error());
  }
  return {};
}

HandlerResponse<TestCaller> TestPlugin::caller(const RequestInfo& info) {
  TestCaller answer;
  answer.handle = info.callerHandle;
  answer.method = httpMethodName(info.method);
  answer.path = info.path;
  if (auto agent = info.headers.find("User-Agent"); agent != info.headers.end()) {
    answer.agent = agent->second;
  }
  answer.receiveTime = info.receiveTime;
  return answer;
}

HandlerResponse<std::string> TestPlugin::fail(const std::string& how) {
  if (how == "bad_alloc") {
    throw std::bad_alloc();
  }
  throw std::runtime_error("the test plugin fails on request");
}

HandlerResponse<BindingProperty> TestPlugin::relay(const std::string& url) {
  RequestResult<BindingProperty> answer =
      requests().requestValue<BindingProperty>(HttpMethod::Get, url);
  if (!answer.ok()) {
    const RequestError& error = answer.error();
    return ErrorResponse(error.status != 0 ? error.status : 502, error.message);
  }
  return std::move(answer.value());
}

HandlerResponse<void> TestPlugin::watch(const std::string& uri) {
  observeResource(uri, [this](const PluginResourceEvent& event) { record(event); });
  return {};
}

HandlerResponse<void> TestPlugin::unwatch(const std::string& uri) {
  unsubscribeEvent(uri);
  return {};
}

void TestPlugin::record(const PluginResourceEvent& event) {
  {
    std::lock_guard lock(seenMutex_);
    seen_.push_back(event);
  }
  // Subscribing from inside a delivery, as a handler of a real plugin may.
  if (const BindingProperty& uri = event.data.find("watch"); uri.isString()) {
    static_cast<void>(watch(std::string(uri.getString(""))));
  }
  if (const BindingProperty& uri = event.data.find("unwatch"); uri.isString()) {
    static_cast<void>(unwatch(std::string(uri.getString(""))));
  }
}

HandlerResponse<std::vector<PluginResourceEvent>> TestPlugin::seen() {
  std::lock_guard lock(seenMutex_);
  return seen_;
}

} // namespace tav::test

namespace tav {

PluginCreation createPlugin() {
  return PluginCreation{std::make_unique<test::TestPlugin>(), test::kTestPluginShortName,
                        backendKind()};
}

} // namespace tav
