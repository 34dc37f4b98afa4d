// Filling the plugin's response records from peer answers, with the host's own release and
// stream functions; every release function handed out is counted in a ledger.
#pragma once

#include "binding/host_records.h"
#include "host/ownership_ledger.h"
#include "host/peer_answer.h"

#include <cstdint>

namespace tav::host {

// Writes answer into response, which the plugin zeroed: a value as a host-owned HostValue, an
// error as an owned copy of its text with its status, a stream as a stream object with its read
// and release functions and size hint. Always sets the record's release function.
void writePeerAnswer(HostResponse& response, const PeerAnswer& answer, OwnershipLedger& ledger);

// Frees every record and stream handed out under ledger that the plugin never released, for a
// host that goes away after its plugin; they stay outstanding in the ledger.
void abandonHandedOut(OwnershipLedger& ledger);

// Releases of records or streams the host was not holding at the time (the second release of
// one, for instance), counted for the whole process because such a call names no host.
uint64_t strayReleases();

} // namespace tav::host
