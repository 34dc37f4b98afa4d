// Outgoing requests: the request record, the four error messages, stream reading and release.
#include "plugin/outgoing_request.h"
#include "tests/plugin/packed_field.h"

#include "foundation/memory.h"
#include "plugin/recording_event_client.h"
#include "plugin/telemetry_sink.h"
#include "routing/json_reader.h"
#include "tests/binding/failing_allocator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace tav {
namespace {

using test::answerWithValue;
using test::FakeStream;
using test::RecordingEventClient;
using test::responseReleases;
using test::StreamChunk;

// Never registered, so its conversion to a value fails.
struct UnregisteredParameters {
  int32_t tournamentFlag = 0;
};

struct SlotRecord {
  int64_t itemId = 0;
  std::string inventoryType;
};

BindingProperty jsonValue(std::string_view text) {
  BindingResult value = readJson(text);
  EXPECT_TRUE(value.ok()) << value.errorMessage();
  return value.value();
}

class OutgoingRequestTest : public ::testing::Test {
protected:
  void SetUp() override { responseReleases = 0; }

  RecordingEventClient client;
};

// ---- messages ------------------------------------------------------------------------------

struct MessageCase {
  std::string label;
  std::function<RequestError(RecordingEventClient&)> run;
  uint32_t status;
  std::string message;
  size_t hostRequests;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
  *os << c.label;
}

class RequestErrorMessages : public OutgoingRequestTest,
                             public ::testing::WithParamInterface<MessageCase> {};

FakeStream brokenStream{{StreamChunk{"", true, true}}};
FakeStream unparsableStream{{StreamChunk{"{\"a\": tru", false, false}}};

const MessageCase kMessageCases[] = {
    {"ParametersNotConverted",
     [](RecordingEventClient& c) {
       return c.outgoing()
           .request(HttpMethod::Post, "/tav-loadouts/v2/items/1", UnregisteredParameters{})
           .error();
     },
     400,
     "Request not sent: Error converting parameters for POST /tav-loadouts/v2/items/1: Couldn't "
     "convert native value because it's an unregistered structure.",
     0},
    {"ErrorResponse",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         response->error = "Resource not found";
         response->status = 404;
         response->release = &test::countingResponseRelease;
       };
       return c.outgoing()
           .requestValue<BindingProperty>(HttpMethod::Get,
                                          "/tav-sondar/v1/current-sondar/sondar-profile")
           .error();
     },
     404, "Error response for GET /tav-sondar/v1/current-sondar/sondar-profile: Resource not found",
     1},
    {"StreamReadFailure",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         brokenStream.reads = 0;
         brokenStream.attach(response);
       };
       return c.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/a/b?x=1").error();
     },
     0, "Error reading streamed response for GET /a/b?x=1: Stream read error", 1},
    {"StreamTextNotJson",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         unparsableStream.reads = 0;
         unparsableStream.attach(response);
       };
       return c.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/a").error();
     },
     0,
     "Error reading streamed response for GET /a: Error: " + std::string(jsonErrorText(3)) +
         " at offset 9.",
     1},
    {"ResponseValueOfUnknownKind",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         response->value.kind = 99;
       };
       return c.outgoing().requestValue<BindingProperty>(HttpMethod::Put, "/p").error();
     },
     0,
     "Error converting response for PUT /p: Couldn't assign value to '<result>' of type object "
     "because the input is of an incompatible type ''.",
     1},
    {"ResponseNotOfNativeType",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         answerWithValue(response, jsonValue(R"({"TOURNAMENT_FLAG": 5})"));
       };
       return c.outgoing()
           .requestValue<std::map<std::string, std::string>>(HttpMethod::Get,
                                                             "/tav-inventory/v1/signedInventory")
           .error();
     },
     0,
     "Error converting response for GET /tav-inventory/v1/signedInventory: Couldn't assign value "
     "to 'TOURNAMENT_FLAG' because the input is not a string.",
     1},
    {"ResponseNotAMap",
     [](RecordingEventClient& c) {
       c.respond = [](host::HostResponse* response, const host::HostRequest*) {
         answerWithValue(response, jsonValue(R"(["x"])"));
       };
       return c.outgoing()
           .requestValue<std::map<std::string, std::string>>(HttpMethod::Delete, "/m")
           .error();
     },
     0,
     "Error converting response for DELETE /m: Couldn't assign value to '<result>' of type map "
     "because the input not a structure.",
     1},
};

TEST_P(RequestErrorMessages, FillMethodUrlAndErrorWithStatus) {
  const RequestError error = GetParam().run(client);
  EXPECT_EQ(error.message, GetParam().message);
  EXPECT_EQ(error.status, GetParam().status);
  EXPECT_EQ(client.sentRequests().size(), GetParam().hostRequests);
}

INSTANTIATE_TEST_SUITE_P(OutgoingRequest, RequestErrorMessages, ::testing::ValuesIn(kMessageCases),
                         [](const auto& info) { return info.param.label; });

// Memory running out anywhere while parameters, a typed argument or an event's payload are
// converted is answered as "Out of memory", the conversion's message (in the 400 of unsent
// requests, or as the response's when the request went out); nothing is thrown.
TEST_F(OutgoingRequestTest, RunningOutOfMemoryWhileConvertingAnswersOutOfMemory) {
  RequestParameters parameters;
  parameters["slot"] = std::string(100, 't'); // long enough to need the heap wherever copied
  PluginResourceEvent event;
  event.data = parameters["slot"];
  const std::function<std::string()> calls[] = {
      [&] {
        const auto result = client.outgoing().request(HttpMethod::Post, "/x", parameters);
        return result.ok() ? "" : result.error().message;
      },
      [&] {
        const auto result = client.outgoing().requestWithArgument<BindingProperty>(
            HttpMethod::Post, "/x", event.data);
        return result.ok() ? "" : result.error().message;
      },
      [&] { return client.sendResourceEvent("OnJsonApiEvent", event).error(); },
  };
  for (const auto& call : calls) {
    EXPECT_EXIT(
        {
          test::FailingAllocator::install();
          std::fprintf(stderr, "%s", test::FailingAllocator::sweep(call, [](std::string_view m) {
                                       return m.ends_with(": Out of memory") ||
                                              m == "Out of memory";
                                     }).c_str());
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^$");
  }
}

TEST_F(OutgoingRequestTest, StatusWithoutErrorTextIsSuccess) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    BindingProperty value;
    value = "fine";
    answerWithValue(response, value);
    response->status = 500;
  };
  const auto result = client.outgoing().requestValue<std::string>(HttpMethod::Get, "/s");
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value(), "fine");
}

// ---- the request record --------------------------------------------------------------------

TEST_F(OutgoingRequestTest, RecordCarriesMethodUrlAndHandleWithEverythingElseZero) {
  ASSERT_TRUE(client.outgoing().request(HttpMethod::Get, "/tav-banners/v1/x?y=1").ok());
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  const host::HostRequest& record = sent[0].record;
  EXPECT_EQ(test::fieldValue(record.method), static_cast<uint32_t>(HttpMethod::Get));
  EXPECT_EQ(sent[0].path, "/tav-banners/v1/x?y=1");
  EXPECT_EQ(test::fieldValue(record.args), nullptr);
  EXPECT_EQ(test::fieldValue(record.argCount), 0u);
  EXPECT_EQ(test::fieldValue(record.functionContext), nullptr);
  EXPECT_EQ(test::fieldValue(record.headers), nullptr);
  EXPECT_EQ(test::fieldValue(record.headerCount), 0u);
  EXPECT_EQ(test::fieldValue(record.contentType), nullptr);
  EXPECT_EQ(test::fieldValue(record.body), nullptr);
  EXPECT_EQ(test::fieldValue(record.bodyLength), 0u);
  EXPECT_EQ(test::fieldValue(record.callerHandle), RecordingEventClient::kHandle);
  EXPECT_EQ(test::fieldValue(record.customMethod), nullptr);
  EXPECT_TRUE(sent[0].responseWasZero);
}

TEST_F(OutgoingRequestTest, ParametersTravelAsOneUnnamedMap) {
  BindingProperty slot = jsonValue(R"({"BANNER_FLAG": {"itemId": 5, "inventoryType": "T_2"}})");
  ASSERT_TRUE(client.outgoing()
                  .request(HttpMethod::Post, "/tav-loadouts/v2/items/1",
                           RequestParameters{{"TOURNAMENT_FLAG", slot}})
                  .ok());
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(test::fieldValue(sent[0].record.argCount), 1u);
  EXPECT_FALSE(sent[0].argumentNamed);
  ASSERT_TRUE(sent[0].argument.isStructure());
  EXPECT_EQ(sent[0].argument.size(), 1u);
  EXPECT_EQ(sent[0]
                .argument.find("TOURNAMENT_FLAG")
                .find("BANNER_FLAG")
                .find("inventoryType")
                .getString(),
            "T_2");
}

TEST_F(OutgoingRequestTest, InventoryArgumentIsTheListItself) {
  BindingProperty types;
  types.append() = "TOURNAMENT_FLAG";
  types.append() = "TOURNAMENT_FRAME";
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    answerWithValue(response, jsonValue(R"({"TOURNAMENT_FLAG": "a.b.c", "TOURNAMENT_FRAME": ""})"));
  };
  const auto result = client.outgoing().requestWithArgument<std::map<std::string, std::string>>(
      HttpMethod::Get, "/tav-inventory/v1/signedInventory", types);
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value(), (std::map<std::string, std::string>{{"TOURNAMENT_FLAG", "a.b.c"},
                                                                {"TOURNAMENT_FRAME", ""}}));
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(test::fieldValue(sent[0].record.argCount), 1u);
  EXPECT_FALSE(sent[0].argumentNamed);
  ASSERT_TRUE(sent[0].argument.isCollection());
  ASSERT_EQ(sent[0].argument.size(), 2u);
  EXPECT_EQ(sent[0].argument.at(1).getString(), "TOURNAMENT_FRAME");
}

TEST_F(OutgoingRequestTest, RegisteredStructGoesOutAsParametersAndComesBackAsResult) {
  auto slot = client.typeRegistry().registerType<SlotRecord>("SlotRecord");
  slot.field("itemId", &SlotRecord::itemId);
  slot.field("inventoryType", &SlotRecord::inventoryType);
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    answerWithValue(response, jsonValue(R"({"itemId": 7, "inventoryType": "T_1"})"));
  };
  const auto result =
      client.outgoing().requestValue<SlotRecord>(HttpMethod::Post, "/slot", SlotRecord{3, "a_b"});
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value().itemId, 7);
  EXPECT_EQ(result.value().inventoryType, "T_1");
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].argument.find("itemId").getSigned(), 3);
  EXPECT_EQ(sent[0].argument.find("inventoryType").getString(), "a_b");
}

TEST_F(OutgoingRequestTest, ArgumentAndResponseLeaveNoAllocationBehind) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    answerWithValue(response, jsonValue(R"({"k": ["a", "b"]})"));
  };
  BindingProperty types = jsonValue(R"(["TOURNAMENT_FLAG", "TOURNAMENT_FRAME"])");
  OutgoingRequests requests = client.outgoing();
  // Warm up once so lazily created tables do not count.
  (void)requests.requestWithArgument<BindingProperty>(HttpMethod::Get, "/i", types);
  client.clearCalls();
  const uint64_t before = memory::snapshot().liveAllocations();
  {
    const auto result = requests.requestWithArgument<BindingProperty>(HttpMethod::Get, "/i", types);
    EXPECT_TRUE(result.ok());
  }
  client.clearCalls();
  EXPECT_EQ(memory::snapshot().liveAllocations(), before);
}

// ---- release of the response ---------------------------------------------------------------

struct ReleaseCase {
  std::string label;
  std::function<void(host::HostResponse*)> answer;
  bool ok;
};

void PrintTo(const ReleaseCase& c, std::ostream* os) {
  *os << c.label;
}

class ResponseRelease : public OutgoingRequestTest,
                        public ::testing::WithParamInterface<ReleaseCase> {};

FakeStream goodStream{{StreamChunk{"[1]", false, false}}};

const ReleaseCase kReleaseCases[] = {
    {"Success", [](host::HostResponse* r) { answerWithValue(r, jsonValue("[1, 2]")); }, true},
    {"ErrorText",
     [](host::HostResponse* r) {
       r->error = "no";
       r->status = 404;
       r->release = &test::countingResponseRelease;
     },
     false},
    {"Stream",
     [](host::HostResponse* r) {
       goodStream.reads = 0;
       goodStream.attach(r);
     },
     true},
    {"UnconvertibleValue",
     [](host::HostResponse* r) {
       r->value.kind = 42;
       r->release = &test::countingResponseRelease;
     },
     false},
};

TEST_P(ResponseRelease, RunsExactlyOnce) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    GetParam().answer(response);
  };
  const auto result = client.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/r");
  EXPECT_EQ(result.ok(), GetParam().ok);
  EXPECT_EQ(responseReleases.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(OutgoingRequest, ResponseRelease, ::testing::ValuesIn(kReleaseCases),
                         [](const auto& info) { return info.param.label; });

// ---- streams -------------------------------------------------------------------------------

class StreamReading : public OutgoingRequestTest {
protected:
  RequestResult<BindingProperty> fetchStream(FakeStream& stream) {
    client.respond = [&stream](host::HostResponse* response, const host::HostRequest*) {
      stream.attach(response);
    };
    return client.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/stream");
  }

  static std::vector<std::string> waits(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
      if (call != "request") {
        out.push_back(call);
      }
    }
    return out;
  }
};

// A JSON string document whose text is exactly `length` bytes.
std::string jsonTextOfLength(size_t length) {
  return "\"" + std::string(length - 2, 'a') + "\"";
}

TEST_F(StreamReading, FullReadsNeverWait) {
  const std::string text = jsonTextOfLength(2 * kStreamChunkSize + 10);
  FakeStream stream{{StreamChunk{text.substr(0, 4096), true},
                     StreamChunk{text.substr(4096, 4096), true},
                     StreamChunk{text.substr(8192), false}}};
  const auto result = fetchStream(stream);
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value().getString().size(), text.size() - 2);
  EXPECT_EQ(stream.reads, 3u);
  EXPECT_TRUE(waits(client.calls()).empty());
  EXPECT_EQ(stream.releases, 1);
}

TEST_F(StreamReading, ShortReadWithMoreToFollowWaitsOnce) {
  FakeStream stream{{StreamChunk{"[1,", true}, StreamChunk{"2]", false}}};
  const auto result = fetchStream(stream);
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value().size(), 2u);
  EXPECT_EQ(waits(client.calls()),
            (std::vector<std::string>{"beginWait Wait: yield 0", "yield", "endWait"}));
  EXPECT_EQ(stream.releases, 1);
}

TEST_F(StreamReading, FullReadWithNothingMoreEndsReading) {
  const std::string text = jsonTextOfLength(kStreamChunkSize);
  FakeStream stream{{StreamChunk{text, false}, StreamChunk{"garbage", false}}};
  const auto result = fetchStream(stream);
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(stream.reads, 1u);
  EXPECT_TRUE(waits(client.calls()).empty());
}

TEST_F(StreamReading, AnySizeHintReadsTheWholeText) {
  // The hint sits misaligned in the packed record; a large one is capped, not trusted.
  for (const uint32_t hint : {0u, 3u, kStreamReserveLimit + 1, UINT32_MAX}) {
    FakeStream stream{{StreamChunk{"[1,", true}, StreamChunk{"2]", false}}};
    client.respond = [&stream, hint](host::HostResponse* response, const host::HostRequest*) {
      stream.attach(response);
      response->streamSizeHint = hint;
    };
    const auto result = client.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/stream");
    ASSERT_TRUE(result.ok()) << hint << ": " << result.error().message;
    EXPECT_EQ(result.value().size(), 2u) << hint;
    EXPECT_EQ(stream.releases, 1) << hint;
  }
}

TEST_F(StreamReading, FailureReleasesTheStreamOnce) {
  FakeStream stream{{StreamChunk{"[1,", true}, StreamChunk{"", false, true}}};
  const auto result = fetchStream(stream);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().error, "Stream read error");
  EXPECT_EQ(stream.releases, 1);
}

TEST_F(StreamReading, UnreadStreamOfAnErrorResponseIsReleased) {
  FakeStream stream{{StreamChunk{"[1]", false}}};
  client.respond = [&stream](host::HostResponse* response, const host::HostRequest*) {
    stream.attach(response);
    response->error = "nope";
  };
  EXPECT_FALSE(client.outgoing().requestValue<BindingProperty>(HttpMethod::Get, "/s").ok());
  EXPECT_EQ(stream.reads, 0u);
  EXPECT_EQ(stream.releases, 1);
}

TEST_F(StreamReading, NullStreamObjectIsAnAbsentBody) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    BindingProperty value;
    value = "from the value";
    test::answerWithValue(response, value);
    // FakeStream::read would dereference the null object if it were called.
    response->streamRead = &FakeStream::read;
    response->streamRelease = &FakeStream::release;
  };
  const auto result = client.outgoing().requestValue<std::string>(HttpMethod::Get, "/s");
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value(), "from the value");
  EXPECT_EQ(responseReleases.load(), 1);
}

TEST_F(StreamReading, ReservationIsCappedAt16MiB) {
  FakeStream stream{{StreamChunk{"[]", false}}};
  host::HostResponse response{};
  stream.attach(&response, 0xFFFFFFFFu);
  const StreamText huge = readResponseStream(client, response);
  ASSERT_TRUE(huge.ok);
  EXPECT_GE(huge.text.capacity(), kStreamReserveLimit);
  EXPECT_LT(huge.text.capacity(), 2 * size_t{kStreamReserveLimit});

  stream.reads = 0;
  stream.attach(&response, 100);
  const StreamText small = readResponseStream(client, response);
  ASSERT_TRUE(small.ok);
  EXPECT_GE(small.text.capacity(), 100u);
  EXPECT_LT(small.text.capacity(), 4096u);
}

TEST_F(StreamReading, CountBeyondTheBufferIsCut) {
  // A read function that claims more bytes than it was given room for.
  struct Liar {
    static uint8_t read(void*, void* buffer, uint32_t* count, uint8_t* more) {
      std::memset(buffer, ' ', *count);
      *count = 100000;
      *more = 0;
      return 1;
    }
  };
  host::HostResponse response{};
  response.streamRead = &Liar::read;
  const StreamText text = readResponseStream(client, response);
  ASSERT_TRUE(text.ok);
  EXPECT_EQ(text.text.size(), kStreamChunkSize);
}

// ---- telemetry -----------------------------------------------------------------------------

TEST_F(OutgoingRequestTest, TelemetryPostsUnderTheEventNameWithASatisfiedFuture) {
  TelemetrySink sink(client.outgoing());
  BindingProperty flag;
  flag = "T_2";
  std::future<RequestResult<void>> outcome = sink.post("bannerEquipped", {{"flag", flag}});
  ASSERT_EQ(outcome.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_TRUE(outcome.get().ok());
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(test::fieldValue(sent[0].record.method), static_cast<uint32_t>(HttpMethod::Post));
  EXPECT_EQ(sent[0].path, "/telemetry/v1/events/bannerEquipped");
  EXPECT_EQ(sent[0].argument.find("flag").getString(), "T_2");
}

} // namespace
} // namespace tav
