// Argument binding from header pairs, path captures, the query and the body, against a route
// whose template and arguments also come from the input.
//
// Input, cut at zero bytes into four parts:
//   1. the route: a first line "<method code> <template>", then one argument per line,
//      "<type code>,<location code>,<optional 0|1>,<name>";
//   2. the request path with its query;
//   3. header pairs, one "name: value" per line;
//   4. the content type, a line feed, and the body (the rest of the input, any bytes; the body
//      is handed over unterminated, at the very end of the input).
// Checks: no crash or sanitizer report, one value per declared argument on success and a
// message on failure.
#include "fuzz_support.h"

#include "binding/binding_type_registry.h"
#include "binding/host_records.h"
#include "routing/argument_binding.h"
#include "routing/call_matching.h"
#include "routing/route_table.h"

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxArguments = 12;

uint32_t readNumber(std::string_view& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  if (!text.empty() && text.front() == ',') {
    text.remove_prefix(1);
  }
  return error == std::errc() ? value : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::vector<std::string_view> parts = fuzz::splitParts(fuzz::asText(data, size), 4);

  // The route.
  std::vector<std::string_view> routeLines = fuzz::splitLines(parts[0]);
  std::string_view first = routeLines[0];
  const HttpMethod method = httpMethodFromCode(readNumber(first) % 9);
  if (!first.empty() && first.front() == ' ') {
    first.remove_prefix(1);
  }
  BindingTypeRegistry registry;
  RouteTable table;
  RouteBuilder builder = table.registerRoute(registry, method, first, nullptr);
  size_t declared = 0;
  for (size_t i = 1; i < routeLines.size() && declared < kMaxArguments; ++i) {
    std::string_view line = routeLines[i];
    const auto code = static_cast<BindingTypeCode>(readNumber(line) % 20);
    const auto location = static_cast<ArgumentLocation>(readNumber(line) % 6);
    const bool optional = readNumber(line) != 0;
    builder.argument(line, "", location, BindingTypeRef{code}, optional);
    ++declared;
  }

  // The request record; every text it points at is terminated.
  const std::string path(parts[1]);
  const std::vector<std::pair<std::string, std::string>> headerTexts = fuzz::headerLines(parts[2]);
  std::vector<host::HostHeaderPair> headers;
  for (const auto& [name, value] : headerTexts) {
    headers.push_back({name.c_str(), value.c_str()});
  }
  const size_t lineEnd = parts[3].find('\n');
  const std::string contentType(parts[3].substr(0, lineEnd));
  const std::string_view body =
      lineEnd == std::string_view::npos ? std::string_view() : parts[3].substr(lineEnd + 1);

  host::HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = static_cast<uint32_t>(method == HttpMethod::Any ? HttpMethod::Get : method);
  request.path = path.c_str();
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = static_cast<uint32_t>(headers.size());
  if (lineEnd != std::string_view::npos) {
    request.contentType = contentType.c_str();
    request.body = reinterpret_cast<const uint8_t*>(body.data());
    request.bodyLength = static_cast<uint32_t>(body.size());
  }

  CallContext call = callContextFromRequest(request);
  const RoutePattern patterns[] = {RoutePattern::fromRecord(builder.record())};
  if (!matchCall(call, patterns)) {
    return 0;
  }
  BindingResult result;
  const std::vector<BindingProperty> values =
      bindArguments(result, call, requestArgumentsFromRequest(request));
  if (result.ok()) {
    fuzz::check(values.size() == builder.function().arguments.size(),
                "not one value per declared argument");
  } else {
    fuzz::check(!result.errorMessage().empty(), "a failed binding without a message");
  }
  return 0;
}
