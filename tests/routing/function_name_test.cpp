// Function names from method and template, and identifiers from plugin names.
#include "routing/function_name.h"

#include <gtest/gtest.h>

namespace tav {
namespace {

TEST(FunctionName, JoinsMethodAndTemplateInUpperCamelCase) {
  const struct {
    HttpMethod method;
    const char* templ;
    const char* name;
  } cases[] = {
      {HttpMethod::Get, "/tav-banners/v1/current-sondar/flags",
       "GetTavBannersV1CurrentSondarFlags"},
      {HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
       "PutTavBannersV1CurrentSondarFlagsEquipped"},
      {HttpMethod::Get, "/tav-banners/v1/current-sondar/frames/equipped",
       "GetTavBannersV1CurrentSondarFramesEquipped"},
      {HttpMethod::Delete, "/items/{id}", "DeleteItemsById"},
      {HttpMethod::Options, "/a", "OptionsA"},
      // Methods without a name contribute nothing, not even the "/".
      {HttpMethod::Any, "/items/{id}", "ItemsById"},
      {HttpMethod::Custom, "/x", "X"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(functionName(c.method, c.templ), c.name) << c.templ;
  }
}

TEST(FunctionName, WalksSeparatorsBracesAndCaseByTheCapitaliseFlag) {
  const struct {
    const char* text;
    const char* identifier;
  } cases[] = {
      {"vmf-be-tav-banners", "VmfBeTavBanners"},
      {"a!b+c-d.e/f_g", "ABCDEFG"},
      // "{" always writes "By"; the placeholder's first letter is then capitalised.
      {"{id}", "ById"},
      {"{+rest}", "ByRest"},
      // "}" leaves the flag as it is, whether set or clear.
      {"x}y", "Xy"},
      {"x{}y", "XByY"},
      {"already/Upper", "AlreadyUpper"},
      {"mIxEd", "MIxEd"},
      {"/1st/2nd", "1st2nd"},
      {"", ""},
      {"---", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(identifierFromText(c.text), c.identifier) << c.text;
  }
}

TEST(FunctionName, LeavesNonAsciiBytesAsTheyAre) {
  EXPECT_EQ(identifierFromText("-\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}

} // namespace
} // namespace tav
