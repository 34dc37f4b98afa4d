// A plugin with one mistake, chosen by TAV_MISTAKE; with none it must compile. Each mistake must
// fail with the one static_assert that names it (see CMakeLists.txt for the expected texts).
#include "binding/native_binding.h"
#include "plugin/plugin.h"

#include <optional>
#include <string>

namespace {

struct Record {
  std::string id;
#if TAV_MISTAKE == 1
  std::optional<std::string> nickname;
#elif TAV_MISTAKE == 2
  char grade = 'a';
#elif TAV_MISTAKE == 3
  std::vector<bool> flags;
#endif
};

tav::HandlerResponse<void> answerForRecord(Record&) {
  return {};
}

class MistakenPlugin : public tav::Plugin {
public:
  void onRegistered() override {
    auto record = typeRegistry().registerType<Record>("Record");
    record.field("id", &Record::id);
#if TAV_MISTAKE == 1
    record.field("nickname", &Record::nickname);
#elif TAV_MISTAKE == 2
    record.field("grade", &Record::grade);
#elif TAV_MISTAKE == 3
    record.field("flags", &Record::flags);
#endif

#if TAV_MISTAKE == 4
    route(tav::HttpMethod::Get, "/m/v1/a", &MistakenPlugin::plainAnswer);
#elif TAV_MISTAKE == 5
    route(tav::HttpMethod::Get, "/m/v1/a", &MistakenPlugin::outArgument);
#elif TAV_MISTAKE == 6
    route(tav::HttpMethod::Get, "/m/v1/a", [](int) { return tav::HandlerResponse<int>(1); });
#elif TAV_MISTAKE == 7
    route(tav::HttpMethod::Get, "/m/v1/a", &MistakenPlugin::characterArgument);
#elif TAV_MISTAKE == 8
    route(tav::HttpMethod::Get, "/m/v1/a", &MistakenPlugin::lateInfo);
#elif TAV_MISTAKE == 9
    route(tav::HttpMethod::Get, "/m/v1/a", &answerForRecord);
#else
    route(tav::HttpMethod::Get, "/m/v1/a", &MistakenPlugin::accepted);
    route(tav::HttpMethod::Get, "/m/v1/b",
          [](MistakenPlugin&, const tav::RequestInfo&, std::optional<int32_t> n) {
            return tav::HandlerResponse<int32_t>(n.value_or(0));
          });
#endif
  }

  std::string plainAnswer() {
    return {};
  }
  tav::HandlerResponse<void> outArgument(std::string& text) {
    return {};
  }
  tav::HandlerResponse<void> characterArgument(char letter) {
    return {};
  }
  tav::HandlerResponse<void> lateInfo(int32_t n, const tav::RequestInfo& info) {
    return {};
  }
  tav::HandlerResponse<std::vector<Record>> accepted(const std::string& id) {
    return {};
  }
};

} // namespace

void useMistakenPlugin() {
  MistakenPlugin plugin;
  plugin.onRegistered();
}
