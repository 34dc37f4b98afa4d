// Loading, handshake, start and stop, the API description read back, and the journal of log
// lines, waits and reserved entries.
#include "host/host.h"

#include "host/fake_plugin.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::fakePlugin;
using testhost::loadFakePlugin;
using testhost::resetFakePlugin;

class HostLifecycleTest : public ::testing::Test {
protected:
  void SetUp() override { resetFakePlugin(); }
};

TEST_F(HostLifecycleTest, HandshakeSendsTheHostVersionAndReadsBackTheOutWords) {
  Host host(HostOptions{.major = 18, .minor = 3, .patch = 1});
  ASSERT_TRUE(host.load(&loadFakePlugin)) << host.lastError();
  EXPECT_EQ(fakePlugin().hostMajor, 18u);
  EXPECT_EQ(fakePlugin().hostMinor, 3u);
  EXPECT_EQ(fakePlugin().hostPatch, 1u);

  const HandshakeWords& words = host.handshake();
  EXPECT_EQ(words.major, 18u);
  EXPECT_EQ(words.minor, 0u);
  EXPECT_EQ(words.patch, 0u);
  EXPECT_EQ(words.pluginContext, &fakePlugin());
  EXPECT_EQ(words.fullName, "vmf-be-fake");
  EXPECT_EQ(words.functionTable, &testhost::fakeDescription());
}

TEST_F(HostLifecycleTest, StartHandsOverTheHostContextAndAnswersWhatThePluginAnswers) {
  for (const bool answer : {true, false}) {
    resetFakePlugin();
    fakePlugin().startAnswer = answer;
    Host host(HostOptions{.pluginHandle = 42});
    ASSERT_TRUE(host.load(&loadFakePlugin));
    EXPECT_EQ(host.start(), answer);
    ASSERT_NE(fakePlugin().hostContext, nullptr);
    const HostApi* api = fakePlugin().hostContext->api;
    const uint32_t handle = fakePlugin().hostContext->pluginHandle;
    EXPECT_EQ(api, host.api());
    EXPECT_EQ(handle, 42u);
  }
}

TEST_F(HostLifecycleTest, StopRunsOnceAndTheHostThenKeepsNoSubscription) {
  Host host;
  ASSERT_TRUE(host.load(&loadFakePlugin));
  ASSERT_TRUE(host.start());
  host.stop();
  host.stop();
  host.unload();
  EXPECT_EQ(fakePlugin().stops.load(), 1);
  EXPECT_TRUE(host.events().subscriptions().empty());
  EXPECT_FALSE(host.isLoaded());
}

TEST_F(HostLifecycleTest, DestructorStopsAPluginStillRunning) {
  {
    Host host;
    ASSERT_TRUE(host.load(&loadFakePlugin));
    ASSERT_TRUE(host.start());
  }
  EXPECT_EQ(fakePlugin().stops.load(), 1);
}

TEST_F(HostLifecycleTest, RecordsLogLinesWaitsAndTheRequestMadeAtStart) {
  Host host;
  host.addPeer("GET", "/peer/v1/config", [](const SeenRequest&) {
    return PeerAnswer::value(ValueTree::map({{"enabled", true}}));
  });
  ASSERT_TRUE(host.load(&loadFakePlugin));
  ASSERT_TRUE(host.start());

  const std::vector<LogLine> lines = host.journal().logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 1);
  EXPECT_EQ(lines[0].message, "vmf-be-fake: started");
  EXPECT_EQ(host.journal().waitEntries(), (std::vector<uint32_t>{7, 6, 8}));
  EXPECT_EQ(host.journal().waits()[0].label, "Wait: yield");
  EXPECT_EQ(fakePlugin().configJson, R"({"enabled":true})");
  EXPECT_EQ(host.requestsTo("/peer/v1/config").size(), 1u);
  EXPECT_EQ(host.ownership().outstanding(), 0u);
}

TEST_F(HostLifecycleTest, YieldRunsTheHostsHandlerOnThePluginsThread) {
  Host host;
  int yields = 0;
  host.setYieldHandler([&yields] { ++yields; });
  ASSERT_TRUE(host.load(&loadFakePlugin));
  ASSERT_TRUE(host.start());
  EXPECT_EQ(yields, 1);
}

TEST_F(HostLifecycleTest, RecordsCallsOfTheReservedEntries) {
  Host host;
  host.api()->reserved1(host.api(), 1, 2);
  host.api()->reserved5(host.api(), 3, 4, 5, 0.5, 6);
  const std::vector<ReservedCall> calls = host.journal().reservedCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].entry, 1u);
  EXPECT_EQ(calls[0].words, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(calls[1].entry, 5u);
  EXPECT_EQ(calls[1].words, (std::vector<uint32_t>{3, 4, 5, 6}));
  EXPECT_EQ(calls[1].number, 0.5);
}

TEST_F(HostLifecycleTest, MemoryStatisticsAreThePluginsWordsWhileItRuns) {
  Host host;
  EXPECT_EQ(host.memoryStatistics()[0], 0u);
  ASSERT_TRUE(host.load(&loadFakePlugin));
  const std::array<uint32_t, 14> words = host.memoryStatistics();
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[13], 14u);
}

TEST_F(HostLifecycleTest, ReadsTheApiDescriptionByIndexAndCount) {
  Host host;
  ASSERT_TRUE(host.load(&loadFakePlugin));
  const ApiDescription& description = host.description();
  ASSERT_EQ(description.functions.size(), testhost::kFakeFunctionCount);
  const FunctionInfo* byId = description.findFunction("GetFakeV1ItemsById");
  ASSERT_NE(byId, nullptr);
  ASSERT_EQ(byId->arguments.size(), 1u);
  EXPECT_EQ(byId->arguments[0].name, "id");
  EXPECT_EQ(byId->arguments[0].typeCode, 12u);
  EXPECT_EQ(byId->nameSpace, "Fake");

  const TypeInfo* state = description.findType("FakeState");
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(state->enumerators.size(), 2u);
  EXPECT_EQ(state->enumerators[1].name, "On");
  EXPECT_EQ(state->enumerators[1].number, 1);
  EXPECT_TRUE(state->fields.empty());
  const TypeInfo* record = description.findType("FakeRecord");
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->fields.size(), 1u);
  EXPECT_EQ(record->fields[0].description, "The item's id");

  const EventInfo* event = description.findEvent("OnFakeEvent");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->payloadTypeName, "FakeRecord");
  EXPECT_EQ(event->tags, (std::vector<std::string>{"fake"}));
}

TEST_F(HostLifecycleTest, ReportsALibraryThatCannotBeOpened) {
  Host host;
  EXPECT_FALSE(host.load(std::string("/nonexistent/libnothing.so")));
  EXPECT_NE(host.lastError().find("/nonexistent/libnothing.so"), std::string::npos)
      << host.lastError();
  EXPECT_FALSE(host.start());
}

void loadNothing(HostHandshake*) {}

TEST_F(HostLifecycleTest, RefusesAPluginThatLeavesTheHandshakeEmpty) {
  Host host;
  EXPECT_FALSE(host.load(&loadNothing));
  EXPECT_EQ(host.lastError(), "the plugin left the callbacks or its context null in the handshake");
  EXPECT_FALSE(host.isLoaded());
}

} // namespace
} // namespace tav::host
