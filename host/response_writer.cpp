// The host's side of response records: filling them, releasing them and serving peer streams.
#include "host/response_writer.h"

#include "host/host_value_codec.h"
#include "host/plugin_side.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tav::host {
namespace {

struct PeerStream {
  std::vector<std::string> chunks;
  size_t chunk = 0;
  size_t offset = 0;
  bool failAfterChunks = false;
  OwnershipLedger* ledger = nullptr;
  uint64_t token = 0;
};

// What the host filled a record with, kept apart from the record so that a release frees what
// the host allocated even if the plugin scribbled over its copy.
struct HandedOutRecord {
  OwnershipLedger* ledger;
  uint64_t token;
  HostValue value;
  char* error;
  std::vector<std::shared_ptr<const std::string>> lent; // texts the value borrows
};

// Release functions get no context but the record or stream, so the records and streams in the
// plugin's hands are found by address in one process-wide table.
struct HandedOut {
  std::mutex mutex;
  std::unordered_map<const HostResponse*, HandedOutRecord> records;
  std::unordered_map<PeerStream*, OwnershipLedger*> streams;
  std::atomic<uint64_t> strays{0};
};

HandedOut& handedOut() {
  static HandedOut table;
  return table;
}

void freeRecord(HandedOutRecord& record) {
  releaseEncodedValue(record.value);
  delete[] record.error;
  record.error = nullptr;
  record.lent.clear();
}

void releaseResponse(HostResponse* response) {
  BoundarySide side(false); // host code, though the plugin calls it
  HandedOut& table = handedOut();
  HandedOutRecord record{};
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.records.find(response);
    if (found == table.records.end()) {
      table.strays.fetch_add(1);
      return;
    }
    record = std::move(found->second);
    table.records.erase(found);
  }
  freeRecord(record);
  record.ledger->release(record.token);
  std::memset(response, 0, sizeof *response);
}

uint8_t readStream(void* stream, void* buffer, uint32_t* count, uint8_t* more) {
  BoundarySide side(false); // host code, though the plugin calls it
  auto* peerStream = static_cast<PeerStream*>(stream);
  if (count == nullptr || more == nullptr || (buffer == nullptr && *count != 0)) {
    return 0;
  }
  {
    HandedOut& table = handedOut();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (table.streams.count(peerStream) == 0) {
      table.strays.fetch_add(1);
      return 0;
    }
  }
  const uint32_t capacity = *count;
  *count = 0;
  if (peerStream->chunk == peerStream->chunks.size()) {
    if (peerStream->failAfterChunks) {
      return 0;
    }
    *more = 0;
    return 1;
  }
  const std::string& chunk = peerStream->chunks[peerStream->chunk];
  const size_t length = std::min<size_t>(capacity, chunk.size() - peerStream->offset);
  std::memcpy(buffer, chunk.data() + peerStream->offset, length);
  peerStream->offset += length;
  if (peerStream->offset == chunk.size()) {
    ++peerStream->chunk;
    peerStream->offset = 0;
  }
  *count = static_cast<uint32_t>(length);
  *more = peerStream->chunk < peerStream->chunks.size() || peerStream->failAfterChunks ? 1 : 0;
  return 1;
}

void releaseStream(void* stream) {
  BoundarySide side(false); // host code, though the plugin calls it
  auto* peerStream = static_cast<PeerStream*>(stream);
  HandedOut& table = handedOut();
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    if (table.streams.erase(peerStream) == 0) {
      table.strays.fetch_add(1);
      return;
    }
  }
  peerStream->ledger->release(peerStream->token);
  delete peerStream;
}

char* copyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

uint32_t totalSize(const std::vector<std::string>& chunks) {
  size_t total = 0;
  for (const std::string& chunk : chunks) {
    total += chunk.size();
  }
  return static_cast<uint32_t>(total);
}

} // namespace

void writePeerAnswer(HostResponse& response, const PeerAnswer& answer, OwnershipLedger& ledger) {
  std::memset(&response, 0, sizeof response);
  HandedOutRecord record{};
  record.ledger = &ledger;
  std::memset(&record.value, 0, sizeof record.value);
  response.status = answer.status;
  switch (answer.shape) {
  case PeerAnswer::Shape::Value:
    record.value = encodeHostValue(answer.payload);
    response.value = record.value;
    break;
  case PeerAnswer::Shape::LentTexts:
    record.value = encodeBorrowedTextMap(answer.lent);
    response.value = record.value;
    for (const PeerAnswer::LentText& text : answer.lent) {
      if (text.second != nullptr) {
        record.lent.push_back(text.second);
      }
    }
    break;
  case PeerAnswer::Shape::Error:
    record.error = copyText(answer.message);
    response.error = record.error;
    response.errorOwned = 1;
    break;
  case PeerAnswer::Shape::Stream: {
    auto* stream = new PeerStream;
    stream->chunks = answer.chunks;
    stream->failAfterChunks = answer.failAfterChunks;
    stream->ledger = &ledger;
    stream->token = ledger.handOut(ReleaseKind::Stream);
    {
      HandedOut& table = handedOut();
      std::lock_guard<std::mutex> lock(table.mutex);
      table.streams.emplace(stream, &ledger);
    }
    response.stream = stream;
    response.streamRead = &readStream;
    response.streamRelease = &releaseStream;
    response.streamSizeHint = answer.sizeHint.value_or(totalSize(answer.chunks));
    break;
  }
  }
  record.token = ledger.handOut(ReleaseKind::Response);
  response.release = &releaseResponse;

  HandedOut& table = handedOut();
  HandedOutRecord replaced{};
  bool replacing = false;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    auto [slot, inserted] = table.records.try_emplace(&response, std::move(record));
    if (!inserted) {
      replaced = std::move(slot->second);
      replacing = true;
      slot->second = std::move(record);
    }
  }
  if (replacing) {
    // The plugin reused a record it never released; what the host put in it is freed here so it
    // does not leak, and the missing release stays outstanding in its ledger.
    replaced.ledger->fault("response record filled again before its release");
    freeRecord(replaced);
  }
}

void abandonHandedOut(OwnershipLedger& ledger) {
  HandedOut& table = handedOut();
  std::vector<HandedOutRecord> records;
  std::vector<PeerStream*> streams;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto entry = table.records.begin(); entry != table.records.end();) {
      if (entry->second.ledger == &ledger) {
        records.push_back(std::move(entry->second));
        entry = table.records.erase(entry);
      } else {
        ++entry;
      }
    }
    for (auto entry = table.streams.begin(); entry != table.streams.end();) {
      if (entry->second == &ledger) {
        streams.push_back(entry->first);
        entry = table.streams.erase(entry);
      } else {
        ++entry;
      }
    }
  }
  for (HandedOutRecord& record : records) {
    freeRecord(record);
  }
  for (PeerStream* stream : streams) {
    delete stream;
  }
}

uint64_t strayReleases() {
  return handedOut().strays.load();
}

} // namespace tav::host
