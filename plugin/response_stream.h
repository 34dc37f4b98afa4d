// ResponseStream: a response body that the receiver pulls in pieces, and the two plain functions
// through which the host reads and releases it.
//
//   HandlerResponse<std::string> response;
//   response.stream = makeTextStream(std::move(document), 4096);
//
// A stream moved into a response record belongs to whoever reads the record: it reads through
// hostStreamRead and ends the stream once through hostStreamRelease. Releasing the record itself
// leaves the stream alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tav {

class ResponseStream {
public:
  // Reads at most `count` bytes into buffer and sets count to the number read. more tells whether
  // bytes follow this piece. Returns false when the stream failed; count is then 0.
  virtual bool read(void* buffer, uint32_t& count, bool& more) = 0;
  // The number of bytes the reader should expect in total, or 0 when unknown.
  virtual uint32_t sizeHint() const = 0;
  // Ends the stream. The default deletes it; a stream that lives elsewhere overrides this.
  virtual void destroy() { delete this; }

protected:
  virtual ~ResponseStream() = default;
};

struct ResponseStreamDestroyer {
  void operator()(ResponseStream* stream) const {
    if (stream != nullptr) {
      stream->destroy();
    }
  }
};

using OwnedResponseStream = std::unique_ptr<ResponseStream, ResponseStreamDestroyer>;

// Serves a text in pieces of at most pieceSize bytes (the whole remaining text when 0). Its size
// hint is the text's length.
OwnedResponseStream makeTextStream(std::string text, uint32_t pieceSize = 0);

// Response byte 38. A null stream, count or (with a non-zero count) buffer is a failed read. A
// null more flag is not written. Never throws: a stream that throws reports a failed read.
uint8_t hostStreamRead(void* stream, void* buffer, uint32_t* count, uint8_t* more) noexcept;

// Response byte 42: destroys the stream; a null stream is ignored.
void hostStreamRelease(void* stream) noexcept;

} // namespace tav
