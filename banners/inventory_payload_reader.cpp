// The shape-directed reader of inventory payloads.
#include "banners/inventory_payload_reader.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "banners/token_text.h"

namespace tav::banners {
namespace {

// A guess of the text an item takes, used only to size the list before it is read.
constexpr size_t kItemBytesAtLeast = 128;

class PayloadReader : TokenCursor {
public:
  explicit PayloadReader(std::string_view text) : TokenCursor(text) {}

  bool read(InventoryItemsByType& out) {
    const bool read = readObject({kItemsMember}, [&](size_t) {
      return readObject({kTournamentFlag, kTournamentFrame}, [&](size_t type) {
        return type == 0 ? readList(out.TOURNAMENT_FLAG) : readList(out.TOURNAMENT_FRAME);
      });
    });
    skipWhitespace();
    return read && pos_ == text_.size();
  }

private:
  // An item of either list: its purchase date and its payload, whose reward spec has the
  // members of its own kind.
  template <typename Item> bool readItem(Item& item) {
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

  template <typename Item> bool readList(std::vector<Item>& items) {
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
    items.reserve((text_.size() - pos_) / kItemBytesAtLeast);
    while (true) {
      if (!readItem(items.emplace_back())) {
        return false;
      }
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

  static size_t indexOf(std::initializer_list<std::string_view> names, std::string_view name) {
    size_t index = 0;
    for (const std::string_view candidate : names) {
      if (candidate.size() == name.size() && candidate.front() == name.front() &&
          std::memcmp(candidate.data(), name.data(), name.size()) == 0) {
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
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\\') {
      ++pos_;
    }
    if (pos_ >= text_.size() || text_[pos_] != '"') {
      return false;
    }
    out = text_.substr(start, pos_ - start);
    ++pos_;
    return true;
  }
};

} // namespace

bool ReadInventoryPayload(std::string_view text, InventoryItemsByType& out) {
  return PayloadReader(text).read(out);
}

} // namespace tav::banners
