// HostBridge: the host's services as the runtime calls them.
//
// Plugin implements each operation by calling the matching entry of the host's HostApi table
// (passing the table first, the arguments unchanged). The event and request code reaches the host
// only through these operations, so tests can stand a recording bridge in for a real host.
#pragma once

#include "binding/host_records.h"

#include <cstdint>

namespace tav {

class HostBridge {
public:
  virtual ~HostBridge() = default;

  // HostApi entry 0: synchronous; the response record is filled on return.
  virtual void hostSendRequest(host::HostResponse* response, const host::HostRequest* request) = 0;
  // Entry 1: never called by the runtime.
  virtual void hostReserved1(uint32_t a, uint32_t b) = 0;
  // Entry 2: publishes the event; the record lives only during the call.
  virtual void hostSendEvent(const host::HostEvent* event) = 0;
  // Entry 3: flag 0 for resource events, 1 for service-proxy events.
  virtual void hostSubscribe(const char* name, uint32_t handle, void (*callback)(host::HostEvent*),
                             void* context, uint32_t flag) = 0;
  // Entry 4.
  virtual void hostUnsubscribe(const char* name, uint32_t handle) = 0;
  // Entry 5: never called by the runtime.
  virtual void hostReserved5(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) = 0;
  // Entries 6, 7 and 8: the wait sequence is beginWait("Wait: yield", 0), yield, endWait.
  virtual void hostYield() = 0;
  virtual void hostBeginWait(const char* label, uint32_t word) = 0;
  virtual void hostEndWait() = 0;
};

} // namespace tav
