// URL templates, path matching, route choice and percent decoding.
//
// Input: up to four templates, one per line; a zero byte; the request path; a zero byte; method
// bytes (the call's, then one per template). Checks: short paths match exactly as
// std::regex_match of the template's expression does, captures included (the matcher promises
// ECMAScript's first solution); a literal template matches only its own text; a route is chosen
// exactly when some candidate fits by path and method, and the chosen one fits; percent decoding
// never lengthens a text and leaves a text without "%" and "+" alone.
#include "fuzz_support.h"

#include "routing/http_method.h"
#include "routing/path_matcher.h"
#include "routing/percent_decoding.h"
#include "routing/route_matching.h"
#include "routing/url_template.h"

#include <regex>
#include <string>
#include <vector>

namespace {

// std::regex backtracks recursively, and exponentially in the number of groups; within these
// bounds it answers in microseconds.
constexpr size_t kRegexPathLimit = 24;
constexpr size_t kRegexGroupLimit = 3;
constexpr size_t kMaxTemplates = 4;

constexpr char kCustomMethod[] = "PURGE";

void checkAgainstRegex(const tav::UrlTemplate& templ, std::string_view path,
                       const std::optional<std::vector<std::string_view>>& groups) {
  using tav::fuzz::check;
  if (templ.isLiteral()) {
    check(groups.has_value() == (path == templ.text()), "a literal template matched wrongly",
          templ.text(), path);
    check(!groups || groups->empty(), "a literal template captured something");
    return;
  }
  if (path.size() > kRegexPathLimit || templ.groupCount() > kRegexGroupLimit ||
      templ.expression().find('\0') != std::string::npos) {
    return;
  }
  std::regex expression;
  try {
    expression.assign(templ.expression(), std::regex::ECMAScript);
  } catch (const std::regex_error&) {
    tav::fuzz::fail("a template's expression does not compile", templ.expression());
  }
  std::match_results<std::string_view::const_iterator> match;
  const bool matched = std::regex_match(path.begin(), path.end(), match, expression);
  check(matched == groups.has_value(),
        matched ? "the matcher misses a match of the expression"
                : "the matcher matches where the expression does not",
        templ.expression(), path);
  if (!matched) {
    return;
  }
  check(groups->size() == templ.groupCount() && match.size() == groups->size() + 1,
        "capture count differs from the expression's", templ.expression(), path);
  for (size_t i = 0; i < groups->size(); ++i) {
    const std::string_view expected(match[i + 1].first, match[i + 1].second);
    const std::string_view got = (*groups)[i];
    check(got.size() == expected.size() &&
              (got.empty() || got.data() - path.data() == match[i + 1].first - path.begin()),
          "a capture differs from the expression's", templ.expression(), path);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::vector<std::string_view> parts = fuzz::splitParts(fuzz::asText(data, size), 3);
  const std::string_view path = parts[1];
  const std::string_view methods = parts[2];

  std::vector<UrlTemplate> templates;
  for (std::string_view line : fuzz::splitLines(parts[0])) {
    if (templates.size() == kMaxTemplates) {
      break;
    }
    templates.push_back(UrlTemplate::compile(line));
  }

  const auto methodAt = [&](size_t i) {
    return i < methods.size() ? httpMethodFromCode(static_cast<uint8_t>(methods[i]) % 9)
                              : HttpMethod::Any;
  };
  const HttpMethod callMethod = methodAt(0);
  const std::string_view callCustom = callMethod == HttpMethod::Custom ? kCustomMethod : "";

  std::vector<RouteCandidate> candidates;
  bool anyFits = false;
  for (size_t i = 0; i < templates.size(); ++i) {
    const UrlTemplate& templ = templates[i];
    fuzz::check(templ.placeholders().size() >= templ.groupCount(),
                "a capture group without its placeholder", templ.text());
    const std::optional<std::vector<std::string_view>> groups = matchPath(templ, path);
    checkAgainstRegex(templ, path, groups);

    const HttpMethod method = methodAt(i + 1);
    candidates.push_back({&templ, method, method == HttpMethod::Custom ? kCustomMethod : ""});
    anyFits = anyFits ||
              (groups && (method == HttpMethod::Any ||
                          (method == callMethod && candidates.back().customMethod == callCustom)));
  }

  const std::optional<RouteMatch> match = matchRoute(candidates, callMethod, callCustom, path);
  fuzz::check(match.has_value() == anyFits, "a route was chosen unlike the candidates fit");
  if (match) {
    fuzz::check(match->index < candidates.size(), "the chosen index is out of range");
    fuzz::check(matchPath(templates[match->index], path).has_value(),
                "the chosen route does not match the path");
    for (const auto& [name, text] : match->captured) {
      bool named = false;
      for (const Placeholder& placeholder : templates[match->index].placeholders()) {
        named = named || placeholder.name == name;
      }
      fuzz::check(named, "a captured name that no placeholder has", name);
    }
  }

  const std::string decoded = percentDecode(path);
  fuzz::check(decoded.size() <= path.size(), "percent decoding lengthened the text");
  if (path.find_first_of("%+") == std::string_view::npos) {
    fuzz::check(decoded == path, "percent decoding changed a plain text", decoded, path);
  }
  return 0;
}
