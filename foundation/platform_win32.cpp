// Windows implementation of the platform services, on the kernel's own calls.
#include "foundation/platform.h"

#include <windows.h>

#include <malloc.h>
#include <new>
#include <string.h>

namespace tav::platform {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 48 && alignof(CRITICAL_SECTION) <= 8,
              "CriticalSection's storage is too small for the system's lock");

CRITICAL_SECTION* systemLock(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

} // namespace

CriticalSection::CriticalSection() noexcept {
  InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
}

CriticalSection::~CriticalSection() {
  DeleteCriticalSection(systemLock(storage_));
}

void CriticalSection::lock() noexcept {
  EnterCriticalSection(systemLock(storage_));
}

void CriticalSection::unlock() noexcept {
  LeaveCriticalSection(systemLock(storage_));
}

bool CriticalSection::try_lock() noexcept {
  return TryEnterCriticalSection(systemLock(storage_)) != FALSE;
}

LocalTime localTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime out;
  out.year = now.wYear;
  out.month = now.wMonth;
  out.day = now.wDay;
  out.hour = now.wHour;
  out.minute = now.wMinute;
  out.second = now.wSecond;
  out.millisecond = now.wMilliseconds;
  return out;
}

uint64_t performanceCounter() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart);
}

uint64_t performanceFrequency() {
  LARGE_INTEGER frequency{};
  // Never fails on Windows XP and later; a zero would make every elapsed time a division by zero.
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
    return 1;
  return static_cast<uint64_t>(frequency.QuadPart);
}

size_t executablePath(char* buffer, size_t capacity) {
  if (capacity == 0)
    return 0;
  const DWORD room = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  DWORD length = GetModuleFileNameA(nullptr, buffer, room);
  // A path that does not fit is cut short and, before Windows Vista, left unterminated: no path
  // is better than a wrong one.
  if (length == 0 || length >= room)
    length = 0;
  buffer[length] = '\0';
  return length;
}

void debuggerConsoleWrite(const char* text) {
  if (text)
    OutputDebugStringA(text);
}

void* reserveRegion(size_t bytes) {
  // Regions are 64 KiB-aligned, the allocation granularity, which covers the 4096 promised.
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseRegion(void* region, size_t) {
  if (region)
    VirtualFree(region, 0, MEM_RELEASE);
}

uint32_t currentThreadId() {
  return GetCurrentThreadId();
}

size_t heapBlockSize(void* block) {
  return block ? _msize(block) : 0;
}

char* heapDuplicateString(const char* text) {
  return text ? _strdup(text) : nullptr;
}

} // namespace tav::platform
