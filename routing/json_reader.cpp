// readJson: RapidJSON's SAX reader feeding a handler that builds the value tree in place.
#include "routing/json_reader.h"

#include "binding/document_limits.h"
#include "binding/pending_elements.h"
#include "foundation/message_format.h"

#include <rapidjson/reader.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory_resource>
#include <string>
#include <system_error>
#include <vector>

namespace tav {
namespace {

// Whether a JSON number that std::from_chars found out of range is too large (true) or too close
// to zero (false). The text has passed RapidJSON's number grammar, so only the position of the
// first significant digit and the exponent decide.
bool magnitudeIsLarge(const char* text, const char* end) {
  const char* p = text;
  if (*p == '-') {
    ++p;
  }
  int64_t leading = 0; // decimal exponent of the first significant digit
  bool found = false;
  int64_t integerDigits = 0;
  for (; p != end && *p >= '0' && *p <= '9'; ++p) {
    if (!found && *p != '0') {
      found = true;
      leading = -integerDigits; // fixed up below once the integer part's length is known
    }
    ++integerDigits;
  }
  if (found) {
    leading += integerDigits - 1;
  }
  if (p != end && *p == '.') {
    ++p;
    for (int64_t position = 1; p != end && *p >= '0' && *p <= '9'; ++p, ++position) {
      if (!found && *p != '0') {
        found = true;
        leading = -position;
      }
    }
  }
  int64_t exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
      negative = *p == '-';
      ++p;
    }
    // Saturate: beyond a billion the answer no longer changes.
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
      if (exponent < 1'000'000'000) {
        exponent = exponent * 10 + (*p - '0');
      }
    }
    if (negative) {
      exponent = -exponent;
    }
  }
  return leading + exponent > 0;
}

// Stores a number's text as a number in `out`; false when it is too large for a double. Numbers
// reach the handler as text so that RapidJSON's own conversion, whose exponent arithmetic can
// overflow, never runs.
bool convertNumber(BindingProperty& out, const char* text, size_t length) {
  const char* end = text + length;
  const bool minus = *text == '-';
  // Most numbers are short integers: up to 19 digits cannot overflow 64 bits, so they are summed
  // directly; anything else (fraction, exponent, more digits) takes the general path below.
  const char* digits = text + (minus ? 1 : 0);
  const char* p = digits;
  uint64_t value = 0;
  while (p != end && static_cast<unsigned char>(*p - '0') <= 9) {
    value = value * 10 + static_cast<unsigned char>(*p - '0');
    ++p;
  }
  if (p == end && p - digits <= 19) {
    if (!minus) {
      out.setUnsigned(value);
      return true;
    }
    if (value <= uint64_t{1} << 63) {
      out.setSigned(static_cast<int64_t>(uint64_t{0} - value));
      return true;
    }
  }
  // A longer integer may still fit in 64 bits; one that does not is read as a double, as
  // RapidJSON reads it. Digits that stop before the end met a fraction or an exponent: a double.
  if (p == end && minus) {
    int64_t wide = 0;
    const auto parsed = std::from_chars(text, end, wide);
    if (parsed.ec == std::errc() && parsed.ptr == end) {
      out.setSigned(wide);
      return true;
    }
  } else if (p == end) {
    uint64_t wide = 0;
    const auto parsed = std::from_chars(text, end, wide);
    if (parsed.ec == std::errc() && parsed.ptr == end) {
      out.setUnsigned(wide);
      return true;
    }
  }
  double number = 0;
  if (std::from_chars(text, end, number).ec == std::errc::result_out_of_range) {
    if (magnitudeIsLarge(text, end)) {
      return false;
    }
    number = minus ? -0.0 : 0.0;
  }
  out = number;
  return true;
}

// Why the handler stopped the parse, so that the reader's termination error can be replaced by
// the real reason at the same offset.
enum class StopReason : uint8_t { None, TooDeep, NumberTooBig };

// Builds the tree while RapidJSON reads. The elements of an open array, scalars and containers
// alike, wait in a pending list and enter their collection together when it closes, so that a
// collection is allocated once at its final size instead of growing element by element; an array
// or object that is an array's element is built where it waits.
class JsonTreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, JsonTreeBuilder> {
public:
  JsonTreeBuilder(BindingProperty& root, std::pmr::memory_resource& scratch)
      : root_(root), stack_(&scratch), pending_(scratch) {
    stack_.reserve(kInitialFrames);
  }

  StopReason stopReason() const { return stopReason_; }

  // Strings point into the working copy of the document, which outlives the parse.
  bool Null() {
    target().clear();
    return true;
  }
  bool Bool(bool value) {
    target() = value;
    return true;
  }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    if (!convertNumber(target(), text, length)) {
      stopReason_ = StopReason::NumberTooBig;
      return false;
    }
    return true;
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    target().setString(std::string_view(text, length));
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    pendingMember_ = &container(stack_.back()).member(std::string_view(text, length));
    return true;
  }
  bool StartObject() { return open(false); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(true); }
  bool EndArray(rapidjson::SizeType) { return close(); }

private:
  // Room reserved up front, so that small documents never grow the stack.
  static constexpr size_t kInitialFrames = 16;

  struct Frame {
    BindingProperty* held; // the container when the tree holds it (root or member), else null
    size_t index;          // where in pending_ the container waits when held is null
    size_t firstPending;   // index in pending_ of an array's first element
    bool isArray;
  };

  // Pending values move as the list grows, so a waiting container is found by its index.
  BindingProperty& container(const Frame& frame) {
    return frame.held ? *frame.held : pending_[frame.index];
  }

  // Where the next value goes: the root, a new element of the open array, or the member whose
  // key came last.
  BindingProperty& target() {
    if (stack_.empty())
      return root_;
    if (stack_.back().isArray)
      return pending_.push(root_.document());
    return *pendingMember_;
  }

  // A repeated key keeps an existing container of the same kind, so arrays append and objects
  // merge; makeCollection and makeStructure leave such a container as it is.
  bool open(bool isArray) {
    if (stack_.size() == kMaxDocumentDepth) {
      stopReason_ = StopReason::TooDeep;
      return false;
    }
    const bool inArray = !stack_.empty() && stack_.back().isArray;
    const size_t index = pending_.size();
    BindingProperty& opened = target();
    if (isArray) {
      opened.makeCollection();
    } else {
      opened.makeStructure();
    }
    stack_.push_back(Frame{inArray ? nullptr : &opened, index, pending_.size(), isArray});
    return true;
  }

  bool close() {
    const Frame& top = stack_.back();
    if (top.isArray) {
      pending_.moveTo(container(top), top.firstPending);
    }
    stack_.pop_back();
    return true;
  }

  BindingProperty& root_;
  std::pmr::vector<Frame> stack_;
  PendingElements pending_;
  BindingProperty* pendingMember_ = nullptr;
  StopReason stopReason_ = StopReason::None;
};

// In-situ parsing decodes strings and hands out numbers in place, in a working copy of the text,
// instead of copying each through the reader's stack. The reader recurses once per level of
// nesting; the builder stops it at the depth limit, which bounds its stack.
constexpr unsigned kParseFlags =
    rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;

constexpr size_t kLocalCopySize = 1024;

// Room on the stack for the reader's and the builder's own stacks, which a usual body never
// outgrows; larger documents continue on the heap.
constexpr size_t kScratchSize = 2048;
constexpr size_t kReaderStackCapacity = 256;

using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>,
                                        rapidjson::MemoryPoolAllocator<>>;

bool isJsonSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first byte at or after `p` that is not white space. The text ends in a zero byte before
// `end`, so the scan always stops inside it. Most runs are a byte or two (after a colon or a
// comma); the indentation of a pretty-printed document is taken sixteen bytes at a time.
char* skipSpace(char* p, const char* end) {
  if (!isJsonSpace(*p))
    return p;
  ++p;
  if (!isJsonSpace(*p))
    return p;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  const __m128i lineFeed = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i spaces = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, tab)),
        _mm_or_si128(_mm_cmpeq_epi8(bytes, carriageReturn), _mm_cmpeq_epi8(bytes, lineFeed)));
    const unsigned others = ~static_cast<unsigned>(_mm_movemask_epi8(spaces)) & 0xFFFFu;
    if (others != 0)
      return p + __builtin_ctz(others);
  }
#endif
  while (isJsonSpace(*p))
    ++p;
  return p;
}

// The first byte at or after `p` that is not a decimal digit; like skipSpace(), it stops inside
// the copy at the latest at the zero byte. Fractions of seventeen digits are common, so digits are
// tested eight at a time: a byte is a digit when, XORed with '0', it is below 10.
const char* skipDigits(const char* p, const char* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr uint64_t kEach = 0x0101010101010101u;
  for (; end - p >= 8; p += 8) {
    uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const uint64_t values = bytes ^ (kEach * '0');
    // The high bit of a byte is set when its value is 10 or more (no carry crosses a byte).
    const uint64_t others =
        (((values & (kEach * 0x7F)) + kEach * (0x80 - 10)) | values) & (kEach * 0x80);
    if (others != 0)
      return p + __builtin_ctzll(others) / 8;
  }
#endif
  while (static_cast<unsigned char>(*p - '0') <= 9)
    ++p;
  return p;
}

// The working copy as the reader's stream: RapidJSON's in-place stream that also knows where the
// copy ends, for skipSpace().
struct WorkingStream : rapidjson::InsituStringStream {
  WorkingStream(char* text, const char* end) : rapidjson::InsituStringStream(text), end(end) {}
  const char* end; // one past the zero byte that ends the copy
};

} // namespace
} // namespace tav

namespace rapidjson {
// Kept in registers during the parse, as RapidJSON's own in-place stream is.
template <> struct StreamTraits<tav::WorkingStream> {
  enum { copyOptimization = 1 };
};
template <> inline void SkipWhitespace(tav::WorkingStream& stream) {
  stream.src_ = tav::skipSpace(stream.src_, stream.end);
}

#if defined(__SSE2__)
// The reader copies a string's bytes one at a time, in place, even where no escape has moved them.
// Here runs without a quote, backslash or control character are found sixteen bytes at a time
// while that many are left in the working copy, and copied only once an escape has opened a gap.
template <>
template <>
inline void
tav::Reader::ScanCopyUnescapedString<tav::WorkingStream, tav::WorkingStream>(tav::WorkingStream& is,
                                                                             tav::WorkingStream&) {
  char* p = is.src_;
  char* q = is.dst_;
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i control = _mm_set1_epi8(0x1F);
  for (; is.end - p >= 16; p += 16, q += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // A byte below 0x20 is one whose unsigned minimum with 0x1F is itself.
    const __m128i stops =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                     _mm_cmpeq_epi8(_mm_min_epu8(bytes, control), bytes));
    const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(stops));
    if (found != 0) {
      const unsigned length = static_cast<unsigned>(__builtin_ctz(found));
      if (p != q)
        std::memmove(q, p, length);
      is.src_ = p + length;
      is.dst_ = q + length;
      return;
    }
    if (p != q)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(q), bytes);
  }
  // The last few bytes one at a time; the zero byte that ends the copy stops the scan.
  while (*p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20)
    *q++ = *p++;
  is.src_ = p;
  is.dst_ = q;
}
#endif

// The reader's own number routine builds each number's value digit by digit, a multiplication
// per digit, even when it then hands the number out as text; on a document of numbers that was a
// fifth of the time. The usual number (up to 18 integer digits, perhaps a fraction, no exponent)
// is only scanned here, which is all the reader's routine would do with it: no error is possible
// and it ends where this scan ends. Anything else, errors included, goes to the reader's own
// routine, instantiated with a flag it does not look at, so that its errors and their offsets
// stay exactly its own.
template <>
template <>
void tav::Reader::ParseNumber<tav::kParseFlags, tav::WorkingStream, tav::JsonTreeBuilder>(
    tav::WorkingStream& is, tav::JsonTreeBuilder& handler) {
  constexpr size_t kPlainIntegerDigits = 18; // always within 64 bits, signed or not
  const auto isDigit = [](char c) { return static_cast<unsigned char>(c - '0') <= 9; };
  char* const start = is.src_;
  const char* p = start + (*start == '-' ? 1 : 0);
  const char* const integer = p;
  bool plain = false;
  if (*p == '0') {
    ++p;
    plain = true;
  } else if (*p >= '1' && *p <= '9') {
    do
      ++p;
    while (isDigit(*p));
    plain = static_cast<size_t>(p - integer) <= kPlainIntegerDigits;
  }
  if (plain && *p == '.') {
    ++p;
    plain = isDigit(*p);
    p = tav::skipDigits(p, is.end);
  }
  if (!plain || *p == 'e' || *p == 'E') {
    ParseNumber<tav::kParseFlags | kParseCommentsFlag>(is, handler);
    return;
  }
  is.src_ = const_cast<char*>(p);
  if (RAPIDJSON_UNLIKELY(!handler.RawNumber(start, static_cast<SizeType>(p - start), false)))
    RAPIDJSON_PARSE_ERROR(kParseErrorTermination, static_cast<size_t>(start - is.head_));
}
} // namespace rapidjson

namespace tav {

const char* jsonErrorText(int code) {
  switch (code) {
  case 2:
    return "The document root must not be followed by other values.";
  case 3:
    return "Invalid value.";
  case 4:
    return "Missing a name for object member.";
  case 5:
    return "Missing a colon after a name of object member.";
  case 6:
    return "Missing a comma or '}' after an object member.";
  case 7:
    return "Missing a comma or ']' after an array element.";
  case 8:
    return "Incorrect hex digit after \\u escape in string.";
  case 9:
    return "The surrogate pair in string is invalid.";
  case 10:
    return "Invalid escape character in string.";
  case 11:
    return "Missing a closing quotation mark in string.";
  case 12:
    return "Invalid encoding in string.";
  case 13:
    return "Number too big to be stored in double.";
  case 14:
    return "Miss fraction part in number.";
  case 15:
    return "Miss exponent in number.";
  case 16:
    return "Terminate parsing due to Handler error.";
  case 17:
    return "Unspecific syntax error.";
  default:
    return "Unknown error.";
  }
}

BindingResult readJson(std::string_view text) {
  BindingResult result;
  size_t start = 0;
  while (start < text.size() && isJsonSpace(text[start])) {
    ++start;
  }
  if (start == text.size() || text[start] == '\0') {
    return result;
  }

  // The reader stops at the copy's first zero byte, as it would in a zero-terminated text. Small
  // texts, the usual request bodies, are copied to the stack rather than the heap.
  char local[kLocalCopySize];
  std::string heapCopy;
  char* working = local;
  if (text.size() < kLocalCopySize) {
    std::memcpy(local, text.data(), text.size());
    local[text.size()] = '\0';
  } else {
    heapCopy.assign(text);
    working = heapCopy.data();
  }
  WorkingStream stream(working, working + text.size() + 1);
  alignas(std::max_align_t) std::byte builderScratch[kScratchSize];
  std::pmr::monotonic_buffer_resource builderStacks(builderScratch, sizeof builderScratch);
  JsonTreeBuilder builder(result, builderStacks);
  alignas(std::max_align_t) char readerScratch[kScratchSize];
  rapidjson::MemoryPoolAllocator<> readerStack(readerScratch, sizeof readerScratch);
  Reader reader(&readerStack, kReaderStackCapacity);
  const rapidjson::ParseResult parsed = reader.Parse<kParseFlags>(stream, builder);
  if (!parsed.IsError()) {
    return result;
  }

  int code = parsed.Code();
  size_t offset = parsed.Offset();
  const char* errorText = nullptr;
  if (code == rapidjson::kParseErrorTermination) {
    switch (builder.stopReason()) {
    case StopReason::TooDeep:
      // The reader has taken the bracket that opens one level too many; the error is reported
      // where that bracket stands.
      errorText = "Document nested too deeply";
      --offset;
      break;
    case StopReason::NumberTooBig:
      code = rapidjson::kParseErrorNumberTooBig;
      break;
    case StopReason::None:
      break;
    }
  }
  if (errorText == nullptr) {
    errorText = jsonErrorText(code);
  }
  // Offsets are reported as 32-bit numbers, as the host's 32-bit build does.
  result.setError(
      formatMessage("Error: %s at offset %u.", errorText, static_cast<uint32_t>(offset)));
  return result;
}

} // namespace tav
