// The process's resources from the Windows kernel: a walk of its address space for committed
// private memory less what its heaps hold free, a snapshot for its threads, and its handle count.
#include "tests/host/process_resources.h"

#include <windows.h>

#include <malloc.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace tav::testhost {
namespace {

// The bytes the process's heaps keep committed but free, for later blocks: how much of that
// they keep after large blocks of varying sizes come and go is the heap's own affair.
size_t heapFreeBytes() {
  _heapmin();
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr));
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  size_t free = 0;
  for (HANDLE heap : heaps) {
    HeapCompact(heap, 0);
    if (!HeapLock(heap)) {
      continue;
    }
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      const WORD notFree =
          PROCESS_HEAP_ENTRY_BUSY | PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE;
      if ((entry.wFlags & notFree) == 0) {
        free += entry.cbData;
      }
    }
    HeapUnlock(heap);
  }
  return free;
}

} // namespace

// The C runtime's heap sits on a Windows heap, whose free memory heapFreeBytes leaves out.
void keepHeapFromCaching() {}

ProcessResources processResources() {
  const size_t heapFree = heapFreeBytes();
  ProcessResources resources;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      resources.privateBytes += region.RegionSize;
    }
  }
  resources.privateBytes -= std::min(heapFree, resources.privateBytes);
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      resources.threads += entry.th32OwnerProcessID == self;
    }
    CloseHandle(snapshot);
  }
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles)) {
    resources.handles = handles;
  }
  return resources;
}

} // namespace tav::testhost
