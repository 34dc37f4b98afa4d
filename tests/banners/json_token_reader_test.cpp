// Tests of the token reader: its two phases, its messages and its nesting limit.
#include "banners/json_token_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/document_limits.h"

namespace tav::json {
namespace {

enum class Phase { Scan, Parse };

struct ErrorCase {
  std::string text;
  Phase phase;
  std::string message;
};

// Reads `text` and reports which phase threw and with which message.
void ExpectFailure(const ErrorCase& c) {
  try {
    Reader::read(c.text);
    ADD_FAILURE() << "no error for " << c.text;
  } catch (const Reader::ScanException& e) {
    EXPECT_EQ(c.phase, Phase::Scan) << "scan error for " << c.text << ": " << e.what();
    EXPECT_EQ(std::string(e.what()), c.message) << c.text;
  } catch (const Reader::ParseException& e) {
    EXPECT_EQ(c.phase, Phase::Parse) << "parse error for " << c.text << ": " << e.what();
    EXPECT_EQ(std::string(e.what()), c.message) << c.text;
  }
}

TEST(JsonTokenReader, ReportsLexicalErrorsWhileScanning) {
  const ErrorCase cases[] = {
      {R"({"a": tru})", Phase::Scan, "Expected string: true"},
      {R"({"a": True})", Phase::Scan, "Unexpected character in stream: T"},
      {R"({"a": fals})", Phase::Scan, "Expected string: false"},
      {R"({"a": nul})", Phase::Scan, "Expected string: null"},
      {R"({"a": "x\q"})", Phase::Scan, "Unrecognized escape sequence found in string: \\q"},
      {R"({"a": "open})", Phase::Scan, "Expected string: \""},
      {R"({"a": "ends in \)", Phase::Scan, "Expected string: \""},
      {R"({"a": @})", Phase::Scan, "Unexpected character in stream: @"},
      {R"({'a': 1})", Phase::Scan, "Unexpected character in stream: '"},
      {R"({"a": .5})", Phase::Scan, "Unexpected character in stream: ."},
      // Scanning covers the whole text before any grammar is checked.
      {R"([1] x)", Phase::Scan, "Unexpected character in stream: x"},
  };
  for (const ErrorCase& c : cases) {
    ExpectFailure(c);
  }
}

TEST(JsonTokenReader, ReportsGrammaticalErrorsWhileParsing) {
  const ErrorCase cases[] = {
      {"", Phase::Parse, "Unexpected End of token stream"},
      {"  ", Phase::Parse, "Unexpected End of token stream"},
      {"[1]", Phase::Parse, "Unexpected token: ["},
      {R"("text")", Phase::Parse, "Unexpected token: text"},
      {"{", Phase::Parse, "Unexpected end of token stream"},
      {R"({"a":1)", Phase::Parse, "Unexpected end of token stream"},
      {R"({"a":[1)", Phase::Parse, "Unexpected end of token stream"},
      {R"({"a")", Phase::Parse, "Unexpected End of token stream"},
      {R"({"a":)", Phase::Parse, "Unexpected End of token stream"},
      {R"({"a":1,)", Phase::Parse, "Unexpected End of token stream"},
      {R"({"a" 1})", Phase::Parse, "Unexpected token: 1"},
      {R"({1:2})", Phase::Parse, "Unexpected token: 1"},
      {R"({"a":})", Phase::Parse, "Unexpected token: }"},
      {R"({"a":1,})", Phase::Parse, "Unexpected token: }"},
      {R"({"a":[1,]})", Phase::Parse, "Unexpected token: ]"},
      {R"({"a":1 "b":2})", Phase::Parse, "Unexpected token: b"},
      {R"({"a":[1 2]})", Phase::Parse, "Unexpected token: 2"},
      {R"({"a":1]})", Phase::Parse, "Unexpected token: ]"},
      {R"({"a":1}})", Phase::Parse, "Expected End of token stream; found }"},
      {R"({"a":1}{})", Phase::Parse, "Expected End of token stream; found {"},
      {R"({"a":1,"a":2})", Phase::Parse, "Duplicate object member token: a"},
      {R"({"a":1.2.3})", Phase::Parse, "Unexpected character in NUMBER token: .3"},
      {R"({"a":1e})", Phase::Parse, "Unexpected character in NUMBER token: e"},
      {R"({"a":-})", Phase::Parse, "Unexpected character in NUMBER token: -"},
  };
  for (const ErrorCase& c : cases) {
    ExpectFailure(c);
  }
}

TEST(JsonTokenReader, AllowsSameNameInDifferentObjects) {
  Value value = Reader::read(R"({"a":{"a":1},"b":{"a":2}})");
  ASSERT_NE(value.find("b"), nullptr);
  EXPECT_EQ(value.find("b")->find("a")->asNumber(), 2.0);
}

TEST(JsonTokenReader, ScansTokensWithTheirTexts) {
  std::vector<Reader::Token> tokens = Reader::scan(" {\"k\" :\t[true,null,-1.5e+2, false]}\r\n");
  std::vector<std::pair<Reader::TokenType, std::string>> seen;
  for (const Reader::Token& t : tokens) {
    seen.emplace_back(t.type, t.text);
  }
  using T = Reader::TokenType;
  EXPECT_EQ(seen, (std::vector<std::pair<T, std::string>>{
                      {T::ObjectBegin, "{"},
                      {T::String, "k"},
                      {T::MemberAssign, ":"},
                      {T::ArrayBegin, "["},
                      {T::Boolean, "true"},
                      {T::NextElement, ","},
                      {T::Null, "null"},
                      {T::NextElement, ","},
                      {T::Number, "-1.5e+2"},
                      {T::NextElement, ","},
                      {T::Boolean, "false"},
                      {T::ArrayEnd, "]"},
                      {T::ObjectEnd, "}"},
                  }));
}

TEST(JsonTokenReader, ReadsValuesKeepingMemberOrder) {
  Value value = Reader::read("{\"z\":1,\v\"a\":\f[true,null,\"s\",-1.5e2],\"m\":{}}");
  ASSERT_TRUE(value.isObject());
  ASSERT_EQ(value.size(), 3u);
  EXPECT_EQ(value.name(0), "z");
  EXPECT_EQ(value.name(1), "a");
  EXPECT_EQ(value.name(2), "m");
  EXPECT_EQ(value.items()[0].asNumber(), 1.0);

  Value expected = Value::array();
  expected.append(true);
  expected.append(Value());
  expected.append("s");
  expected.append(-150.0);
  EXPECT_TRUE(*value.find("a") == expected);
  EXPECT_TRUE(value.find("m")->isObject());
  EXPECT_EQ(value.find("m")->size(), 0u);
  EXPECT_EQ(value.find("absent"), nullptr);
}

TEST(JsonTokenReader, ResolvesSimpleEscapesAndKeepsUnicodeEscapesAsWritten) {
  Value value = Reader::read(R"({"s":"\"\/\\\b\f\n\r\t","u":"caf\u00e9","raw":"café"})");
  EXPECT_EQ(value.find("s")->asString(), "\"/\\\b\f\n\r\t");
  EXPECT_EQ(value.find("u")->asString(), "caf\\u00e9");
  EXPECT_EQ(value.find("raw")->asString(), "café");
}

TEST(JsonTokenReader, AcceptsNestingUpToTheDocumentLimit) {
  // The top object is one level; the arrays fill the rest.
  std::string arrays =
      std::string(kMaxDocumentDepth - 1, '[') + std::string(kMaxDocumentDepth - 1, ']');
  EXPECT_NO_THROW(Reader::read("{\"a\":" + arrays + "}"));

  ErrorCase tooDeep{"{\"a\":" + std::string(kMaxDocumentDepth, '[') +
                        std::string(kMaxDocumentDepth, ']') + "}",
                    Phase::Parse, "Maximum nesting depth exceeded at token: ["};
  ExpectFailure(tooDeep);
}

TEST(JsonTokenReader, FailsCleanlyOnAMillionOpeningBrackets) {
  ExpectFailure({std::string(1000000, '['), Phase::Parse, "Unexpected token: ["});
  ExpectFailure({"{\"a\":" + std::string(1000000, '['), Phase::Parse,
                 "Maximum nesting depth exceeded at token: ["});
  ExpectFailure({std::string(1000000, '{'), Phase::Parse, "Unexpected token: {"});
}

TEST(JsonValue, RefusesToInsertAnExistingMember) {
  Value object = Value::object();
  object.insert("a", 1.0);
  try {
    object.insert("a", 2.0);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Object member already exists: a");
  }
  EXPECT_EQ(object.size(), 1u);
  EXPECT_EQ(object.find("a")->asNumber(), 1.0);
}

} // namespace
} // namespace tav::json
