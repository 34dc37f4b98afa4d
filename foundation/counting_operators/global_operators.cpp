// The global operator new and delete that route every C++ allocation through tav::memory.
//
// Kept out of the foundation archive: an archive member that defines operator new is pulled into
// every program that links the archive, and so would count the allocations of programs that only
// use the foundation, such as the substitute host and the benchmarks. The plugin libraries and
// the test programs link these on purpose.
#include "foundation/memory.h"

#include <new>

// Every C++ allocation of the library goes through the table. Over-aligned allocations keep the
// runtime's own operators: the table has no aligned entry and nothing here needs one.
void* operator new(std::size_t bytes) {
  void* block = tav::memory::allocate(bytes ? bytes : 1);
  if (!block)
    throw std::bad_alloc();
  return block;
}

void* operator new[](std::size_t bytes) {
  return ::operator new(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return tav::memory::allocate(bytes ? bytes : 1);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return tav::memory::allocate(bytes ? bytes : 1);
}

void operator delete(void* block) noexcept {
  tav::memory::release(block);
}
void operator delete[](void* block) noexcept {
  tav::memory::release(block);
}
void operator delete(void* block, std::size_t) noexcept {
  tav::memory::release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  tav::memory::release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  tav::memory::release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  tav::memory::release(block);
}
