// The one-pass scan that turns a URL template into its expression, placeholders and tokens.
#include "routing/url_template.h"

#include <cstring>

namespace tav {
namespace {

// Scanner state; the values double as the PlaceholderKind of the placeholder being read.
enum class ScanState : uint32_t { Outside = 0, Simple = 1, Reserved = 2, Fragment = 3 };

bool isRegexMetacharacter(char c) {
  return c != '\0' && std::strchr("^$.*+?()[]|\\", c) != nullptr;
}

void appendLiteral(std::vector<TemplateToken>& tokens, char c) {
  if (tokens.empty() || tokens.back().kind != TemplateToken::Kind::Literal) {
    tokens.push_back({TemplateToken::Kind::Literal, {}});
  }
  tokens.back().text += c;
}

} // namespace

UrlTemplate UrlTemplate::compile(std::string_view templ) {
  UrlTemplate out;
  out.text_.assign(templ);
  out.literal_ = templ.find('{') == std::string_view::npos;
  if (out.literal_) {
    return out;
  }

  ScanState state = ScanState::Outside;
  std::string name;
  for (char c : templ) {
    if (c == '{') {
      // A name already collected stays: "{a{b}" names its placeholder "ab".
      state = ScanState::Simple;
    } else if (c == '}') {
      switch (state) {
      case ScanState::Simple:
        out.expression_ += "([^/]*)";
        out.tokens_.push_back({TemplateToken::Kind::SegmentCapture, {}});
        ++out.groupCount_;
        break;
      case ScanState::Reserved:
        out.expression_ += "(.*)";
        out.tokens_.push_back({TemplateToken::Kind::RestCapture, {}});
        ++out.groupCount_;
        break;
      case ScanState::Fragment:
        out.expression_ += "#(.*)";
        appendLiteral(out.tokens_, '#');
        out.tokens_.push_back({TemplateToken::Kind::RestCapture, {}});
        ++out.groupCount_;
        break;
      case ScanState::Outside:
        break;
      }
      out.placeholders_.push_back({static_cast<PlaceholderKind>(state), std::move(name)});
      name.clear();
      state = ScanState::Outside;
    } else if (state == ScanState::Simple && name.empty() && c == '+') {
      state = ScanState::Reserved;
    } else if (state == ScanState::Simple && name.empty() && c == '#') {
      state = ScanState::Fragment;
    } else if (state != ScanState::Outside) {
      name += c;
    } else {
      if (isRegexMetacharacter(c)) {
        out.expression_ += '\\';
      }
      out.expression_ += c;
      appendLiteral(out.tokens_, c);
    }
  }
  return out;
}

} // namespace tav
