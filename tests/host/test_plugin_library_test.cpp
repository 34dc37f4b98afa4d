// libtav_test_plugin.so through the host: the host's own paths (record choice with placeholders,
// streams, error answers, sent events) against a real framework plugin. The routes' own rules are
// tested with the plugin runtime.
#include "host/built_plugin.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::BuiltPluginTest;
using testhost::json;
using testhost::kTestPluginLibrary;
using testhost::resourceEvent;
using testhost::sameValue;

class TestPluginLibraryTest : public BuiltPluginTest {
protected:
  TestPluginLibraryTest() : BuiltPluginTest(kTestPluginLibrary) {}

  void SetUp() override {
    BuiltPluginTest::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) {
      ASSERT_TRUE(host().start());
    }
  }
};

TEST_F(TestPluginLibraryTest, FindsTheRecordOfALiteralPathByName) {
  const CallResult result = host().call("GET", "/tav-test/v1/items");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.functionName, "GetTavTestV1Items");
  EXPECT_EQ(result.attempts, 1u);
  EXPECT_EQ(result.value.items().size(), 2u);
  EXPECT_TRUE(result.released);
}

TEST_F(TestPluginLibraryTest, FindsTheRecordOfAPlaceholderPathByTryingEachRecord) {
  const CallResult result = host().call("GET", "/tav-test/v1/items/7?count=3");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.functionName, "GetTavTestV1ItemsById");
  // Tried in table order: every record before the one that took the path said "Invalid function".
  size_t index = 0;
  while (index < host().description().functions.size() &&
         host().description().functions[index].name != "GetTavTestV1ItemsById") {
    ++index;
  }
  EXPECT_EQ(result.attempts, index + 1);
  EXPECT_EQ(*result.value.find("id"), ValueTree("7"));
}

TEST_F(TestPluginLibraryTest, AnswersInvalidFunctionWhenNoRecordTakesThePath) {
  const CallResult result = host().call("GET", "/tav-test/v1/nothing");
  EXPECT_EQ(result.error, "Invalid function");
  EXPECT_EQ(result.status, 404u);
  EXPECT_EQ(result.attempts, host().description().functions.size());
}

TEST_F(TestPluginLibraryTest, CopiesAnErrorAnswerWithItsStatusAndHeaders) {
  const CallResult result = host().call("GET", "/tav-test/v1/teapot");
  EXPECT_EQ(result.error, "I'm a teapot");
  EXPECT_EQ(result.status, 418u);
  EXPECT_TRUE(result.errorOwned);
  EXPECT_EQ(result.headers, (std::vector<HeaderPair>{{"X-Pot", "tea"}}));
}

TEST_F(TestPluginLibraryTest, ReadsAStreamAnswerToItsEndAndReleasesIt) {
  const CallResult result = host().call("GET", "/tav-test/v1/stream?size=2500");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_TRUE(result.streamed);
  EXPECT_EQ(result.streamSizeHint, 2500u);
  EXPECT_EQ(result.streamText().size(), 2500u);
  EXPECT_EQ(result.streamText().substr(0, 12), "012345678901");
  EXPECT_FALSE(result.streamError);
  EXPECT_TRUE(result.streamReleased);
}

TEST_F(TestPluginLibraryTest, SentEventReachesTheHostUnderItsGenericName) {
  CallRequest request;
  request.method = "POST";
  request.path = "/tav-test/v1/events";
  request.contentType = "application/json";
  request.body = R"({"n":1})";
  const CallResult result = host().call(request);
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.status, 0u);

  bool generic = false;
  for (const SentEvent& event : host().events().sentEvents()) {
    if (event.name == "OnJsonApiEvent") {
      generic = true;
      EXPECT_TRUE(sameValue(event.payload,
                            resourceEvent("/tav-test/v1/items", "Update", json(R"({"n":1})"))));
      EXPECT_EQ(event.senderWord, 0u);
    }
  }
  EXPECT_TRUE(generic);
}

} // namespace
} // namespace tav::host
