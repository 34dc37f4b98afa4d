// The shape-directed reader of inventory payloads.
#include "banners/inventory_payload_reader.h"

#include <cstdint>
#include <string>

namespace tav::banners {
namespace {

// A guess of the text an item takes, used only to size the list before it is read.
constexpr size_t kItemBytesAtLeast = 128;

bool IsWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class PayloadReader {
public:
  explicit PayloadReader(std::string_view text) : text_(text) {}

  bool read(InventoryItemsByType& out) {
    const bool read = readObject([&](std::string_view name) {
      return name == kItemsMember && readObject([&](std::string_view type) {
               if (type == kTournamentFlag) {
                 return readList(out.TOURNAMENT_FLAG, &PayloadReader::readFlagItem);
               }
               if (type == kTournamentFrame) {
                 return readList(out.TOURNAMENT_FRAME, &PayloadReader::readFrameItem);
               }
               return false;
             });
    });
    skipWhitespace();
    return read && pos_ == text_.size();
  }

private:
  bool readFlagItem(TournamentFlagInventoryItem& item) {
    return readObject([&](std::string_view name) {
      if (name == "purchaseDate") {
        return readString(item.purchaseDate);
      }
      return name == "payload" && readObject([&](std::string_view member) {
               if (member == "rewardType") {
                 return readString(item.payload.rewardType);
               }
               BrakkV2FlagRewardSpec& spec = item.payload.rewardSpec;
               return member == "rewardSpec" && readObject([&](std::string_view field) {
                        return field == "theme"      ? readString(spec.theme)
                               : field == "level"    ? readString(spec.level)
                               : field == "seasonId" ? readString(spec.seasonId)
                                                     : false;
                      });
             });
    });
  }

  bool readFrameItem(TournamentFrameInventoryItem& item) {
    return readObject([&](std::string_view name) {
      if (name == "purchaseDate") {
        return readString(item.purchaseDate);
      }
      return name == "payload" && readObject([&](std::string_view member) {
               if (member == "rewardType") {
                 return readString(item.payload.rewardType);
               }
               BrakkV2FrameRewardSpec& spec = item.payload.rewardSpec;
               return member == "rewardSpec" && readObject([&](std::string_view field) {
                        return field == "level"      ? readString(spec.level)
                               : field == "seasonId" ? readString(spec.seasonId)
                                                     : false;
                      });
             });
    });
  }

  template <typename Item>
  bool readList(std::vector<Item>& items, bool (PayloadReader::*readItem)(Item&)) {
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
      if (!(this->*readItem)(items.emplace_back())) {
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

  // An object whose every member `member` reads (it answers false for a name it does not take).
  // Names are short and few, so a repeated one is found by keeping the names seen so far.
  template <typename Member> bool readObject(Member&& member) {
    skipWhitespace();
    if (!take('{')) {
      return false;
    }
    skipWhitespace();
    if (take('}')) {
      return true;
    }
    std::string_view seen[4];
    size_t seenCount = 0;
    while (true) {
      std::string_view name;
      if (!readView(name)) {
        return false;
      }
      for (size_t i = 0; i < seenCount; ++i) {
        if (seen[i] == name) {
          return false;
        }
      }
      if (seenCount == std::size(seen)) {
        return false; // no record here has more members
      }
      seen[seenCount++] = name;
      skipWhitespace();
      if (!take(':') || !member(name)) {
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

  void skipWhitespace() {
    while (pos_ < text_.size() && IsWhitespace(text_[pos_])) {
      ++pos_;
    }
  }

  bool take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

} // namespace

bool ReadInventoryPayload(std::string_view text, InventoryItemsByType& out) {
  return PayloadReader(text).read(out);
}

} // namespace tav::banners
