// TestPlugin: a small plugin built on the framework, for the in-process tests and for
// libtav_test_plugin.so, which the substitute host's end-to-end tests load.
#pragma once

#include "plugin/framework_types.h"
#include "plugin/handler_response.h"
#include "plugin/plugin.h"
#include "plugin/request_info.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tav::test {

inline constexpr char kTestPluginShortName[] = "tav-test";

enum class TestItemColour : int32_t {
  Red = 0,
  Green = 1,
};

struct TestItem {
  std::string id;
  int32_t count = 0;
  TestItemColour colour = TestItemColour::Red;
};

// What the caller route answers about the call it received.
struct TestCaller {
  uint32_t handle = 0;
  std::string method;
  std::string path;
  std::string agent;
  int64_t receiveTime = 0;
};

class TestPlugin : public Plugin {
public:
  void onRegistered() override;

  HandlerResponse<TestItem> getItem(std::string id, std::optional<int32_t> count);
  HandlerResponse<TestItem> putItem(const std::string& id, const TestItem& item);
  HandlerResponse<std::vector<TestItem>> listItems();
  HandlerResponse<std::string> missing();
  HandlerResponse<std::string> teapot();
  HandlerResponse<std::string> stream(int32_t size);
  HandlerResponse<void> announce(const BindingProperty& payload);
  HandlerResponse<TestCaller> caller(const RequestInfo& info);
  HandlerResponse<std::string> fail(const std::string& how);
  HandlerResponse<BindingProperty> relay(const std::string& url);
  HandlerResponse<void> watch(const std::string& uri);
  HandlerResponse<void> unwatch(const std::string& uri);
  HandlerResponse<std::vector<PluginResourceEvent>> seen();

private:
  void record(const PluginResourceEvent& event);

  // Resource events arrive on the host's threads while calls read them.
  std::mutex seenMutex_;
  std::vector<PluginResourceEvent> seen_;
};

} // namespace tav::test
