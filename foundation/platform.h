// The operating-system services the framework uses, behind one small interface.
//
// Everything above this header is portable C++; everything that differs between POSIX and Windows
// (clocks, local time, the executable's path, the debugger console, page regions, thread ids and
// the runtime's heap queries) lives in platform_posix.cpp or platform_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::platform {

// A lock that the owning thread may take again. Logging holds the logger's lock while targets
// write, and a target may log in turn, so the lock must be recursive.
class CriticalSection {
public:
  CriticalSection() noexcept;
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void lock() noexcept;
  void unlock() noexcept;
  bool try_lock() noexcept;

private:
  // Room for the system's own lock object, built in place by the platform's file, so that this
  // header needs no system header. Both platforms' objects take at most 40 bytes.
  alignas(8) unsigned char storage_[48];
};

// Local wall-clock time in seven fields, month and day counting from 1, as the log records carry
// it.
struct LocalTime {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t millisecond = 0;
};

LocalTime localTime();

// A monotonic counter and its ticks per second.
uint64_t performanceCounter();
uint64_t performanceFrequency();

// The separator after which a path's file name begins.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Writes the running executable's full path into buffer (always terminated) and returns its
// length; 0 when it cannot be found.
size_t executablePath(char* buffer, size_t capacity);

// Writes one text to the debugger console. On POSIX there is no such console: the text goes to
// standard error when a debugger is attached to the process (so that a developer stepping through
// still sees it) and is discarded otherwise.
void debuggerConsoleWrite(const char* text);

// Reserves and commits `bytes` of read/write memory aligned to at least 4096 bytes, or null.
void* reserveRegion(size_t bytes);
void releaseRegion(void* region, size_t bytes);

// The calling thread's operating-system identifier.
uint32_t currentThreadId();

// The usable size of a block from the runtime's malloc, and the runtime's string duplication.
size_t heapBlockSize(void* block);
char* heapDuplicateString(const char* text);

} // namespace tav::platform
