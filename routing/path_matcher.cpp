// matchPath: a right-to-left reachability table, then a greedy left-to-right choice of groups.
//
// ECMAScript backtracking over a sequence of literals and greedy single-character-class groups
// returns the first full match in its search order, which tries longer groups first: that is
// the feasible assignment whose group lengths are lexicographically greatest. The table tells,
// for every token and position, whether the rest of the template can match the rest of the
// path; with it each group takes the longest run that still lets the rest match.
#include "routing/path_matcher.h"

#include <cstddef>

namespace tav {
namespace {

bool inClass(TemplateToken::Kind kind, char c) {
  if (kind == TemplateToken::Kind::SegmentCapture) {
    return c != '/';
  }
  // ECMAScript's "." stops at line terminators; for narrow characters that is "\n" and "\r".
  return c != '\n' && c != '\r';
}

// reachable(i, p): tokens i.. match path[p..] exactly. One bit per (token, position).
class Reachability {
public:
  Reachability(const std::vector<TemplateToken>& tokens, std::string_view path)
      : width_(path.size() + 1), bits_((tokens.size() + 1) * width_, false) {
    const size_t n = path.size();
    bits_[at(tokens.size(), n)] = true;
    for (size_t i = tokens.size(); i-- > 0;) {
      const TemplateToken& token = tokens[i];
      if (token.kind == TemplateToken::Kind::Literal) {
        const size_t len = token.text.size();
        for (size_t p = 0; p + len <= n; ++p) {
          bits_[at(i, p)] = bits_[at(i + 1, p + len)] && path.compare(p, len, token.text) == 0;
        }
      } else {
        // Either the group stops here, or it takes path[p] and continues from p + 1.
        for (size_t p = n + 1; p-- > 0;) {
          bits_[at(i, p)] =
              bits_[at(i + 1, p)] || (p < n && inClass(token.kind, path[p]) && bits_[at(i, p + 1)]);
        }
      }
    }
  }

  bool operator()(size_t token, size_t position) const { return bits_[at(token, position)]; }

private:
  size_t at(size_t token, size_t position) const { return token * width_ + position; }

  size_t width_;
  std::vector<bool> bits_;
};

} // namespace

std::optional<std::vector<std::string_view>> matchPath(const UrlTemplate& templ,
                                                       std::string_view path) {
  if (templ.isLiteral()) {
    if (path != templ.text()) {
      return std::nullopt;
    }
    return std::vector<std::string_view>{};
  }

  const std::vector<TemplateToken>& tokens = templ.tokens();
  Reachability reachable(tokens, path);
  if (!reachable(0, 0)) {
    return std::nullopt;
  }

  std::vector<std::string_view> captures;
  captures.reserve(templ.groupCount());
  size_t p = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const TemplateToken& token = tokens[i];
    if (token.kind == TemplateToken::Kind::Literal) {
      p += token.text.size();
      continue;
    }
    size_t run = 0;
    while (p + run < path.size() && inClass(token.kind, path[p + run])) {
      ++run;
    }
    // reachable(i, p) holds, so some length within the run lets the rest match.
    size_t len = run;
    while (!reachable(i + 1, p + len)) {
      --len;
    }
    captures.push_back(path.substr(p, len));
    p += len;
  }
  return captures;
}

} // namespace tav
