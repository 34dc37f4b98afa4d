// `tav-host call` run as a person runs it: the status and indented answer on standard output,
// errors on standard error with their exit codes, and equips saved to the data file.
#include "host/sondar_data.h"
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

namespace tav::testtools {
namespace {

using host::ValueTree;

// The status line and the JSON after it, as `call` prints a success.
std::pair<std::string, ValueTree> parseAnswer(const std::string& out) {
  const size_t lineEnd = out.find('\n');
  if (lineEnd == std::string::npos) {
    ADD_FAILURE() << "no status line in: " << out;
    return {};
  }
  std::string error;
  std::optional<ValueTree> value = ValueTree::fromJson(out.substr(lineEnd + 1), &error);
  EXPECT_TRUE(value) << error << " in: " << out;
  return {out.substr(0, lineEnd), value.value_or(ValueTree())};
}

host::SondarData sample() {
  std::string error;
  std::optional<host::SondarData> data = host::SondarData::fromJson(sampleText(), &error);
  EXPECT_TRUE(data) << error;
  return data.value_or(host::SondarData());
}

std::string member(const ValueTree& flag, const char* name) {
  const ValueTree* found = flag.find(name);
  return found != nullptr ? found->text() : std::string();
}

using FlagKey = std::tuple<std::string, std::string, std::string>; // theme, level, season

// The latest acquisition of each flag the sondar owns.
std::map<FlagKey, std::string> latestCopies(const host::SondarData& data) {
  std::map<FlagKey, std::string> latest;
  for (const host::SondarFlag& flag : data.flags) {
    std::string& date = latest[{flag.theme, flag.level, flag.seasonId}];
    date = std::max(date, flag.purchaseDate);
  }
  return latest;
}

TEST(TavHostCall, ListsEachOwnedFlagOnceNewestSeasonFirstAsIndentedJson) {
  TAV_REQUIRE_TOOL();
  const ToolRun run = runTool({"call", "GET", kFlagsPath});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto [status, flags] = parseAnswer(run.out);
  EXPECT_EQ(status, "200");
  EXPECT_NE(run.out.find("[\n  {\n    \""), std::string::npos) << "not indented:\n" << run.out;

  const std::map<FlagKey, std::string> latest = latestCopies(sample());
  ASSERT_EQ(flags.items().size(), latest.size()) << run.out;
  std::set<FlagKey> listed;
  long previousSeason = 1L << 30;
  for (const ValueTree& flag : flags.items()) {
    const FlagKey key{member(flag, "theme"), member(flag, "level"), member(flag, "seasonId")};
    EXPECT_TRUE(listed.insert(key).second) << "listed twice: " << flag.toJson();
    ASSERT_EQ(latest.count(key), 1u) << "not owned: " << flag.toJson();
    EXPECT_EQ(member(flag, "earnedDateIso8601"), latest.at(key)) << "not the latest copy";
    const long season = std::stol(std::get<2>(key));
    EXPECT_LE(season, previousSeason) << "seasons out of order at " << flag.toJson();
    previousSeason = season;
  }
}

TEST(TavHostCall, AnswersTheFlagTheSampleProfileNamesAndAFrameOfTheCurrentSeason) {
  TAV_REQUIRE_TOOL();
  const host::SondarData data = sample();
  const std::optional<ValueTree> named =
      ValueTree::fromJson(data.profile.find("equippedBannerFlag")->text());
  ASSERT_TRUE(named);

  const ToolRun equipped = runTool({"call", "GET", kEquippedPath});
  ASSERT_EQ(equipped.exitCode, 0) << equipped.err;
  const ValueTree flag = parseAnswer(equipped.out).second;
  for (const char* name : {"theme", "level", "seasonId"}) {
    EXPECT_EQ(member(flag, name), member(*named, name)) << equipped.out;
  }

  const ToolRun frame = runTool({"call", "get", kFramePath}); // the method in any case
  ASSERT_EQ(frame.exitCode, 0) << frame.err;
  const std::string season =
      std::to_string(data.configuration.at("ClientSystemStates").at("currentSeason").asSigned());
  long highest = 0;
  for (const host::SondarFrame& owned : data.frames) {
    if (owned.seasonId == season) {
      highest = std::max(highest, std::stol(owned.level));
    }
  }
  EXPECT_EQ(member(parseAnswer(frame.out).second, "level"), std::to_string(highest));
}

TEST(TavHostCall, AnEquipIsSavedToTheDataFileAndSeenByTheNextRun) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string data = folder.write("sondar.json", sampleText());
  const host::SondarFlag chosen = sample().flags.front();
  const std::string body = ValueTree::map({{"theme", chosen.theme},
                                           {"level", chosen.level},
                                           {"seasonId", chosen.seasonId},
                                           {"earnedDateIso8601", "2020-01-01T00:00:00Z"}})
                               .toJson();
  // Once as text and once from a file; both must equip.
  for (const std::string& given : {body, "@" + folder.write("body.json", body)}) {
    SCOPED_TRACE(given);
    const ToolRun put = runTool({"call", "PUT", kEquippedPath, "--body", given, "--data", data});
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_EQ(member(parseAnswer(put.out).second, "theme"), chosen.theme);

    std::string error;
    const std::optional<host::SondarData> saved = host::SondarData::fromFile(data, &error);
    ASSERT_TRUE(saved) << error;
    const std::optional<ValueTree> named =
        ValueTree::fromJson(saved->profile.find("equippedBannerFlag")->text());
    ASSERT_TRUE(named) << readFile(data);
    EXPECT_EQ(member(*named, "theme"), chosen.theme);
    EXPECT_EQ(member(*named, "level"), chosen.level);
    EXPECT_FALSE(saved->loadouts.isEmpty()) << "the loadouts write was not saved";

    const ToolRun get = runTool({"call", "GET", kEquippedPath, "--data", data});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(member(parseAnswer(get.out).second, "theme"), chosen.theme);
  }
}

struct FailingCall {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  std::string errorText; // a fragment of standard error
};

void PrintTo(const FailingCall& call, std::ostream* out) {
  *out << call.name;
}

class TavHostFailingCall : public ::testing::TestWithParam<FailingCall> {};

TEST_P(TavHostFailingCall, PrintsTheProblemOnStandardErrorWithItsExitCode) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) {
    // "<file:NAME=TEXT>" becomes a file of the test's folder.
    if (arg.rfind("<file:", 0) == 0) {
      const size_t equals = arg.find('=');
      args.push_back(
          folder.write(arg.substr(6, equals - 6), arg.substr(equals + 1, arg.size() - equals - 2)));
    } else {
      args.push_back(arg);
    }
  }
  const ToolRun run = runTool(args);
  EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
  EXPECT_NE(run.err.find(GetParam().errorText), std::string::npos) << run.err;
  if (run.exitCode == 3) {
    EXPECT_EQ(run.out, "") << "an error answer belongs on standard error only";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TavHostFailingCall,
    ::testing::Values(
        FailingCall{
            "UnknownRoute", {"call", "GET", "/tav-banners/v1/nothing"}, 3, "404 Invalid function"},
        FailingCall{"FlagNotOwned",
                    {"call", "PUT", kEquippedPath, "--body",
                     R"({"theme":"Nope","level":"1","seasonId":"5",)"
                     R"("earnedDateIso8601":"2025-01-01T00:00:00Z"})"},
                    3,
                    "400 Attempted to equip banner flag that sondar does not own."},
        FailingCall{
            "EquippingSwitchedOff",
            {"call", "PUT", kEquippedPath, "--body", "{}", "--data",
             R"(<file:off.json={"configuration": {"Banners": {"IsEquipEnabled": false}}}>)"},
            3,
            "503 Banner equipping is not enabled."},
        FailingCall{"NoFlags",
                    {"call", "GET", kEquippedPath, "--data", "<file:empty.json={}>"},
                    3,
                    "404 Current sondar has no banner flags."},
        FailingCall{"MissingPath", {"call", "GET"}, 2, "path is required"},
        FailingCall{"NoCommand", {"frobnicate"}, 2, "A subcommand is required"},
        FailingCall{"MissingDataFile",
                    {"call", "GET", kFlagsPath, "--data", "/nonexistent.json"},
                    2,
                    "/nonexistent.json"},
        FailingCall{"MissingBodyFile",
                    {"call", "PUT", kEquippedPath, "--body", "@/nonexistent/body.json"},
                    2,
                    "cannot read the body file /nonexistent/body.json"},
        FailingCall{"BodyFileIsAFolder",
                    {"call", "PUT", kEquippedPath, "--body", "@/"},
                    2,
                    "cannot read the body file /: Is a directory"},
        FailingCall{"DataFileNestedTooDeep",
                    {"call", "GET", kFlagsPath, "--data",
                     "<file:deep.json={\"profile\": {\"a\": " + std::string(60000, '[') +
                         std::string(60000, ']') + "}}>"},
                    5,
                    "deep.json: sondar data is not JSON: Nested deeper than 512 levels."},
        FailingCall{"DataFileOfTheWrongShape",
                    {"call", "GET", kFlagsPath, "--data", R"(<file:bad.json={"flags": 3}>)"},
                    5,
                    "bad.json: flags: "},
        FailingCall{"LibraryMissing",
                    {"call", "GET", kFlagsPath, "--library", "/nonexistent/libtav_banners.so"},
                    4,
                    "cannot load /nonexistent/libtav_banners.so"}),
    [](const ::testing::TestParamInfo<FailingCall>& info) { return std::string(info.param.name); });

TEST(TavHostCall, EveryCommandsHelpListsTheExitCodes) {
  TAV_REQUIRE_TOOL();
  for (const char* command : {"", "call", "serve", "tour", "sample"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args;
    if (*command != '\0') {
      args.push_back(command);
    }
    args.push_back("--help");
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Exit codes:"), std::string::npos) << run.out;
  }
  EXPECT_NE(runTool({"serve", "--help"}).out.find("--lockfile"), std::string::npos);
}

} // namespace
} // namespace tav::testtools
