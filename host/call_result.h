// What the host keeps of the plugin's answer to one call, copied out of the response record
// before the record is released.
#pragma once

#include "binding/host_records.h"
#include "host/request_parts.h"
#include "host/value_tree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::host {

struct CallResult {
  std::string functionName; // of the record that gave this answer; empty when none was called
  unsigned attempts = 0;    // records called for this answer, fallback tries included

  uint32_t status = 0;
  std::optional<std::string> error; // none when the response's error text was null
  bool errorOwned = false;
  ValueTree value;
  std::optional<std::string> valueError; // the fault found while copying the value, if any
  uint8_t contentFlag = 0;
  uint32_t bodyFormat = 0;
  std::string text;
  std::vector<HeaderPair> headers;

  bool streamed = false; // the response carried a stream read function
  uint32_t streamSizeHint = 0;
  std::vector<std::string> streamChunks; // the bytes of each read that returned some
  unsigned streamReads = 0;
  std::optional<std::string> streamError; // set when a read failed or misbehaved
  bool streamReleased = false;

  bool released = false; // the record's release function was set and has been called

  // Success as the plugin's callers read it: no error text, whatever the status.
  bool ok() const { return !error.has_value(); }
  // The chunks joined.
  std::string streamText() const;
};

// Copies everything but the stream out of response.
CallResult readResponse(const HostResponse& response);

// Reads the response's stream to its end the way the plugin reads one (4096-byte buffer, the
// more flag starting out set), recording each chunk, then calls its release function. Does
// nothing when the response has no stream read function.
void readResponseStream(const HostResponse& response, CallResult& result);

} // namespace tav::host
