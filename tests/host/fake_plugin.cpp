// The fake plugin's records, call entry, streams and callbacks.
#include "host/fake_plugin.h"

#include "host/host_value_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace tav::testhost {
namespace {

using host::decodeHostValue;
using host::encodeHostValue;
using host::HostApiDescription;
using host::HostEnumeratorDescription;
using host::HostEvent;
using host::HostEventDescription;
using host::HostFieldDescription;
using host::HostFunctionRecord;
using host::HostHeaderPair;
using host::HostRequest;
using host::HostResponse;
using host::HostTypeDescription;
using host::releaseEncodedValue;
using host::ValueTree;

constexpr uint32_t kGet = 2;
constexpr uint32_t kAny = 0;
constexpr char kInvalidFunction[] = "Invalid function";
constexpr char kEmpty[] = "";

enum class Answer { Items, ItemById, Echo, Stream, Missing };

struct FakeRoute {
  const char* name;
  uint32_t method;
  std::string_view path; // for ItemById, the prefix before the id
  Answer answer;
};

const FakeRoute kRoutes[kFakeFunctionCount] = {
    {"GetFakeV1Items", kGet, "/fake/v1/items", Answer::Items},
    {"GetFakeV1ItemsById", kGet, "/fake/v1/items/", Answer::ItemById},
    {"PostFakeV1Echo", kAny, "/fake/v1/echo", Answer::Echo},
    {"GetFakeV1Stream", kGet, "/fake/v1/stream", Answer::Stream},
    {"GetFakeV1Missing", kGet, "/fake/v1/missing", Answer::Missing},
};

struct FakeStream {
  size_t remaining;
};

std::string textOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

char* copyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

uint8_t readFakeStream(void* stream, void* buffer, uint32_t* count, uint8_t* more) {
  fakePlugin().streamReads.fetch_add(1);
  if (fakePlugin().streamReadFails) {
    return 0;
  }
  auto* fake = static_cast<FakeStream*>(stream);
  const size_t length = std::min<size_t>(*count, fake->remaining);
  std::memset(buffer, 'x', length);
  fake->remaining -= length;
  *count = static_cast<uint32_t>(length);
  *more = fake->remaining > 0 ? 1 : 0;
  return 1;
}

void releaseFakeStream(void* stream) {
  fakePlugin().streamReleases.fetch_add(1);
  delete static_cast<FakeStream*>(stream);
}

void releaseFakeResponse(HostResponse* response) {
  fakePlugin().responseReleases.fetch_add(1);
  releaseEncodedValue(response->value);
  if (response->errorOwned != 0) {
    delete[] response->error;
  }
  delete[] response->headers;
  std::memset(response, 0, sizeof *response);
}

// A map of everything the request carried, so that tests see the record as the plugin saw it.
ValueTree echo(const HostRequest& request) {
  std::vector<ValueTree> args;
  for (uint32_t index = 0; index < request.argCount; ++index) {
    const host::HostTypedArgument& argument = request.args[index];
    ValueTree name = argument.name != nullptr ? ValueTree(argument.name) : ValueTree();
    args.push_back(ValueTree::map(
        {{"name", name}, {"value", decodeHostValue(argument.value).value_or(ValueTree())}}));
  }
  std::vector<host::ValueEntry> headers;
  for (uint32_t index = 0; index < request.headerCount; ++index) {
    headers.emplace_back(textOf(request.headers[index].name), textOf(request.headers[index].value));
  }
  ValueTree body =
      request.body != nullptr
          ? ValueTree(std::string(reinterpret_cast<const char*>(request.body), request.bodyLength))
          : ValueTree();
  return ValueTree::map({{"method", request.method},
                         {"custom", textOf(request.customMethod)},
                         {"path", textOf(request.path)},
                         {"args", ValueTree::list(std::move(args))},
                         {"headers", ValueTree::map(std::move(headers))},
                         {"contentType", textOf(request.contentType)},
                         {"body", std::move(body)},
                         {"caller", request.callerHandle}});
}

bool routeTakes(const FakeRoute& route, const HostRequest& request) {
  const std::string path = textOf(request.path);
  const std::string_view bare = std::string_view(path).substr(0, path.find('?'));
  if (route.method != kAny && request.method != route.method) {
    return false;
  }
  if (route.answer == Answer::ItemById) {
    return bare.starts_with(route.path) && bare.size() > route.path.size() &&
           bare.find('/', route.path.size()) == std::string_view::npos;
  }
  return bare == route.path;
}

size_t queryBytes(const std::string& path) {
  const size_t at = path.find("?bytes=");
  return at == std::string::npos ? 0 : std::strtoul(path.c_str() + at + 7, nullptr, 10);
}

void answer(const FakeRoute& route, HostResponse& response, const HostRequest& request) {
  const std::string path = textOf(request.path);
  switch (route.answer) {
  case Answer::Items:
    response.value = encodeHostValue(ValueTree::list({"a", "b"}));
    return;
  case Answer::ItemById:
    response.value = encodeHostValue(
        ValueTree::map({{"id", path.substr(0, path.find('?')).substr(route.path.size())}}));
    return;
  case Answer::Echo:
    response.value = encodeHostValue(echo(request));
    response.status = 201;
    response.text = "echoed";
    response.contentFlag = 1;
    response.bodyFormat = 1;
    response.headers = new HostHeaderPair[1]{{"X-Fake", "1"}};
    response.headerCount = 1;
    return;
  case Answer::Stream:
    response.stream = new FakeStream{queryBytes(path)};
    response.streamRead = &readFakeStream;
    response.streamRelease = &releaseFakeStream;
    response.streamSizeHint = static_cast<uint32_t>(queryBytes(path));
    return;
  case Answer::Missing:
    response.error = copyText("Not found");
    response.errorOwned = 1;
    response.status = 404;
    return;
  }
}

void fakeCall(HostResponse* response, const HostRequest* request) {
  FakePluginState& state = fakePlugin();
  state.calls.fetch_add(1);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.contextsSeen.push_back(request->functionContext);
  }
  std::memset(response, 0, sizeof *response);
  response->release = &releaseFakeResponse;
  response->text = kEmpty;
  const auto* route = static_cast<const FakeRoute*>(request->functionContext);
  if (route == nullptr || !routeTakes(*route, *request)) {
    response->error = kInvalidFunction;
    response->status = 404;
    return;
  }
  answer(*route, *response, *request);
}

void onFakeEvent(HostEvent* event) {
  FakePluginState& state = fakePlugin();
  FakeReceivedEvent received{textOf(event->name), event->context,
                             decodeHostValue(event->payload).value_or(ValueTree("undecodable"))};
  std::lock_guard<std::mutex> lock(state.mutex);
  state.events.push_back(std::move(received));
}

void askForConfig(const host::HostContext& context) {
  FakePluginState& state = fakePlugin();
  HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = kGet;
  request.path = "/peer/v1/config";
  request.callerHandle = context.pluginHandle;
  HostResponse response;
  std::memset(&response, 0, sizeof response);
  context.api->sendRequest(context.api, &response, &request);
  if (response.error != nullptr) {
    state.configError = response.error;
  }
  state.configStatus = response.status;
  state.configJson = decodeHostValue(response.value).value_or(ValueTree()).toJson();
  if (response.release != nullptr) {
    response.release(&response);
  }
}

uint8_t startFake(void* context, host::HostContext* hostContext) {
  auto* state = static_cast<FakePluginState*>(context);
  state->starts.fetch_add(1);
  state->hostContext = hostContext;
  const host::HostApi* api = hostContext->api;
  const uint32_t handle = hostContext->pluginHandle;
  api->subscribe(api, "OnFakeEvent", handle, &onFakeEvent, state, 0);
  api->subscribe(api, "OnFakeProxyEvent", handle, &onFakeEvent, state, 1);
  api->writeLog(api, 1, "vmf-be-fake: started");
  askForConfig(*hostContext);
  api->beginWait(api, "Wait: yield", 0);
  api->yieldToHost(api);
  api->endWait(api);
  return state->startAnswer ? 1 : 0;
}

void stopFake(void* context) {
  auto* state = static_cast<FakePluginState*>(context);
  state->stops.fetch_add(1);
  if (state->hostContext != nullptr) {
    const host::HostApi* api = state->hostContext->api;
    api->unsubscribe(api, "OnFakeEvent", state->hostContext->pluginHandle);
    api->unsubscribe(api, "OnFakeProxyEvent", state->hostContext->pluginHandle);
  }
  state->hostContext = nullptr;
}

void fakeMemoryStatistics(void*, uint32_t out[14]) {
  for (uint32_t index = 0; index < 14; ++index) {
    out[index] = index + 1;
  }
}

const host::HostCallbacks kCallbacks = {&startFake, &stopFake, &fakeMemoryStatistics};

struct Description {
  host::HostArgumentDescription idArgument{};
  HostFunctionRecord functions[kFakeFunctionCount]{};
  HostEnumeratorDescription enumerators[2]{};
  HostFieldDescription fields[1]{};
  HostTypeDescription types[2]{};
  const char* eventTags[1] = {"fake"};
  HostEventDescription events[1]{};
  HostApiDescription header{};

  Description() {
    idArgument.name = "id";
    idArgument.typeCode = 12;
    for (uint32_t index = 0; index < kFakeFunctionCount; ++index) {
      HostFunctionRecord& record = functions[index];
      record.description.next =
          index + 1 < kFakeFunctionCount ? &functions[index + 1].description : nullptr;
      record.description.context = const_cast<FakeRoute*>(&kRoutes[index]);
      record.description.name = kRoutes[index].name;
      record.description.nameSpace = "Fake";
      record.description.async = kEmpty;
      record.call = &fakeCall;
    }
    functions[1].description.arguments = &idArgument;
    functions[1].description.argumentCount = 1;

    enumerators[0] = {&enumerators[1], "Off", "Switched off", 0};
    enumerators[1] = {nullptr, "On", "Switched on", 1};
    fields[0] = {nullptr, "id", "The item's id", 0, 12, 0, kEmpty, 0};
    types[0] = {&types[1], "FakeState", "Fake",  4,           "A switch.",
                nullptr,   0,           nullptr, enumerators, 2};
    types[1] = {nullptr, "FakeRecord", "Fake", 32, "An item.", nullptr, 0, fields, nullptr, 1};
    events[0] = {nullptr, "OnFakeEvent", "Fake", "FakeRecord", "Fired by tests.", eventTags, 1};

    header.functions = &functions[0].description;
    header.functionCount = kFakeFunctionCount;
    header.types = types;
    header.typeCount = 2;
    header.events = events;
    header.eventCount = 1;
  }
};

Description& description() {
  static Description records;
  return records;
}

} // namespace

FakePluginState& fakePlugin() {
  static FakePluginState state;
  return state;
}

void resetFakePlugin() {
  FakePluginState& state = fakePlugin();
  state.startAnswer = true;
  state.streamReadFails = false;
  state.hostMajor = state.hostMinor = state.hostPatch = 0;
  for (std::atomic<int>* count : {&state.calls, &state.responseReleases, &state.streamReads,
                                  &state.streamReleases, &state.starts, &state.stops}) {
    count->store(0);
  }
  state.hostContext = nullptr;
  state.configError.reset();
  state.configStatus = 0;
  state.configJson.clear();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.contextsSeen.clear();
  state.events.clear();
}

void loadFakePlugin(host::HostHandshake* handshake) {
  FakePluginState& state = fakePlugin();
  state.hostMajor = handshake->major;
  state.hostMinor = handshake->minor;
  state.hostPatch = handshake->patch;
  handshake->major = 18;
  handshake->minor = 0;
  handshake->patch = 0;
  handshake->callbacks = &kCallbacks;
  handshake->pluginContext = &state;
  handshake->fullName = kFakeFullName;
  handshake->functionTable = &description().header;
}

const HostApiDescription& fakeDescription() {
  return description().header;
}

} // namespace tav::testhost
