// POSIX implementation of the platform services.
#include "foundation/platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tav::platform {

namespace {

static_assert(sizeof(std::recursive_mutex) <= 48 && alignof(std::recursive_mutex) <= 8,
              "CriticalSection's storage is too small for the system's lock");

std::recursive_mutex& systemLock(unsigned char* storage) {
  return *std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}

} // namespace

CriticalSection::CriticalSection() noexcept {
  new (storage_) std::recursive_mutex();
}

CriticalSection::~CriticalSection() {
  systemLock(storage_).~recursive_mutex();
}

void CriticalSection::lock() noexcept {
  // A recursive mutex fails only on resource exhaustion or a deadlock already under way; there
  // is nothing better to do than what the Windows critical section does, which is to wait.
  systemLock(storage_).lock();
}

void CriticalSection::unlock() noexcept {
  systemLock(storage_).unlock();
}

bool CriticalSection::try_lock() noexcept {
  return systemLock(storage_).try_lock();
}

LocalTime localTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  time_t seconds = now.tv_sec;
  localtime_r(&seconds, &parts);
  LocalTime out;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
  out.millisecond = static_cast<int32_t>(now.tv_nsec / 1000000);
  return out;
}

uint64_t performanceCounter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t performanceFrequency() {
  return 1000000000u;
}

size_t executablePath(char* buffer, size_t capacity) {
  if (capacity == 0)
    return 0;
  ssize_t length = readlink("/proc/self/exe", buffer, capacity - 1);
  if (length < 0)
    length = 0;
  buffer[length] = '\0';
  return static_cast<size_t>(length);
}

namespace {

bool debuggerAttached() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status)
    return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      tracer = std::strtol(line + 10, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return tracer != 0;
}

} // namespace

void debuggerConsoleWrite(const char* text) {
  // Looked up once: attaching a debugger later is rare and the check reads a file.
  static const bool attached = debuggerAttached();
  if (attached && text)
    std::fputs(text, stderr);
}

void* reserveRegion(size_t bytes) {
  // Populated at once: the page pool threads every page of a new region onto its free list right
  // away, and one call that fills them all costs far less than a fault for each page.
  void* region = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return region == MAP_FAILED ? nullptr : region;
}

void releaseRegion(void* region, size_t bytes) {
  if (region)
    munmap(region, bytes);
}

uint32_t currentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

size_t heapBlockSize(void* block) {
  return block ? malloc_usable_size(block) : 0;
}

char* heapDuplicateString(const char* text) {
  return text ? strdup(text) : nullptr;
}

} // namespace tav::platform
