// Function names from method and path, and the method codes behind them.
#include "host/function_name.h"
#include "host/http_methods.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

struct NameCase {
  std::string method;
  std::string path;
  std::string name;
};

class FunctionNameFor : public ::testing::TestWithParam<NameCase> {};

TEST_P(FunctionNameFor, MethodAndPath) {
  EXPECT_EQ(functionName(GetParam().method, GetParam().path), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FunctionNameFor,
    ::testing::Values(NameCase{"GET", "/tav-banners/v1/current-sondar/flags",
                               "GetTavBannersV1CurrentSondarFlags"},
                      NameCase{"PUT", "/tav-banners/v1/current-sondar/flags/equipped",
                               "PutTavBannersV1CurrentSondarFlagsEquipped"},
                      NameCase{"GET", "/tav-banners/v1/current-sondar/flags?season=3",
                               "GetTavBannersV1CurrentSondarFlags"},
                      NameCase{"DELETE", "/a/{id}", "DeleteAById"},
                      NameCase{"POST", "/a/{+rest}", "PostAByRest"},
                      NameCase{"GET", "/a{b}c", "GetAByBc"},
                      NameCase{"GET", "/x!y.z_w+v", "GetXYZWV"},
                      NameCase{"", "/plain/path", "PlainPath"}, NameCase{"gEt", "/a", "GetA"}));

TEST(CapitaliseWalk, TurnsAFullNameIntoThePluginIdentifier) {
  EXPECT_EQ(capitaliseWalk("vmf-be-tav-banners"), "VmfBeTavBanners");
}

TEST(HttpMethods, AnyOtherNameTravelsAsCustom) {
  EXPECT_EQ(methodFromName("PATCH"), HttpMethod::Patch);
  EXPECT_EQ(methodFromName(""), HttpMethod::Any);
  EXPECT_EQ(methodFromName("get"), HttpMethod::Custom);
  EXPECT_EQ(methodFromName("SUBSCRIBE"), HttpMethod::Custom);
}

} // namespace
} // namespace tav::host
