// Scanner, parser and value model of the JSON reader for signed-token parts.
#include "banners/json_token_reader.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "banners/token_text.h"
#include "binding/document_limits.h"

namespace tav::json {
namespace {

using Token = Reader::Token;
using TokenType = Reader::TokenType;
using ScanException = Reader::ScanException;
using ParseException = Reader::ParseException;
using banners::IsTokenNumberChar;
using banners::IsTokenWhitespace;

// Reads one string token starting at the opening quote; `pos` ends after the closing quote.
std::string ScanString(std::string_view text, size_t& pos) {
  std::string value;
  ++pos;
  while (true) {
    if (pos >= text.size()) {
      throw ScanException("Expected string: \"");
    }
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return value;
    }
    if (c != '\\') {
      value += c;
      ++pos;
      continue;
    }
    if (pos + 1 >= text.size()) {
      throw ScanException("Expected string: \"");
    }
    char escaped = text[pos + 1];
    switch (escaped) {
    case '"':
    case '/':
    case '\\':
      value += escaped;
      break;
    case 'b':
      value += '\b';
      break;
    case 'f':
      value += '\f';
      break;
    case 'n':
      value += '\n';
      break;
    case 'r':
      value += '\r';
      break;
    case 't':
      value += '\t';
      break;
    case 'u':
      // Kept as written; the four characters after it are then copied like any others.
      value += "\\u";
      break;
    default:
      throw ScanException(std::string("Unrecognized escape sequence found in string: \\") +
                          escaped);
    }
    pos += 2;
  }
}

void ScanWord(std::string_view text, size_t& pos, std::string_view word) {
  if (text.substr(pos, word.size()) != word) {
    throw ScanException("Expected string: " + std::string(word));
  }
  pos += word.size();
}

double ParseNumber(const std::string& text) {
  double value = 0.0;
  const size_t read = ReadNumberPrefix(text, value);
  if (read != text.size()) {
    throw ParseException("Unexpected character in NUMBER token: " + text.substr(read));
  }
  return value;
}

// Hands out the tokens in order; running out while a token is required is an error.
class TokenCursor {
public:
  explicit TokenCursor(const std::vector<Token>& tokens) : tokens_(tokens) {}

  bool atEnd() const { return next_ >= tokens_.size(); }
  const Token* peek() const { return atEnd() ? nullptr : &tokens_[next_]; }
  const Token& take() {
    if (atEnd()) {
      throw ParseException("Unexpected End of token stream");
    }
    return tokens_[next_++];
  }

private:
  const std::vector<Token>& tokens_;
  size_t next_ = 0;
};

// One open container of the parse.
struct Frame {
  explicit Frame(bool object)
      : value(object ? Value::object() : Value::array()), isObject(object) {}

  Value value;
  bool isObject;
  bool first = true;
  std::string pendingName;
  // Views into the token vector, which outlives the parse.
  std::unordered_set<std::string_view> names;
};

} // namespace

size_t ReadNumberPrefix(std::string_view text, double& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  value = 0.0;
  auto [rest, error] = std::from_chars(begin, end, value);
  if (error == std::errc::invalid_argument) {
    return 0;
  }
  if (error == std::errc::result_out_of_range) {
    // from_chars leaves the value untouched; strtod gives the usual infinity or zero.
    value = std::strtod(std::string(begin, rest).c_str(), nullptr);
  }
  return static_cast<size_t>(rest - begin);
}

Value Value::array() {
  Value value;
  value.kind_ = Kind::Array;
  return value;
}

Value Value::object() {
  Value value;
  value.kind_ = Kind::Object;
  return value;
}

const Value* Value::find(std::string_view name) const {
  if (kind_ != Kind::Object) {
    return nullptr;
  }
  for (size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) {
      return &items_[i];
    }
  }
  return nullptr;
}

void Value::reset(Kind kind) {
  *this = Value();
  kind_ = kind;
}

void Value::append(Value element) {
  if (kind_ != Kind::Array) {
    reset(Kind::Array);
  }
  items_.push_back(std::move(element));
}

void Value::insert(std::string name, Value value) {
  if (kind_ != Kind::Object) {
    reset(Kind::Object);
  }
  if (find(name) != nullptr) {
    throw Exception("Object member already exists: " + name);
  }
  appendMember(std::move(name), std::move(value));
}

void Value::appendMember(std::string name, Value value) {
  names_.push_back(std::move(name));
  items_.push_back(std::move(value));
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind_ != b.kind_) {
    return false;
  }
  switch (a.kind_) {
  case Value::Kind::Null:
    return true;
  case Value::Kind::Bool:
    return a.bool_ == b.bool_;
  case Value::Kind::Number:
    return a.number_ == b.number_;
  case Value::Kind::String:
    return a.string_ == b.string_;
  case Value::Kind::Array:
  case Value::Kind::Object:
    return a.names_ == b.names_ && a.items_ == b.items_;
  }
  return false;
}

std::vector<Token> Reader::scan(std::string_view text) {
  std::vector<Token> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    char c = text[pos];
    if (IsTokenWhitespace(c)) {
      ++pos;
      continue;
    }
    switch (c) {
    case '{':
      tokens.push_back({TokenType::ObjectBegin, "{"});
      ++pos;
      break;
    case '}':
      tokens.push_back({TokenType::ObjectEnd, "}"});
      ++pos;
      break;
    case '[':
      tokens.push_back({TokenType::ArrayBegin, "["});
      ++pos;
      break;
    case ']':
      tokens.push_back({TokenType::ArrayEnd, "]"});
      ++pos;
      break;
    case ',':
      tokens.push_back({TokenType::NextElement, ","});
      ++pos;
      break;
    case ':':
      tokens.push_back({TokenType::MemberAssign, ":"});
      ++pos;
      break;
    case '"':
      tokens.push_back({TokenType::String, ScanString(text, pos)});
      break;
    case 't':
      ScanWord(text, pos, "true");
      tokens.push_back({TokenType::Boolean, "true"});
      break;
    case 'f':
      ScanWord(text, pos, "false");
      tokens.push_back({TokenType::Boolean, "false"});
      break;
    case 'n':
      ScanWord(text, pos, "null");
      tokens.push_back({TokenType::Null, "null"});
      break;
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        size_t start = pos;
        while (pos < text.size() && IsTokenNumberChar(text[pos])) {
          ++pos;
        }
        tokens.push_back({TokenType::Number, std::string(text.substr(start, pos - start))});
        break;
      }
      throw ScanException(std::string("Unexpected character in stream: ") + c);
    }
  }
  return tokens;
}

Value Reader::parse(const std::vector<Token>& tokens) {
  TokenCursor cursor(tokens);
  const Token& first = cursor.take();
  if (first.type != TokenType::ObjectBegin) {
    throw ParseException("Unexpected token: " + first.text);
  }

  // Containers are built bottom-up on an explicit stack: a closed container is moved into its
  // parent, so no pointer into a growing parent is ever held.
  std::vector<Frame> stack;
  stack.emplace_back(true);

  while (true) {
    Frame& top = stack.back();
    const TokenType closing = top.isObject ? TokenType::ObjectEnd : TokenType::ArrayEnd;
    const Token* next = cursor.peek();
    if (next == nullptr) {
      throw ParseException("Unexpected end of token stream");
    }

    if (next->type == closing) {
      cursor.take();
      Value done = std::move(top.value);
      stack.pop_back();
      if (stack.empty()) {
        if (const Token* extra = cursor.peek()) {
          throw ParseException("Expected End of token stream; found " + extra->text);
        }
        return done;
      }
      Frame& parent = stack.back();
      if (parent.isObject) {
        parent.value.appendMember(std::move(parent.pendingName), std::move(done));
      } else {
        parent.value.items_.push_back(std::move(done));
      }
      continue;
    }

    if (top.first) {
      top.first = false;
    } else if (next->type == TokenType::NextElement) {
      cursor.take();
    } else {
      throw ParseException("Unexpected token: " + next->text);
    }

    if (top.isObject) {
      const Token& name = cursor.take();
      if (name.type != TokenType::String) {
        throw ParseException("Unexpected token: " + name.text);
      }
      if (!top.names.insert(name.text).second) {
        throw ParseException("Duplicate object member token: " + name.text);
      }
      const Token& assign = cursor.take();
      if (assign.type != TokenType::MemberAssign) {
        throw ParseException("Unexpected token: " + assign.text);
      }
      top.pendingName = name.text;
    }

    const Token& token = cursor.take();
    Value scalar;
    switch (token.type) {
    case TokenType::ObjectBegin:
    case TokenType::ArrayBegin:
      if (stack.size() >= kMaxDocumentDepth) {
        throw ParseException("Maximum nesting depth exceeded at token: " + token.text);
      }
      // Invalidates `top`; the loop starts over with the new frame.
      stack.emplace_back(token.type == TokenType::ObjectBegin);
      continue;
    case TokenType::String:
      scalar = Value(token.text);
      break;
    case TokenType::Number:
      scalar = Value(ParseNumber(token.text));
      break;
    case TokenType::Boolean:
      scalar = Value(token.text == "true");
      break;
    case TokenType::Null:
      break;
    default:
      throw ParseException("Unexpected token: " + token.text);
    }
    if (top.isObject) {
      top.value.appendMember(std::move(top.pendingName), std::move(scalar));
    } else {
      top.value.items_.push_back(std::move(scalar));
    }
  }
}

} // namespace tav::json
