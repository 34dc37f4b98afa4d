// Ordering and de-duplication of owned flags, and the default flag and frame level choices.
#include "banners/flag_selection.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>
#include <unordered_map>

namespace tav::banners {
namespace {

// Key of the first-acquired table: one theme within one season.
struct ThemeKey {
  int64_t seasonId;
  std::string_view theme;

  bool operator==(const ThemeKey&) const = default;
};

struct ThemeKeyHash {
  size_t operator()(const ThemeKey& key) const {
    size_t seed = std::hash<std::string_view>{}(key.theme);
    return seed ^ (std::hash<int64_t>{}(key.seasonId) + 0x9E3779B9u + (seed << 6) + (seed >> 2));
  }
};

// When a theme was first and last acquired within a season, and a number of its own.
struct ThemeSpan {
  int64_t first;
  int64_t last;
  size_t group;
};

// Everything the comparison needs, copied out of the entry so the sort touches one array.
struct SortKey {
  int64_t seasonId;
  int64_t themeFirst;
  int64_t themeLast;
  // Equal exactly when seasonId and theme are, so comparing themes of one season is one integer
  // comparison instead of a comparison of their texts.
  size_t group;
  std::string_view theme;
  int64_t level;
  int64_t acquiredAt;
  size_t index;
};

// Lexicographic on (seasonId desc, themeFirst desc, themeLast desc, theme asc, level desc,
// acquiredAt desc), which is a strict weak ordering. Integers are compared directly, never by
// subtraction, so extreme values cannot overflow into the wrong sign.
bool ComesBefore(const SortKey& a, const SortKey& b) {
  if (a.seasonId != b.seasonId) {
    return a.seasonId > b.seasonId;
  }
  if (a.group != b.group) {
    if (a.themeFirst != b.themeFirst) {
      return a.themeFirst > b.themeFirst;
    }
    if (a.themeLast != b.themeLast) {
      return a.themeLast > b.themeLast;
    }
    return a.theme < b.theme;
  }
  if (a.level != b.level) {
    return a.level > b.level;
  }
  return a.acquiredAt > b.acquiredAt;
}

} // namespace

std::vector<OwnedFlag> SortOwnedFlags(std::vector<OwnedFlag> flags) {
  std::unordered_map<ThemeKey, ThemeSpan, ThemeKeyHash> spans;
  spans.reserve(flags.size());
  for (const OwnedFlag& entry : flags) {
    auto [it, inserted] =
        spans.try_emplace(ThemeKey{entry.seasonId, entry.theme},
                          ThemeSpan{entry.acquiredAt, entry.acquiredAt, spans.size()});
    if (!inserted) {
      it->second.first = std::min(it->second.first, entry.acquiredAt);
      it->second.last = std::max(it->second.last, entry.acquiredAt);
    }
  }

  std::vector<SortKey> keys;
  keys.reserve(flags.size());
  for (size_t i = 0; i < flags.size(); ++i) {
    const OwnedFlag& entry = flags[i];
    const ThemeSpan& span = spans.at(ThemeKey{entry.seasonId, entry.theme});
    keys.push_back(SortKey{entry.seasonId, span.first, span.last, span.group, entry.theme,
                           entry.level, entry.acquiredAt, i});
  }
  std::sort(keys.begin(), keys.end(), ComesBefore);

  // Copies of one flag are adjacent after the sort, the latest first; keep only that one.
  std::vector<OwnedFlag> sorted;
  sorted.reserve(flags.size());
  for (const SortKey& key : keys) {
    OwnedFlag& entry = flags[key.index];
    if (!sorted.empty() && SameFlag(sorted.back(), entry)) {
      continue;
    }
    sorted.push_back(std::move(entry));
  }
  return sorted;
}

std::optional<BannerFlag> SelectDefaultFlag(const std::vector<OwnedFlag>& flags) {
  if (flags.empty()) {
    return std::nullopt;
  }
  const OwnedFlag* latest = &flags.front();
  for (const OwnedFlag& entry : flags) {
    if (entry.acquiredAt > latest->acquiredAt) {
      latest = &entry;
    }
  }

  const OwnedFlag* best = nullptr;
  for (const OwnedFlag& entry : flags) {
    if (entry.seasonId != latest->seasonId || entry.theme != latest->theme) {
      continue;
    }
    if (best == nullptr || entry.level > best->level ||
        (entry.level == best->level && entry.acquiredAt > best->acquiredAt)) {
      best = &entry;
    }
  }
  // The latest entry itself always qualifies, so best is set.
  return MakeBannerFlag(*best);
}

std::optional<std::string> SelectSeasonFrameLevel(const std::vector<OwnedFrame>& frames,
                                                  int64_t season) {
  const OwnedFrame* best = nullptr;
  for (const OwnedFrame& entry : frames) {
    if (entry.seasonId == season && (best == nullptr || entry.level > best->level)) {
      best = &entry;
    }
  }
  if (best == nullptr) {
    return std::nullopt;
  }
  return std::to_string(best->level);
}

} // namespace tav::banners
