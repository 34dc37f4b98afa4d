// The sondar data file: what each member reads into, the place and problem of a refused file,
// and saving that reads back to the same state.
#include "host/sondar_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace tav::host {
namespace {

TEST(SondarData, ReadsEveryMember) {
  std::string error;
  const std::optional<SondarData> data = SondarData::fromJson(R"({
    "flags": [{"theme": "T", "level": "2", "seasonId": 5, "purchaseDate": "2024-03-01T10:00:00Z"},
              {"theme": "U", "level": "01", "seasonId": "5", "rewardType": "flag"}],
    "frames": [{"level": 3, "seasonId": "5"}],
    "profile": {"equippedBannerFlag": "{\"level\":\"2\",\"seasonId\":\"5\",\"theme\":\"T\"}"},
    "loadouts": {"TOURNAMENT_FLAG": {}},
    "configuration": {"Banners": {"IsEquipEnabled": true},
                      "ClientSystemStates": {"currentSeason": 7.9}},
    "inventory": {"omitTypes": ["TOURNAMENT_FRAME"], "tokens": {"X": "a.b.c"},
                  "payloads": {"TOURNAMENT_FLAG": {"items": {"TOURNAMENT_FLAG": "oops"}}}},
    "failures": {"inventory": {"status": 503, "message": "Service Unavailable"},
                 "loadouts": {}}
  })",
                                                              &error);
  ASSERT_TRUE(data) << error;
  EXPECT_EQ(data->flags, (std::vector<SondarFlag>{{"T", "2", "5", "2024-03-01T10:00:00Z", "FLAG"},
                                                  {"U", "01", "5", "", "flag"}}));
  EXPECT_EQ(data->frames, (std::vector<SondarFrame>{{"3", "5", "", "FRAME"}}));
  EXPECT_EQ(data->profile.find("equippedBannerFlag")->text(),
            R"({"level":"2","seasonId":"5","theme":"T"})");
  EXPECT_EQ(data->loadouts.toJson(), R"({"TOURNAMENT_FLAG":{}})");
  EXPECT_EQ(data->configuration.at("Banners").at("IsEquipEnabled"), ValueTree(true));
  EXPECT_EQ(data->configuration.at("ClientSystemStates").at("currentSeason"), ValueTree(7.9));
  EXPECT_EQ(data->inventory.omittedTypes, (std::set<std::string>{"TOURNAMENT_FRAME"}));
  EXPECT_EQ(data->inventory.tokens.at("X"), "a.b.c");
  EXPECT_EQ(data->inventory.payloads.at("TOURNAMENT_FLAG").toJson(),
            R"({"items":{"TOURNAMENT_FLAG":"oops"}})");
  EXPECT_EQ(data->failures.at(SondarEndpoint::Inventory),
            (SondarFailure{503, "Service Unavailable"}));
  EXPECT_EQ(data->failures.at(SondarEndpoint::Loadouts), (SondarFailure{500, "Injected failure"}));
}

TEST(SondarData, AnEmptyObjectIsAnEmptySondar) {
  const std::optional<SondarData> data = SondarData::fromJson("{}");
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, SondarData());
  EXPECT_EQ(data->profile.kind(), ValueKind::Map);
}

struct RefusedFile {
  const char* text;
  const char* error;
};

TEST(SondarData, NamesThePlaceAndTheProblemOfARefusedFile) {
  const RefusedFile cases[] = {
      {"[]", "sondar data: expected an object"},
      {R"({"flgs": []})", R"(sondar data: unknown member "flgs")"},
      {R"({"flags": {}})", "flags: expected a list"},
      {R"({"flags": [{"theme": 5}]})", "flags[0].theme: expected a text"},
      {R"({"flags": [{}, {"level": 1.5}]})", "flags[1].level: expected a text or a whole number"},
      {R"({"flags": [{"colour": "red"}]})", R"(flags[0]: unknown member "colour")"},
      {R"({"frames": ["3"]})", "frames[0]: expected an object"},
      {R"({"profile": "x"})", "profile: expected an object"},
      {R"({"configuration": {"Banners": true}})", "configuration.Banners: expected an object"},
      {R"({"inventory": {"omitTypes": [1]}})", "inventory.omitTypes[0]: expected a text"},
      {R"({"inventory": {"tokens": {"TOURNAMENT_FLAG": 1}}})",
       "inventory.tokens.TOURNAMENT_FLAG: expected a text"},
      {R"({"failures": {"inventroy": {}}})", "failures.inventroy: unknown endpoint"},
      {R"({"failures": {"inventory": {"status": 42}}})",
       "failures.inventory.status: expected a status code from 100 to 999"},
      {R"({"failures": {"telemetry": {"message": false}}})",
       "failures.telemetry.message: expected a text"},
  };
  for (const RefusedFile& refused : cases) {
    std::string error;
    EXPECT_FALSE(SondarData::fromJson(refused.text, &error)) << refused.text;
    EXPECT_EQ(error, refused.error) << refused.text;
  }
}

TEST(SondarData, ReportsTextThatIsNotJson) {
  std::string error;
  EXPECT_FALSE(SondarData::fromJson(R"({"flags": [)", &error));
  EXPECT_EQ(error.rfind("sondar data is not JSON: ", 0), 0u) << error;
}

SondarData everyKindOfState() {
  SondarData data;
  data.flags = {{"T", "2", "5", "2024-03-01T10:00:00Z", "FLAG"}, {"caf\u00e9", "1", "4", "", "x"}};
  data.frames = {{"3", "5", "", "FRAME"}};
  data.profile = ValueTree::map({{"equippedBannerFlag", "{}"}, {"other", 1}});
  data.loadouts = ValueTree::map({{"TOURNAMENT_FLAG", ValueTree::map({})}});
  data.configuration["Banners"]["IsEquipEnabled"] = "true";
  data.configuration["ClientSystemStates"]["currentSeason"] = 7.9;
  data.configuration["ClientSystemStates"]["big"] = uint64_t{18446744073709551615u};
  data.inventory.omittedTypes = {"A"};
  data.inventory.tokens["B"] = "x..";
  data.inventory.payloads["C"] = ValueTree::list({ValueTree(), false});
  data.failures[SondarEndpoint::ProfileWrite] = {409, "Conflict"};
  return data;
}

TEST(SondarData, SavedTextReadsBackToTheSameState) {
  const SondarData data = everyKindOfState();
  std::string error;
  const std::optional<SondarData> read = SondarData::fromJson(data.toJson(), &error);
  ASSERT_TRUE(read) << error << "\n" << data.toJson();
  EXPECT_EQ(*read, data) << data.toJson();
}

TEST(SondarData, SavedTextGrowsInStepWithHowDeepItsValuesNest) {
  const auto savedSize = [](size_t depth) {
    SondarData data;
    ValueTree deep = ValueTree::map({{"leaf", 1}});
    for (size_t level = 0; level < depth; ++level) {
      deep = ValueTree::list({deep, "x"});
    }
    data.profile = ValueTree::map({{"deep", deep}});
    const std::string text = data.toJson();
    const std::optional<SondarData> read = SondarData::fromJson(text);
    EXPECT_TRUE(read && *read == data);
    return static_cast<double>(text.size());
  };
  // Four times the depth: four times the text, not sixteen.
  EXPECT_LT(savedSize(400) / savedSize(100), 4.5);
}

TEST(SondarData, SavesToAFileAndReadsItBack) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "sondar_data_test_save.json").string();
  const SondarData data = everyKindOfState();
  std::string error;
  ASSERT_TRUE(data.saveFile(path, &error)) << error;
  const std::optional<SondarData> read = SondarData::fromFile(path, &error);
  std::remove(path.c_str());
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(*read, data);
}

TEST(SondarData, NamesTheFileThatCannotBeRead) {
  std::string error;
  EXPECT_FALSE(SondarData::fromFile("/nonexistent/sondar.json", &error));
  EXPECT_EQ(error, "cannot open /nonexistent/sondar.json: No such file or directory");
}

TEST(SondarData, EndpointNamesReadBackToTheirEndpoints) {
  for (SondarEndpoint endpoint : kSondarEndpoints) {
    EXPECT_EQ(sondarEndpointFromName(sondarEndpointName(endpoint)), endpoint);
  }
  EXPECT_EQ(sondarEndpointFromName("Inventory"), std::nullopt);
}

} // namespace
} // namespace tav::host
