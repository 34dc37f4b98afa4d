// The favourites plugin run from its built library in the substitute host, whose peer plays the
// inventory plugin: what the two routes answer, what they ask of the inventory and which events
// a PUT sends.
#include "host/testing/built_plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tav::host::CallRequest;
using tav::host::CallResult;
using tav::host::PeerAnswer;
using tav::host::SeenRequest;
using tav::host::SentEvent;
using tav::host::ValueTree;
using tav::testhost::json;
using tav::testhost::resourceEvent;
using tav::testhost::sameValue;

constexpr char kInventoryPath[] = "/tav-inventory/v1/items";
constexpr char kOwnedPath[] = "/tav-favourites/v1/owned";

class FavouritesPluginTest : public tav::testhost::BuiltPluginTest {
protected:
  FavouritesPluginTest() : BuiltPluginTest(tav::host::pluginFileName("tav_favourites")) {}

  void SetUp() override {
    BuiltPluginTest::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) {
      ASSERT_TRUE(host().start());
    }
  }

  // The inventory's answer to every request from now on.
  void inventoryAnswers(PeerAnswer answer) {
    host().addPeer("GET", kInventoryPath, [answer](const SeenRequest&) { return answer; });
  }

  CallResult put(const std::string& itemId, const std::string& body) {
    CallRequest request;
    request.method = "PUT";
    request.path = "/tav-favourites/v1/favourites/" + itemId;
    request.contentType = "application/json";
    request.body = body;
    return host().call(request);
  }
};

TEST_F(FavouritesPluginTest, AnswersTheOwnedFavouritesWithTheInventorysCounts) {
  ASSERT_TRUE(put("flag-2", R"({"note":"second","priority":"High"})").ok());
  ASSERT_TRUE(put("flag-1", R"({"note":"first"})").ok());
  ASSERT_TRUE(put("flag-9", R"({"note":"not owned"})").ok());
  inventoryAnswers(PeerAnswer::value(json(R"([{"itemId":"flag-1","count":3},
      {"itemId":"flag-2","count":1},{"itemId":"frame-4","count":7}])")));

  const CallResult all = host().call("GET", kOwnedPath);
  ASSERT_TRUE(all.ok()) << *all.error;
  EXPECT_TRUE(sameValue(all.value, json(R"([
      {"itemId":"flag-1","count":3,"note":"first","priority":"Low"},
      {"itemId":"flag-2","count":1,"note":"second","priority":"High"}])")));

  const CallResult many = host().call("GET", std::string(kOwnedPath) + "?minimumCount=2");
  ASSERT_TRUE(many.ok()) << *many.error;
  EXPECT_TRUE(sameValue(many.value, json(R"([
      {"itemId":"flag-1","count":3,"note":"first","priority":"Low"}])")));

  // One GET of the inventory per call, sent as the plugin.
  const std::vector<SeenRequest> asked = host().requestsTo(kInventoryPath);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].method, "GET");
  EXPECT_EQ(asked[0].callerHandle, host().pluginHandle());
}

struct InventoryFailure {
  const char* name;
  bool peer; // false: no plugin answers the path, and the host says 404
  PeerAnswer answer;
  uint32_t status;
  const char* errorPart;
};

void PrintTo(const InventoryFailure& c, std::ostream* os) {
  *os << c.name;
}

class FavouritesInventoryFailure : public FavouritesPluginTest,
                                   public ::testing::WithParamInterface<InventoryFailure> {};

TEST_P(FavouritesInventoryFailure, AnswersTheInventorysStatusAndSaysWhatFailed) {
  const InventoryFailure& c = GetParam();
  if (c.peer) {
    inventoryAnswers(c.answer);
  }
  const CallResult result = host().call("GET", kOwnedPath);
  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(result.status, c.status);
  EXPECT_NE(result.error->find(c.errorPart), std::string::npos) << *result.error;
  EXPECT_NE(result.error->find(kInventoryPath), std::string::npos) << *result.error;
  EXPECT_TRUE(result.value.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Inventory, FavouritesInventoryFailure,
    ::testing::Values(
        InventoryFailure{"Absent", false, {}, 404, "Not found"},
        InventoryFailure{"Busy", true, PeerAnswer::error(503, "Inventory is loading"), 503,
                         "Inventory is loading"},
        // A list without the required item id does not convert; the call fails with 502.
        InventoryFailure{"Malformed", true, PeerAnswer::value(json(R"([{"count":1}])")), 502,
                         "itemId"}),
    [](const ::testing::TestParamInfo<InventoryFailure>& info) { return info.param.name; });

TEST_F(FavouritesPluginTest, PutSendsTheEventUnderItsOwnNameAndTheGenericOne) {
  const CallResult first = put("flag-1", R"({"note":"first"})");
  ASSERT_TRUE(first.ok()) << *first.error;
  EXPECT_EQ(first.functionName, "PutTavFavouritesV1FavouritesByItemId");
  EXPECT_EQ(first.status, 201u);
  EXPECT_TRUE(sameValue(first.value, json(R"({"note":"first","priority":"Low"})")));
  const CallResult second = put("flag-1", R"({"note":"again","priority":"High"})");
  ASSERT_TRUE(second.ok()) << *second.error;
  EXPECT_EQ(second.status, 200u);

  const ValueTree created = resourceEvent("/tav-favourites/v1/favourites/flag-1", "Create",
                                          json(R"({"note":"first","priority":"Low"})"));
  const ValueTree updated = resourceEvent("/tav-favourites/v1/favourites/flag-1", "Update",
                                          json(R"({"note":"again","priority":"High"})"));
  const std::vector<SentEvent> sent = host().events().sentEvents();
  ASSERT_EQ(sent.size(), 4u);
  const char* names[] = {"OnJsonApiEvent_tav-favourites_v1_favourites", "OnJsonApiEvent"};
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].name, names[i % 2]) << i;
    EXPECT_TRUE(sameValue(sent[i].payload, i < 2 ? created : updated)) << i;
  }
}

struct BadPut {
  const char* name;
  const char* body; // null: no body at all
  uint32_t status;
  const char* errorPart;
};

void PrintTo(const BadPut& c, std::ostream* os) {
  *os << c.name;
}

class FavouritesBadPut : public FavouritesPluginTest,
                         public ::testing::WithParamInterface<BadPut> {};

TEST_P(FavouritesBadPut, IsRefusedAndStoresAndSendsNothing) {
  const BadPut& c = GetParam();
  CallRequest request;
  request.method = "PUT";
  request.path = "/tav-favourites/v1/favourites/flag-1";
  if (c.body != nullptr) {
    request.contentType = "application/json";
    request.body = c.body;
  }
  const CallResult result = host().call(request);
  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(result.status, c.status);
  EXPECT_NE(result.error->find(c.errorPart), std::string::npos) << *result.error;
  EXPECT_TRUE(host().events().sentEvents().empty());

  inventoryAnswers(PeerAnswer::value(json(R"([{"itemId":"flag-1","count":1}])")));
  const CallResult owned = host().call("GET", kOwnedPath);
  ASSERT_TRUE(owned.ok()) << *owned.error;
  EXPECT_TRUE(sameValue(owned.value, json("[]")));
}

const std::string kLongNote = R"({"note":")" + std::string(201, 'x') + R"("})";

INSTANTIATE_TEST_SUITE_P(
    Bodies, FavouritesBadPut,
    // A body that does not convert fails before the function runs, which sets no status.
    ::testing::Values(BadPut{"NoBody", nullptr, 0, "A value for 'favourite' is required."},
                      BadPut{"UnknownPriority", R"({"priority":"Urgent"})", 0, "Urgent"},
                      BadPut{"NoteTooLong", kLongNote.c_str(), 400, "at most 200 characters"}),
    [](const ::testing::TestParamInfo<BadPut>& info) { return info.param.name; });

} // namespace
