// Host calls into a plugin's function records: record choice, fallback, what travels each way,
// streams, and one release per response.
#include "host/host.h"

#include "host/fake_plugin.h"

#include <gtest/gtest.h>

#include <thread>

namespace tav::host {
namespace {

using testhost::fakeDescription;
using testhost::fakePlugin;
using testhost::loadFakePlugin;
using testhost::resetFakePlugin;

const void* contextOfRecord(size_t index) {
  const auto* records = reinterpret_cast<const HostFunctionRecord*>(fakeDescription().functions);
  return records[index].description.context;
}

class HostCallTest : public ::testing::Test {
protected:
  void SetUp() override {
    resetFakePlugin();
    ASSERT_TRUE(host.load(&loadFakePlugin)) << host.lastError();
  }

  Host host;
};

struct ChoiceCase {
  std::string label;
  std::string method;
  std::string path;
  std::string functionName; // of the record that answered
  unsigned attempts;
  std::string json; // the answer's value
};

class HostCallChoice : public HostCallTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(HostCallChoice, CallsTheRecordThatTakesThePathAndReleasesEveryResponseOnce) {
  const ChoiceCase& expected = GetParam();
  const CallResult result = host.call(expected.method, expected.path);
  EXPECT_TRUE(result.ok()) << result.error.value_or("");
  EXPECT_EQ(result.functionName, expected.functionName);
  EXPECT_EQ(result.attempts, expected.attempts);
  EXPECT_EQ(result.value.toJson(), expected.json);
  EXPECT_TRUE(result.released);
  EXPECT_EQ(fakePlugin().calls.load(), static_cast<int>(expected.attempts));
  EXPECT_EQ(fakePlugin().responseReleases.load(), static_cast<int>(expected.attempts));
}

INSTANTIATE_TEST_SUITE_P(
    Records, HostCallChoice,
    ::testing::Values(
        ChoiceCase{"ByName", "GET", "/fake/v1/items", "GetFakeV1Items", 1, R"(["a","b"])"},
        ChoiceCase{"ByNameWithQuery", "GET", "/fake/v1/items?x=1", "GetFakeV1Items", 1,
                   R"(["a","b"])"},
        ChoiceCase{"PlaceholderByFallback", "GET", "/fake/v1/items/7", "GetFakeV1ItemsById", 2,
                   R"({"id":"7"})"},
        ChoiceCase{"AnyMethodRecordByFallback", "PUT", "/fake/v1/echo", "PostFakeV1Echo", 3,
                   R"({"method":7,"custom":"","path":"/fake/v1/echo","args":[],"headers":{},)"
                   R"("contentType":"","body":null,"caller":0})"}),
    [](const auto& info) { return info.param.label; });

TEST_F(HostCallTest, PassesTheChosenRecordsContextInTheRequest) {
  host.call("GET", "/fake/v1/items/7");
  std::lock_guard<std::mutex> lock(fakePlugin().mutex);
  EXPECT_EQ(fakePlugin().contextsSeen,
            (std::vector<const void*>{contextOfRecord(0), contextOfRecord(1)}));
}

TEST_F(HostCallTest, AnswersInvalidFunctionOnceEveryRecordHasRefused) {
  const CallResult result = host.call("GET", "/nowhere");
  EXPECT_EQ(result.error, "Invalid function");
  EXPECT_EQ(result.status, 404u);
  EXPECT_EQ(result.attempts, testhost::kFakeFunctionCount);
  EXPECT_EQ(fakePlugin().responseReleases.load(), static_cast<int>(testhost::kFakeFunctionCount));
}

TEST_F(HostCallTest, CopiesTheErrorTextStatusAndOwnedFlag) {
  const CallResult result = host.call("GET", "/fake/v1/missing");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, "Not found");
  EXPECT_EQ(result.status, 404u);
  EXPECT_TRUE(result.errorOwned);
  EXPECT_TRUE(result.value.isEmpty());
}

TEST_F(HostCallTest, CarriesArgumentsHeadersBodyAndCallerToThePlugin) {
  CallRequest request;
  request.method = "POST";
  request.path = "/fake/v1/echo";
  request.args = {{std::nullopt, ValueTree::list({"TOURNAMENT_FLAG"})}, {"flag", 3}};
  request.headers = {{"Accept", "application/json"}};
  request.contentType = "application/json";
  request.body = R"({"flag":"a"})";
  request.callerHandle = 9;
  const CallResult result = host.call(request);

  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.functionName, "PostFakeV1Echo");
  EXPECT_EQ(result.value.toJson(),
            R"({"method":6,"custom":"","path":"/fake/v1/echo",)"
            R"("args":[{"name":null,"value":["TOURNAMENT_FLAG"]},{"name":"flag","value":3}],)"
            R"("headers":{"Accept":"application/json"},"contentType":"application/json",)"
            R"("body":"{\"flag\":\"a\"}","caller":9})");
}

TEST_F(HostCallTest, CopiesStatusTextFlagsAndHeadersOfTheAnswer) {
  const CallResult result = host.call("POST", "/fake/v1/echo");
  EXPECT_EQ(result.status, 201u);
  EXPECT_EQ(result.text, "echoed");
  EXPECT_EQ(result.contentFlag, 1);
  EXPECT_EQ(result.bodyFormat, 1u);
  EXPECT_EQ(result.headers, (std::vector<HeaderPair>{{"X-Fake", "1"}}));
}

TEST_F(HostCallTest, SendsAnUnknownMethodAsCustomWithItsName) {
  const CallResult result = host.call("SUBSCRIBE", "/fake/v1/echo");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(*result.value.find("method"), ValueTree(8u));
  EXPECT_EQ(*result.value.find("custom"), ValueTree("SUBSCRIBE"));
}

struct StreamCase {
  size_t bytes;
  std::vector<size_t> chunkSizes;
};

class HostCallStream : public HostCallTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(HostCallStream, ReadsTheStreamInBufferSizedChunksAndReleasesItOnce) {
  const StreamCase& expected = GetParam();
  const CallResult result =
      host.call("GET", "/fake/v1/stream?bytes=" + std::to_string(expected.bytes));
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_TRUE(result.streamed);
  EXPECT_EQ(result.streamSizeHint, expected.bytes);
  std::vector<size_t> sizes;
  for (const std::string& chunk : result.streamChunks) {
    sizes.push_back(chunk.size());
  }
  EXPECT_EQ(sizes, expected.chunkSizes);
  EXPECT_EQ(result.streamText(), std::string(expected.bytes, 'x'));
  EXPECT_FALSE(result.streamError);
  EXPECT_TRUE(result.streamReleased);
  EXPECT_EQ(fakePlugin().streamReleases.load(), 1);
  EXPECT_EQ(fakePlugin().responseReleases.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HostCallStream,
                         ::testing::Values(StreamCase{0, {}}, StreamCase{5, {5}},
                                           StreamCase{4096, {4096}},
                                           StreamCase{10000, {4096, 4096, 1808}}));

TEST_F(HostCallTest, KeepsAStreamReadFailureAndStillReleasesTheStream) {
  fakePlugin().streamReadFails = true;
  const CallResult result = host.call("GET", "/fake/v1/stream?bytes=10");
  EXPECT_EQ(result.streamError, "read 1 failed");
  EXPECT_EQ(fakePlugin().streamReads.load(), 1);
  EXPECT_EQ(fakePlugin().streamReleases.load(), 1);
  EXPECT_EQ(fakePlugin().responseReleases.load(), 1);
}

TEST_F(HostCallTest, CallFunctionCallsOnlyTheNamedRecord) {
  CallRequest request;
  request.path = "/fake/v1/items";
  const CallResult wrongRecord = host.callFunction("GetFakeV1ItemsById", request);
  EXPECT_EQ(wrongRecord.error, "Invalid function");
  EXPECT_EQ(wrongRecord.attempts, 1u);

  const CallResult noRecord = host.callFunction("GetNothing", request);
  EXPECT_EQ(noRecord.error, "Invalid function");
  EXPECT_EQ(noRecord.status, 404u);
  EXPECT_EQ(noRecord.attempts, 0u);
  EXPECT_EQ(fakePlugin().calls.load(), 1);
}

TEST_F(HostCallTest, RefusesCallsOnceThePluginHasStopped) {
  host.stop();
  const CallResult result = host.call("GET", "/fake/v1/items");
  EXPECT_EQ(result.error, "No plugin is running");
  EXPECT_EQ(result.status, 503u);
  EXPECT_EQ(fakePlugin().calls.load(), 0);
}

TEST_F(HostCallTest, CallsFromSeveralThreadsEachGetTheirOwnAnswer) {
  constexpr int kThreads = 4;
  constexpr int kCallsEach = 50;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      for (int call = 0; call < kCallsEach; ++call) {
        const std::string id = std::to_string(thread * 1000 + call);
        const CallResult result = host.call("GET", "/fake/v1/items/" + id);
        if (result.value != ValueTree::map({{"id", id}})) {
          wrong.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(fakePlugin().responseReleases.load(), fakePlugin().calls.load());
  EXPECT_EQ(fakePlugin().calls.load(), kThreads * kCallsEach * 2);
}

} // namespace
} // namespace tav::host
