// Ordering and de-duplication of owned flags, and the default flag and frame level choices.
#include "banners/flag_selection.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace tav::banners {
namespace {

// Key of the first-acquired table: one theme within one season.
struct ThemeKey {
  int64_t seasonId;
  std::string_view theme;
};

// One theme within one season: when it was first and last acquired.
struct ThemeGroup {
  int64_t seasonId;
  std::string_view theme;
  int64_t first;
  int64_t last;
};

// The number of each (season, theme) group, in a flat open-addressed table of group numbers: one
// allocation for any count of entries, where a node-based map would allocate per group.
class GroupTable {
public:
  explicit GroupTable(size_t entries)
      : slots_(std::bit_ceil(std::max<size_t>(2 * entries, 16)), kFree) {}

  // The group of key among groups, or groups.size() when it has none yet; the caller then adds
  // it under that number.
  size_t numberOf(const ThemeKey& key, const std::vector<ThemeGroup>& groups) {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hashOf(key) & mask;; slot = (slot + 1) & mask) {
      if (slots_[slot] == kFree) {
        slots_[slot] = groups.size();
        return groups.size();
      }
      const ThemeGroup& group = groups[slots_[slot]];
      if (group.seasonId == key.seasonId && group.theme == key.theme) {
        return slots_[slot];
      }
    }
  }

private:
  static constexpr size_t kFree = SIZE_MAX;

  static size_t hashOf(const ThemeKey& key) {
    const size_t seed = std::hash<std::string_view>{}(key.theme);
    return seed ^ (std::hash<int64_t>{}(key.seasonId) + 0x9E3779B9u + (seed << 6) + (seed >> 2));
  }

  std::vector<size_t> slots_;
};

// Groups in list order: seasonId desc, first desc, last desc, theme asc. Two groups always differ
// in season or theme, so this is a strict total order on them.
bool GroupComesBefore(const ThemeGroup& a, const ThemeGroup& b) {
  if (a.seasonId != b.seasonId) {
    return a.seasonId > b.seasonId;
  }
  if (a.first != b.first) {
    return a.first > b.first;
  }
  if (a.last != b.last) {
    return a.last > b.last;
  }
  return a.theme < b.theme;
}

// Everything the comparison of entries needs, copied out so that the sort touches one small
// array: the rank of the entry's group among all groups stands for its season and theme.
struct SortKey {
  size_t rank;
  int64_t level;
  int64_t acquiredAt;
  size_t index;
};

// Lexicographic on (group rank asc, level desc, acquiredAt desc), which is a strict weak
// ordering. Integers are compared directly, never by subtraction, so extreme values cannot
// overflow into the wrong sign. A lambda rather than a function, so that the sort inlines it.
constexpr auto ComesBefore = [](const SortKey& a, const SortKey& b) {
  if (a.rank != b.rank) {
    return a.rank < b.rank;
  }
  if (a.level != b.level) {
    return a.level > b.level;
  }
  return a.acquiredAt > b.acquiredAt;
};

} // namespace

std::vector<OwnedFlag> SortOwnedFlags(std::vector<OwnedFlag> flags) {
  // Ordering the groups once, then entries by their group's rank, gives the order of comparing
  // (season, theme span, theme) for every pair of entries, at a fraction of the cost. Each
  // entry's key holds its group's number until the groups are ranked.
  std::vector<ThemeGroup> groups;
  // A sondar owns a few dozen themes a season: room for them saves the doublings of a small list.
  constexpr size_t kGroupsAtFirst = 64;
  groups.reserve(std::min(flags.size(), kGroupsAtFirst));
  std::vector<SortKey> keys;
  keys.reserve(flags.size());
  GroupTable table(flags.size());
  for (size_t i = 0; i < flags.size(); ++i) {
    const OwnedFlag& entry = flags[i];
    const size_t number = table.numberOf(ThemeKey{entry.seasonId, entry.theme}, groups);
    if (number == groups.size()) {
      groups.push_back(ThemeGroup{entry.seasonId, entry.theme, entry.acquiredAt, entry.acquiredAt});
    } else {
      ThemeGroup& group = groups[number];
      group.first = std::min(group.first, entry.acquiredAt);
      group.last = std::max(group.last, entry.acquiredAt);
    }
    keys.push_back(SortKey{number, entry.level, entry.acquiredAt, i});
  }
  // The groups in list order, then each group's rank, in one allocation.
  std::vector<size_t> ranking(2 * groups.size());
  size_t* const byOrder = ranking.data();
  size_t* const rank = byOrder + groups.size();
  for (size_t i = 0; i < groups.size(); ++i) {
    byOrder[i] = i;
  }
  std::sort(byOrder, rank,
            [&](size_t a, size_t b) { return GroupComesBefore(groups[a], groups[b]); });
  for (size_t position = 0; position < groups.size(); ++position) {
    rank[byOrder[position]] = position;
  }
  for (SortKey& key : keys) {
    key.rank = rank[key.rank];
  }
  std::sort(keys.begin(), keys.end(), ComesBefore);

  // Copies of one flag are adjacent after the sort, the latest first; keep only that one. A group
  // is one season and theme, so the same group and level is the same flag, and the keys tell it
  // without reaching for the entries.
  std::vector<OwnedFlag> sorted;
  sorted.reserve(flags.size());
  // The entries are gathered in an order unrelated to their places: with a large inventory each
  // one is a cache miss, so the one some steps ahead is fetched while this one is moved.
  constexpr size_t kFetchAhead = 8;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i + kFetchAhead < keys.size()) {
      __builtin_prefetch(&flags[keys[i + kFetchAhead].index]);
    }
    if (i != 0 && keys[i].rank == keys[i - 1].rank && keys[i].level == keys[i - 1].level) {
      continue;
    }
    sorted.push_back(std::move(flags[keys[i].index]));
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
