// The one-pass reader of signed-token parts.
#include "banners/token_part_reader.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "banners/json_token_reader.h"
#include "banners/token_text.h"
#include "binding/binding_document.h"
#include "binding/document_limits.h"
#include "binding/string_table.h"

namespace tav::banners {
namespace {

// 2^20 buckets: 8 MiB of table on 64-bit targets at most, whatever the size of the text.
constexpr size_t kMaxReservedStrings = size_t{1} << 20;

// One open container; its value stays put while it is open, because nothing is appended to
// or inserted into its own parent until it closes.
struct Frame {
  BindingProperty* value;
  bool isObject;
  bool first;
};

class PartReader : TokenCursor {
public:
  explicit PartReader(std::string_view text) : TokenCursor(text) {}

  bool read(BindingProperty& out) {
    skipWhitespace();
    if (!take('{')) {
      return false;
    }
    out.makeStructure();
    // A large part is mostly items that each bring a distinct text or two (dates, ids): the
    // string table is sized once for about one per 64 bytes instead of doubling its way there.
    out.document()->strings().reserve(std::min(text_.size() / 64, kMaxReservedStrings));
    stack_.push_back({&out, true, true});
    while (true) {
      skipWhitespace();
      if (pos_ >= text_.size()) {
        return false;
      }
      Frame& top = stack_.back();
      if (text_[pos_] == (top.isObject ? '}' : ']')) {
        ++pos_;
        stack_.pop_back();
        if (stack_.empty()) {
          skipWhitespace();
          return pos_ == text_.size();
        }
        continue;
      }
      if (top.first) {
        top.first = false;
      } else if (!take(',')) {
        return false;
      } else {
        skipWhitespace();
      }

      BindingProperty* slot;
      if (top.isObject) {
        if (!take('"') || !readString()) {
          return false;
        }
        skipWhitespace();
        if (!take(':')) {
          return false;
        }
        skipWhitespace();
        const size_t before = top.value->size();
        slot = &top.value->member(text());
        // A name may occur once per object.
        if (top.value->size() == before) {
          return false;
        }
      } else {
        slot = &top.value->append();
      }
      if (!readValue(*slot)) {
        return false;
      }
    }
  }

private:
  bool takeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) {
      return false;
    }
    pos_ += word.size();
    return true;
  }

  // A scalar goes into `slot`; a container is made there and opened.
  bool readValue(BindingProperty& slot) {
    if (pos_ >= text_.size()) {
      return false;
    }
    const char c = text_[pos_];
    switch (c) {
    case '{':
    case '[':
      if (stack_.size() >= kMaxDocumentDepth) {
        return false;
      }
      ++pos_;
      if (c == '{') {
        slot.makeStructure();
      } else {
        slot.makeCollection();
      }
      stack_.push_back({&slot, c == '{', true});
      return true;
    case '"':
      ++pos_;
      if (!readString()) {
        return false;
      }
      // The hash goes with the text: values such as purchase dates are mostly distinct, so a
      // look in the cache of recent strings would mostly be wasted.
      slot.setString(text(), StringTable::hashOf(text()));
      return true;
    case 't':
      slot = true;
      return takeWord("true");
    case 'f':
      slot = false;
      return takeWord("false");
    case 'n':
      return takeWord("null");
    default:
      break;
    }
    if (c != '-' && (c < '0' || c > '9')) {
      return false;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && IsTokenNumberChar(text_[pos_])) {
      ++pos_;
    }
    const std::string_view number = text_.substr(start, pos_ - start);
    double value = 0.0;
    if (json::ReadNumberPrefix(number, value) != number.size()) {
      return false;
    }
    slot = value;
    return true;
  }

  // Reads a string after its opening quote. Without escapes the text stays a view into the
  // input; with them it is unescaped into the scratch buffer. "\u" is kept as written.
  bool readString() {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\\') {
      ++pos_;
    }
    if (pos_ >= text_.size()) {
      return false;
    }
    if (text_[pos_] == '"') {
      view_ = text_.substr(start, pos_ - start);
      ++pos_;
      return true;
    }
    scratch_.assign(text_.substr(start, pos_ - start));
    while (true) {
      if (pos_ >= text_.size()) {
        return false;
      }
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        view_ = scratch_;
        return true;
      }
      if (c != '\\') {
        scratch_ += c;
        ++pos_;
        continue;
      }
      if (pos_ + 1 >= text_.size()) {
        return false;
      }
      switch (text_[pos_ + 1]) {
      case '"':
      case '/':
      case '\\':
        scratch_ += text_[pos_ + 1];
        break;
      case 'b':
        scratch_ += '\b';
        break;
      case 'f':
        scratch_ += '\f';
        break;
      case 'n':
        scratch_ += '\n';
        break;
      case 'r':
        scratch_ += '\r';
        break;
      case 't':
        scratch_ += '\t';
        break;
      case 'u':
        scratch_ += "\\u";
        break;
      default:
        return false;
      }
      pos_ += 2;
    }
  }

  // The string just read; valid until the next one is read.
  std::string_view text() const { return view_; }

  std::vector<Frame> stack_;
  std::string scratch_;
  std::string_view view_;
};

} // namespace

bool ReadTokenPart(std::string_view text, BindingProperty& out) {
  out.clear();
  return PartReader(text).read(out);
}

} // namespace tav::banners
