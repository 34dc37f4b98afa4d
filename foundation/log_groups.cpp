// The group-name table, readable without a lock while names are being registered.
#include "foundation/log_groups.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace tav {
namespace {

// Three characters packed into one word so that a reader never sees a half-written name.
constexpr uint32_t pack(const char* name) {
  uint32_t word = 0;
  for (size_t i = 0; i < 3 && name[i] != '\0'; ++i)
    word |= static_cast<uint32_t>(static_cast<unsigned char>(name[i])) << (8 * i);
  return word;
}

struct GroupTable {
  std::atomic<uint32_t> names[kLogGroupLimit];
  // How many entries are named; an entry below it never changes again.
  std::atomic<size_t> named;
};

constinit GroupTable gGroups = {{pack("DBG"), pack("GEN"), pack("XTR"), pack("PRF"), pack("MEM"),
                                 pack("DSK"), pack("NET"), pack("TST")},
                                8};
// Serialises registration so that two threads registering the same new name share one bit. Made
// on first use: not every runtime's mutex can be built at compile time.
std::mutex& registering() {
  static std::mutex lock;
  return lock;
}

int findName(uint32_t packed, size_t named) {
  for (size_t i = 0; i < named; ++i) {
    if (gGroups.names[i].load(std::memory_order_relaxed) == packed)
      return static_cast<int>(i);
  }
  return -1;
}

} // namespace

uint64_t logGroupBit(const char* name) {
  if (name == nullptr || name[0] == '\0')
    return 0;
  const uint32_t packed = pack(name);
  int index = findName(packed, gGroups.named.load(std::memory_order_acquire));
  if (index < 0) {
    std::lock_guard<std::mutex> guard(registering());
    size_t named = gGroups.named.load(std::memory_order_relaxed);
    index = findName(packed, named);
    if (index < 0) {
      if (named >= kLogGroupLimit)
        return 0;
      gGroups.names[named].store(packed, std::memory_order_relaxed);
      gGroups.named.store(named + 1, std::memory_order_release);
      index = static_cast<int>(named);
    }
  }
  return uint64_t{1} << index;
}

size_t logGroupNames(uint64_t mask, char* buffer, size_t capacity) {
  if (capacity == 0)
    return 0;
  const size_t named = gGroups.named.load(std::memory_order_acquire);
  size_t length = 0;
  auto append = [&](char c) {
    if (length + 1 < capacity)
      buffer[length++] = c;
  };
  bool first = true;
  for (size_t i = 0; i < kLogGroupLimit; ++i) {
    if ((mask & (uint64_t{1} << i)) == 0)
      continue;
    if (!first)
      append(';');
    first = false;
    uint32_t packed = i < named ? gGroups.names[i].load(std::memory_order_relaxed) : pack("???");
    for (size_t k = 0; k < 3; ++k) {
      char c = static_cast<char>((packed >> (8 * k)) & 0xFF);
      if (c == '\0')
        break;
      append(c);
    }
  }
  buffer[length] = '\0';
  return length;
}

} // namespace tav
