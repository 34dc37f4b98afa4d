// The JSON reader for signed-token parts: a small value model, a scanner and a parser.
//
// Reading runs in two phases so that callers can tell a lexically broken text from a
// grammatically broken one:
//
//   std::vector<json::Reader::Token> tokens = json::Reader::scan(text); // ScanException
//   json::Value object = json::Reader::parse(tokens);                   // ParseException
//
// or both at once with json::Reader::read(text). The top level must be an object. Strings are
// taken byte for byte; the simple escapes are resolved, but a "\u" escape is kept as written
// (backslash, "u" and the four characters after it), because the token payloads are passed on,
// not displayed. Numbers are read as double. Objects keep their members in the order of the text.
//
// Each exception message is a fixed text followed by the offending text, for example
// "Unexpected token: ]". Nesting is limited to kMaxDocumentDepth containers; the parser keeps
// its own stack, so hostile nesting fails with a ParseException instead of exhausting the
// thread's stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tav::json {

// Base of every error of this reader and of its value model.
class Exception : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A JSON value: null, bool, number (double), string, array or object. Objects keep their
// members in insertion order and never hold a name twice. Copies are deep.
class Value {
public:
  enum class Kind : uint8_t { Null, Bool, Number, String, Array, Object };

  Value() = default; // null
  Value(bool value) : kind_(Kind::Bool), bool_(value) {}
  Value(double value) : kind_(Kind::Number), number_(value) {}
  Value(std::string value) : kind_(Kind::String), string_(std::move(value)) {}
  // Without this overload a string literal would pick the bool constructor.
  Value(const char* value) : Value(std::string(value)) {}

  static Value array();
  static Value object();

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::Null; }
  bool isObject() const { return kind_ == Kind::Object; }
  bool isArray() const { return kind_ == Kind::Array; }

  // The payload when the kind matches, else the fallback.
  bool asBool(bool fallback = false) const { return kind_ == Kind::Bool ? bool_ : fallback; }
  double asNumber(double fallback = 0.0) const {
    return kind_ == Kind::Number ? number_ : fallback;
  }
  std::string_view asString(std::string_view fallback = {}) const {
    return kind_ == Kind::String ? std::string_view(string_) : fallback;
  }

  // Element count of an array, member count of an object, 0 for every other kind.
  size_t size() const { return kind_ == Kind::Array || kind_ == Kind::Object ? items_.size() : 0; }

  // Array elements, or member values of an object in member order.
  std::span<const Value> items() const { return items_; }
  // Name of member i of an object (i < size()).
  const std::string& name(size_t index) const { return names_.at(index); }

  // The member's value, or nullptr when this is not an object or has no such member.
  const Value* find(std::string_view name) const;

  // Appends an element; a value of another kind becomes an empty array first.
  void append(Value element);
  // Adds a member at the end; a value of another kind becomes an empty object first. Throws
  // Exception "Object member already exists: <name>" when the name is taken.
  void insert(std::string name, Value value);

  friend bool operator==(const Value& a, const Value& b);

private:
  friend class Reader;

  void reset(Kind kind);
  // For the parser, which has already ruled out duplicates.
  void appendMember(std::string name, Value value);

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  double number_ = 0.0;
  std::string string_;
  std::vector<std::string> names_; // objects: member names, parallel to items_
  std::vector<Value> items_;       // arrays: elements; objects: member values
};

// Reads the longest prefix of a number token's text as a double and returns its length; the
// whole text when the token is a number. Out-of-range values become infinity or zero.
size_t ReadNumberPrefix(std::string_view text, double& value);

class Reader {
public:
  // A lexical error: a character that cannot start or continue a token, a bad escape, a
  // misspelt true, false or null, or a string without its closing quote.
  class ScanException : public Exception {
  public:
    using Exception::Exception;
  };
  // A grammatical error in a well-formed token stream.
  class ParseException : public Exception {
  public:
    using Exception::Exception;
  };

  enum class TokenType : uint8_t {
    ObjectBegin,  // {
    ObjectEnd,    // }
    ArrayBegin,   // [
    ArrayEnd,     // ]
    NextElement,  // ,
    MemberAssign, // :
    String,       // text holds the unescaped characters
    Number,       // text holds the characters as written
    Boolean,      // text is "true" or "false"
    Null,         // text is "null"
  };

  struct Token {
    TokenType type;
    std::string text;
  };

  // Phase one: the text as tokens. Throws ScanException.
  static std::vector<Token> scan(std::string_view text);
  // Phase two: exactly one object, and nothing after it. Throws ParseException.
  static Value parse(const std::vector<Token>& tokens);
  // Both phases.
  static Value read(std::string_view text) { return parse(scan(text)); }
};

} // namespace tav::json
