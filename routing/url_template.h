// UrlTemplate: a route's URL template compiled once into its expression text, its
// placeholders and the token list that the path matcher runs.
//
//   UrlTemplate t = UrlTemplate::compile("/items/{id}/{+rest}");
//   t.expression();    // "/items/([^/]*)/(.*)"
//   t.placeholders();  // {Simple, "id"}, {Reserved, "rest"}
//
// A template without "{" is literal and is matched by exact, case-sensitive equality; its
// expression is empty and it has no tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// How a placeholder was written. `Unbraced` comes only from a "}" outside braces: it has an
// empty name and no capture group of its own, so it shifts the pairing of later groups and names.
enum class PlaceholderKind : uint32_t {
  Unbraced = 0,
  Simple = 1,   // {name}: "([^/]*)"
  Reserved = 2, // {+name}: "(.*)"
  Fragment = 3, // {#name}: "#(.*)"
};

struct Placeholder {
  PlaceholderKind kind = PlaceholderKind::Simple;
  std::string name;

  bool operator==(const Placeholder&) const = default;
};

// One step of the compiled expression. A literal is a run of characters matched as they are
// (the fragment's "#" is one); each capture is one group of the expression, in group order.
struct TemplateToken {
  enum class Kind : uint8_t {
    Literal,        // `text`, compared byte for byte
    SegmentCapture, // "([^/]*)": any characters but "/"
    RestCapture,    // "(.*)": any characters but "\n" and "\r", as ECMAScript's "." has it
  };
  Kind kind = Kind::Literal;
  std::string text;

  bool operator==(const TemplateToken&) const = default;
};

class UrlTemplate {
public:
  // Never fails: every template gives a well-formed expression. Text after an unclosed "{"
  // becomes part of a placeholder name that is never added.
  static UrlTemplate compile(std::string_view templ);

  // The template as given.
  const std::string& text() const { return text_; }
  // True when the template has no "{"; then only text() matters.
  bool isLiteral() const { return literal_; }
  // The ECMAScript expression, without anchors; empty for a literal template.
  const std::string& expression() const { return expression_; }
  // In template order, `Unbraced` ones included; the i-th capture group pairs with the i-th.
  const std::vector<Placeholder>& placeholders() const { return placeholders_; }
  // The expression as the matcher runs it; adjacent literal characters share one token.
  const std::vector<TemplateToken>& tokens() const { return tokens_; }
  // Number of capture groups of the expression.
  size_t groupCount() const { return groupCount_; }

private:
  std::string text_;
  bool literal_ = true;
  std::string expression_;
  std::vector<Placeholder> placeholders_;
  std::vector<TemplateToken> tokens_;
  size_t groupCount_ = 0;
};

} // namespace tav
