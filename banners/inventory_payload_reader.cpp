// The shape-directed reader of inventory payloads.
#include "banners/inventory_payload_reader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "banners/token_text.h"
#include "foundation/short_bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tav::banners {
namespace {

// A guess of the text an item takes, used only to size the list before it is read.
constexpr size_t kItemBytesAtLeast = 128;

// The offset of the first '"' or '\\' in the n bytes at text, or n when there is none. Sixteen
// bytes are looked at a time, so that the string's end, nearly always among a token's first
// sixteen bytes, is found without a branch per byte to mispredict; eight at a time without SSE2.
inline size_t QuoteOrBackslashWithin(const char* text, size_t n) {
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  for (; at + 16 <= n; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const int found = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
    if (found != 0) {
      return at + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(found)));
    }
  }
#else
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101;
    constexpr uint64_t kHighBits = 0x8080808080808080;
    // Marks the zero bytes of a word; only marks above the first one can be false.
    auto zeroBytes = [](uint64_t word) { return (word - kOnes) & ~word & kHighBits; };
    for (; at + 8 <= n; at += 8) {
      uint64_t word;
      std::memcpy(&word, text + at, sizeof word);
      const uint64_t found = zeroBytes(word ^ (kOnes * '"')) | zeroBytes(word ^ (kOnes * '\\'));
      if (found != 0) {
        return at + static_cast<size_t>(std::countr_zero(found)) / 8;
      }
    }
  }
#endif
  while (at < n && text[at] != '"' && text[at] != '\\') {
    ++at;
  }
  return at;
}

class PayloadReader : TokenCursor {
public:
  PayloadReader(std::string_view text, InventoryItemSink& sink) : TokenCursor(text), sink_(sink) {}

  bool read() {
    const bool read = readObject({kItemsMember}, [&](size_t) {
      return readObject({kTournamentFlag, kTournamentFrame}, [&](size_t type) {
        return type == 0 ? readList<TournamentFlagInventoryItem>(kTournamentFlag)
                         : readList<TournamentFrameInventoryItem>(kTournamentFrame);
      });
    });
    skipWhitespace();
    return read && pos_ == text_.size();
  }

private:
  // An item of either list: its purchase date and its payload, whose reward spec has the
  // members of its own kind. The record is the one of the item before: every member starts out
  // empty again, keeping the room its texts had, so that items of the usual size are read
  // without allocating.
  template <typename Item> bool readItem(Item& item) {
    clear(item.purchaseDate, item.payload.rewardType);
    clearSpec(item.payload.rewardSpec);
    return readObject({"purchaseDate", "payload"}, [&](size_t name) {
      if (name == 0) {
        return readString(item.purchaseDate);
      }
      return readObject({"rewardType", "rewardSpec"}, [&](size_t member) {
        return member == 0 ? readString(item.payload.rewardType)
                           : readSpec(item.payload.rewardSpec);
      });
    });
  }

  template <typename... Text> static void clear(Text&... texts) { (texts.clear(), ...); }
  static void clearSpec(BrakkV2FlagRewardSpec& spec) {
    clear(spec.theme, spec.level, spec.seasonId);
  }
  static void clearSpec(BrakkV2FrameRewardSpec& spec) { clear(spec.level, spec.seasonId); }

  bool readSpec(BrakkV2FlagRewardSpec& spec) {
    std::string* const fields[] = {&spec.theme, &spec.level, &spec.seasonId};
    return readObject({"theme", "level", "seasonId"},
                      [&](size_t field) { return readString(*fields[field]); });
  }

  bool readSpec(BrakkV2FrameRewardSpec& spec) {
    std::string* const fields[] = {&spec.level, &spec.seasonId};
    return readObject({"level", "seasonId"},
                      [&](size_t field) { return readString(*fields[field]); });
  }

  template <typename Item> bool readList(std::string_view type) {
    skipWhitespace();
    if (!take('[')) {
      return false;
    }
    skipWhitespace();
    if (take(']')) {
      return true;
    }
    // An item of the inventory's shape takes well over 100 bytes of text, so this is about the
    // count for the usual single list, and never more than 1.5 times the text in records: the
    // list grows once instead of doubling its way to 100,000 items.
    sink_.expect(type, (text_.size() - pos_) / kItemBytesAtLeast);
    Item item;
    while (true) {
      if (!readItem(item)) {
        return false;
      }
      sink_.take(item);
      skipWhitespace();
      if (take(']')) {
        return true;
      }
      if (!take(',')) {
        return false;
      }
    }
  }

  // An object whose members all have one of `names`, each at most once; member(i) reads the
  // value of names[i]. Any other name, or one named twice, refuses the text.
  template <typename Member>
  bool readObject(std::initializer_list<std::string_view> names, Member&& member) {
    skipWhitespace();
    if (!take('{')) {
      return false;
    }
    skipWhitespace();
    if (take('}')) {
      return true;
    }
    uint32_t seen = 0;
    while (true) {
      std::string_view name;
      if (!readView(name)) {
        return false;
      }
      const size_t index = indexOf(names, name);
      if (index == names.size() || (seen & (1u << index)) != 0) {
        return false;
      }
      seen |= 1u << index;
      skipWhitespace();
      if (!take(':') || !member(index)) {
        return false;
      }
      skipWhitespace();
      if (take('}')) {
        return true;
      }
      if (!take(',')) {
        return false;
      }
    }
  }

  // Names are a few bytes long, and several share a prefix (rewardSpec, rewardType).
  static size_t indexOf(std::initializer_list<std::string_view> names, std::string_view name) {
    size_t index = 0;
    for (const std::string_view candidate : names) {
      if (candidate.size() == name.size() &&
          sameBytes(candidate.data(), name.data(), name.size())) {
        break;
      }
      ++index;
    }
    return index;
  }

  bool readString(std::string& out) {
    std::string_view text;
    if (!readView(text)) {
      return false;
    }
    out.assign(text);
    return true;
  }

  // A string without escapes, as the bytes between its quotes.
  bool readView(std::string_view& out) {
    skipWhitespace();
    if (!take('"')) {
      return false;
    }
    const char* const data = text_.data();
    const size_t size = text_.size();
    const size_t start = pos_;
    size_t at = start + QuoteOrBackslashWithin(data + start, size - start);
    if (at >= size || data[at] != '"') {
      return false;
    }
    out = std::string_view(data + start, at - start);
    pos_ = at + 1;
    return true;
  }

  InventoryItemSink& sink_;
};

} // namespace

bool ReadInventoryPayload(std::string_view text, InventoryItemSink& sink) {
  return PayloadReader(text, sink).read();
}

bool ReadInventoryPayload(std::string_view text, InventoryItemsByType& out) {
  InventoryListSink lists(out);
  return ReadInventoryPayload(text, lists);
}

void InventoryListSink::expect(std::string_view type, size_t count) {
  if (type == kTournamentFlag) {
    lists_.TOURNAMENT_FLAG.reserve(lists_.TOURNAMENT_FLAG.size() + count);
  } else if (type == kTournamentFrame) {
    lists_.TOURNAMENT_FRAME.reserve(lists_.TOURNAMENT_FRAME.size() + count);
  }
}

void InventoryListSink::take(TournamentFlagInventoryItem& item) {
  lists_.TOURNAMENT_FLAG.push_back(std::move(item));
}

void InventoryListSink::take(TournamentFrameInventoryItem& item) {
  lists_.TOURNAMENT_FRAME.push_back(std::move(item));
}

void InventoryListSink::drop(std::string_view type) {
  if (type == kTournamentFlag) {
    lists_.TOURNAMENT_FLAG.clear();
  } else if (type == kTournamentFrame) {
    lists_.TOURNAMENT_FRAME.clear();
  }
}

} // namespace tav::banners
