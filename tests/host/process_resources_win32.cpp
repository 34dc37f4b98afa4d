// The process's resources from the Windows kernel: a walk of its address space for committed
// private memory, a snapshot for its threads, and its handle count.
#include "tests/host/process_resources.h"

#include <windows.h>

#include <tlhelp32.h>

namespace tav::testhost {

// The C runtime's heap sits on the process heap, which gives large blocks back on its own.
void keepHeapFromCaching() {}

ProcessResources processResources() {
  ProcessResources resources;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      resources.privateBytes += region.RegionSize;
    }
  }
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
